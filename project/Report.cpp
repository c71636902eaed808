#include "project/Report.h"

#include "geometry/Calculations.h"
#include "geometry/Files.h"
#include "geometry/NumberFormat.h"
#include "project/ControlBeacons.h"
#include "project/Project.h"
#include "transformation/Transformation.h"

#include <cmath>

namespace quorvalis
{

namespace
{

constexpr char kCoordinateHeading[] = "%-10s %12s %14s %12s %14s %8s %8s";
constexpr char kCoordinateLine[] = "%-10s %12.3n %14.3n %12.3n %14.3n %8.3n %8.3n";
constexpr char kBeaconHeading[] = "%-20s %12s %14s %12s %14s";
constexpr char kBeaconLine[] = "%-20s %12.3n %14.3n %12.3n %14.3n";
constexpr char kBeaconSubLine[] = "%-20s %12s %14s %12.3n %14.3n";
constexpr char kParameterHeading[] = "%-13s %12s %14s %12s %14s %12s %12s %2s";
constexpr char kParameterLine[] = "%-13s %12.3n %14.3n %12.3n %14.3n %11.9n %11.9n %2d";

} // namespace

GReport::GReport(const std::string& fileName) : file_(std::make_unique<GAtomicFile>(fileName)) {}

GReport::~GReport() = default;

void GReport::WriteLine(std::string_view text)
{
    line_.assign(text);
    line_ += "\r\n";
    file_->Write(line_);
}

void GReport::Close()
{
    file_->Commit();
}

bool GReport::CloseQuietly() noexcept
{
    try
    {
        file_->Commit();
        return true;
    }
    catch (...)
    {
        return false;
    }
}

bool GReport::Closed() const
{
    return file_->Committed();
}

void GReport::WriteControlBeaconSection(GHelmertTransformation& helmert, std::uint8_t sourceDatum)
{
    WriteLine("TRANSFORMATION CONTROL BEACONS");
    WriteLine("------------------------------");
    WriteLine("");
    if (sourceDatum == dtHartebeesthoek)
        WriteLine(
            ReportFormat(kBeaconHeading, {"BEACON NAME         ", "WGS`84 Y (m)", "  WGS`84 X (m)",
                                          "CLARKE Y (m)", "  CLARKE X (m)"}));
    else
        WriteLine(
            ReportFormat(kBeaconHeading, {"BEACON NAME         ", "CLARKE Y (m)", "  CLARKE X (m)",
                                          "WGS`84 Y (m)", "  WGS`84 X (m)"}));
    WriteLine(ReportFormat(kBeaconHeading, {"--------------------", "------------",
                                            "--------------", "------------", "--------------"}));
    WriteLine("");
    for (int i = 0; i < helmert.PairCount(); ++i)
    {
        const GPoint& source = helmert.SourcePoint(i);
        const GPoint& target = helmert.TargetPoint(i);
        WriteLine(ReportFormat(kBeaconLine,
                               {helmert.PairName(i), source.Y, source.X, target.Y, target.X}));
        const double residualX = helmert.ResidualX(i);
        const double residualY = helmert.ResidualY(i);
        WriteLine(ReportFormat(kBeaconSubLine, {" Transformed", " ", " ", target.Y - residualY,
                                                target.X - residualX}));
        WriteLine(ReportFormat(kBeaconSubLine, {" Misclosure", " ", " ", residualY, residualX}));
        WriteLine("");
    }
    double scale = 0.0;
    double swing = 0.0;
    helmert.ComputeParameters(scale, swing, tdForward);
    WriteLine(ReportFormat("%-8s %13.10f", {"SCALE", scale}) + " %");
    WriteLine(ReportFormat("%-8s %13.6f", {"SWING", ReportArg::PackedAngle(ConvertUnit(
                                                        utDecimalDegrees, utDDDMMSS, swing))}) +
              " degrees (ddd.mmss)");
    WriteLine("");
}

void GReport::WriteCoordinateHeading()
{
    WriteLine("TRANSFORMED COORDINATE VALUES");
    WriteLine("-----------------------------");
    WriteLine("");
    WriteLine(ReportFormat(kCoordinateHeading,
                           {"NAME      ", "  ORIGINAL Y", "    ORIGINAL X", "TRANSFORMD Y",
                            " TRANSFORMED X", "      DY", "      DX"}));
    WriteLine(ReportFormat(kCoordinateHeading,
                           {"----------", "------------", "--------------", "------------",
                            "--------------", "--------", "--------"}));
    WriteLine("");
}

void GReport::WriteCoordinateLine(const std::string& label, double yBefore, double xBefore,
                                  double yAfter, double xAfter)
{
    const auto coordinate = [this](double value)
    { return PackedCoordinates ? ReportArg::PackedAngle(value) : ReportArg(value); };
    WriteLine(ReportFormat(kCoordinateLine,
                           {label, coordinate(yBefore), coordinate(xBefore), coordinate(yAfter),
                            coordinate(xAfter), yAfter - yBefore, xAfter - xBefore}));
}

void GReport::WriteParameterSection(const std::vector<std::string>& lines, std::uint8_t sourceDatum,
                                    bool verbose)
{
    if (verbose)
        WriteLine("");
    WriteLine("TRANSFORMATION PARAMETERS (USED IN TRANSFORMATION)");
    WriteLine("--------------------------------------------------");
    WriteLine("");
    if (sourceDatum == dtHartebeesthoek)
        WriteLine(ReportFormat(kParameterHeading,
                               {"DEGREE SHEET ", "HBK`94 DTM Y", "HBK`94 DATUM X", "CAPE DATUM Y",
                                "  CAPE DATUM X", "   HELMERT A", "   HELMERT B", "LO"}));
    else
        WriteLine(ReportFormat(kParameterHeading,
                               {"DEGREE SHEET ", "CAPE DATUM Y", "  CAPE DATUM X", "HBK`94 DTM Y",
                                "HBK`94 DATUM X", "   HELMERT A", "   HELMERT B", "LO"}));
    WriteLine(ReportFormat(kParameterHeading,
                           {"-------------", "------------", "--------------", "------------",
                            "--------------", "------------", "------------", "--"}));
    WriteLine("");
    for (const std::string& line : lines)
        WriteLine(line);
}

std::string GReport::FormatParameterLine(const GSheetParameters& p, std::uint8_t sourceDatum)
{
    // Lo as the nearest integer; a Lo beyond the integer range cannot come from LoZone or a
    // dialog, and is written as 0 rather than overflowing.
    const double rounded = std::round(p.Lo);
    const long long lo =
        std::isfinite(rounded) && std::fabs(rounded) < 9.0e15 ? static_cast<long long>(rounded) : 0;
    if (sourceDatum == dtHartebeesthoek)
        return ReportFormat(kParameterLine, {p.SheetName, p.WY, p.WX, p.CY, p.CX, p.A, p.B, lo});
    return ReportFormat(kParameterLine, {p.SheetName, p.CY, p.CX, p.WY, p.WX, p.A, p.B, lo});
}

std::string GReport::Label(const std::string& text)
{
    // Ten characters, never cutting a UTF-8 sequence of the engine's text in two.
    std::size_t end = 0;
    int characters = 0;
    while (end < text.size() && characters < 10)
    {
        ++end;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            ++end;
        ++characters;
    }
    return text.substr(0, end);
}

} // namespace quorvalis
