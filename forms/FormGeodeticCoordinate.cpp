#include "forms/FormGeodeticCoordinate.h"

#include "forms/EntryFields.h"
#include "forms/FloatEdit.h"
#include "forms/MessageBoxes.h"
#include "project/Guards.h"
#include "ui_FormGeodeticCoordinate.h"

namespace quorvalis
{

namespace
{

constexpr char kCoordinatePicture[] = "0.000#######";

} // namespace

TfrmGeodeticCoordinate::TfrmGeodeticCoordinate(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmGeodeticCoordinate>())
{
    ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    KeepUpperCase(*ui_->edtCoordinateName);
    ui_->cmbCoordinateType->addItems(
        {QStringLiteral("TRIG"), QStringLiteral("TSM"), QStringLiteral("OTHER")});
    ui_->cmbCoordinateType->setCurrentText(QStringLiteral("TRIG"));
    for (auto [edit, value] : {std::pair{ui_->edtClarkeY, 0.0}, std::pair{ui_->edtClarkeX, 3e6},
                               std::pair{ui_->edtWGSY, 0.0}, std::pair{ui_->edtWGSX, 3e6}})
    {
        edit->SetFormat(kCoordinatePicture);
        edit->SetValue(value);
    }
    ui_->edtLocalOrigin->SetValue(31.0);
    MoveFocusOnEnter({ui_->edtCoordinateName, ui_->edtClarkeY, ui_->edtClarkeX, ui_->edtWGSY,
                      ui_->edtWGSX, ui_->edtLocalOrigin, ui_->cmbCoordinateType, ui_->btnOk});
    connect(ui_->btnOk, &QPushButton::clicked, this, &TfrmGeodeticCoordinate::accept);
    connect(ui_->btnCancel, &QPushButton::clicked, this, &TfrmGeodeticCoordinate::reject);
}

TfrmGeodeticCoordinate::~TfrmGeodeticCoordinate() = default;

std::string TfrmGeodeticCoordinate::CoordinateName() const
{
    return ui_->edtCoordinateName->text().toStdString();
}

std::string TfrmGeodeticCoordinate::CoordinateType() const
{
    return ui_->cmbCoordinateType->currentText().toStdString();
}

double TfrmGeodeticCoordinate::ClarkeY() const
{
    return ui_->edtClarkeY->Value();
}

double TfrmGeodeticCoordinate::ClarkeX() const
{
    return ui_->edtClarkeX->Value();
}

double TfrmGeodeticCoordinate::WGSY() const
{
    return ui_->edtWGSY->Value();
}

double TfrmGeodeticCoordinate::WGSX() const
{
    return ui_->edtWGSX->Value();
}

double TfrmGeodeticCoordinate::LocalOrigin() const
{
    return ui_->edtLocalOrigin->Value();
}

void TfrmGeodeticCoordinate::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    ui_->edtCoordinateName->setFocus(Qt::OtherFocusReason);
    ui_->edtCoordinateName->selectAll();
}

void TfrmGeodeticCoordinate::accept()
{
    // A coordinate that is no number would be stored as 0: a beacon on the equator. An edit the
    // focus left has said so already.
    for (GFloatEdit* edit :
         {ui_->edtClarkeY, ui_->edtClarkeX, ui_->edtWGSY, ui_->edtWGSX, ui_->edtLocalOrigin})
        if (!edit->HoldsNumber())
        {
            if (edit->hasFocus())
                ShowErrorBox(kInvalidNumericFormatMessage);
            edit->setFocus(Qt::OtherFocusReason);
            return;
        }
    if (!IsLocalOrigin(LocalOrigin()))
    {
        ShowErrorBox(NotLocalOriginMessage(kCoordinateLocalOrigin, LocalOrigin()));
        ui_->edtLocalOrigin->setFocus(Qt::OtherFocusReason);
        ui_->edtLocalOrigin->selectAll();
        return;
    }
    QDialog::accept();
}

} // namespace quorvalis
