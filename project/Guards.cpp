#include "project/Guards.h"

#include "database/Database.h"
#include "geometry/Calculations.h"
#include "geometry/Files.h"
#include "geometry/NumberFormat.h"
#include "transformation/Transformation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <filesystem>
#include <limits>
#include <utility>

namespace quorvalis
{

namespace
{

namespace fs = std::filesystem;

// A value in a message: plain decimals while it reads well, general notation beyond.
std::string Value(double value, const char* picture = "0.###")
{
    if (!std::isfinite(value))
        return "not a number";
    if (std::fabs(value) >= 1e9)
        return FormatGeneral(value, DecimalSeparator());
    return FormatPicture(value, picture);
}

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

const char* const kCoordinateSystemNames[] = {"Lo metres", "degrees (ddd.mmss)", "decimal degrees"};

// Geographic bounds, degrees: longitude east, latitude positive south.
struct Bounds
{
    double West = 0.0, East = 0.0, North = 0.0, South = 0.0;
};

// The bounds of the corners of the job's extent in geographic degrees for a coordinate form;
// nothing when a corner cannot be converted (a conversion fault or a number that is not finite).
std::optional<Bounds> GeographicCorners(const GProject& project, const GProjectParameters& values)
{
    const GRectangle& extent = *project.Extent;
    const std::array<std::pair<double, double>, 4> corners{{{extent.Left(), extent.Top()},
                                                            {extent.Right(), extent.Top()},
                                                            {extent.Left(), extent.Bottom()},
                                                            {extent.Right(), extent.Bottom()}}};
    Bounds bounds;
    bool first = true;
    try
    {
        const auto toGeographic =
            GProject::BuildToGeographic(values, project.SourceDatum, project.LocalOrigin);
        for (const auto& [x, y] : corners)
        {
            GPoint corner(x, y);
            toGeographic->Transform(corner, tdForward);
            if (!std::isfinite(corner.X) || !std::isfinite(corner.Y))
                return std::nullopt;
            if (first)
                bounds = {corner.X, corner.X, corner.Y, corner.Y};
            bounds.West = std::min(bounds.West, corner.X);
            bounds.East = std::max(bounds.East, corner.X);
            bounds.North = std::min(bounds.North, corner.Y);
            bounds.South = std::max(bounds.South, corner.Y);
            first = false;
        }
    }
    catch (const std::exception&)
    {
        return std::nullopt;
    }
    return bounds;
}

bool InsideArea(const std::optional<Bounds>& bounds)
{
    return bounds && bounds->North >= kAreaLeastLatitude &&
           bounds->South <= kAreaGreatestLatitude && bounds->West >= kAreaLeastLongitude &&
           bounds->East <= kAreaGreatestLongitude;
}

// Which other reading of the numbers would put the job inside the area, as a sentence (the first
// of the readings below that would); otherwise a word on coordinates read as 0, or general
// advice. "Negate" means the opposite of the negation chosen.
std::string AreaHint(const GProject& project)
{
    const GProjectParameters values = project.GetProjectParameters();
    const bool geographic = values.CoordinateSystem != 0;
    struct Reading
    {
        const char* Hint;
        bool Exchange, NegateX, NegateY;
        int System; // -1: as given
        bool DegreesOnly = false;
    };
    const Reading readings[] = {
        {geographic ? "The numbers look like latitudes positive north (negative in the south); "
                      "this system takes latitudes positive south: negate Y."
                    : "The numbers look like Y with the opposite sign: negate Y.",
         false, false, true, -1},
        {geographic ? "The numbers look like latitudes positive north in X; this system takes "
                      "latitudes positive south: negate X."
                    : "The numbers look like X with the opposite sign: negate X.",
         false, true, false, -1},
        {geographic ? "X and Y look exchanged: this system takes the longitude in X and the "
                      "latitude in Y."
                    : "X and Y look exchanged: in Lo coordinates X is the southing and Y the "
                      "westing.",
         true, false, false, -1},
        {"X and Y look exchanged, with latitudes positive north: exchange X and Y and negate the "
         "latitudes.",
         true, true, false, -1, true},
        {"X and Y look exchanged, with latitudes positive north: exchange X and Y and negate the "
         "latitudes.",
         true, false, true, -1, true},
        {"The numbers look like decimal degrees, not Lo metres.", false, false, false, 2},
        {"The numbers look like Lo metres, not degrees.", false, false, false, 0},
    };
    for (const Reading& reading : readings)
    {
        if ((reading.System >= 0 && (reading.System == 0) != geographic) ||
            (reading.DegreesOnly && !geographic))
            continue;
        GProjectParameters other = values;
        other.Exchange = values.Exchange != reading.Exchange;
        other.NegateX = values.NegateX != reading.NegateX;
        other.NegateY = values.NegateY != reading.NegateY;
        if (reading.System >= 0)
            other.CoordinateSystem = static_cast<std::uint8_t>(reading.System);
        if (InsideArea(GeographicCorners(project, other)))
            return reading.Hint;
    }
    const GRectangle& extent = *project.Extent;
    if (extent.Left() == 0.0 || extent.Right() == 0.0 || extent.Top() == 0.0 ||
        extent.Bottom() == 0.0)
        return "Some coordinates are 0: a field that is empty, missing or not a number may have "
               "been read as 0.";
    return geographic ? "Check the coordinate system, the signs and the order of X and Y."
                      : "Check the coordinate system and the Lo of the data.";
}

bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code error;
    if (fs::exists(a, error) && fs::exists(b, error))
        return fs::equivalent(a, b, error);
    return fs::weakly_canonical(fs::absolute(a, error), error) ==
           fs::weakly_canonical(fs::absolute(b, error), error);
}

const char* DatumName(std::uint8_t datum)
{
    return datum == dtHartebeesthoek ? "Hartebeesthoek94" : "the Cape datum";
}

std::string DeclarationName(const GDeclaredSystem& declared)
{
    return declared.Description.empty()
               ? Quoted(declared.Source)
               : Quoted(declared.Source) + " (" + declared.Description + ")";
}

std::string Metres(double value)
{
    return Value(value, "0.000") + " m";
}

} // namespace

