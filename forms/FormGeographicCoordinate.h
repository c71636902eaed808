// The geographic coordinate dialog: a control coordinate given as latitude and longitude on both
// datums, in decimal degrees or ddd.mmss.
#pragma once

#include <QDialog>

#include <memory>
#include <string>

namespace Ui
{
class TfrmGeographicCoordinate;
}

namespace quorvalis
{

/// "Geographic Coordinate": the name (upper case), the Clarke 1880 and WGS'84 latitude and
/// longitude (degrees, latitude positive south), the type and "Coordinates in DDD.MMSS". Enter
/// moves from field to field down to the Ok button. Created once and reused: the values stay from
/// one use to the next.
///
/// Whenever the dialog is about to close, by Ok or by Cancel, a coordinate text that is no number
/// shows "You have entered one of the coordinate values incorrectly!" and keeps it open.
class TfrmGeographicCoordinate : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmGeographicCoordinate(QWidget* parent = nullptr);
    ~TfrmGeographicCoordinate() override;

    std::string CoordinateName() const;
    void SetCoordinateName(const std::string& name);
    std::string CoordinateType() const;
    void SetCoordinateType(const std::string& type);

    /// Read: the text as a number (0 when it is none). Write: the value through "0.000#######".
    double ClarkeLatitude() const;
    void SetClarkeLatitude(double value);
    double ClarkeLongitude() const;
    void SetClarkeLongitude(double value);
    double WGSLatitude() const;
    void SetWGSLatitude(double value);
    double WGSLongitude() const;
    void SetWGSLongitude(double value);
    /// The four texts as they stand (to tell a value the user changed from one written).
    std::string ClarkeLatitudeText() const;
    std::string ClarkeLongitudeText() const;
    std::string WGSLatitudeText() const;
    std::string WGSLongitudeText() const;

    /// "Coordinates in DDD.MMSS": the values are packed ddd.mmss angles when ticked.
    bool DMS() const;
    void SetDMS(bool value);
    void SetDMSEnabled(bool enabled);

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TfrmGeographicCoordinate> ui_;
};

inline constexpr char kCoordinateValueIncorrectMessage[] =
    "You have entered one of the coordinate values incorrectly!";

} // namespace quorvalis
