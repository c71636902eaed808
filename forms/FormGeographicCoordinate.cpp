#include "forms/FormGeographicCoordinate.h"

#include "forms/EntryFields.h"
#include "forms/FloatEdit.h"
#include "forms/MessageBoxes.h"
#include "ui_FormGeographicCoordinate.h"

namespace quorvalis
{

namespace
{

constexpr char kEntryPicture[] = "0.0000######";
constexpr char kWrittenPicture[] = "0.000#######";

void Write(GFloatEdit& edit, double value)
{
    edit.SetFormat(kWrittenPicture);
    edit.SetValue(value);
}

} // namespace

TfrmGeographicCoordinate::TfrmGeographicCoordinate(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmGeographicCoordinate>())
{
    ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    KeepUpperCase(*ui_->edtCoordinateName);
    ui_->cmbCoordinateType->addItems(
        {QStringLiteral("TRIG"), QStringLiteral("TSM"), QStringLiteral("OTHER")});
    ui_->cmbCoordinateType->setCurrentText(QStringLiteral("TRIG"));
    for (GFloatEdit* edit : {ui_->edtClarkeLatitude, ui_->edtClarkeLongitude, ui_->edtWGSLatitude,
                             ui_->edtWGSLongitude})
    {
        edit->SetFormat(kEntryPicture);
        edit->SetValue(0.0);
    }
    MoveFocusOnEnter({ui_->edtCoordinateName, ui_->edtClarkeLatitude, ui_->edtClarkeLongitude,
                      ui_->edtWGSLatitude, ui_->edtWGSLongitude, ui_->cmbCoordinateType,
                      ui_->btnOk});
    connect(ui_->btnOk, &QPushButton::clicked, this, &TfrmGeographicCoordinate::accept);
    connect(ui_->btnCancel, &QPushButton::clicked, this, &TfrmGeographicCoordinate::reject);
}

TfrmGeographicCoordinate::~TfrmGeographicCoordinate() = default;

std::string TfrmGeographicCoordinate::CoordinateName() const
{
    return ui_->edtCoordinateName->text().toStdString();
}

void TfrmGeographicCoordinate::SetCoordinateName(const std::string& name)
{
    ui_->edtCoordinateName->setText(QString::fromStdString(name));
}

std::string TfrmGeographicCoordinate::CoordinateType() const
{
    return ui_->cmbCoordinateType->currentText().toStdString();
}

void TfrmGeographicCoordinate::SetCoordinateType(const std::string& type)
{
    ui_->cmbCoordinateType->setCurrentText(QString::fromStdString(type));
}

double TfrmGeographicCoordinate::ClarkeLatitude() const
{
    return ui_->edtClarkeLatitude->Value();
}

void TfrmGeographicCoordinate::SetClarkeLatitude(double value)
{
    Write(*ui_->edtClarkeLatitude, value);
}

double TfrmGeographicCoordinate::ClarkeLongitude() const
{
    return ui_->edtClarkeLongitude->Value();
}

void TfrmGeographicCoordinate::SetClarkeLongitude(double value)
{
    Write(*ui_->edtClarkeLongitude, value);
}

double TfrmGeographicCoordinate::WGSLatitude() const
{
    return ui_->edtWGSLatitude->Value();
}

void TfrmGeographicCoordinate::SetWGSLatitude(double value)
{
    Write(*ui_->edtWGSLatitude, value);
}

double TfrmGeographicCoordinate::WGSLongitude() const
{
    return ui_->edtWGSLongitude->Value();
}

void TfrmGeographicCoordinate::SetWGSLongitude(double value)
{
    Write(*ui_->edtWGSLongitude, value);
}

std::string TfrmGeographicCoordinate::ClarkeLatitudeText() const
{
    return ui_->edtClarkeLatitude->text().toStdString();
}

std::string TfrmGeographicCoordinate::ClarkeLongitudeText() const
{
    return ui_->edtClarkeLongitude->text().toStdString();
}

std::string TfrmGeographicCoordinate::WGSLatitudeText() const
{
    return ui_->edtWGSLatitude->text().toStdString();
}

std::string TfrmGeographicCoordinate::WGSLongitudeText() const
{
    return ui_->edtWGSLongitude->text().toStdString();
}

bool TfrmGeographicCoordinate::DMS() const
{
    return ui_->chkDMS->isChecked();
}

void TfrmGeographicCoordinate::SetDMS(bool value)
{
    ui_->chkDMS->setChecked(value);
}

void TfrmGeographicCoordinate::SetDMSEnabled(bool enabled)
{
    ui_->chkDMS->setEnabled(enabled);
}

void TfrmGeographicCoordinate::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    ui_->edtCoordinateName->setFocus(Qt::OtherFocusReason);
    ui_->edtCoordinateName->selectAll();
}

void TfrmGeographicCoordinate::done(int result)
{
    for (GFloatEdit* edit : {ui_->edtClarkeLatitude, ui_->edtClarkeLongitude, ui_->edtWGSLatitude,
                             ui_->edtWGSLongitude})
        if (!edit->HoldsNumber())
        {
            ShowErrorBox(kCoordinateValueIncorrectMessage);
            edit->setFocus(Qt::OtherFocusReason);
            return;
        }
    QDialog::done(result);
}

} // namespace quorvalis
