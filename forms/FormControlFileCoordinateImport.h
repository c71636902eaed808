// The control file coordinate import dialog: the beacons of an import with a tick box each, and
// the Lo of their plane coordinates.
#pragma once

#include <QDialog>

#include <memory>
#include <string>

namespace Ui
{
class TfrmControlFileCoordinateImport;
}

namespace quorvalis
{

class GTrigBeaconList;

/// "Control File Coordinate Import". The caller gives the beacons (Lo plane coordinates), the
/// largest accepted shift between a beacon's two positions (300 m until set), the Lo and the
/// source names, and shows the dialog. Showing it clears the ticks of the beacons the import
/// refuses (ApplyImportSelectionRules) and lists every beacon with its tick; ticking sets the
/// beacon's Selected flag. With a WGS'84 source name the first label reads "Clarke 1880
/// Filename" and the second panel shows that name; without one the first reads "Import
/// Filename" and the second is hidden. Names are shown lower-cased and shortened to fit.
///
/// Ok is refused, the dialog staying open, while the Lo is not a Lo (the guards' message).
class TfrmControlFileCoordinateImport : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmControlFileCoordinateImport(QWidget* parent = nullptr);
    ~TfrmControlFileCoordinateImport() override;

    /// The beacons listed (not owned; they must outlive the dialog's use).
    void SetBeacons(GTrigBeaconList* beacons);
    /// Metres.
    void SetControlDistance(double distance);
    double LocalOrigin() const;
    void SetLocalOrigin(double lo);
    void SetClarkeFileName(const std::string& name);
    void SetWGSFileName(const std::string& name);

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FillList();

    std::unique_ptr<Ui::TfrmControlFileCoordinateImport> ui_;
    GTrigBeaconList* beacons_ = nullptr;
    double controlDistance_ = 300.0;
    std::string clarkeFileName_;
    std::string wgsFileName_;
};

} // namespace quorvalis
