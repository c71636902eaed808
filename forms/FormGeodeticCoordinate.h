// The geodetic coordinate dialog: a control coordinate given as Lo plane coordinates on both
// datums.
#pragma once

#include <QDialog>

#include <memory>
#include <string>

namespace Ui
{
class TfrmGeodeticCoordinate;
}

namespace quorvalis
{

/// "Geodetic Coordinate": the name (upper case), Clarke 1880 Y and X, WGS'84 Y and X (metres,
/// shown "0.000#######"), the Lo and the type ("TRIG", "TSM", "OTHER" or any text). Enter moves
/// from field to field down to the Ok button. Created once and reused: the values stay from one
/// use to the next.
///
/// Ok is refused, the dialog staying open on the field at fault, while a coordinate edit holds
/// no number ("Invalid numeric format") or the Lo is not a Lo ("The Lo of the coordinate (..) is
/// not a Lo: ...").
class TfrmGeodeticCoordinate : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmGeodeticCoordinate(QWidget* parent = nullptr);
    ~TfrmGeodeticCoordinate() override;

    std::string CoordinateName() const;
    std::string CoordinateType() const;
    /// Lo metres: Y westing, X southing.
    double ClarkeY() const;
    double ClarkeX() const;
    double WGSY() const;
    double WGSX() const;
    /// Degrees east.
    double LocalOrigin() const;

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TfrmGeodeticCoordinate> ui_;
};

/// How a refused Lo of this dialog is named in its message.
inline constexpr char kCoordinateLocalOrigin[] = "The Lo of the coordinate";

} // namespace quorvalis
