// The chooser of the kind of data source, and the factory that creates a record set of the
// chosen kind through that kind's dialog.
#pragma once

#include <QDialog>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Ui
{
class TfrmRecordSetDataSource;
}

namespace quorvalis
{

class GRecordSet;

/// One entry of the chooser: its text, its kind code, and for database kinds the driver, whether
/// the points are X/Y/Z columns and the cached-updates value.
struct GDataSourceKind
{
    const char* Entry;
    std::uint8_t Kind;
    const char* Driver; ///< database kinds only
    bool XYZ;
    bool CachedUpdates;
};

/// The chooser's entries in their order. Kind 1 means no selection. Kinds 14 and 15 (PostgreSQL)
/// offer the engine's PostgreSQL aliases, which no other database kind lists. Kind 16 is a layer
/// of a GIS dataset (GeoPackage, PostGIS, ...); its entry text is UTF-8.
const std::vector<GDataSourceKind>& DataSourceKinds();

/// "RecordSet DataSource": the list of kinds (cmbDataSource, first entry chosen on show), Ok and
/// Cancel.
class TfrmRecordSetDataSource : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmRecordSetDataSource(QWidget* parent = nullptr);
    ~TfrmRecordSetDataSource() override;

    /// The chosen kind's code; 1 when nothing is chosen.
    std::uint8_t DataSourceKind() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TfrmRecordSetDataSource> ui_;
};

/// A configured, unopened record set of a kind through its factory, the factory showing its
/// dialog; nullptr for kind 1, an unknown kind, or when that dialog was cancelled. Shapefiles,
/// coordinate list files and databases take readOnly and readOnlyEditable; text files are never
/// read-only (both flags false).
std::unique_ptr<GRecordSet> CreateRecordSetOfKind(std::uint8_t kind, bool readOnly,
                                                  bool readOnlyEditable);

/// The chooser with the caption, then the chosen kind's dialog: the record set unopened, or
/// nullptr when either dialog was cancelled. The transform command asks with (false, false,
/// "RecordSet DataSource"), the import from data sources with (true, false, its captions).
std::unique_ptr<GRecordSet> CreateRecordSet(bool readOnly, bool readOnlyEditable,
                                            const std::string& caption);

} // namespace quorvalis
