#include "forms/FormControlFileManager.h"

#include "database/BorlandDatabase.h"
#include "database/engine/DataSet.h"
#include "forms/DBGrid.h"
#include "forms/DBNavigator.h"
#include "forms/DataSetModel.h"
#include "forms/FindDialog.h"
#include "forms/FormGeodeticCoordinate.h"
#include "forms/FormGeographicCoordinate.h"
#include "forms/MessageBoxes.h"
#include "geometry/Calculations.h"
#include "project/ControlBeacons.h"
#include "transformation/Transformation.h"
#include "ui_FormControlFileManager.h"

#include <QPushButton>
#include <QStyle>

#include <iterator>
#include <tuple>
#include <utility>

namespace quorvalis
{

namespace
{

constexpr char kName[] = "Name";
constexpr char kSource[] = "Source";
constexpr char kClarkeLatitude[] = "Clarke Latitude";
constexpr char kClarkeLongitude[] = "Clarke Longitude";
constexpr char kWGSLatitude[] = "WGS Latitude";
constexpr char kWGSLongitude[] = "WGS Longitude";
constexpr char kGridPicture[] = "0.000000";

double Number(const engine::Value& value)
{
    return value.IsNull() ? 0.0 : value.AsDouble();
}

// Makes the record current again after a flush (which ends on the first record) or a reopening.
void MoveToRecord(engine::DataSet& data, int record)
{
    if (record >= 0 && data.Active() && !data.IsEmpty())
        data.MoveBy(record - data.RecNo());
}

} // namespace

TfrmControlFileManager::TfrmControlFileManager(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmControlFileManager>()),
      model_(std::make_unique<GDataSetModel>()), find_(std::make_unique<GFindDialog>(this))
{
    ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    find_->setObjectName(QStringLiteral("dlgFind"));
    model_->SetFieldOrder(
        {kName, kClarkeLatitude, kClarkeLongitude, kWGSLatitude, kWGSLongitude, kSource});
    for (const char* field : {kClarkeLatitude, kClarkeLongitude, kWGSLatitude, kWGSLongitude})
        model_->SetDisplayFormat(field, kGridPicture);
    GDBGrid& grid = *ui_->dbgControlCoordinates;
    grid.SetDataModel(model_.get());
    // Wide enough for a name of 20 characters (the names of the survey office's files) and the
    // numbers with their headings.
    const QFontMetrics metrics = grid.fontMetrics();
    const int nameWidth = metrics.horizontalAdvance(QString(20, QLatin1Char('N'))) + 12;
    const int numberWidth = metrics.horizontalAdvance(QStringLiteral("Clarke Longitude")) + 16;
    const int sourceWidth = metrics.horizontalAdvance(QStringLiteral("OTHER")) + 24;
    grid.SetColumnWidth(kName, nameWidth);
    for (const char* field : {kClarkeLatitude, kClarkeLongitude, kWGSLatitude, kWGSLongitude})
        grid.SetColumnWidth(field, numberWidth);
    grid.SetColumnWidth(kSource, sourceWidth);
    grid.setMinimumWidth(nameWidth + 4 * numberWidth + sourceWidth + 40 +
                         grid.style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    GDBNavigator& navigator = *ui_->dbnControlCoordinates;
    navigator.SetDataModel(model_.get(), &grid);
    navigator.ConfirmDelete = [this] { return ConfirmDelete(); };
    model_->AfterPost = [this] { MakePermanent("saved"); };
    model_->AfterDelete = [this] { MakePermanent("deleted"); };
    model_->OnRefresh = [this] { Reopen(model_->CurrentRow()); };

    connect(ui_->btnAddGeodetic, &QPushButton::clicked, this, &TfrmControlFileManager::AddGeodetic);
    connect(ui_->btnAddGeographic, &QPushButton::clicked, this,
            &TfrmControlFileManager::AddGeographic);
    connect(ui_->btnEdit, &QPushButton::clicked, this, &TfrmControlFileManager::EditCoordinate);
    connect(ui_->btnDelete, &QPushButton::clicked, this, &TfrmControlFileManager::DeleteCoordinate);
    connect(ui_->btnFind, &QPushButton::clicked, this, &TfrmControlFileManager::Find);
    connect(ui_->btnDone, &QPushButton::clicked, this, &TfrmControlFileManager::accept);
    connect(find_.get(), &GFindDialog::FindNext, this, &TfrmControlFileManager::FindNext);
}

TfrmControlFileManager::~TfrmControlFileManager()
{
    // The grid and the navigator outlive the model and the record set by a moment.
    ui_->dbnControlCoordinates->SetDataModel(nullptr);
    ui_->dbgControlCoordinates->SetDataModel(nullptr);
    model_->SetDataSet(nullptr);
    recordSet_.reset();
}

void TfrmControlFileManager::SetCoordinateDialogs(TfrmGeodeticCoordinate* geodetic,
                                                  TfrmGeographicCoordinate* geographic)
{
    geodetic_ = geodetic;
    geographic_ = geographic;
}

TfrmGeodeticCoordinate& TfrmControlFileManager::GeodeticDialog()
{
    if (!geodetic_)
    {
        ownGeodetic_ = std::make_unique<TfrmGeodeticCoordinate>(this);
        geodetic_ = ownGeodetic_.get();
    }
    return *geodetic_;
}

TfrmGeographicCoordinate& TfrmControlFileManager::GeographicDialog()
{
    if (!geographic_)
    {
        ownGeographic_ = std::make_unique<TfrmGeographicCoordinate>(this);
        geographic_ = ownGeographic_.get();
    }
    return *geographic_;
}

int TfrmControlFileManager::Execute()
{
    if (!RunGuarded([this] { OpenTable(); }))
        return Rejected;
    fromStart_ = true;
    ui_->btnDone->setFocus(Qt::OtherFocusReason);
    return exec();
}

void TfrmControlFileManager::OpenTable()
{
    CloseTable();
    auto recordSet = std::make_unique<GBorlandRecordSet>();
    OpenControlTable(*recordSet, kControlTableName, false);
    recordSet_ = std::move(recordSet);
    model_->SetDataSet(recordSet_->GetDataSet());
}

void TfrmControlFileManager::CloseTable()
{
    model_->SetDataSet(nullptr);
    // Every change was flushed when it was posted; an edit left open is dropped.
    recordSet_.reset();
}

void TfrmControlFileManager::done(int result)
{
    RunGuarded([this] { PostPending(); });
    find_->hide();
    CloseTable();
    QDialog::done(result);
}

void TfrmControlFileManager::PostPending()
{
    ui_->dbgControlCoordinates->CommitEdit();
    model_->Post();
}

void TfrmControlFileManager::Reopen(int record)
{
    CloseTable();
    // With the record set gone the store is let go as well, so that a lost connection is made
    // anew.
    OpenTable();
    MoveToRecord(*model_->DataSet(), record);
    model_->Reload();
}

void TfrmControlFileManager::MakePermanent(const char* verb)
{
    engine::DataSet& data = *model_->DataSet();
    const int record = data.RecNo();
    std::string name = std::exchange(pendingName_, {});
    if (name.empty() && record >= 0)
        name = data.GetText(kName);
    try
    {
        recordSet_->Flush();
    }
    catch (const std::exception& error)
    {
        const std::string message =
            "Coordinate " + name + " was not " + verb + ".\r" + std::string(error.what());
        // The change is dropped and the table read anew: the grid shows the row as the store
        // holds it (another user's change included).
        try
        {
            data.CancelUpdates();
            Reopen(record);
        }
        catch (const std::exception&)
        {
            // The table cannot be read either; Refresh tries again.
        }
        throw GDatabaseException(message);
    }
    MoveToRecord(data, record);
    model_->Reload();
}

bool TfrmControlFileManager::ConfirmDelete()
{
    engine::DataSet* data = model_->DataSet();
    if (!data || !data->Active() || data->State() == engine::DataSetState::Insert ||
        data->IsEmpty())
        return true;
    pendingName_ = data->GetText(kName);
    if (ShowQuestionBox("Delete the coordinate " + pendingName_ + " from the control file?"))
        return true;
    pendingName_.clear();
    return false;
}

void TfrmControlFileManager::Command(void (TfrmControlFileManager::*step)())
{
    RunGuarded(
        [this, step]
        {
            PostPending();
            if (!model_->Active())
                throw GDatabaseException(kControlFileUnavailableMessage);
            (this->*step)();
        });
}

void TfrmControlFileManager::AddGeodetic()
{
    Command(&TfrmControlFileManager::DoAddGeodetic);
}

void TfrmControlFileManager::AddGeographic()
{
    Command(&TfrmControlFileManager::DoAddGeographic);
}

void TfrmControlFileManager::EditCoordinate()
{
    Command(&TfrmControlFileManager::DoEdit);
}

void TfrmControlFileManager::DeleteCoordinate()
{
    Command(&TfrmControlFileManager::DoDelete);
}

void TfrmControlFileManager::Find()
{
    Command(&TfrmControlFileManager::DoFind);
}

void TfrmControlFileManager::FindNext()
{
    Command(&TfrmControlFileManager::DoFindNext);
}

void TfrmControlFileManager::DoAddGeodetic()
{
    model_->Append();
    try
    {
        TfrmGeodeticCoordinate& dialog = GeodeticDialog();
        if (dialog.exec() != Accepted)
        {
            model_->Cancel();
            return;
        }
        engine::DataSet& data = *model_->DataSet();
        data.SetValue(kName, engine::Value(dialog.CoordinateName()));
        data.SetValue(kSource, engine::Value(dialog.CoordinateType()));
        GGeodeticToGeographicTransformation conversion;
        conversion.LoMeridian = dialog.LocalOrigin();
        GPoint point(dialog.ClarkeX(), dialog.ClarkeY(), 0.0);
        conversion.World = wdClarke1880;
        conversion.Transform(point, tdForward);
        data.SetValue(kClarkeLongitude, engine::Value(point.X));
        data.SetValue(kClarkeLatitude, engine::Value(point.Y));
        point.X = dialog.WGSX();
        point.Y = dialog.WGSY();
        conversion.World = wdWGS84;
        conversion.Transform(point, tdForward);
        data.SetValue(kWGSLongitude, engine::Value(point.X));
        data.SetValue(kWGSLatitude, engine::Value(point.Y));
        model_->Post();
    }
    catch (...)
    {
        if (model_->Editing())
            model_->Cancel();
        throw;
    }
}

void TfrmControlFileManager::DoAddGeographic()
{
    model_->Append();
    try
    {
        TfrmGeographicCoordinate& dialog = GeographicDialog();
        if (dialog.exec() != Accepted)
        {
            model_->Cancel();
            return;
        }
        engine::DataSet& data = *model_->DataSet();
        data.SetValue(kName, engine::Value(dialog.CoordinateName()));
        data.SetValue(kSource, engine::Value(dialog.CoordinateType()));
        const auto degrees = [&dialog](double value)
        { return dialog.DMS() ? ConvertUnit(utDDDMMSS, utDecimalDegrees, value) : value; };
        data.SetValue(kClarkeLongitude, engine::Value(degrees(dialog.ClarkeLongitude())));
        data.SetValue(kClarkeLatitude, engine::Value(degrees(dialog.ClarkeLatitude())));
        data.SetValue(kWGSLongitude, engine::Value(degrees(dialog.WGSLongitude())));
        data.SetValue(kWGSLatitude, engine::Value(degrees(dialog.WGSLatitude())));
        model_->Post();
    }
    catch (...)
    {
        if (model_->Editing())
            model_->Cancel();
        throw;
    }
}

void TfrmControlFileManager::DoEdit()
{
    engine::DataSet& data = *model_->DataSet();
    model_->Edit();
    TfrmGeographicCoordinate& dialog = GeographicDialog();
    struct DMSEnabled
    {
        TfrmGeographicCoordinate& dialog;
        ~DMSEnabled() { dialog.SetDMSEnabled(true); }
    } enabled{dialog};
    try
    {
        dialog.SetCoordinateName(data.GetText(kName));
        dialog.SetCoordinateType(data.GetText(kSource));
        dialog.SetClarkeLatitude(Number(data.GetValue(kClarkeLatitude)));
        dialog.SetClarkeLongitude(Number(data.GetValue(kClarkeLongitude)));
        dialog.SetWGSLatitude(Number(data.GetValue(kWGSLatitude)));
        dialog.SetWGSLongitude(Number(data.GetValue(kWGSLongitude)));
        // A value shown is a value rounded to the picture: one the user leaves as shown keeps
        // the stored value exactly.
        const std::string shown[] = {dialog.ClarkeLatitudeText(), dialog.ClarkeLongitudeText(),
                                     dialog.WGSLatitudeText(), dialog.WGSLongitudeText()};
        dialog.SetDMS(false);
        dialog.SetDMSEnabled(false);
        if (dialog.exec() != Accepted)
        {
            model_->Cancel();
            return;
        }
        data.SetValue(kName, engine::Value(dialog.CoordinateName()));
        data.SetValue(kSource, engine::Value(dialog.CoordinateType()));
        const std::tuple<const char*, std::string, double> values[] = {
            {kClarkeLatitude, dialog.ClarkeLatitudeText(), dialog.ClarkeLatitude()},
            {kClarkeLongitude, dialog.ClarkeLongitudeText(), dialog.ClarkeLongitude()},
            {kWGSLatitude, dialog.WGSLatitudeText(), dialog.WGSLatitude()},
            {kWGSLongitude, dialog.WGSLongitudeText(), dialog.WGSLongitude()}};
        for (std::size_t i = 0; i < std::size(values); ++i)
            if (std::get<1>(values[i]) != shown[i])
                data.SetValue(std::get<0>(values[i]), engine::Value(std::get<2>(values[i])));
        model_->Post();
    }
    catch (...)
    {
        if (model_->Editing())
            model_->Cancel();
        throw;
    }
}

void TfrmControlFileManager::DoDelete()
{
    engine::DataSet& data = *model_->DataSet();
    // Deleting from an empty table is the engine's error to tell.
    if (!data.IsEmpty() && !ConfirmDelete())
        return;
    model_->Delete();
}

void TfrmControlFileManager::DoFind()
{
    fromStart_ = true;
    find_->Execute();
}

void TfrmControlFileManager::DoFindNext()
{
    const std::string text = find_->FindText();
    const bool matchCase = find_->MatchCase();
    const bool wholeWord = find_->WholeWord();
    engine::DataSet& data = *model_->DataSet();
    bool found = false;
    model_->WithoutUpdates(
        [&]
        {
            if (std::exchange(fromStart_, false))
                data.First();
            else
                data.Next();
            const int name = data.FieldByName(kName);
            for (; !data.Eof(); data.Next())
                if (ControlNameMatches(data.GetText(name), text, matchCase, wholeWord))
                {
                    found = true;
                    return;
                }
        });
    if (!found)
        ShowErrorBox("Coordinate " + text + " not found in control file.");
}

} // namespace quorvalis
