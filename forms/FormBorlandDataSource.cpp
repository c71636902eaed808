#include "forms/FormBorlandDataSource.h"

#include "database/BorlandDatabase.h"
#include "database/engine/Session.h"
#include "forms/FileDialogs.h"
#include "forms/FormBorlandXYZDataSource.h"
#include "forms/MessageBoxes.h"
#include "ui_FormBorlandDataSource.h"

#include <QApplication>

#include <algorithm>
#include <cctype>

namespace quorvalis
{

namespace
{

std::string UpperCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// Server databases: their updates are cached and applied in one transaction.
bool IsServerFamily(const std::string& family)
{
    return family == engine::kDriverAccess || family == engine::kDriverOracle ||
           family == engine::kDriverPostgres;
}

std::string Quoted(const std::string& name, char open, char close)
{
    std::string result(1, open);
    for (char c : name)
    {
        result += c;
        if (c == close)
            result += c;
    }
    return result + close;
}

} // namespace

std::string DriverFamily(const std::string& driver)
{
    const std::string upper = UpperCase(driver);
    return IsServerFamily(upper) ? upper : std::string(engine::kDriverStandard);
}

std::string QuotedTableName(const std::string& table, const std::string& driver)
{
    const std::string family = DriverFamily(driver);
    if (family == engine::kDriverAccess)
        return Quoted(table, '[', ']');
    if (family == engine::kDriverOracle)
        return Quoted(table, '\'', '\'');
    return Quoted(table, '"', '"');
}

std::string TableStatement(const std::string& table, const std::string& driver)
{
    return "select a.* from " + QuotedTableName(table, driver) + " a";
}

TfrmBorlandDataSource::TfrmBorlandDataSource(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmBorlandDataSource>())
{
    ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui_->btnBrowse->setEnabled(false);
    ui_->cbReadOnly->setEnabled(true);
    connect(ui_->btnOk, &QPushButton::clicked, this, &TfrmBorlandDataSource::accept);
    connect(ui_->btnCancel, &QPushButton::clicked, this, &TfrmBorlandDataSource::reject);
    connect(ui_->btnBrowse, &QToolButton::clicked, this,
            [this] { RunGuarded([this] { Browse(); }); });
    connect(ui_->cmbDatabase, &QComboBox::activated, this,
            [this](int index) { ChooseDatabase(ui_->cmbDatabase->itemText(index)); });
    connect(ui_->lstTables, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { UseTable(item->text()); });
    connect(ui_->lstTables, &QListWidget::itemClicked, this,
            [this] { RunGuarded([this] { TableChosen(); }); });
}

TfrmBorlandDataSource::~TfrmBorlandDataSource() = default;

void TfrmBorlandDataSource::SetSettings(const GBorlandDataSourceSettings& settings)
{
    SetDriver(settings.Driver);
    databaseName_ = settings.DatabaseName;
    tableName_ = settings.TableName;
    for (const std::string& line : settings.SQL)
        ui_->memSQL->appendPlainText(QString::fromStdString(line));
    ui_->edtUserName->setText(QString::fromStdString(settings.UserName));
    ui_->edtPassword->setText(QString::fromStdString(settings.Password));
    ui_->cbReadOnly->setChecked(settings.ReadOnly);
    ui_->cbReadOnly->setEnabled(settings.ReadOnlyEditable);
    ui_->cbCache->setChecked(settings.CachedUpdates);
}

GBorlandDataSourceSettings TfrmBorlandDataSource::Settings() const
{
    GBorlandDataSourceSettings settings;
    settings.Driver = driver_;
    settings.DatabaseName = SelectedDatabase();
    settings.TableName = SelectedTable();
    const QString sql = ui_->memSQL->toPlainText();
    if (!sql.trimmed().isEmpty())
        for (const QString& line : sql.split(QLatin1Char('\n')))
            settings.SQL.push_back(line.toStdString());
    settings.UserName = ui_->edtUserName->text().toStdString();
    settings.Password = ui_->edtPassword->text().toStdString();
    settings.ReadOnly = ui_->cbReadOnly->isChecked();
    settings.ReadOnlyEditable = ui_->cbReadOnly->isEnabled();
    settings.CachedUpdates = ui_->cbCache->isChecked();
    return settings;
}

void TfrmBorlandDataSource::SetDriver(const std::string& driver)
{
    driver_ = driver;
    ui_->pnlDriver->setText(QString::fromStdString(driver));
}

QString TfrmBorlandDataSource::CaptionOf(const std::string& family) const
{
    QString name = QStringLiteral("Borland");
    if (family == engine::kDriverAccess)
        name = QStringLiteral("MS Access");
    else if (family == engine::kDriverOracle)
        name = QStringLiteral("Oracle");
    else if (family == engine::kDriverPostgres)
        name = QStringLiteral("PostgreSQL");
    else if (family == engine::kDriverStandard)
        name = QStringLiteral("Standard");
    return name + (IsXYZ() ? QStringLiteral(" XYZ DataSource") : QStringLiteral(" DataSource"));
}

QListWidget& TfrmBorlandDataSource::Tables() const
{
    return *ui_->lstTables;
}

QBoxLayout& TfrmBorlandDataSource::ExtraLayout() const
{
    return *ui_->layFields;
}

int TfrmBorlandDataSource::LabelColumnWidth() const
{
    int width = 0;
    for (const QLabel* label :
         {ui_->lblDatabase, ui_->lblDriver, ui_->lblUserName, ui_->lblPassword})
        width = std::max(width, label->sizeHint().width());
    return width;
}

std::string TfrmBorlandDataSource::SelectedDatabase() const
{
    return ui_->cmbDatabase->currentText().toStdString();
}

std::string TfrmBorlandDataSource::SelectedTable() const
{
    const QList<QListWidgetItem*> selected = ui_->lstTables->selectedItems();
    return selected.isEmpty() ? std::string() : selected.constFirst()->text().toStdString();
}

void TfrmBorlandDataSource::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    RunGuarded([this] { FillDatabases(); });
    RunGuarded([this] { TableChosen(); });
}

