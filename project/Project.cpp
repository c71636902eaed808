#include "project/Project.h"

#include "database/Database.h"
#include "database/engine/Table.h"
#include "geometry/Calculations.h"
#include "project/Guards.h"
#include "project/Report.h"
#include "project/WinRegistry.h"
#include "project/WorkerPool.h"
#include "transformation/Adjustment.h"
#include "transformation/Transformation.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <iterator>
#include <limits>
#include <optional>
#include <typeinfo>
#include <unordered_set>
#include <utility>

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

// What the transformation of one vertex leaves for the calling thread: its plane coordinates
// before the transformation (X, Y), after it (MovedX, MovedY) and the distance between them.
struct VertexOutcome
{
    double X = 0.0, Y = 0.0, MovedX = 0.0, MovedY = 0.0, Distance = 0.0;
};

// What one chunk of a batch met besides its vertices' outcomes: the parameters of a Helmert run
// wherever they change (the first vertex of the chunk included), and the first failure.
struct ChunkOutcome
{
    std::vector<std::pair<std::int64_t, GSheetParameters>> Parameters;
    std::int64_t FailedVertex = -1;
    bool FailedAtPlane = false; // the failure came after the vertex's outcome was taken
    std::exception_ptr Failure;
};

// Records read together: their shapes, pointers to every vertex in record order, and what the
// transformation left. A read that failed ends the batch; its error is raised once the records
// before it are posted, where a record-by-record run would have met it.
struct Batch
{
    struct Record
    {
        std::int32_t Index = 0;
        std::unique_ptr<GShape> Shape; // none: the record has no shape
        std::int64_t VertexCount = 0;
    };
    std::vector<Record> Records;
    std::vector<GPoint*> Vertices;
    std::vector<VertexOutcome> Outcomes;
    std::vector<ChunkOutcome> Chunks;
    std::exception_ptr ReadFailure;

    void Clear()
    {
        Records.clear();
        Vertices.clear();
        Chunks.clear();
        ReadFailure = nullptr;
    }
    void Add(std::int32_t record, std::unique_ptr<GShape> shape)
    {
        const std::size_t first = Vertices.size();
        if (shape)
            shape->ForEachPoint([this](GPoint& point) { Vertices.push_back(&point); });
        const auto vertices = static_cast<std::int64_t>(Vertices.size() - first);
        Records.push_back(Record{record, std::move(shape), vertices});
    }
};

// Vertices a chunk of pool work holds, and chunks a batch holds per thread: chunks large enough
// that handing them out costs nothing measurable, with chunks enough for every thread to share
// the last ones of a batch; batches small enough that the shapes read are still in the cache when
// they are posted. On one thread a batch is one chunk: nothing overlaps, and the shapes stay hot.
constexpr std::int64_t kChunkVertices = 512;
constexpr std::int64_t kChunksPerThread = 4;

