// Per-point cost of the Lo conversions, the Helmert transformation, the distance weighting and the
// whole per-vertex chain of a control-coordinate run. One point per iteration, so the reported time
// is nanoseconds per point and items_per_second is points (vertices) per second.
// On the shared 2-core machine, read the CPU-time median of repetitions:
//   bench_transformation --benchmark_repetitions=15 --benchmark_report_aggregates_only=true
#include "transformation/Adjustment.h"
#include "transformation/Transformation.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

namespace
{

using namespace quorvalis;

constexpr std::size_t kPoints = 4096; // cycled through; small enough to stay in cache

// On a shared machine the fastest of several repetitions is the best estimate of the cost itself
// (run with --benchmark_repetitions=N).

struct Geographic
{
    double lon, lat;
};

// Random positions in Lo 29 over South Africa: latitude 25-29 south, within 1 degree of 29 east.
std::vector<Geographic> Positions()
{
    std::mt19937_64 random(2024);
    std::uniform_real_distribution<double> lat(25.0, 29.0), lon(28.0, 30.0);
    std::vector<Geographic> points(kPoints);
    for (auto& p : points)
        p = {lon(random), lat(random)};
    return points;
}

std::unique_ptr<GGeographicToGeodeticTransformation> Projection(GWorld world, double lo)
{
    auto t = std::make_unique<GGeographicToGeodeticTransformation>();
    t->World = world;
    t->LoMeridian = lo;
    return t;
}

std::unique_ptr<GGeodeticToGeographicTransformation> Unprojection(GWorld world, double lo)
{
    auto t = std::make_unique<GGeodeticToGeographicTransformation>();
    t->World = world;
    t->LoMeridian = lo;
    return t;
}

// Lo 29 coordinates of the positions on one ellipsoid.
std::vector<GPoint> Plane(GWorld world, double lo)
{
    auto t = Projection(world, lo);
    std::vector<GPoint> plane(kPoints);
    const auto positions = Positions();
    for (std::size_t i = 0; i < kPoints; ++i)
        t->Project(plane[i].X, plane[i].Y, positions[i].lon, positions[i].lat);
    return plane;
}

// Ten beacons spread over the job in the working zone, Cape and Hartebeesthoek94 coordinates, as
// a run builds them (the WGS positions are the Cape ones moved by a typical datum shift).
void Beacons(GHelmertTransformation& helmert, GDistanceWeightingAdjustment& weighting)
{
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> lat(25.0, 29.0), lon(28.0, 30.0), noise(-0.05, 0.05);
    auto cape = Projection(wdClarke1880, 29);
    for (int i = 0; i < 10; ++i)
    {
        auto source = std::make_unique<GPoint>();
        cape->Project(source->X, source->Y, lon(random), lat(random));
        auto target = std::make_unique<GPoint>(source->X + 293.0 + noise(random),
                                               source->Y + 40.0 + noise(random));
        helmert.AddPair("B" + std::to_string(i), std::move(source), std::move(target));
    }
    for (int i = 0; i < helmert.PairCount(); ++i)
        weighting.AddControl(
            std::make_unique<GPoint>(helmert.TargetPoint(i).X, helmert.TargetPoint(i).Y),
            helmert.ResidualX(i), helmert.ResidualY(i));
}

void BM_Project(benchmark::State& state)
{
    const auto positions = Positions();
    auto t = Projection(wdClarke1880, 29);
    std::size_t i = 0;
    for (auto _ : state)
    {
        double x, y;
        t->Project(x, y, positions[i].lon, positions[i].lat);
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(y);
        i = (i + 1) % kPoints;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Project);

void BM_Unproject(benchmark::State& state)
{
    const auto plane = Plane(wdClarke1880, 29);
    auto t = Projection(wdClarke1880, 29);
    std::size_t i = 0;
    for (auto _ : state)
    {
        double lon, lat;
        t->Unproject(lon, lat, plane[i].X, plane[i].Y);
        benchmark::DoNotOptimize(lon);
        benchmark::DoNotOptimize(lat);
        i = (i + 1) % kPoints;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Unproject);

void BM_Helmert10(benchmark::State& state)
{
    const auto plane = Plane(wdClarke1880, 29);
    GHelmertTransformation helmert;
    GDistanceWeightingAdjustment weighting;
    Beacons(helmert, weighting);
    std::size_t i = 0;
    for (auto _ : state)
    {
        GPoint p(plane[i].X, plane[i].Y);
        helmert.Transform(p, tdForward);
        benchmark::DoNotOptimize(p.X);
        i = (i + 1) % kPoints;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Helmert10);

void BM_Weighting10(benchmark::State& state)
{
    const auto plane = Plane(wdClarke1880, 29);
    GHelmertTransformation helmert;
    GDistanceWeightingAdjustment weighting;
    Beacons(helmert, weighting);
    std::size_t i = 0;
    for (auto _ : state)
    {
        GPoint p(plane[i].X, plane[i].Y);
        weighting.Adjust(p);
        benchmark::DoNotOptimize(p.X);
        i = (i + 1) % kPoints;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Weighting10);

// The per-vertex work of a control run from Cape Lo 29 to Hartebeesthoek94 Lo 29 (the job's zone
// is also the working zone): Lo -> geographic -> working Lo -> Helmert -> weighting ->
// geographic -> Lo, each step a transformation object as the run builds them.
void BM_ControlRunChain(benchmark::State& state)
{
    const auto plane = Plane(wdClarke1880, 29);
    GGroupTransformation toGeographic, fromGeographic;
    toGeographic.Transformations.Add(Unprojection(wdClarke1880, 29));
    fromGeographic.Transformations.Add(Projection(wdWGS84, 29));
    auto toPlane = Projection(wdClarke1880, 29);
    auto toPlaneGeographic = Unprojection(wdWGS84, 29);
    GHelmertTransformation helmert;
    GDistanceWeightingAdjustment weighting;
    Beacons(helmert, weighting);
    std::size_t i = 0;
    for (auto _ : state)
    {
        GPoint p(plane[i].X, plane[i].Y);
        toGeographic.Transform(p, tdForward);
        toPlane->Transform(p, tdForward);
        helmert.Transform(p, tdForward);
        weighting.Adjust(p);
        toPlaneGeographic->Transform(p, tdForward);
        fromGeographic.Transform(p, tdForward);
        benchmark::DoNotOptimize(p.X);
        benchmark::DoNotOptimize(p.Y);
        i = (i + 1) % kPoints;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ControlRunChain);

} // namespace

BENCHMARK_MAIN();
