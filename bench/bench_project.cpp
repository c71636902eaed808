// End-to-end speed of the two runs on records held in memory: every vertex goes through the whole
// chain (data -> geographic -> plane -> datum change -> plane -> geographic -> data), the shape is
// read once and posted once per record. Reported as vertices per second, each run on one thread
// and on all cores (one per core) side by side: the last argument is the threads, 0 all cores.
//
//   build/<dir>/bench/bench_project [--benchmark_filter=...]
//
// The Helmert run per degree sheet reads the sheet table of a QUORVALIS store created in a
// temporary data folder.
#include "database/Database.h"
#include "database/engine/Session.h"
#include "project/BeaconReview.h"
#include "project/Conversion.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvalis
{
namespace
{

// Shapes held in memory, read ahead as a shapefile's are; posting keeps the changed copy.
class BenchRecordSet : public GRecordSet
{
public:
    std::vector<std::unique_ptr<GShape>> Shapes;

    bool GetReadOnly() override { return false; }
    bool CanReadAhead() const override { return true; }
    std::unique_ptr<GShape> GetShapeAt(std::int32_t index) override
    {
        return Shapes[static_cast<std::size_t>(index)]->Clone();
    }

protected:
    bool DoOpen() override { return true; }
    std::int32_t DoGetRecordCount() override { return static_cast<std::int32_t>(Shapes.size()); }
    bool DoHasSpatialComponent() override { return true; }
    std::unique_ptr<GShape> DoGetShape() override
    {
        return Shapes[static_cast<std::size_t>(RecordIndex())]->Clone();
    }
    void DoSetShape(const GShape& shape) override { pending_ = shape.Clone(); }
    void DoPost() override
    {
        Shapes[static_cast<std::size_t>(RecordIndex())] = std::move(pending_);
    }

private:
    std::unique_ptr<GShape> pending_;
};

// records lines of verticesPerRecord vertices (or points when 1) in the Lo 29 sample area.
std::unique_ptr<BenchRecordSet> MakeData(int records, int verticesPerRecord)
{
    auto recordSet = std::make_unique<BenchRecordSet>();
    std::mt19937_64 random(29);
    std::uniform_real_distribution<double> x(2846000, 2854600), y(77400, 84800);
    recordSet->Shapes.reserve(static_cast<std::size_t>(records));
    for (int r = 0; r < records; ++r)
    {
        if (verticesPerRecord == 1)
        {
            recordSet->Shapes.push_back(std::make_unique<GPoint>(x(random), y(random)));
            continue;
        }
        auto line = std::make_unique<GLine>();
        auto part = std::make_unique<GPointList>();
        part->Reserve(verticesPerRecord);
        for (int v = 0; v < verticesPerRecord; ++v)
            part->Add(std::make_unique<GPoint>(x(random), y(random)));
        line->Parts.Add(std::move(part));
        recordSet->Shapes.push_back(std::move(line));
    }
    return recordSet;
}

// Ten control beacons around the job (Lo 29 plane positions of the sample beacons).
void AddBeacons(GProject& project)
{
    const double beacons[10][4] = {{95432.601, 2850630.820, 95464.102, 2850928.803},
                                   {95812.568, 2832795.755, 95844.067, 2833093.612},
                                   {92466.851, 2856672.082, 92498.167, 2856970.093},
                                   {73647.300, 2842286.540, 73678.640, 2842584.420},
                                   {64719.760, 2857274.790, 64751.010, 2857572.830},
                                   {81792.590, 2848999.470, 81823.930, 2849297.390},
                                   {72647.530, 2859917.080, 72678.850, 2860215.150},
                                   {66738.770, 2833924.550, 66770.040, 2834222.380},
                                   {72349.980, 2857470.480, 72381.260, 2857768.510},
                                   {80397.030, 2848432.930, 80428.380, 2848730.850}};
    int number = 0;
    for (const auto& b : beacons)
    {
        auto beacon = std::make_unique<GTrigBeacon>();
        beacon->Name = "BEACON " + std::to_string(++number);
        beacon->Clarke.Y = b[0];
        beacon->Clarke.X = b[1];
        beacon->WGS.Y = b[2];
        beacon->WGS.X = b[3];
        beacon->Selected = true;
        project.ControlBeacons.Add(std::move(beacon));
    }
    project.ControlBeacons.ConvertToGeographic(29);
}

void Prepare(GProject& project, int records, int verticesPerRecord)
{
    project.SourceDatum = dtCape;
    project.TargetDatum = dtHartebeesthoek;
    project.LocalOrigin = 29;
    project.TransformationLocalOrigin = 29;
    if (!project.OpenRecordSet(MakeData(records, verticesPerRecord)))
        throw std::runtime_error("record set refused");
}

// Times run on a fresh project per iteration (records x vertices from the arguments, threads
// from the last); making the project, setup and closing it again are not timed.
template <class Setup>
void TimeRuns(benchmark::State& state, Setup setup, GRunCounts (GProject::*run)(),
              int threadsArgument)
{
    const int records = static_cast<int>(state.range(0));
    const int vertices = static_cast<int>(state.range(1));
    const int threads = static_cast<int>(state.range(threadsArgument));
    for (auto _ : state)
    {
        state.PauseTiming();
        GProject project;
        Prepare(project, records, vertices);
        setup(project);
        project.ThreadsOverride = threads;
        state.SetLabel(std::to_string(project.RunThreads()) + " threads");
        state.ResumeTiming();
        benchmark::DoNotOptimize((project.*run)());
        state.PauseTiming();
        project.CloseRecordSet();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * records * vertices);
}

void ControlRun(benchmark::State& state)
{
    TimeRuns(
        state,
        [](GProject& project)
        {
            AddBeacons(project);
            project.ApplyWeighting = true;
        },
        &GProject::RunControlTransformation, 2);
}
BENCHMARK(ControlRun)
    ->Args({1000000, 1, 1})
    ->Args({1000000, 1, 0})
    ->Args({10000, 100, 1})
    ->Args({10000, 100, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void HelmertRun(benchmark::State& state)
{
    const bool sheets = state.range(2) == 0;
    const auto folder = std::filesystem::temp_directory_path() / "quorvalis-bench-project";
    std::filesystem::create_directories(folder);
    engine::Session::Default().SetHomeDirectory(folder);
    TimeRuns(
        state,
        [sheets](GProject& project)
        {
            project.HelmertMode = sheets ? 0 : 1;
            project.HelmertA = 1.0;
            project.HelmertB = 0.0;
        },
        &GProject::RunHelmertTransformation, 3);
    engine::Session::Default().SetHomeDirectory({});
    std::filesystem::remove_all(folder);
}
BENCHMARK(HelmertRun)
    ->Args({1000000, 1, 0, 1})
    ->Args({1000000, 1, 0, 0})
    ->Args({10000, 100, 0, 1})
    ->Args({10000, 100, 0, 0})
    ->Args({10000, 100, 1, 1})
    ->Args({10000, 100, 1, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One refresh of the beacon selection dialog's figures with n selected beacons: the fit, the
// misclosures, and a fit without each beacon for its leave-one-out misclosure (n fits of n - 1
// pairs). The dialog refreshes after every button, so this is the delay a user feels.
void BeaconReviewRefresh(benchmark::State& state)
{
    const auto count = static_cast<int>(state.range(0));
    GTrigBeaconList beacons;
    std::mt19937_64 random(31);
    std::uniform_real_distribution<double> x(2830000, 2870000), y(60000, 100000), noise(-0.1, 0.1);
    for (int i = 0; i < count; ++i)
    {
        auto beacon = std::make_unique<GTrigBeacon>();
        beacon->Name = "BEACON " + std::to_string(i);
        beacon->Clarke.X = x(random);
        beacon->Clarke.Y = y(random);
        beacon->WGS.X = beacon->Clarke.X + 298.0 + noise(random);
        beacon->WGS.Y = beacon->Clarke.Y + 31.5 + noise(random);
        beacon->Selected = true;
        beacons.Add(std::move(beacon));
    }
    beacons.ConvertToGeographic(29);
    GBeaconReview review(beacons, 29, GPoint(28.2, 25.75));
    for (auto _ : state)
    {
        review.Refresh();
        benchmark::DoNotOptimize(review.Rms());
    }
    state.counters["beacons"] = count;
}
BENCHMARK(BeaconReviewRefresh)
    ->Arg(10)
    ->Arg(100)
    ->Arg(500)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace quorvalis

BENCHMARK_MAIN();