// Sends every vertex of every record, from the first on, through the pipelines and posts each
// shape; a record without a shape is left as it is. Ends on the first record.
//
// The vertex work of a batch is shared out to the pool, each thread moving points with its own
// pipeline (pipelines[slot]); everything else stays on the calling thread and in record order:
// every record-set call, progress, and the outcomes, which go to take(outcome) vertex by vertex
// (label set to the record's report label first when labelled) and, in a Helmert run, to
// takeParameters(parameters) wherever the parameters change. A record set that can read ahead
// has its next batch read while the pool works on the current one; any other is read and
// written a record at a time, with only the vertices of the record shared out. The first
// failure in vertex order is raised as a record-by-record run would raise it, after the same
// records were posted; nothing that follows it is taken or posted.
template <class Pipeline, class Take, class TakeParameters>
void TransformRecords(GProject& project, std::int32_t count, bool labelled, std::string& label,
                      GWorkerPool& pool, std::vector<std::unique_ptr<Pipeline>>& pipelines,
                      bool logParameters, Take&& take, TakeParameters&& takeParameters)
{
    GRecordSet& recordSet = *project.RecordSet;
    GField* labelField = labelled && !project.LabelField.empty()
                             ? &recordSet.Fields().FieldByName(project.LabelField, false)
                             : nullptr;
    // GetShapeAt does not call the OnGetShape hook; a record set that has one is read in turn.
    const bool readAhead = recordSet.CanReadAhead() && !recordSet.OnGetShape;
    const std::string caption = kTransformingCaption;
    const std::int64_t batchVertices =
        pool.Threads() == 1
            ? kChunkVertices
            : std::max<std::int64_t>(8, kChunksPerThread * pool.Threads()) * kChunkVertices;
    std::int32_t nextRecord = 0;
    const auto read = [&](Batch& batch)
    {
        batch.Clear();
        try
        {
            if (!readAhead)
            {
                if (nextRecord < count)
                    batch.Add(nextRecord, recordSet.GetShape());
                ++nextRecord;
                return;
            }
            while (nextRecord < count &&
                   static_cast<std::int64_t>(batch.Vertices.size()) < batchVertices)
            {
                batch.Add(nextRecord, recordSet.GetShapeAt(nextRecord));
                ++nextRecord;
            }
        }
        catch (...)
        {
            batch.ReadFailure = std::current_exception();
            nextRecord = count;
        }
    };

    // The work of chunk c of a batch on the thread of slot.
    const auto moveChunk = [&pipelines, logParameters](Batch& batch, std::int32_t chunk, int slot)
    {
        Pipeline& pipeline = *pipelines[static_cast<std::size_t>(slot)];
        ChunkOutcome& outcome = batch.Chunks[static_cast<std::size_t>(chunk)];
        const std::int64_t begin = chunk * kChunkVertices;
        const std::int64_t end =
            std::min<std::int64_t>(begin + kChunkVertices, std::ssize(batch.Vertices));
        std::int64_t vertex = begin;
        bool atPlane = false;
        const auto takeAtPlane = [&](double x, double y, const GPoint& moved)
        {
            VertexOutcome& result = batch.Outcomes[static_cast<std::size_t>(vertex)];
            result.X = x;
            result.Y = y;
            result.MovedX = moved.X;
            result.MovedY = moved.Y;
            result.Distance = Distance(x, y, moved.X, moved.Y);
            atPlane = true;
        };
        const auto logParameter = [&](const GSheetParameters& parameters)
        {
            if (logParameters &&
                (outcome.Parameters.empty() || outcome.Parameters.back().second != parameters))
                outcome.Parameters.emplace_back(vertex, parameters);
        };
        try
        {
            for (; vertex < end; ++vertex)
            {
                atPlane = false;
                pipeline.Move(*batch.Vertices[static_cast<std::size_t>(vertex)], logParameter,
                              takeAtPlane);
            }
        }
        catch (...)
        {
            outcome.FailedVertex = vertex;
            outcome.FailedAtPlane = atPlane;
            outcome.Failure = std::current_exception();
        }
    };
    std::atomic<bool> abandon = false;
    const auto start = [&](Batch& batch)
    {
        const std::int64_t vertices = std::ssize(batch.Vertices);
        const auto chunks =
            static_cast<std::int32_t>((vertices + kChunkVertices - 1) / kChunkVertices);
        batch.Chunks.assign(static_cast<std::size_t>(chunks), ChunkOutcome());
        batch.Outcomes.resize(static_cast<std::size_t>(vertices));
        // A single chunk is not worth waking a worker for.
        if (chunks <= 1 || pool.Threads() == 1)
        {
            for (std::int32_t chunk = 0; chunk < chunks; ++chunk)
                moveChunk(batch, chunk, pool.Threads() - 1);
            return;
        }
        pool.Start(
            [&batch, &moveChunk, &abandon](std::int32_t chunk, int slot)
            {
                if (!abandon)
                    moveChunk(batch, chunk, slot);
            },
            chunks);
    };

    // Posts the records of a finished batch in order, handing on the outcomes of their vertices.
    const auto post = [&](Batch& batch)
    {
        std::int64_t vertex = 0;
        std::size_t chunk = 0;
        std::int64_t chunkEnd = kChunkVertices;
        std::size_t parameter = 0;
        for (Batch::Record& record : batch.Records)
        {
            if (record.Shape)
            {
                label = labelField ? GReport::Label(labelField->AsString()) : std::string();
                const std::int64_t end = vertex + record.VertexCount;
                for (; vertex < end; ++vertex)
                {
                    if (vertex == chunkEnd)
                    {
                        ++chunk;
                        chunkEnd += kChunkVertices;
                        parameter = 0;
                    }
                    const ChunkOutcome& outcome = batch.Chunks[chunk];
                    while (parameter < outcome.Parameters.size() &&
                           outcome.Parameters[parameter].first == vertex)
                        takeParameters(outcome.Parameters[parameter++].second);
                    const VertexOutcome& result = batch.Outcomes[static_cast<std::size_t>(vertex)];
                    if (vertex == outcome.FailedVertex)
                    {
                        if (outcome.FailedAtPlane)
                            take(result);
                        std::rethrow_exception(outcome.Failure);
                    }
                    take(result);
                }
                recordSet.Edit();
                recordSet.SetShape(std::move(record.Shape));
                recordSet.Post();
            }
            recordSet.Next();
            project.ProgressHandler(record.Index + 1, caption, count);
        }
        if (batch.ReadFailure)
            std::rethrow_exception(batch.ReadFailure);
    };

    Batch batches[2];
    // However the walk ends, the pool lets go of the batches before they go.
    struct Release
    {
        GWorkerPool& Pool;
        std::atomic<bool>& Abandon;
        ~Release()
        {
            Abandon = true;
            try
            {
                Pool.Wait();
            }
            catch (...)
            {
            }
        }
    } release{pool, abandon};

    recordSet.First();
    Batch* current = &batches[0];
    Batch* next = &batches[1];
    read(*current);
    start(*current);
    while (!current->Records.empty() || current->ReadFailure)
    {
        if (readAhead)
            read(*next);
        pool.Wait();
        if (readAhead)
            start(*next);
        post(*current);
        if (!readAhead)
        {
            read(*next);
            start(*next);
        }
        std::swap(current, next);
    }
    pool.Wait();
    recordSet.First();
}

