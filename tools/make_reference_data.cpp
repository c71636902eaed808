// make_reference_data: regenerates the degree-sheet table and the sample data from PROJ.
//
//   make_reference_data --sheet data/Sheet.csv --samples samples/
//
// Everything written is derived from EPSG:1504 (stated accuracy 15 m), not from survey-office
// data. The output is deterministic; the statistics printed go into data/PROVENANCE.md and
// samples/README.md. Exits non-zero when any self-check fails.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include <gdal.h>

#include "tools/OutputFiles.h"
#include "tools/ReferenceGeodesy.h"
#include "tools/SampleBeacons.h"
#include "tools/SampleJobs.h"
#include "tools/SheetTable.h"

namespace fs = std::filesystem;
using namespace quorvalis::tools;

namespace
{

int failures = 0;

void Check(bool ok, const std::string& what)
{
    std::printf("  [%s] %s\n", ok ? "ok" : "FAILED", what.c_str());
    if (!ok)
        ++failures;
}

void CheckAgainstEpsg(ReferenceGeodesy& geodesy)
{
    // Sheet centres spread over EPSG:1504's area of use (the explicit operations are used
    // everywhere; PROJ's own would fall back to a no-op outside it).
    const std::vector<Geographic> positions{{29.875, 23.125}, {28.125, 25.875}, {30.875, 29.875},
                                            {18.625, 33.875}, {24.375, 28.625}, {26.875, 31.125},
                                            {32.625, 26.375}, {22.125, 34.125}, {17.375, 30.125}};
    const EpsgAgreement agreement = geodesy.compareWithEpsg(positions);
    std::printf("Agreement with PROJ's EPSG definitions at %d positions (metres):\n"
                "  Cape Lo %.6f, Hartebeesthoek94 Lo %.6f, EPSG:1504 %.6f\n",
                agreement.points, agreement.capeLo, agreement.hartebeesthoekLo,
                agreement.datumShift);
    Check(agreement.capeLo < 0.001 && agreement.hartebeesthoekLo < 0.001 &&
              agreement.datumShift < 0.001,
          "explicit operations within 1 mm of EPSG:222xx, EPSG:20xx and EPSG:1504");
}

void WriteSheet(ReferenceGeodesy& geodesy, const fs::path& path)
{
    SheetStatistics s;
    const std::vector<SheetRow> rows = BuildSheetTable(geodesy, s);
    const std::string csv = SheetCsv(rows);
    VerifySheetCsv(csv, rows); // throws unless every number reads back exactly
    if (path.has_parent_path())
        fs::create_directories(path.parent_path());
    WriteFileAtomically(path, csv);

    std::printf("Sheet table %s: %d sheets, %d fit points each\n", path.string().c_str(), s.sheets,
                s.fitPointsPerSheet);
    std::printf("  fit residual: largest %.6f m (sheet %s), rms %.6f m\n", s.maxResidual,
                s.maxResidualSheet.c_str(), s.rmsResidual);
    std::printf("  %d interior check points: largest deviation %.6f m\n", s.checkPoints,
                s.maxCheckDeviation);
    std::printf("  WX-CX %.3f..%.3f m, WY-CY %.3f..%.3f m\n", s.minShiftX, s.maxShiftX, s.minShiftY,
                s.maxShiftY);
    std::printf("  scale %.3f..%.3f ppm, swing %.4f..%.4f arc seconds\n", s.minScalePpm,
                s.maxScalePpm, s.minSwingSeconds, s.maxSwingSeconds);
    Check(s.sheets == 13 * 17 * 16, "every quarter-degree sheet of 22-35 S, 16-33 E");
    Check(s.checksAboveSheetResidual == 0,
          "fitted parameters reproduce PROJ at interior points within the sheet's fit residual");
    Check(s.maxResidual < 0.01, "largest fit residual below 10 mm");
    Check(s.minShiftX > 285 && s.maxShiftX < 303 && s.minShiftY > 15 && s.maxShiftY < 70,
          "datum shift of about +288..+300 m in X and +19..+67 m in Y");
}

void Report(const SampleArea& area, const std::vector<SampleBeacon>& beacons)
{
    std::vector<LoPoint> cape, hart;
    double largestDistortion = 0.0;
    for (const SampleBeacon& b : beacons)
    {
        cape.push_back(b.cape);
        hart.push_back(b.hart);
        largestDistortion = std::max(largestDistortion, std::hypot(b.distortion.x, b.distortion.y));
    }
    const HelmertFit fit = FitHelmert(cape, hart);
    double sumSquares = 0.0, largest = 0.0;
    for (std::size_t k = 0; k < cape.size(); ++k)
    {
        const double misclosure = Distance(fit.apply(cape[k]), hart[k]);
        sumSquares += misclosure * misclosure;
        largest = std::max(largest, misclosure);
    }
    std::printf("Beacons %s (Lo %d, around %.2f S %.2f E): %zu, largest distortion %.3f m;\n"
                "  one Helmert fit over all: misclosure rms %.3f m, largest %.3f m,"
                " scale %.2f ppm, swing %.3f arc seconds\n",
                area.tag.c_str(), area.lo, area.centre.lat, area.centre.lon, beacons.size(),
                largestDistortion, std::sqrt(sumSquares / static_cast<double>(cape.size())),
                largest, (std::hypot(fit.a, fit.b) - 1.0) * 1e6,
                std::atan2(fit.b, fit.a) * 180.0 / std::numbers::pi * 3600.0);
    Check(largest > 0.02 && largest < 1.0, "sample misclosures of centimetres to decimetres");
}

void WriteSamples(ReferenceGeodesy& geodesy, const fs::path& directory)
{
    fs::create_directories(directory);
    for (const SampleArea* area : {&AreaLo29(), &AreaLo31()})
    {
        const std::vector<SampleBeacon> beacons = MakeBeacons(geodesy, *area);
        WriteFileAtomically(directory / ("beacons-" + area->tag + ".csv"), BeaconCsv(beacons));
        Report(*area, beacons);
        if (area->lo == 29)
        {
            const SurveyOfficeEmails emails = MakeEmails(geodesy, *area, beacons);
            WriteFileAtomically(directory / "email-lo29-cape.eml", emails.cape);
            WriteFileAtomically(directory / "email-lo29-hart.eml", emails.hart);
        }
    }
    for (const JobSummary& job : WriteSampleJobs(geodesy, AreaLo29(), AreaLo31(), directory))
        std::printf("Job %s: %d records, %d vertices\n", job.file.c_str(), job.records,
                    job.vertices);
}

int Usage()
{
    std::fprintf(stderr, "usage: make_reference_data [--sheet FILE.csv] [--samples FOLDER]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    fs::path sheet, samples;
    for (int i = 1; i < argc; ++i)
    {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            return Usage();
        if (option == "--sheet")
            sheet = argv[++i];
        else if (option == "--samples")
            samples = argv[++i];
        else
            return Usage();
    }
    if (sheet.empty() && samples.empty())
        return Usage();

    try
    {
        GDALAllRegister();
        ReferenceGeodesy geodesy;
        std::printf("PROJ %s, GDAL %s\n", ReferenceGeodesy::projVersion().c_str(),
                    GDALVersionInfo("RELEASE_NAME"));
        std::printf("Cape Lo 31:      %s\n",
                    ReferenceGeodesy::loDefinition(Datum::Cape, 31).c_str());
        std::printf("Hart94 Lo 31:    %s\n",
                    ReferenceGeodesy::loDefinition(Datum::Hartebeesthoek94, 31).c_str());
        std::printf("EPSG:1504 shift: %s\n", ReferenceGeodesy::datumShiftDefinition().c_str());
        CheckAgainstEpsg(geodesy);
        if (!sheet.empty())
            WriteSheet(geodesy, sheet);
        if (!samples.empty())
            WriteSamples(geodesy, samples);
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "make_reference_data: %s\n", error.what());
        return 1;
    }
    if (failures > 0)
        std::fprintf(stderr, "make_reference_data: %d check(s) failed\n", failures);
    return failures > 0 ? 1 : 0;
}
