// Cost per posted row of the database record sets, for each store: the in-memory table, a dBase
// file, a GeoPackage with and without cached updates, and PostgreSQL (when QUORVALIS_TEST_PG
// names a server). Also the cost of a post that changed nothing, of reading a row, of opening
// a dBase file of a million rows, and the rate of a whole transformation run over a table of
// 200,000 X/Y rows (read, post, one flush) through each driver name an alias may give.
//
//   bench_database [--benchmark_filter=...]
//   scripts/pg-test-cluster.sh run -- build/release/bench/bench_database
//       --benchmark_filter=TransformXYTable      (one line)
//
// Everything is made in a temporary data directory that is removed at the end.
#include "database/BorlandDatabase.h"
#include "database/engine/Session.h"
#include "database/engine/Table.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace
{

using namespace quorvalis;
namespace fs = std::filesystem;

constexpr int kRows = 2000;

fs::path& Home()
{
    static fs::path home;
    return home;
}

enum Backend : int
{
    kMemory,
    kDbase,
    kGeoPackage,
    kPostgreSQL,
};

const char* kBackendNames[] = {"memory", "dbase", "geopackage", "postgresql"};

std::string TableFor(Backend backend)
{
    if (backend == kDbase)
        return (Home() / "bench.dbf").string();
    return "bench_rows";
}

std::string DatabaseFor(Backend backend)
{
    return backend == kGeoPackage ? "BENCH" : backend == kPostgreSQL ? "BENCHPG" : "";
}

class MemoryRows : public GInMemoryBorlandRecordSet
{
protected:
    bool DoOpen() override
    {
        ResetTable();
        AddFieldDefinition("NAME", fdtString, 10, false);
        AddFieldDefinition("X", fdtFloat, 0, false);
        AddFieldDefinition("Y", fdtFloat, 0, false);
        return FillMemoryTable(
            [](GInMemoryTable& table)
            {
                for (int i = 0; i < kRows; ++i)
                {
                    table.Append();
                    table.SetValue(0, engine::Value("P" + std::to_string(i)));
                    table.SetValue(1, engine::Value(i * 1.5));
                    table.SetValue(2, engine::Value(i * -2.5));
                    table.Post();
                }
            });
    }
};

std::unique_ptr<GRecordSet> OpenRows(Backend backend, bool cached)
{
    std::unique_ptr<GRecordSet> recordSet;
    if (backend == kMemory)
        recordSet = std::make_unique<MemoryRows>();
    else
        recordSet =
            CreateBorlandRecordSet(false, "STANDARD", DatabaseFor(backend), "", "", "", false, true,
                                   cached, {"select a.* from \"" + TableFor(backend) + "\" a"});
    if (!recordSet->Open())
        return nullptr;
    return recordSet;
}

// Creates the table of a store with kRows rows, once per process.
bool Prepare(Backend backend)
{
    static bool prepared[4] = {};
    if (backend == kMemory || prepared[backend])
        return true;
    GRecordSetDefinition definition;
    definition.DatabaseName = DatabaseFor(backend);
    definition.TableName = TableFor(backend);
    definition.FieldDefinitions.Add(
        std::make_unique<GFieldDefinition>("NAME", fdtString, 10, false));
    definition.FieldDefinitions.Add(std::make_unique<GFieldDefinition>("X", fdtFloat, 0, false));
    definition.FieldDefinitions.Add(std::make_unique<GFieldDefinition>("Y", fdtFloat, 0, false));
    if (!GBorlandRecordSet().CreateTable(definition))
        return false;
    auto recordSet = OpenRows(backend, true);
    if (!recordSet)
        return false;
    for (int i = 0; i < kRows; ++i)
    {
        recordSet->Append();
        recordSet->Fields().GetItem(0)->SetAsString("P" + std::to_string(i));
        recordSet->Fields().GetItem(1)->SetValue(GVariant(i * 1.5));
        recordSet->Fields().GetItem(2)->SetValue(GVariant(i * -2.5));
        recordSet->Post();
    }
    recordSet->Flush();
    prepared[backend] = true;
    return true;
}

// The open record set of a benchmark's store, or nullptr when the benchmark was skipped.
std::unique_ptr<GRecordSet> OpenForBenchmark(benchmark::State& state, Backend backend, bool cached)
{
    if (backend == kPostgreSQL && !engine::Session::Default().FindAlias("BENCHPG"))
    {
        state.SkipWithError("QUORVALIS_TEST_PG is not set");
        return nullptr;
    }
    if (!Prepare(backend))
    {
        state.SkipWithError("the table could not be made");
        return nullptr;
    }
    auto recordSet = OpenRows(backend, cached);
    if (!recordSet)
        state.SkipWithError("cannot open");
    return recordSet;
}

// One changed value per row, posted: the write path of a transformation run.
void BM_PostChangedRow(benchmark::State& state)
{
    const auto backend = static_cast<Backend>(state.range(0));
    const bool cached = state.range(1) != 0;
    auto recordSet = OpenForBenchmark(state, backend, cached);
    if (!recordSet)
        return;
    GField& x = *recordSet->Fields().GetItem(1);
    double value = 0.25;
    std::int64_t posted = 0;
    for (auto _ : state)
    {
        if (recordSet->Eof())
        {
            // A pass over the table ends as a run does: with a flush (the cached updates are
            // applied here, in one transaction).
            recordSet->Flush();
        }
        recordSet->Edit();
        x.SetValue(GVariant(value));
        value += 1.0;
        recordSet->Post();
        recordSet->Next();
        ++posted;
    }
    recordSet->Flush();
    state.SetItemsProcessed(posted);
    state.SetLabel(std::string(kBackendNames[backend]) + (cached ? ", cached updates" : ""));
}

// Edit and post without a change: must cost no storage write.
void BM_PostUnchangedRow(benchmark::State& state)
{
    const auto backend = static_cast<Backend>(state.range(0));
    auto recordSet = OpenForBenchmark(state, backend, false);
    if (!recordSet)
        return;
    for (auto _ : state)
    {
        if (recordSet->Eof())
            recordSet->First();
        recordSet->Edit();
        recordSet->Post();
        recordSet->Next();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(kBackendNames[backend]);
}

// Reading one value of each row while walking.
void BM_ReadRow(benchmark::State& state)
{
    const auto backend = static_cast<Backend>(state.range(0));
    auto recordSet = OpenForBenchmark(state, backend, false);
    if (!recordSet)
        return;
    GField& x = *recordSet->Fields().GetItem(1);
    double sum = 0.0;
    for (auto _ : state)
    {
        if (recordSet->Eof())
            recordSet->First();
        sum += x.GetValue().AsDouble();
        recordSet->Next();
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(kBackendNames[backend]);
}

// A dBase file of a million rows written directly in the published format (fast to make).
fs::path LargeDbf()
{
    const fs::path path = Home() / "large.dbf";
    if (fs::exists(path))
        return path;
    constexpr std::uint32_t rows = 1000000;
    constexpr std::uint16_t recordLength = 1 + 10 + 19;
    std::ofstream out(path, std::ios::binary);
    std::uint8_t header[32] = {0x03, 124, 1, 1};
    std::memcpy(header + 4, &rows, 4);
    const std::uint16_t headerLength = 32 + 2 * 32 + 1;
    std::memcpy(header + 8, &headerLength, 2);
    std::memcpy(header + 10, &recordLength, 2);
    out.write(reinterpret_cast<const char*>(header), 32);
    const struct
    {
        const char* name;
        char type;
        std::uint8_t length;
        std::uint8_t decimals;
    } fields[] = {{"NAME", 'C', 10, 0}, {"AREA", 'N', 19, 4}};
    for (const auto& field : fields)
    {
        std::uint8_t descriptor[32] = {};
        std::memcpy(descriptor, field.name, std::strlen(field.name));
        descriptor[11] = static_cast<std::uint8_t>(field.type);
        descriptor[16] = field.length;
        descriptor[17] = field.decimals;
        out.write(reinterpret_cast<const char*>(descriptor), 32);
    }
    out.put('\x0d');
    char record[recordLength + 1];
    for (std::uint32_t i = 0; i < rows; ++i)
    {
        std::snprintf(record, sizeof record, " %-10u%19.4f", i, i * 0.5);
        out.write(record, recordLength);
    }
    out.put('\x1a');
    return path;
}

// Opening and walking a million-row attribute file: only the header is read on opening, and
// moving reads nothing until a value is asked for.
void BM_OpenMillionRowDbf(benchmark::State& state)
{
    const fs::path path = LargeDbf();
    for (auto _ : state)
    {
        auto recordSet = CreateBorlandRecordSet(false, "", "", "", "", "", false, true, false,
                                                {"select a.* from \"" + path.string() + "\" a"});
        if (!recordSet->Open() || recordSet->RecordCount() != 1000000)
        {
            state.SkipWithError("cannot open the large file");
            return;
        }
        for (int i = 0; i < 1000; ++i)
            recordSet->Next();
        benchmark::DoNotOptimize(recordSet->Fields().GetItem(1)->GetValue());
    }
}

// The X/Y table of the run benchmark, made once per store.
constexpr int kRunRows = 200000;

bool PrepareRunTable(Backend backend)
{
    static bool prepared[4] = {};
    if (prepared[backend])
        return true;
    GRecordSetDefinition definition;
    definition.DatabaseName = DatabaseFor(backend);
    definition.TableName = "run_points";
    definition.HasSpatialComponent = true;
    definition.FieldDefinitions.Add(
        std::make_unique<GFieldDefinition>("NAME", fdtString, 10, false));
    auto creator = CreateBorlandXYZRecordSet(false, "STANDARD", DatabaseFor(backend), "", "X", "Y",
                                             "", "", "", false, true, true, {});
    if (!creator->CreateTable(definition))
        return false;
    auto recordSet =
        CreateBorlandXYZRecordSet(false, "STANDARD", DatabaseFor(backend), "", "X", "Y", "", "", "",
                                  false, true, true, {"select a.* from run_points a"});
    if (!recordSet->Open())
        return false;
    GField& name = *recordSet->Fields().GetItem(0);
    for (int i = 0; i < kRunRows; ++i)
    {
        recordSet->Append();
        name.SetAsString("P" + std::to_string(i));
        recordSet->SetShape(GPoint(-2506000.0 - i * 0.5, 30000.0 + i * 0.25));
        recordSet->Post();
    }
    recordSet->Flush();
    prepared[backend] = true;
    return true;
}

// A whole run over an X/Y table: every point read, moved and posted, then one flush. The driver
// name of the alias (0 "STANDARD", 1 "POSTGRES") must not change the rate.
void BM_TransformXYTable(benchmark::State& state)
{
    const auto backend = static_cast<Backend>(state.range(0));
    const char* driver = state.range(1) == 0 ? "STANDARD" : "POSTGRES";
    if (backend == kPostgreSQL && !engine::Session::Default().FindAlias("BENCHPG"))
    {
        state.SkipWithError("QUORVALIS_TEST_PG is not set");
        return;
    }
    if (!PrepareRunTable(backend))
    {
        state.SkipWithError("the table could not be made");
        return;
    }
    engine::Session& session = engine::Session::Default();
    const auto alias = session.FindAlias(DatabaseFor(backend));
    session.SetAlias({alias->Name, driver, alias->Path, alias->Connection});
    std::int64_t rows = 0;
    for (auto _ : state)
    {
        auto recordSet =
            CreateBorlandXYZRecordSet(false, driver, DatabaseFor(backend), "", "X", "Y", "", "", "",
                                      false, true, false, {"select a.* from run_points a"});
        if (!recordSet->Open())
        {
            state.SkipWithError("cannot open");
            return;
        }
        for (recordSet->First(); !recordSet->Eof(); recordSet->Next())
        {
            std::unique_ptr<GShape> shape = recordSet->GetShape();
            shape->ForEachPoint([](GPoint& point) { point.X += 0.125; });
            recordSet->Edit();
            recordSet->SetShape(*shape);
            recordSet->Post();
            ++rows;
        }
        recordSet->Flush();
    }
    state.SetItemsProcessed(rows);
    state.SetLabel(std::string(kBackendNames[backend]) + " through " + driver);
}

void Backends(benchmark::internal::Benchmark* benchmark)
{
    for (int backend : {kMemory, kDbase, kGeoPackage, kPostgreSQL})
        benchmark->Args({backend, 0});
}

void CachedBackends(benchmark::internal::Benchmark* benchmark)
{
    for (int backend : {kGeoPackage, kPostgreSQL})
        benchmark->Args({backend, 1});
}

BENCHMARK(BM_PostChangedRow)->Apply(Backends);
BENCHMARK(BM_PostChangedRow)->Apply(CachedBackends);
BENCHMARK(BM_PostUnchangedRow)->Apply(Backends);
BENCHMARK(BM_ReadRow)->Apply(Backends);
BENCHMARK(BM_OpenMillionRowDbf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransformXYTable)
    ->ArgsProduct({{kGeoPackage, kPostgreSQL}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

} // namespace

int main(int argc, char** argv)
{
    std::random_device random;
    Home() = fs::temp_directory_path() / ("quorvalis-bench-" + std::to_string(random()));
    fs::create_directories(Home());
    engine::Session& session = engine::Session::Default();
    session.SetHomeDirectory(Home());
    session.SetAlias({"BENCH", "STANDARD", "bench.gpkg", ""});
    if (const char* server = std::getenv("QUORVALIS_TEST_PG"); server != nullptr && *server)
        session.SetAlias({"BENCHPG", "POSTGRES", "", server});

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    if (session.FindAlias("BENCHPG"))
    {
        engine::Table table;
        table.SetDatabaseName("BENCHPG");
        for (const char* name : {"bench_rows", "run_points"})
        {
            table.SetTableName(name);
            try
            {
                if (table.Exists())
                    table.DeleteTable();
            }
            catch (const std::exception& error)
            {
                std::fprintf(stderr, "%s was not removed: %s\n", name, error.what());
            }
        }
    }
    session.SetHomeDirectory({});
    std::error_code ignored;
    fs::remove_all(Home(), ignored);
    return 0;
}