// The report a run writes, pending until FlushRecordSet commits it after the data. Made at
// once (so a file that cannot be created stops the run before anything changes); an error before
// Keep discards it, leaving no report and whatever file was at that path as it was.
class PendingReport
{
public:
    explicit PendingReport(GProject& project) : report_(project.OutputFile)
    {
        report_.reset();
        if (project.Output)
        {
            report_ = std::make_unique<GReport>(project.OutputFileName);
            report_->PackedCoordinates = project.CoordinateSystem == 1;
        }
    }
    ~PendingReport()
    {
        if (!kept_)
            report_.reset();
    }
    PendingReport(const PendingReport&) = delete;
    PendingReport& operator=(const PendingReport&) = delete;
    void Keep() { kept_ = true; }

private:
    std::unique_ptr<GReport>& report_;
    bool kept_ = false;
};

// The degree-sheet table lives for one run (or one assessment); a user-defined run never looks a
// sheet up.
class SheetTableScope
{
public:
    explicit SheetTableScope(GProject& project) : table_(project.SheetTable)
    {
        table_.reset();
        if (project.HelmertMode == 0)
        {
            table_ = std::make_unique<GSheetTable>();
            table_->Load();
        }
    }
    ~SheetTableScope() { table_.reset(); }
    SheetTableScope(const SheetTableScope&) = delete;
    SheetTableScope& operator=(const SheetTableScope&) = delete;

private:
    std::unique_ptr<GSheetTable>& table_;
};

// The point chain of a control-coordinate run, each member built once: data -> geographic ->
// source plane -> Helmert (and weighting) -> target plane -> geographic -> data.
class ControlPipeline
{
public:
    explicit ControlPipeline(const GProject& project)
        : toGeographic_(project.BuildToGeographic(project.SourceDatum, project.LocalOrigin)),
          toPlane_(GProject::BuildGeographicToPlane(project.SourceDatum,
                                                    project.TransformationLocalOrigin)),
          fromPlane_(GProject::BuildPlaneToGeographic(project.TargetDatum,
                                                      project.TransformationLocalOrigin)),
          fromGeographic_(project.BuildFromGeographic(project.TargetDatum, project.LocalOrigin)),
          helmert_(project.BuildControlHelmert())
    {
        if (!helmert_->IsValid())
            throw GGuardException(kInvalidTransformationMessage);
        for (int i = 0; i < helmert_->PairCount(); ++i)
        {
            const GPoint& target = helmert_->TargetPoint(i);
            weighting_.AddControl(std::make_unique<GPoint>(target.X, target.Y, 0.0),
                                  helmert_->ResidualX(i), helmert_->ResidualY(i));
        }
        weight_ = project.ApplyWeighting && weighting_.IsValid();
    }