bool IsLocalOrigin(double lo)
{
    return std::isfinite(lo) && lo >= 15.0 && lo <= 33.0 && std::trunc(lo) == lo &&
           static_cast<int>(lo) % 2 == 1;
}

std::string NotLocalOriginMessage(const std::string& what, double lo)
{
    return what + " (" + Value(lo, "0.###############") +
           ") is not a Lo: a Lo is an odd whole number of degrees from 15 to 33.";
}

void CheckLocalOrigin(double lo, const std::string& what)
{
    if (!IsLocalOrigin(lo))
        throw GGuardException(NotLocalOriginMessage(what, lo));
}

void CheckParameters(const GProject& project, std::uint8_t method)
{
    CheckLocalOrigin(project.LocalOrigin, kDataLocalOrigin);
    const bool userDefined = method == 1 && project.HelmertMode == 1;
    if (method == 0 || userDefined)
        CheckLocalOrigin(project.TransformationLocalOrigin, kTransformationLocalOrigin);
    if (userDefined)
    {
        const double a = project.HelmertA;
        const double b = project.HelmertB;
        if (!std::isfinite(a) || !std::isfinite(b) || (a == 0.0 && b == 0.0))
            throw GGuardException("The user-defined Helmert variables a (" + Value(a) +
                                  ") and b (" + Value(b) +
                                  ") give no transformation: their scale is 0.");
    }
}

void CheckDataFiles(const GProject& project)
{
    if (!project.RecordSet)
        return;
    for (const std::string& file : project.RecordSet->DataFiles())
        if (!OwnerMayWrite(file))
            throw GGuardException("The data file " + Quoted(file) +
                                  " is read-only (its owner may not write it), so it cannot be "
                                  "transformed.");
}

void CheckJobArea(const GProject& project)
{
    if (project.ExtentPointCount == 0)
        return;
    const GProjectParameters values = project.GetProjectParameters();
    const auto area = GeographicCorners(project, values);
    if (InsideArea(area))
        return;
    const std::string reading =
        std::string(kCoordinateSystemNames[std::min<int>(values.CoordinateSystem, 2)]) +
        (values.CoordinateSystem == 0 ? " of Lo " + Value(project.LocalOrigin) : std::string());
    std::string where;
    if (area)
        where = "its extent is latitude " + Value(area->North) + " to " + Value(area->South) +
                ", longitude " + Value(area->West) + " to " + Value(area->East) +
                " (degrees, latitude positive south), outside latitude 15 to 40 and longitude 10 "
                "to 40, read as " +
                reading;
    else
        where = "its coordinates, read as " + reading + ", give no latitude and longitude";
    throw GGuardException("The job does not lie where either datum is used: " + where + ". " +
                          AreaHint(project));
}

void CheckReportFile(const GProject& project, const std::string& fileName)
{
    if (!project.RecordSet || fileName.empty())
        return;
    for (const std::string& file : project.RecordSet->DataFiles())
        if (SameFile(fileName, file))
            throw GGuardException("The report " + Quoted(fileName) +
                                  " would overwrite the job's file " + Quoted(file) +
                                  ": choose another report file.");
}

void CheckDeclarations(const GProject& project)
{
    if (!project.RecordSet)
        return;
    for (const GDeclaredSystem& declared : project.RecordSet->DeclaredSystems())
        if (declared.Datum && *declared.Datum == project.TargetDatum &&
            project.SourceDatum != project.TargetDatum)
            throw GGuardException(DeclarationName(declared) + " says the data are on " +
                                  DatumName(project.TargetDatum) +
                                  " already: the job has been transformed before.");
}

void CheckRun(const GProject& project, std::uint8_t method)
{
    CheckParameters(project, method);
    CheckDataFiles(project);
    CheckDeclarations(project);
    CheckJobArea(project);
    if (project.Output)
        CheckReportFile(project, project.OutputFileName);
    if (method == 0 && !project.BuildControlHelmert()->IsValid())
        throw GGuardException(kInvalidTransformationMessage);
}

