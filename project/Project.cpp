#include "project/Project.h"

#include "database/Database.h"
#include "database/engine/Table.h"
#include "geometry/Calculations.h"
#include "project/Report.h"
#include "project/WinRegistry.h"
#include "transformation/Adjustment.h"
#include "transformation/Transformation.h"

#include <cmath>
#include <limits>
#include <optional>
#include <unordered_set>

namespace quorvalis
{

namespace
{

constexpr char kTransformingCaption[] = "Transforming Spatial Information...";

// The members of the coordinate chains.
std::unique_ptr<GTransformation> Shift(double dx, double dy)
{
    auto shift = std::make_unique<GShiftTransformation>();
    shift->DX = dx;
    shift->DY = dy;
    return shift;
}

std::unique_ptr<GTransformation> PackedAngles(std::uint8_t from, std::uint8_t to)
{
    auto unit = std::make_unique<GUnitTransformation>();
    unit->FromUnit = from;
    unit->ToUnit = to;
    return unit;
}

std::unique_ptr<GTransformation> Negation(bool negateX, bool negateY)
{
    auto factor = std::make_unique<GFactorTransformation>();
    factor->FX = negateX ? -1.0 : 1.0;
    factor->FY = negateY ? -1.0 : 1.0;
    return factor;
}

// A Lo conversion (either way) on the ellipsoid of a datum.
template <class Conversion> std::unique_ptr<Conversion> LoConversion(std::uint8_t datum, double lo)
{
    auto conversion = std::make_unique<Conversion>();
    conversion->World = static_cast<GWorld>(datum);
    conversion->LoMeridian = lo;
    return conversion;
}

template <class Conversion>
std::unique_ptr<GGroupTransformation> LoConversionGroup(std::uint8_t datum, double lo)
{
    auto group = std::make_unique<GGroupTransformation>();
    group->Transformations.Add(LoConversion<Conversion>(datum, lo));
    return group;
}

// Sends every vertex of every record, from the first on, through transformPoint and posts each
// shape; a record without a shape is left as it is. label is set to the record's report label
// (empty without a label field) before its vertices go through. Ends on the first record.
template <class TransformPoint>
void TransformRecords(GProject& project, std::int32_t count, bool labelled, std::string& label,
                      TransformPoint& transformPoint)
{
    GRecordSet& recordSet = *project.RecordSet;
    GField* labelField = labelled && !project.LabelField.empty()
                             ? &recordSet.Fields().FieldByName(project.LabelField, false)
                             : nullptr;
    recordSet.First();
    for (std::int32_t record = 0; record < count; ++record)
    {
        if (const auto shape = recordSet.GetShape())
        {
            label = labelField ? GReport::Label(labelField->AsString()) : std::string();
            shape->ForEachPoint(transformPoint);
            recordSet.Edit();
            recordSet.SetShape(*shape);
            recordSet.Post();
        }
        recordSet.Next();
        project.ProgressHandler(record + 1, kTransformingCaption, count);
    }
    recordSet.First();
}

// The report is closed with what was written so far when an error ends a run; the error itself
// is what the user needs to see, so a failure to close is not raised over it.
class ReportGuard
{
public:
    explicit ReportGuard(std::unique_ptr<GReport>& report) : report_(report) {}
    ~ReportGuard()
    {
        if (report_)
        {
            report_->CloseQuietly();
            report_.reset();
        }
    }
    void Close()
    {
        if (report_)
        {
            report_->Close();
            report_.reset();
        }
    }

private:
    std::unique_ptr<GReport>& report_;
};

} // namespace

std::string MissingSheetMessage(const std::string& sheetName)
{
    return "The following sheet:\r\r" + sheetName + "\r\r" +
           "has not been referenced in the Sheet.DB" + "\r" +
           "table. Please contact the developers and" + "\r" + "have this problem corrected.";
}

// --- Stored settings ---

GStoredSettings ReadStoredSettings()
{
    const GRegistry registry;
    GStoredSettings s;
    s.LocalOrigin = registry.ReadInteger("Local Origin", 31);
    s.CoordinateSystem = registry.ReadInteger("Coordinate System", 0);
    s.ProjectTransformation = registry.ReadInteger("Project Transformation", 0);
    s.XConstant = registry.ReadFloat("X Constant", 0.0);
    s.YConstant = registry.ReadFloat("Y Constant", 0.0);
    s.Exchange = registry.ReadBool("Exchange", false);
    s.NegateX = registry.ReadBool("Negate X", false);
    s.NegateY = registry.ReadBool("Negate Y", false);
    s.ApplyWeighting = registry.ReadBool("Apply Weighting", false);
    s.ControlDistance = registry.ReadFloat("Control Distance", 300.0);
    s.HelmertA = registry.ReadFloat("Helmert A", 1.0);
    s.HelmertB = registry.ReadFloat("Helmert B", 1.0);
    s.CapeX = registry.ReadFloat("Cape X", 0.0);
    s.CapeY = registry.ReadFloat("Cape Y", 0.0);
    s.WGSX = registry.ReadFloat("WGS X", 0.0);
    s.WGSY = registry.ReadFloat("WGS Y", 0.0);
    s.HelmertMode = registry.ReadInteger("Helmert Mode", 0);
    s.Output = registry.ReadBool("Output", false);
    s.OutputMode = registry.ReadInteger("Output Mode", 0);
    s.ShowMessage = registry.ReadBool("Show Message", true);
    return s;
}

void WriteStoredSettings(const GStoredSettings& s)
{
    GRegistry registry;
    registry.CanCreate = true;
    registry.WriteInteger("Coordinate System", s.CoordinateSystem);
    registry.WriteInteger("Project Transformation", s.ProjectTransformation);
    registry.WriteInteger("Local Origin", s.LocalOrigin);
    registry.WriteFloat("X Constant", s.XConstant);
    registry.WriteFloat("Y Constant", s.YConstant);
    registry.WriteBool("Exchange", s.Exchange);
    registry.WriteBool("Negate X", s.NegateX);
    registry.WriteBool("Negate Y", s.NegateY);
    registry.WriteBool("Apply Weighting", s.ApplyWeighting);
    registry.WriteFloat("Control Distance", s.ControlDistance);
    registry.WriteFloat("Helmert A", s.HelmertA);
    registry.WriteFloat("Helmert B", s.HelmertB);
    registry.WriteFloat("Cape X", s.CapeX);
    registry.WriteFloat("Cape Y", s.CapeY);
    registry.WriteFloat("WGS X", s.WGSX);
    registry.WriteFloat("WGS Y", s.WGSY);
    registry.WriteInteger("Helmert Mode", s.HelmertMode);
    registry.WriteBool("Output", s.Output);
    registry.WriteInteger("Output Mode", s.OutputMode);
}

// --- Degree-sheet table ---

void GSheetTable::Load()
{
    Rows.clear();
    engine::Table table;
    table.SetDatabaseName(kControlFileDatabase);
    table.SetTableName("Sheet");
    table.SetReadOnly(true);
    table.Open();
    const int sheet = table.FieldByName("SHEET");
    const int columns[6] = {table.FieldByName("CX"), table.FieldByName("CY"),
                            table.FieldByName("WX"), table.FieldByName("WY"),
                            table.FieldByName("A"),  table.FieldByName("B")};
    const auto number = [&](int index)
    {
        const engine::Value value = table.GetValue(index);
        return value.IsNull() ? 0.0 : value.AsDouble();
    };
    for (table.First(); !table.Eof(); table.Next())
    {
        GSheetRecord record;
        record.CX = number(columns[0]);
        record.CY = number(columns[1]);
        record.WX = number(columns[2]);
        record.WY = number(columns[3]);
        record.A = number(columns[4]);
        record.B = number(columns[5]);
        // The first row of a name is the one a search from the top would find.
        Rows.emplace(table.GetText(sheet), record);
    }
    table.Close();
}

const GSheetRecord* GSheetTable::Find(const std::string& sheet) const
{
    const auto found = Rows.find(sheet);
    return found == Rows.end() ? nullptr : &found->second;
}

// --- Project ---

GProject::GProject() : Extent(std::make_unique<GRectangle>())
{
    ControlBeacons.OnProgress = [this](int position, const std::string& text, int total)
    { ProgressHandler(position, text, total); };
}

GProject::~GProject()
{
    ControlBeacons.Clear();
    OutputFile.reset();
    try
    {
        CloseRecordSet();
    }
    catch (...)
    {
        // The record set's destructor releases it whatever happened.
    }
}

void GProject::ProgressHandler(int position, const std::string& text, int total)
{
    if (ui_)
        ui_->ShowProgress(position, total, text);
}

void GProject::LoadDefaults()
{
    const GStoredSettings s = ReadStoredSettings();
    LocalOrigin = s.LocalOrigin;
    // Codes outside the known ones would select no conversion at all; the default is the
    // sound reading of such a value.
    CoordinateSystem = s.CoordinateSystem >= 0 && s.CoordinateSystem <= 2
                           ? static_cast<std::uint8_t>(s.CoordinateSystem)
                           : 0;
    ProjectTransformation = s.ProjectTransformation == 1 ? 1 : 0;
    XConstant = s.XConstant;
    YConstant = s.YConstant;
    Exchange = s.Exchange;
    NegateX = s.NegateX;
    NegateY = s.NegateY;
    ApplyWeighting = s.ApplyWeighting;
    ControlDistance = s.ControlDistance;
    HelmertA = s.HelmertA;
    HelmertB = s.HelmertB;
    CapeX = s.CapeX;
    CapeY = s.CapeY;
    WGSX = s.WGSX;
    WGSY = s.WGSY;
    HelmertMode = s.HelmertMode;
    Output = s.Output;
    OutputMode = s.OutputMode;
    ShowMessage = s.ShowMessage;
    TransformationLocalOrigin = LocalOrigin;
}

// --- Run operations ---

void GProject::CloseRecordSet()
{
    ControlBeacons.Clear();
    if (!RecordSet)
        return;
    std::unique_ptr<GRecordSet> recordSet = std::move(RecordSet);
    // A record set left in an edit by an error cannot be closed; freeing it drops the edit.
    if (recordSet->Active() && !recordSet->IsEditing())
        recordSet->Close();
}

bool GProject::OpenRecordSet(std::unique_ptr<GRecordSet> recordSet)
{
    ControlBeacons.Clear();
    CloseRecordSet();
    if (!recordSet)
        return false;
    const auto refuse = [this](const char* message)
    {
        if (ui_)
            ui_->ShowError(message);
        return false;
    };
    if (recordSet->GetReadOnly())
        return refuse(kReadOnlyRecordSetMessage);
    if (!recordSet->Open() || !recordSet->Active())
        return refuse(kUnableToLoadRecordSetMessage);
    if (!recordSet->HasSpatialComponent())
    {
        recordSet->Close();
        return refuse(kNoSpatialComponentMessage);
    }
    RecordSet = std::move(recordSet);
    return true;
}

void GProject::CalculateExtent()
{
    Extent = std::make_unique<GRectangle>();
    if (!RecordSet)
        return;
    const std::int32_t count = RecordSet->RecordCount();
    bool any = false;
    RecordSet->First();
    for (std::int32_t record = 0; record < count && !RecordSet->Eof(); ++record)
    {
        // A record without a shape, or a shape without points, has no extent to add.
        if (const auto shape = RecordSet->GetShape())
        {
            if (auto extent = shape->GetExtent())
            {
                if (any)
                    Extent->Union(*extent);
                else
                    Extent = std::move(extent);
                any = true;
            }
        }
        RecordSet->Next();
        ProgressHandler(record + 1, "Retrieving Spatial Extent...", count);
    }
    RecordSet->First();
}

void GProject::ReadControlBeacons()
{
    GHourglass hourglass(ui_);
    ControlBeacons.OnProgress = [this](int position, const std::string& text, int total)
    { ProgressHandler(position, text, total); };
    ControlBeacons.ReadControlFile(SourceDatum, kControlFileTable);
}

void GProject::SortControlBeacons()
{
    const auto toPlane = BuildGeographicToPlane(SourceDatum, TransformationLocalOrigin);
    const auto extent = GeographicExtent();
    GPoint centre;
    extent->GetCentre(centre.X, centre.Y);
    toPlane->Transform(centre, tdForward);

    // Each beacon is projected once; the comparison then only looks its distance up.
    std::unordered_map<const GTrigBeacon*, double> distances;
    distances.reserve(static_cast<std::size_t>(ControlBeacons.Count()));
    for (const auto& beacon : ControlBeacons)
    {
        if (!beacon)
            continue;
        double distance = std::numeric_limits<double>::infinity();
        if (const GCoordinate* source = beacon->SourceCoordinate())
        {
            GPoint point(source->X, source->Y, 0.0);
            toPlane->Transform(point, tdForward);
            distance = Distance(centre.X, centre.Y, point.X, point.Y);
        }
        distances.emplace(beacon.get(), distance);
    }
    ControlBeacons.Sort(
        [&](const GTrigBeacon& a, const GTrigBeacon& b)
        {
            const double da = distances.at(&a);
            const double db = distances.at(&b);
            return da < db ? -1 : (da > db ? 1 : 0);
        });
}

void GProject::SelectControlBeacons(std::int32_t strategy, std::int32_t count, double buffer,
                                    bool useTrigBeacons, bool useTownSurveyMarks, bool useOther)
{
    if (!useTrigBeacons)
        ControlBeacons.RemoveBySource("TRIG");
    if (!useTownSurveyMarks)
        ControlBeacons.RemoveBySource("TSM");
    if (!useOther)
        ControlBeacons.RemoveBySource("*");
    for (const auto& beacon : ControlBeacons)
        if (beacon)
            beacon->Selected = false;

    if (strategy == 0)
    {
        auto area = GeographicExtent();
        area->ScaleAboutCentre((buffer * 2.0 + 100.0) / 100.0);
        for (const auto& beacon : ControlBeacons)
        {
            const GCoordinate* source = beacon ? beacon->SourceCoordinate() : nullptr;
            // The corners of a geographic extent need not be in left/top order (westing turns
            // into longitude the other way round), so the containment ignores orientation.
            if (source && area->Contains(GPoint(source->X, source->Y, 0.0)))
                beacon->Selected = true;
        }
    }
    else if (strategy == 1)
    {
        const int last = std::min(count, ControlBeacons.Count());
        for (int i = 0; i < last; ++i)
            if (GTrigBeacon* beacon = ControlBeacons.GetItem(i))
                beacon->Selected = true;
    }
}

void GProject::SelectControlBeacons(const GSelectionStrategy& s)
{
    SelectControlBeacons(s.Strategy, s.Count, s.Buffer, s.UseTrigBeacons, s.UseTownSurveyMarks,
                         s.UseOtherCoordinates);
}

GRunCounts GProject::RunControlTransformation()
{
    GHourglass hourglass(ui_);
    GRunCounts counts;
    if (!RecordSet)
        return counts;
    if (Output)
        OutputFile = std::make_unique<GReport>(OutputFileName);
    ReportGuard report(OutputFile);

    // Every chain is built once for the run and applied point by point.
    const auto toGeographic = BuildToGeographic(SourceDatum, LocalOrigin);
    const auto toPlane = BuildGeographicToPlane(SourceDatum, TransformationLocalOrigin);
    const auto fromPlane = BuildPlaneToGeographic(TargetDatum, TransformationLocalOrigin);
    const auto fromGeographic = BuildFromGeographic(TargetDatum, LocalOrigin);

    GHelmertTransformation helmert;
    {
        const auto targetToPlane = BuildGeographicToPlane(TargetDatum, TransformationLocalOrigin);
        for (const auto& beacon : ControlBeacons)
        {
            if (!beacon || !beacon->Selected)
                continue;
            const GCoordinate& source = SourceDatum == dtCape ? beacon->Clarke : beacon->WGS;
            const GCoordinate& target = SourceDatum == dtCape ? beacon->WGS : beacon->Clarke;
            auto sourcePoint = std::make_unique<GPoint>(source.X, source.Y, 0.0);
            auto targetPoint = std::make_unique<GPoint>(target.X, target.Y, 0.0);
            toPlane->Transform(*sourcePoint, tdForward);
            targetToPlane->Transform(*targetPoint, tdForward);
            helmert.AddPair(beacon->Name, std::move(sourcePoint), std::move(targetPoint));
        }
    }
    if (OutputFile)
        OutputFile->WriteControlBeaconSection(helmert, SourceDatum);

    GDistanceWeightingAdjustment weighting;
    for (int i = 0; i < helmert.PairCount(); ++i)
    {
        const GPoint& target = helmert.TargetPoint(i);
        weighting.AddControl(std::make_unique<GPoint>(target.X, target.Y, 0.0),
                             helmert.ResidualX(i), helmert.ResidualY(i));
    }
    const bool verbose = OutputFile && OutputMode == 1;
    if (verbose)
        OutputFile->WriteCoordinateHeading();

    const bool weight = ApplyWeighting && weighting.IsValid();
    counts.Shapes = RecordSet->RecordCount();
    std::string label;
    const auto transformPoint = [&](GPoint& point)
    {
        toGeographic->Transform(point, tdForward);
        toPlane->Transform(point, tdForward);
        const double x = point.X;
        const double y = point.Y;
        helmert.Transform(point, tdForward);
        if (weight)
            weighting.Adjust(point);
        if (verbose)
            OutputFile->WriteCoordinateLine(label, y, x, point.Y, point.X);
        fromPlane->Transform(point, tdForward);
        fromGeographic->Transform(point, tdForward);
        ++counts.Points;
    };
    TransformRecords(*this, counts.Shapes, verbose, label, transformPoint);
    report.Close();
    return counts;
}

GRunCounts GProject::RunHelmertTransformation()
{
    GHourglass hourglass(ui_);
    GRunCounts counts;
    if (!RecordSet)
        return counts;
    if (Output)
        OutputFile = std::make_unique<GReport>(OutputFileName);
    ReportGuard report(OutputFile);

    // The sheet table lives for the run only; a user-defined run never looks a sheet up.
    struct SheetTableGuard
    {
        std::unique_ptr<GSheetTable>& table;
        ~SheetTableGuard() { table.reset(); }
    } sheetTableGuard{SheetTable};
    SheetTable.reset();
    if (HelmertMode == 0)
    {
        SheetTable = std::make_unique<GSheetTable>();
        SheetTable->Load();
    }

    std::vector<std::string> parameterLines;
    std::unordered_set<std::string> knownLines;
    GCapeToHartebeesthoekTransformation cape;
    const bool verbose = OutputFile && OutputMode == 1;
    if (verbose)
        OutputFile->WriteCoordinateHeading();

    const std::int32_t recordCount = RecordSet->RecordCount();
    const auto toGeographic = BuildToGeographic(SourceDatum, LocalOrigin);
    const auto fromGeographic = BuildFromGeographic(TargetDatum, LocalOrigin);
    // The plane conversions change only their meridian from point to point.
    GGeographicToGeodeticTransformation toPlane;
    toPlane.World = static_cast<GWorld>(SourceDatum);
    GGeodeticToGeographicTransformation fromPlane;
    fromPlane.World = static_cast<GWorld>(TargetDatum);

    // Every point is checked before anything is changed, so that a missing sheet leaves the
    // data as it was.
    std::string missingSheet;
    if (HelmertMode == 0 && !CheckSheets(missingSheet))
    {
        if (ui_)
            ui_->ShowError(MissingSheetMessage(missingSheet));
        report.Close();
        return counts;
    }

    counts.Shapes = recordCount;
    std::string label;
    GSheetParameters parameters;
    std::optional<GSheetParameters> previous;
    const std::uint8_t direction = SourceDatum == dtCape ? tdForward : tdInverse;
    const auto transformPoint = [&](GPoint& point)
    {
        toGeographic->Transform(point, tdForward);
        GetSheetParameters(point, parameters);
        // Equal parameters give an equal line; only a change needs formatting.
        if (OutputFile && parameters != previous)
        {
            std::string line = GReport::FormatParameterLine(parameters, SourceDatum);
            if (knownLines.insert(line).second)
                parameterLines.push_back(std::move(line));
            previous = parameters;
        }
        toPlane.LoMeridian = parameters.Lo;
        toPlane.Transform(point, tdForward);
        cape.HelmertA = parameters.A;
        cape.HelmertB = parameters.B;
        cape.CapeX = parameters.CX;
        cape.CapeY = parameters.CY;
        cape.WGSX = parameters.WX;
        cape.WGSY = parameters.WY;
        const double x = point.X;
        const double y = point.Y;
        cape.Transform(point, direction);
        if (verbose)
            OutputFile->WriteCoordinateLine(label, y, x, point.Y, point.X);
        fromPlane.LoMeridian = parameters.Lo;
        fromPlane.Transform(point, tdForward);
        fromGeographic->Transform(point, tdForward);
        ++counts.Points;
    };
    TransformRecords(*this, recordCount, verbose, label, transformPoint);
    if (OutputFile)
        OutputFile->WriteParameterSection(parameterLines, SourceDatum, verbose);
    report.Close();
    return counts;
}

bool GProject::CheckSheets(std::string& missingSheet,
                           const std::function<void(const GSheetParameters&)>& take)
{
    const auto toGeographic = BuildToGeographic(SourceDatum, LocalOrigin);
    const std::int32_t count = RecordSet->RecordCount();
    GSheetParameters parameters;
    bool found = true;
    RecordSet->First();
    for (std::int32_t record = 0; record < count && found; ++record)
    {
        if (const auto shape = RecordSet->GetShape())
        {
            shape->ForEachPoint(
                [&](GPoint& point)
                {
                    if (!found)
                        return;
                    toGeographic->Transform(point, tdForward);
                    found = GetSheetParameters(point, parameters);
                    if (found && take)
                        take(parameters);
                });
        }
        RecordSet->Next();
    }
    RecordSet->First();
    if (!found)
        missingSheet = parameters.SheetName;
    return found;
}

void GProject::FlushRecordSet()
{
    if (!RecordSet)
        return;
    RecordSet->SetPackedAngles(CoordinateSystem == 1);
    RecordSet->Flush();
}

// --- Chains ---

std::unique_ptr<GGroupTransformation> GProject::BuildToGeographic(std::uint8_t datum,
                                                                  double lo) const
{
    auto group = std::make_unique<GGroupTransformation>();
    GTransformationList& members = group->Transformations;
    if (XConstant != 0.0 || YConstant != 0.0)
        members.Add(Shift(XConstant, YConstant));
    if (CoordinateSystem == 1)
        members.Add(PackedAngles(utDDDMMSS, utDecimalDegrees));
    if (NegateX || NegateY)
        members.Add(Negation(NegateX, NegateY));
    if (Exchange)
        members.Add(std::make_unique<GExchangeTransformation>());
    if (CoordinateSystem == 0)
        members.Add(LoConversion<GGeodeticToGeographicTransformation>(datum, lo));
    return group;
}

std::unique_ptr<GGroupTransformation> GProject::BuildFromGeographic(std::uint8_t datum,
                                                                    double lo) const
{
    auto group = std::make_unique<GGroupTransformation>();
    GTransformationList& members = group->Transformations;
    if (CoordinateSystem == 0)
        members.Add(LoConversion<GGeographicToGeodeticTransformation>(datum, lo));
    if (Exchange)
        members.Add(std::make_unique<GExchangeTransformation>());
    if (NegateX || NegateY)
        members.Add(Negation(NegateX, NegateY));
    if (CoordinateSystem == 1)
        members.Add(PackedAngles(utDecimalDegrees, utDDDMMSS));
    if (XConstant != 0.0 || YConstant != 0.0)
        members.Add(Shift(-XConstant, -YConstant));
    return group;
}

std::unique_ptr<GGroupTransformation> GProject::BuildGeographicToPlane(std::uint8_t datum,
                                                                       double lo)
{
    return LoConversionGroup<GGeographicToGeodeticTransformation>(datum, lo);
}

std::unique_ptr<GGroupTransformation> GProject::BuildPlaneToGeographic(std::uint8_t datum,
                                                                       double lo)
{
    return LoConversionGroup<GGeodeticToGeographicTransformation>(datum, lo);
}

void GProject::ToGeographic(GShape& shape, std::uint8_t datum, double lo) const
{
    BuildToGeographic(datum, lo)->TransformShape(shape, tdForward);
}

void GProject::FromGeographic(GShape& shape, std::uint8_t datum, double lo) const
{
    BuildFromGeographic(datum, lo)->TransformShape(shape, tdForward);
}

void GProject::GeographicToPlane(GShape& shape, std::uint8_t datum, double lo) const
{
    BuildGeographicToPlane(datum, lo)->TransformShape(shape, tdForward);
}

void GProject::PlaneToGeographic(GShape& shape, std::uint8_t datum, double lo) const
{
    BuildPlaneToGeographic(datum, lo)->TransformShape(shape, tdForward);
}

std::unique_ptr<GRectangle> GProject::GeographicExtent() const
{
    auto extent = std::make_unique<GRectangle>(Extent->Left(), Extent->Bottom(), Extent->Right(),
                                               Extent->Top());
    ToGeographic(*extent, dtCape, LocalOrigin);
    return extent;
}

bool GProject::GetSheetParameters(const GPoint& point, GSheetParameters& parameters)
{
    if (HelmertMode == 1)
    {
        parameters.SheetName = "USER DEFINED";
        parameters.Lo = TransformationLocalOrigin;
        parameters.CX = CapeX;
        parameters.CY = CapeY;
        parameters.WX = WGSX;
        parameters.WY = WGSY;
        parameters.A = HelmertA;
        parameters.B = HelmertB;
        return true;
    }
    // Geographic points hold the latitude in Y and the longitude in X after the chain, whatever
    // the data's own coordinate system, so the sheet is always named latitude first.
    parameters.SheetName = SheetName(point.Y, point.X);
    parameters.Lo = LoZone(point.X);
    if (!SheetTable)
    {
        SheetTable = std::make_unique<GSheetTable>();
        SheetTable->Load();
    }
    if (const GSheetRecord* record = SheetTable->Find(parameters.SheetName))
    {
        parameters.CX = record->CX;
        parameters.CY = record->CY;
        parameters.WX = record->WX;
        parameters.WY = record->WY;
        parameters.A = record->A;
        parameters.B = record->B;
        return true;
    }
    parameters.CX = parameters.CY = parameters.WX = parameters.WY = 0.0;
    parameters.A = parameters.B = 1.0;
    return false;
}

// --- Dialog operations ---

GProjectParameters GProject::GetProjectParameters() const
{
    GProjectParameters values;
    values.LocalOrigin = LocalOrigin;
    values.XConstant = XConstant;
    values.YConstant = YConstant;
    values.Exchange = Exchange;
    values.NegateX = NegateX;
    values.NegateY = NegateY;
    values.CoordinateSystem = CoordinateSystem;
    return values;
}

void GProject::SetProjectParameters(const GProjectParameters& values)
{
    LocalOrigin = values.LocalOrigin;
    TransformationLocalOrigin = values.LocalOrigin;
    XConstant = values.XConstant;
    YConstant = values.YConstant;
    Exchange = values.Exchange;
    NegateX = values.NegateX;
    NegateY = values.NegateY;
    CoordinateSystem = values.CoordinateSystem <= 2 ? values.CoordinateSystem : 0;
}

bool GProject::EditProjectParameters()
{
    if (!RecordSet || !ui_)
        return false;
    GProjectParameters values = GetProjectParameters();
    if (!ui_->EditProjectParameters(*this, values))
        return false;
    SetProjectParameters(values);
    return true;
}

bool GProject::EditTransformationMethod()
{
    if (!RecordSet || !ui_)
        return false;
    std::uint8_t method = ProjectTransformation;
    if (!ui_->EditTransformationMethod(method))
        return false;
    ProjectTransformation = method == 0 ? 0 : 1;
    return true;
}

bool GProject::EditTransformationParameters()
{
    if (!RecordSet || !ui_)
        return false;
    GTransformationParameters values;
    values.TransformationLocalOrigin = TransformationLocalOrigin;
    values.ApplyWeighting = ApplyWeighting;
    if (!ui_->EditTransformationParameters(values))
        return false;
    TransformationLocalOrigin = values.TransformationLocalOrigin;
    ApplyWeighting = values.ApplyWeighting;
    return true;
}

bool GProject::EditHelmertParameters()
{
    if (!RecordSet || !ui_)
        return false;
    GHelmertParameters values;
    values.HelmertMode = HelmertMode;
    values.TransformationLocalOrigin = TransformationLocalOrigin;
    values.HelmertA = HelmertA;
    values.HelmertB = HelmertB;
    values.CapeX = CapeX;
    values.CapeY = CapeY;
    values.WGSX = WGSX;
    values.WGSY = WGSY;
    if (!ui_->EditHelmertParameters(values))
        return false;
    HelmertMode = values.HelmertMode == 0 ? 0 : 1;
    TransformationLocalOrigin = values.TransformationLocalOrigin;
    HelmertA = values.HelmertA;
    HelmertB = values.HelmertB;
    CapeX = values.CapeX;
    CapeY = values.CapeY;
    WGSX = values.WGSX;
    WGSY = values.WGSY;
    return true;
}

bool GProject::ReviewControlBeacons()
{
    if (!RecordSet || !ui_)
        return false;
    const auto extent = GeographicExtent();
    GPoint centre;
    extent->GetCentre(centre.X, centre.Y);
    return ui_->ReviewControlBeacons(ControlBeacons, TransformationLocalOrigin, centre);
}

bool GProject::ChooseOutput()
{
    if (!RecordSet || !ui_)
        return false;
    for (;;)
    {
        GOutputChoice choice;
        choice.LabelFields.push_back("<NONE>");
        std::vector<std::string> names;
        RecordSet->Fields().GetFieldNames(names, false);
        choice.LabelFields.insert(choice.LabelFields.end(), names.begin(), names.end());
        for (const std::string& name : names)
            if (name == LabelField)
                choice.LabelField = LabelField;
        choice.Output = Output;
        choice.OutputMode = OutputMode;
        if (!ui_->EditTransformationOutput(choice))
            return false;
        LabelField = choice.LabelField == "<NONE>" ? std::string() : choice.LabelField;
        Output = choice.Output;
        OutputMode = choice.OutputMode;
        if (!Output)
        {
            OutputFileName.clear();
            return true;
        }
        GFileDialog dialog;
        dialog.Title = "Transformation Output File...";
        dialog.DefaultExtension = "txt";
        dialog.Filter = "Text Files (*.txt)|*.txt|Ascii Files (*.asc)|*.asc|All Files (*.*)|*.*";
        dialog.FileName = "Output.txt";
        dialog.OverwritePrompt = true;
        if (ui_->ChooseSaveFile(dialog))
        {
            OutputFileName = dialog.FileName;
            return true;
        }
        // A cancelled file dialog goes back to the output dialog.
    }
}

bool GProject::ConfirmRun()
{
    if (!ShowMessage)
        return true;
    if (!ui_)
        return false;
    bool alwaysShow = true;
    if (!ui_->ConfirmRun(alwaysShow))
        return false;
    ShowMessage = alwaysShow;
    GRegistry registry;
    registry.CanCreate = true;
    registry.WriteBool("Show Message", ShowMessage);
    return true;
}

} // namespace quorvalis