    GHelmertTransformation& Helmert() { return *helmert_; }

    // Moves point the whole way; atPlane(x, y, moved) sees its plane coordinates before the
    // transformation and the moved point on the target plane.
    template <class AtPlane> void Move(GPoint& point, AtPlane&& atPlane)
    {
        toGeographic_->Transform(point, tdForward);
        toPlane_->Transform(point, tdForward);
        const double x = point.X;
        const double y = point.Y;
        helmert_->Transform(point, tdForward);
        if (weight_)
            weighting_.Adjust(point);
        atPlane(x, y, point);
        fromPlane_->Transform(point, tdForward);
        fromGeographic_->Transform(point, tdForward);
    }
    // The form of SheetPipeline::Move: a control run has no parameters per point.
    template <class Take, class AtPlane> void Move(GPoint& point, Take&&, AtPlane&& atPlane)
    {
        Move(point, atPlane);
    }

private:
    std::unique_ptr<GGroupTransformation> toGeographic_, toPlane_, fromPlane_, fromGeographic_;
    std::unique_ptr<GHelmertTransformation> helmert_;
    GDistanceWeightingAdjustment weighting_;
    bool weight_ = false;
};

// The point chain of a Helmert run: the parameters (and the Lo of the plane) come per point from
// its degree sheet, or once from the user.
class SheetPipeline
{
public:
    explicit SheetPipeline(const GProject& project)
        : project_(project),
          toGeographic_(project.BuildToGeographic(project.SourceDatum, project.LocalOrigin)),
          fromGeographic_(project.BuildFromGeographic(project.TargetDatum, project.LocalOrigin)),
          direction_(project.SourceDatum == dtCape ? tdForward : tdInverse)
    {
        // The plane conversions change only their meridian from point to point.
        toPlane_.World = static_cast<GWorld>(project.SourceDatum);
        fromPlane_.World = static_cast<GWorld>(project.TargetDatum);
    }

    // Moves point the whole way; take(parameters) sees the point's parameters, atPlane as in
    // ControlPipeline. A sheet missing from the table raises its fault.
    template <class Take, class AtPlane> void Move(GPoint& point, Take&& take, AtPlane&& atPlane)
    {
        toGeographic_->Transform(point, tdForward);
        if (!project_.LookupSheetParameters(point, parameters_))
            throw GGuardException(MissingSheetMessage(parameters_.SheetName));
        take(parameters_);
        toPlane_.LoMeridian = parameters_.Lo;
        toPlane_.Transform(point, tdForward);
        cape_.HelmertA = parameters_.A;
        cape_.HelmertB = parameters_.B;
        cape_.CapeX = parameters_.CX;
        cape_.CapeY = parameters_.CY;
        cape_.WGSX = parameters_.WX;
        cape_.WGSY = parameters_.WY;
        const double x = point.X;
        const double y = point.Y;
        cape_.Transform(point, direction_);
        atPlane(x, y, point);
        fromPlane_.LoMeridian = parameters_.Lo;
        fromPlane_.Transform(point, tdForward);
        fromGeographic_->Transform(point, tdForward);
    }

private:
    const GProject& project_;
    std::unique_ptr<GGroupTransformation> toGeographic_, fromGeographic_;
    GGeographicToGeodeticTransformation toPlane_;
    GGeodeticToGeographicTransformation fromPlane_;
    GCapeToHartebeesthoekTransformation cape_;
    GSheetParameters parameters_;
    const std::uint8_t direction_;
};

// One pipeline per thread of the pool: the transformations keep scratch and caches of their own
// (the Helmert fit, the weighting's distances, the sheet pipeline's current parameters).
template <class Pipeline>
std::vector<std::unique_ptr<Pipeline>> PipelinesFor(GProject& project, const GWorkerPool& pool)
{
    std::vector<std::unique_ptr<Pipeline>> pipelines;
    for (int slot = 0; slot < pool.Threads(); ++slot)
        pipelines.push_back(std::make_unique<Pipeline>(project));
    return pipelines;
}

} // namespace