void TfrmBorlandDataSource::FillDatabases()
{
    engine::Session& session = engine::Session::Default();
    ui_->cmbDatabase->clear();
    std::vector<std::string> aliases = session.AliasNames();
    if (!driver_.empty())
    {
        // A raw driver name outside the known ones counts as "STANDARD", as the engine treats it.
        const std::string family =
            UpperCase(driver_) == engine::kDriverStandard || IsServerFamily(UpperCase(driver_))
                ? UpperCase(driver_)
                : std::string();
        setWindowTitle(CaptionOf(family));
        if (family == engine::kDriverStandard)
            ui_->btnBrowse->setEnabled(true);
        const std::string wanted = DriverFamily(driver_);
        std::erase_if(aliases, [&](const std::string& alias)
                      { return DriverFamily(session.AliasDriver(alias)) != wanted; });
    }
    for (const std::string& alias : aliases)
        ui_->cmbDatabase->addItem(QString::fromStdString(alias));
    const int database = ui_->cmbDatabase->findText(QString::fromStdString(databaseName_));
    ui_->cmbDatabase->setCurrentIndex(databaseName_.empty() ? -1 : database);
    if (database < 0 || databaseName_.empty())
        return;
    ChooseDatabase(ui_->cmbDatabase->currentText());
    const QList<QListWidgetItem*> tables =
        ui_->lstTables->findItems(QString::fromStdString(tableName_), Qt::MatchExactly);
    if (!tableName_.empty() && !tables.isEmpty())
        ui_->lstTables->setCurrentItem(tables.constFirst());
}

void TfrmBorlandDataSource::ChooseDatabase(const QString& alias)
{
    ui_->lstTables->clear();
    ui_->pnlDriver->clear();
    RunGuarded(
        [&]
        {
            engine::Session& session = engine::Session::Default();
            const std::string name = alias.toStdString();
            const std::string driver = session.AliasDriver(name);
            for (const std::string& table : session.TableNames(name))
                ui_->lstTables->addItem(QString::fromStdString(table));
            SetDriver(driver);
            ui_->cbCache->setEnabled(true);
            if (IsServerFamily(DriverFamily(driver)))
            {
                ui_->cbCache->setChecked(true);
                ui_->cbCache->setEnabled(false);
            }
        });
}

void TfrmBorlandDataSource::UseTable(const QString& table)
{
    tableName_ = table.toStdString();
    ui_->memSQL->setPlainText(QString::fromStdString(TableStatement(tableName_, driver_)));
}

void TfrmBorlandDataSource::Browse()
{
    GFileDialog dialog{
        .Title = "Select Database...",
        .DefaultExtension = "dbf",
        .Filter = "DBase Files (*.dbf)|*.dbf|Paradox Files (*.db)|*.db|All Files (*.*)|*.*",
        .FileName = {},
        .OverwritePrompt = false,
        .MustExist = true};
    if (RunFileDialog(dialog, GFileDialogMode::Open, this))
        UseDatabaseFile(dialog.FileName);
}

void TfrmBorlandDataSource::UseDatabaseFile(const std::string& path)
{
    ui_->cmbDatabase->setCurrentIndex(-1);
    ui_->lstTables->clear();
    ui_->lstTables->addItem(QString::fromStdString(path));
    ui_->lstTables->setCurrentRow(0);
    UseTable(QString::fromStdString(path));
    RunGuarded([this] { TableChosen(); });
}

void TfrmBorlandDataSource::accept()
{
    if (ui_->memSQL->toPlainText().trimmed().isEmpty())
    {
        const std::string table = SelectedTable();
        if (table.empty())
        {
            ShowErrorBox(kSelectTableMessage);
            return;
        }
        UseTable(QString::fromStdString(table));
    }
    QDialog::accept();
}

bool ShowBorlandDataSourceDialog(GBorlandDataSourceSettings& settings)
{
    std::unique_ptr<TfrmBorlandDataSource> dialog =
        settings.XYZ ? std::make_unique<TfrmBorlandXYZDataSource>(QApplication::activeWindow())
                     : std::make_unique<TfrmBorlandDataSource>(QApplication::activeWindow());
    dialog->SetSettings(settings);
    if (dialog->exec() != QDialog::Accepted)
        return false;
    const bool xyz = settings.XYZ;
    settings = dialog->Settings();
    settings.XYZ = xyz;
    return true;
}

} // namespace quorvalis
