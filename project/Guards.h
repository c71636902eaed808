// The guards of a run and of an import, shared by every front end.
//
// A fault is a condition under which a run would write wrong coordinates or damage files: it is
// raised as GGuardException before anything is written, and the command shows its message in an
// error box (the command line exits with 1). A doubt is a condition that is probably a mistake
// but may be intended: the run goes ahead only when the user confirms it (the confirmation lists
// the doubts; the command line needs --force). A warning is only shown.
//
// Geographic degrees here follow the system's convention: longitude east, latitude positive south.
#pragma once

#include "project/Project.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvalis
{

struct GDeclaredSystem;

/// A fault: the run, import or setting is refused; nothing was written. The message says what is
/// wrong and names the file, line or value.
class GGuardException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// Whether lo is a Lo of either datum: an odd whole number of degrees east from 15 to 33.
bool IsLocalOrigin(double lo);
/// "<what> (<lo>) is not a Lo: a Lo is an odd whole number of degrees from 15 to 33."
std::string NotLocalOriginMessage(const std::string& what, double lo);
/// Raises GGuardException with NotLocalOriginMessage unless IsLocalOrigin(lo).
void CheckLocalOrigin(double lo, const std::string& what);

/// The names of the Lo values in messages.
inline constexpr char kDataLocalOrigin[] = "The Lo of the data";
inline constexpr char kTransformationLocalOrigin[] = "The Lo of the transformation";
inline constexpr char kImportLocalOrigin[] = "The Lo of the imported coordinates";
inline constexpr char kStoredLocalOrigin[] = "The stored \"Local Origin\"";

/// The area of both datums with room to spare (every Lo zone from 15 to 33), degrees: a job whose
/// geographic extent leaves it is refused.
inline constexpr double kAreaLeastLatitude = 15.0;    ///< degrees south
inline constexpr double kAreaGreatestLatitude = 40.0; ///< degrees south
inline constexpr double kAreaLeastLongitude = 10.0;   ///< degrees east
inline constexpr double kAreaGreatestLongitude = 40.0;

/// Limits of the doubts.
inline constexpr double kBeaconDistanceDoubt = 50000.0; ///< nearest selected beacon, metres
inline constexpr double kMisclosureDoubt = 2.0;         ///< RMS of the misclosures, metres
/// Cape to Hartebeesthoek94 moves points 296 m to 305 m on the plane everywhere from 15 to 35
/// degrees south (EPSG:1504); a mean shift outside these limits is doubted.
inline constexpr double kLeastMeanShift = 250.0;    ///< metres
inline constexpr double kGreatestMeanShift = 350.0; ///< metres
/// Points whose shift the assessment (and the dry run) computes before a run.
inline constexpr std::int64_t kSampledPoints = 1000;

/// What is known of a run before it starts.
struct GRunAssessment
{
    /// Texts of the doubts, in the order found; the run needs a confirmation when not empty.
    std::vector<std::string> Doubts;
    /// Texts to show before the run.
    std::vector<std::string> Warnings;
    /// How far the first kSampledPoints points move.
    GShiftSummary Shift;
    /// Data files with more than one hard link: the run replaces this name only, so the other
    /// links keep the old data (one of the doubts; named again after the run).
    std::vector<std::string> LinkedFiles;
};

// --- Faults: each raises GGuardException ---

/// The parameters a run of method (0 control coordinates, 1 Helmert) uses: the data's Lo; the
/// transformation's Lo (control coordinates, or a user-defined Helmert); user-defined Helmert
/// variables a and b finite and not both 0.
void CheckParameters(const GProject& project, std::uint8_t method);
/// Every existing file a flush would rewrite (DataFiles) must give its owner the write
/// permission, whoever runs the program.
void CheckDataFiles(const GProject& project);
/// The job's extent (ExtentPointCount > 0), taken to geographic degrees on the source datum, must
/// lie in the area of both datums; the message says which convention the numbers look like.
void CheckJobArea(const GProject& project);
/// The report must not be one of the job's files.
void CheckReportFile(const GProject& project, const std::string& fileName);
/// No declaration of the data may name the target datum (the job was transformed before).
void CheckDeclarations(const GProject& project);
/// Every fault above for a run of method, the report only when Output, and for the
/// control-coordinate method a valid transformation of the selected beacons ("The
/// transformation in not valid").
void CheckRun(const GProject& project, std::uint8_t method);

/// CheckRun, then the doubts, the warnings and the shift of the first kSampledPoints points of
/// the run the project is set up for (its ProjectTransformation). Reads the data; writes
/// nothing.
GRunAssessment AssessRun(GProject& project);

/// The declaration whose Lo a job from this record set takes when the user gives none: the first
/// whose Lo is a Lo and whose datum is not the other one of a run from sourceDatum. None when
/// the data declare no Lo.
std::optional<GDeclaredSystem> DeclaredLocalOrigin(const GRecordSet& recordSet,
                                                   std::uint8_t sourceDatum);

/// The warning after a run for a data file whose hard links the run split.
std::string SplitLinkMessage(const std::string& fileName);

} // namespace quorvalis