std::string MissingSheetMessage(const std::string& sheetName)
{
    return "The following sheet:\r\r" + sheetName + "\r\r" +
           "has not been referenced in the Sheet.DB" + "\r" +
           "table. Please contact the developers and" + "\r" + "have this problem corrected.";
}

// --- Stored settings ---

void GShiftSummary::Add(double distance)
{
    ++Count;
    if (Count == 1)
        Least = Greatest = distance;
    Least = std::min(Least, distance);
    Greatest = std::max(Greatest, distance);
    Mean += (distance - Mean) / static_cast<double>(Count);
}

GStoredSettings ReadStoredSettings(std::vector<std::string>* warnings)
{
    const GRegistry registry;
    GStoredSettings s;
    s.LocalOrigin = registry.ReadInteger("Local Origin", 31);
    // A value that is no Lo would put every point of a run out of place; it is read as text that
    // is not a whole number is, as the default.
    if (!IsLocalOrigin(s.LocalOrigin))
    {
        if (warnings)
            warnings->push_back(NotLocalOriginMessage(kStoredLocalOrigin, s.LocalOrigin) +
                                " Lo 31 is used.");
        s.LocalOrigin = 31;
    }
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
    s.Threads = registry.ReadInteger("Threads", 0);
    if (s.Threads < 0 || s.Threads > kMaxRunThreads)
    {
        if (warnings)
            warnings->push_back("The stored \"Threads\" value " + std::to_string(s.Threads) +
                                " is not a number of threads from 0 (one per core) to " +
                                std::to_string(kMaxRunThreads) + ". One thread per core is used.");
        s.Threads = 0;
    }
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
    std::vector<std::string> warnings;
    const GStoredSettings s = ReadStoredSettings(&warnings);
    if (ui_)
        for (const std::string& warning : warnings)
            ui_->ShowWarning(warning);
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
    Threads = s.Threads;
    TransformationLocalOrigin = LocalOrigin;
}

// --- Run operations ---

