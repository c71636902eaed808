#include "forms/FormTextFileDataSource.h"

#include "database/TextfileDatabase.h"
#include "forms/FileDialogs.h"
#include "forms/MessageBoxes.h"
#include "forms/ShortenPath.h"
#include "ui_FormTextFileDataSource.h"

#include <QApplication>

#include <exception>
#include <filesystem>

namespace quorvalis
{

TfrmTextFileDataSource::TfrmTextFileDataSource(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmTextFileDataSource>())
{
    ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(ui_->btnOk, &QPushButton::clicked, this, &TfrmTextFileDataSource::accept);
    connect(ui_->btnCancel, &QPushButton::clicked, this, &TfrmTextFileDataSource::reject);
    connect(ui_->btnBrowse, &QToolButton::clicked, this,
            [this] { RunGuarded([this] { BrowseTextFile(); }); });
    connect(ui_->btnBrowseDefinition, &QToolButton::clicked, this,
            [this] { RunGuarded([this] { BrowseDefinitionFile(); }); });
    Refresh();
}

TfrmTextFileDataSource::~TfrmTextFileDataSource() = default;

void TfrmTextFileDataSource::SetSettings(const GTextFileDataSourceSettings& settings)
{
    textFileName_ = settings.TextFileName;
    SetDefinitionFileName(settings.DefinitionFileName);
    ui_->cmbXField->setCurrentText(QString::fromStdString(settings.XFieldName));
    ui_->cmbYField->setCurrentText(QString::fromStdString(settings.YFieldName));
    ui_->cmbZField->setCurrentText(QString::fromStdString(settings.ZFieldName));
    ui_->cbReadOnly->setChecked(settings.ReadOnly);
    ui_->cbReadOnly->setEnabled(settings.ReadOnlyEditable);
}

GTextFileDataSourceSettings TfrmTextFileDataSource::Settings() const
{
    GTextFileDataSourceSettings settings;
    settings.TextFileName = textFileName_;
    settings.DefinitionFileName = definitionFileName_;
    settings.XFieldName = ui_->cmbXField->currentText().toStdString();
    settings.YFieldName = ui_->cmbYField->currentText().toStdString();
    settings.ZFieldName = ui_->cmbZField->currentText().toStdString();
    settings.ReadOnly = ui_->cbReadOnly->isChecked();
    settings.ReadOnlyEditable = ui_->cbReadOnly->isEnabled();
    return settings;
}

void TfrmTextFileDataSource::SetTextFileName(const std::string& fileName)
{
    textFileName_ = fileName;
    Refresh();
}

void TfrmTextFileDataSource::SetDefinitionFileName(const std::string& fileName)
{
    definitionFileName_ = fileName;
    Refresh();
}

void TfrmTextFileDataSource::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    ShowPaths();
}

void TfrmTextFileDataSource::ShowPaths()
{
    ShowPathInPanel(*ui_->pnlTextFile, QString::fromStdString(textFileName_), 0, false);
    ShowPathInPanel(*ui_->pnlDefinitionFile, QString::fromStdString(definitionFileName_), 0, false);
}

void TfrmTextFileDataSource::Refresh()
{
    for (QComboBox* box : {ui_->cmbXField, ui_->cmbYField, ui_->cmbZField})
    {
        box->clear();
        box->setCurrentText({});
    }
    ShowPaths();
    std::error_code error;
    const bool bothExist = !textFileName_.empty() && !definitionFileName_.empty() &&
                           std::filesystem::is_regular_file(textFileName_, error) &&
                           std::filesystem::is_regular_file(definitionFileName_, error);
    ui_->btnOk->setEnabled(false);
    if (!bothExist)
        return;
    GTextFileDefinition definition;
    try
    {
        definition.LoadFromFile(definitionFileName_);
    }
    catch (const std::exception& failure)
    {
        ShowErrorBox(failure.what());
        return;
    }
    for (int i = 0; i < definition.Fields.Count(); ++i)
    {
        const GTextFileField& field = *definition.Fields.GetItem(i);
        if (field.FieldType != fdtInteger && field.FieldType != fdtFloat)
            continue;
        for (QComboBox* box : {ui_->cmbXField, ui_->cmbYField, ui_->cmbZField})
            box->addItem(QString::fromStdString(field.Name));
    }
    for (QComboBox* box : {ui_->cmbXField, ui_->cmbYField, ui_->cmbZField})
        box->setCurrentIndex(-1);
    ui_->btnOk->setEnabled(true);
}

void TfrmTextFileDataSource::BrowseTextFile()
{
    GFileDialog dialog{.Title = "Select Text File...",
                       .DefaultExtension = "txt",
                       .Filter = "Text Files (*.txt)|*.txt|Ascii Files (*.asc)|*.asc|Comma "
                                 "Seperated Value Files (*.csv)|*.csv|All Files (*.*)|*.*",
                       .FileName = textFileName_,
                       .OverwritePrompt = false,
                       .MustExist = true};
    if (RunFileDialog(dialog, GFileDialogMode::Open, this))
        SetTextFileName(dialog.FileName);
}

void TfrmTextFileDataSource::BrowseDefinitionFile()
{
    GFileDialog dialog{.Title = "Select Text File Definition File...",
                       .DefaultExtension = "def",
                       .Filter = "Definition Files (*.def)|*.def|All Files (*.*)|*.*",
                       .FileName = definitionFileName_,
                       .OverwritePrompt = false,
                       .MustExist = true};
    if (RunFileDialog(dialog, GFileDialogMode::Open, this))
        SetDefinitionFileName(dialog.FileName);
}

bool ShowTextFileDataSourceDialog(GTextFileDataSourceSettings& settings)
{
    TfrmTextFileDataSource dialog(QApplication::activeWindow());
    dialog.SetSettings(settings);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    settings = dialog.Settings();
    return true;
}

} // namespace quorvalis
