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

// A Lo conversion either way (GGeographicToGeodeticTransformation or its mirror).
template <class Conversion> std::unique_ptr<Conversion> LoConversion(GWorld world, double lo)
{
    auto t = std::make_unique<Conversion>();
    t->World = world;
    t->LoMeridian = lo;
    return t;
}

std::unique_ptr<GGeographicToGeodeticTransformation> Projection(GWorld world, double lo)
{
    return LoConversion<GGeographicToGeodeticTransformation>(world, lo);
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

// One item per iteration, cycling through the kPoints items (a constant modulus: no division).
template <class Item, class PerItem>
void Cycle(benchmark::State& state, const std::vector<Item>& items, PerItem perItem)
{
    std::size_t i = 0;
    for (auto _ : state)
    {
        perItem(items[i]);
        i = (i + 1) % kPoints;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Project(benchmark::State& state)
{
    auto t = Projection(wdClarke1880, 29);
    Cycle(state, Positions(),
          [&](const Geographic& position)
          {
              double x, y;
              t->Project(x, y, position.lon, position.lat);
              benchmark::DoNotOptimize(x);
              benchmark::DoNotOptimize(y);
          });
}
BENCHMARK(BM_Project);

void BM_Unproject(benchmark::State& state)
{
    auto t = Projection(wdClarke1880, 29);
    Cycle(state, Plane(wdClarke1880, 29),
          [&](const GPoint& point)
          {
              double lon, lat;
              t->Unproject(lon, lat, point.X, point.Y);
              benchmark::DoNotOptimize(lon);
              benchmark::DoNotOptimize(lat);
          });
}
BENCHMARK(BM_Unproject);

void BM_Helmert10(benchmark::State& state)
{
    GHelmertTransformation helmert;
    GDistanceWeightingAdjustment weighting;
    Beacons(helmert, weighting);
    Cycle(state, Plane(wdClarke1880, 29),
          [&](const GPoint& point)
          {
              GPoint p(point.X, point.Y);
              helmert.Transform(p, tdForward);
              benchmark::DoNotOptimize(p.X);
          });
}
BENCHMARK(BM_Helmert10);

void BM_Weighting10(benchmark::State& state)
{
    GHelmertTransformation helmert;
    GDistanceWeightingAdjustment weighting;
    Beacons(helmert, weighting);
    Cycle(state, Plane(wdClarke1880, 29),
          [&](const GPoint& point)
          {
              GPoint p(point.X, point.Y);
              weighting.Adjust(p);
              benchmark::DoNotOptimize(p.X);
          });
}
BENCHMARK(BM_Weighting10);

// The per-vertex work of a control run from Cape Lo 29 to Hartebeesthoek94 Lo 29 (the job's zone
// is also the working zone): Lo -> geographic -> working Lo -> Helmert -> weighting ->
// geographic -> Lo, each step a transformation object as the run builds them.
void BM_ControlRunChain(benchmark::State& state)
{
    GGroupTransformation toGeographic, fromGeographic;
    toGeographic.Transformations.Add(
        LoConversion<GGeodeticToGeographicTransformation>(wdClarke1880, 29));
    fromGeographic.Transformations.Add(Projection(wdWGS84, 29));
    auto toPlane = Projection(wdClarke1880, 29);
    auto toPlaneGeographic = LoConversion<GGeodeticToGeographicTransformation>(wdWGS84, 29);
    GHelmertTransformation helmert;
    GDistanceWeightingAdjustment weighting;
    Beacons(helmert, weighting);
    Cycle(state, Plane(wdClarke1880, 29),
          [&](const GPoint& point)
          {
              GPoint p(point.X, point.Y);
              toGeographic.Transform(p, tdForward);
              toPlane->Transform(p, tdForward);
              helmert.Transform(p, tdForward);
              weighting.Adjust(p);
              toPlaneGeographic->Transform(p, tdForward);
              fromGeographic.Transform(p, tdForward);
              benchmark::DoNotOptimize(p.X);
              benchmark::DoNotOptimize(p.Y);
          });
}
BENCHMARK(BM_ControlRunChain);

} // namespace

BENCHMARK_MAIN();