int GProject::RunThreads() const
{
    if (ThreadsOverride > 0)
        return ThreadsOverride;
    return Threads > 0 ? Threads : GWorkerPool::HardwareThreads();
}

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
    const auto refuse = [this](const std::string& message)
    {
        if (ui_)
            ui_->ShowError(message);
        return false;
    };
    if (recordSet->GetReadOnly() && !DryRun)
        return refuse(kReadOnlyRecordSetMessage);
    if (!recordSet->Open() || !recordSet->Active())
    {
        const std::string reason = recordSet->OpenFailure();
        return refuse(kUnableToLoadRecordSetMessage + (reason.empty() ? "" : "\r" + reason));
    }
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
    ExtentPointCount = 0;
    if (!RecordSet)
        return;
    const std::int32_t count = RecordSet->RecordCount();
    const std::string caption = "Retrieving Spatial Extent...";
    bool any = false;
    // A record without a shape, or a shape without points, has no extent to add.
    const auto add = [&](const GShape& shape)
    {
        ExtentPointCount += shape.PointCount();
        std::unique_ptr<GRectangle> extent;
        if (typeid(shape) == typeid(GPoint))
        {
            // The commonest record: its extent without a rectangle on the heap.
            const auto& point = static_cast<const GPoint&>(shape);
            if (any)
                Extent->Union(GRectangle(point.X, point.Y, point.X, point.Y));
            else
                Extent = point.GetExtent();
            any = true;
        }
        else if ((extent = shape.GetExtent()))
        {
            if (any)
                Extent->Union(*extent);
            else
                Extent = std::move(extent);
            any = true;
        }
    };
    // Shapes the record set lends are looked at where they are rather than copied; GetShapeAt
    // and lending skip the OnGetShape hook, so a record set with one is read in turn.
    if (RecordSet->LendsShapes() && !RecordSet->OnGetShape)
    {
        for (std::int32_t record = 0; record < count; ++record)
        {
            if (const GShape* shape = RecordSet->LentShapeAt(record))
                add(*shape);
            ProgressHandler(record + 1, caption, count);
        }
        RecordSet->First();
        return;
    }
    RecordSet->First();
    for (std::int32_t record = 0; record < count && !RecordSet->Eof(); ++record)
    {
        if (const auto shape = RecordSet->GetShape())
            add(*shape);
        RecordSet->Next();
        ProgressHandler(record + 1, caption, count);
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

std::unique_ptr<GHelmertTransformation> GProject::BuildControlHelmert() const
{
    auto helmert = std::make_unique<GHelmertTransformation>();
    const auto sourceToPlane = BuildGeographicToPlane(SourceDatum, TransformationLocalOrigin);
    const auto targetToPlane = BuildGeographicToPlane(TargetDatum, TransformationLocalOrigin);
    for (const auto& beacon : ControlBeacons)
    {
        if (!beacon || !beacon->Selected)
            continue;
        const GCoordinate& source = SourceDatum == dtCape ? beacon->Clarke : beacon->WGS;
        const GCoordinate& target = SourceDatum == dtCape ? beacon->WGS : beacon->Clarke;
        auto sourcePoint = std::make_unique<GPoint>(source.X, source.Y, 0.0);
        auto targetPoint = std::make_unique<GPoint>(target.X, target.Y, 0.0);
        sourceToPlane->Transform(*sourcePoint, tdForward);
        targetToPlane->Transform(*targetPoint, tdForward);
        helmert->AddPair(beacon->Name, std::move(sourcePoint), std::move(targetPoint));
    }
    return helmert;
}

GRunCounts GProject::RunControlTransformation()
{
    GHourglass hourglass(ui_);
    GRunCounts counts;
    if (!RecordSet)
        return counts;
    CheckRun(*this, 0);
    GWorkerPool pool(RunThreads());
    auto pipelines = PipelinesFor<ControlPipeline>(*this, pool);
    RecordSet->SetTargetDatum(TargetDatum);

    PendingReport report(*this);
    if (OutputFile)
        OutputFile->WriteControlBeaconSection(pipelines.front()->Helmert(), SourceDatum);
    const bool verbose = OutputFile && OutputMode == 1;
    if (verbose)
        OutputFile->WriteCoordinateHeading();

    counts.Shapes = RecordSet->RecordCount();
    std::string label;
    const auto take = [&](const VertexOutcome& vertex)
    {
        counts.Shift.Add(vertex.Distance);
        if (verbose)
            OutputFile->WriteCoordinateLine(label, vertex.Y, vertex.X, vertex.MovedY,
                                            vertex.MovedX);
        ++counts.Points;
    };
    TransformRecords(*this, counts.Shapes, verbose, label, pool, pipelines, false, take,
                     [](const GSheetParameters&) {});
    report.Keep();
    return counts;
}

GRunCounts GProject::RunHelmertTransformation()
{
    GHourglass hourglass(ui_);
    GRunCounts counts;
    if (!RecordSet)
        return counts;
    CheckRun(*this, 1);
    SheetTableScope sheetTable(*this);

    // Every point is checked before anything is changed, so that a missing sheet leaves the
    // data as they were.
    std::string missingSheet;
    if (HelmertMode == 0 && !CheckSheets(missingSheet))
        throw GGuardException(MissingSheetMessage(missingSheet));
    RecordSet->SetTargetDatum(TargetDatum);

    PendingReport report(*this);
    const bool verbose = OutputFile && OutputMode == 1;
    if (verbose)
        OutputFile->WriteCoordinateHeading();

    std::vector<std::string> parameterLines;
    std::unordered_set<std::string> knownLines;
    std::optional<GSheetParameters> previous;
    const auto collect = [&](const GSheetParameters& parameters)
    {
        // Equal parameters give an equal line; only a change needs formatting.
        if (OutputFile && parameters != previous)
        {
            std::string line = GReport::FormatParameterLine(parameters, SourceDatum);
            if (knownLines.insert(line).second)
                parameterLines.push_back(std::move(line));
            previous = parameters;
        }
    };
    GWorkerPool pool(RunThreads());
    auto pipelines = PipelinesFor<SheetPipeline>(*this, pool);
    counts.Shapes = RecordSet->RecordCount();
    std::string label;
    const auto take = [&](const VertexOutcome& vertex)
    {
        counts.Shift.Add(vertex.Distance);
        if (verbose)
            OutputFile->WriteCoordinateLine(label, vertex.Y, vertex.X, vertex.MovedY,
                                            vertex.MovedX);
        ++counts.Points;
    };
    TransformRecords(*this, counts.Shapes, verbose, label, pool, pipelines, OutputFile != nullptr,
                     take, collect);
    if (OutputFile)
        OutputFile->WriteParameterSection(parameterLines, SourceDatum, verbose);
    report.Keep();
    return counts;
}

GShiftSummary GProject::SampleShift(std::int64_t maxPoints)
{
    GShiftSummary shift;
    if (!RecordSet || maxPoints <= 0)
        return shift;
    const auto measure = [&](double x, double y, const GPoint& moved)
    { shift.Add(Distance(x, y, moved.X, moved.Y)); };
    std::optional<ControlPipeline> control;
    std::optional<SheetTableScope> sheetTable;
    std::optional<SheetPipeline> sheets;
    if (ProjectTransformation == 0)
        control.emplace(*this);
    else
    {
        sheetTable.emplace(*this);
        sheets.emplace(*this);
    }
    const std::int32_t count = RecordSet->RecordCount();
    RecordSet->First();
    for (std::int32_t record = 0; record < count && shift.Count < maxPoints; ++record)
    {
        if (const auto shape = RecordSet->GetShape())
            shape->ForEachPoint(
                [&](GPoint& point)
                {
                    if (shift.Count >= maxPoints)
                        return;
                    if (control)
                        control->Move(point, measure);
                    else
                        sheets->Move(
                            point, [](const GSheetParameters&) {}, measure);
                });
        RecordSet->Next();
    }
    RecordSet->First();
    return shift;
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
    // The report says the data were transformed: it becomes the file's content only once they
    // are, and a flush that fails takes it away with it.
    const std::unique_ptr<GReport> report = std::move(OutputFile);
    if (RecordSet)
    {
        RecordSet->SetPackedAngles(CoordinateSystem == 1);
        RecordSet->Flush();
    }
    if (report)
        report->Close();
}

// --- Chains ---

std::unique_ptr<GGroupTransformation> GProject::BuildToGeographic(std::uint8_t datum,
                                                                  double lo) const
{
    return BuildToGeographic(GetProjectParameters(), datum, lo);
}

std::unique_ptr<GGroupTransformation> GProject::BuildToGeographic(const GProjectParameters& v,
                                                                  std::uint8_t datum, double lo)
{
    auto group = std::make_unique<GGroupTransformation>();
    GTransformationList& members = group->Transformations;
    if (v.XConstant != 0.0 || v.YConstant != 0.0)
        members.Add(Shift(v.XConstant, v.YConstant));
    if (v.CoordinateSystem == 1)
        members.Add(PackedAngles(utDDDMMSS, utDecimalDegrees));
    if (v.NegateX || v.NegateY)
        members.Add(Negation(v.NegateX, v.NegateY));
    if (v.Exchange)
        members.Add(std::make_unique<GExchangeTransformation>());
    if (v.CoordinateSystem == 0)
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
    if (HelmertMode == 0 && !SheetTable)
    {
        SheetTable = std::make_unique<GSheetTable>();
        SheetTable->Load();
    }
    return LookupSheetParameters(point, parameters);
}

bool GProject::LookupSheetParameters(const GPoint& point, GSheetParameters& parameters) const
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
    if (const GSheetRecord* record = SheetTable ? SheetTable->Find(parameters.SheetName) : nullptr)
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
    return ui_->ReviewControlBeacons(ControlBeacons, TransformationLocalOrigin, centre, *extent);
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

bool GProject::ConfirmRun(const std::vector<std::string>& doubts)
{
    if (!ShowMessage && doubts.empty())
        return true;
    if (!ui_)
        return false;
    // Doubts are always confirmed; the box keeps the stored choice for runs without them.
    bool alwaysShow = ShowMessage;
    if (!ui_->ConfirmRun(alwaysShow, doubts))
        return false;
    // Only a changed choice is stored: confirming touches no setting.
    if (alwaysShow != ShowMessage)
    {
        ShowMessage = alwaysShow;
        GRegistry registry;
        registry.CanCreate = true;
        registry.WriteBool("Show Message", ShowMessage);
    }
    return true;
}

} // namespace quorvalis