GRunAssessment AssessRun(GProject& project)
{
    CheckRun(project, project.ProjectTransformation);
    GRunAssessment assessment;
    auto& doubts = assessment.Doubts;

    if (project.RecordSet)
    {
        for (const GDeclaredSystem& declared : project.RecordSet->DeclaredSystems())
        {
            if (!declared.Datum && !declared.LocalOrigin)
                assessment.Warnings.push_back(
                    DeclarationName(declared) +
                    " is not a Cape or Hartebeesthoek94 Lo system; it is left as it is.");
            else if (declared.LocalOrigin && !IsLocalOrigin(*declared.LocalOrigin))
                assessment.Warnings.push_back(DeclarationName(declared) + " says Lo " +
                                              std::to_string(*declared.LocalOrigin) +
                                              ", which is not a Lo; it is not used.");
            else if (declared.LocalOrigin && project.CoordinateSystem != 0)
                doubts.push_back(
                    DeclarationName(declared) + " says Lo " +
                    std::to_string(*declared.LocalOrigin) +
                    " coordinates; the run takes the data as " +
                    kCoordinateSystemNames[std::min<int>(project.CoordinateSystem, 2)] + ".");
            else if (declared.LocalOrigin && *declared.LocalOrigin != project.LocalOrigin)
                doubts.push_back(DeclarationName(declared) + " says Lo " +
                                 std::to_string(*declared.LocalOrigin) +
                                 "; the run takes the data as Lo " + Value(project.LocalOrigin) +
                                 ".");
        }
        for (const std::string& file : project.RecordSet->DataFiles())
        {
            const std::uint64_t links = HardLinkCount(file);
            if (links > 1)
            {
                assessment.LinkedFiles.push_back(file);
                doubts.push_back(Quoted(file) + " has " + std::to_string(links) +
                                 " hard links: the run replaces this name only, so the other "
                                 "links keep the old coordinates.");
            }
        }
    }

    if (project.ProjectTransformation == 0)
    {
        const auto helmert = project.BuildControlHelmert();
        // The centre as the selection sees it: the geographic extent's centre on the source
        // datum's plane of the transformation.
        const auto toPlane = GProject::BuildGeographicToPlane(project.SourceDatum,
                                                              project.TransformationLocalOrigin);
        GPoint centre;
        project.GeographicExtent()->GetCentre(centre.X, centre.Y);
        toPlane->Transform(centre, tdForward);
        double nearest = std::numeric_limits<double>::infinity();
        std::string nearestName;
        double squares = 0.0;
        for (int i = 0; i < helmert->PairCount(); ++i)
        {
            const GPoint& source = helmert->SourcePoint(i);
            const double distance = Distance(centre.X, centre.Y, source.X, source.Y);
            if (distance < nearest)
            {
                nearest = distance;
                nearestName = helmert->PairName(i);
            }
            const double x = helmert->ResidualX(i);
            const double y = helmert->ResidualY(i);
            squares += x * x + y * y;
        }
        if (nearest > kBeaconDistanceDoubt && project.ExtentPointCount > 0)
            doubts.push_back("The nearest selected beacon, " + nearestName + ", lies " +
                             Value(nearest / 1000.0, "0.0") +
                             " km from the centre of the job (more than 50 km).");
        const double rms = std::sqrt(squares / helmert->PairCount());
        if (rms > kMisclosureDoubt)
            doubts.push_back("The RMS of the misclosures is " + Metres(rms) + " (more than 2 m).");
    }
    else if (project.HelmertMode == 1 && project.HelmertA == 1.0 && project.HelmertB == 1.0)
        doubts.push_back("The user-defined Helmert variables are a = 1 and b = 1, the stored "
                         "default: a rotation of 45 degrees with a scale of 1.414.");

    assessment.Shift = project.SampleShift(kSampledPoints);
    const GShiftSummary& shift = assessment.Shift;
    if (shift.Count > 0 && (shift.Mean < kLeastMeanShift || shift.Mean > kGreatestMeanShift))
        doubts.push_back("The points move " + Metres(shift.Mean) + " on average (first " +
                         std::to_string(shift.Count) +
                         " points); Cape to Hartebeesthoek94 moves them about 300 m (250 m to "
                         "350 m expected).");
    return assessment;
}

std::optional<GDeclaredSystem> DeclaredLocalOrigin(const GRecordSet& recordSet,
                                                   std::uint8_t sourceDatum)
{
    for (const GDeclaredSystem& declared : recordSet.DeclaredSystems())
        if (declared.LocalOrigin && IsLocalOrigin(*declared.LocalOrigin) &&
            (!declared.Datum || *declared.Datum == sourceDatum))
            return declared;
    return std::nullopt;
}

std::string SplitLinkMessage(const std::string& fileName)
{
    return "The hard links of " + Quoted(fileName) +
           " were split: this name holds the transformed data, the other links still hold the "
           "old.";
}

} // namespace quorvalis
