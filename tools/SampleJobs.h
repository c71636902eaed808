#pragma once

// Sample jobs in Cape Lo coordinates near the sample beacons, in every data format the
// application reads: shapefiles (written with GDAL/OGR), text files with their binary
// definition files, and a coordinate list file.

#include <filesystem>
#include <string>
#include <vector>

#include "tools/ReferenceGeodesy.h"
#include "tools/SampleBeacons.h"

namespace quorvalis::tools
{

/// What was written, for the summary printed by the tool.
struct JobSummary
{
    std::string file;
    int records = 0;
    int vertices = 0;
};

/// Writes job-points.*, job-lines.* (Lo 29 area) and job-parcels.* (Lo 31 area), the text
/// files job-points.txt / job-points-fixed.txt with their .def files, and job-points.crd.
std::vector<JobSummary> WriteSampleJobs(ReferenceGeodesy& geodesy, const SampleArea& lo29,
                                        const SampleArea& lo31,
                                        const std::filesystem::path& directory);

/// Field of a binary text-file definition (.def).
struct DefinitionField
{
    std::string name;
    std::string format;          ///< number picture of float fields, e.g. "0.000"; empty otherwise
    int startColumn = 0;         ///< 1-based, fixed-width files only
    int width = 0;               ///< characters of a fixed-width field; size of a string field
    unsigned char alignment = 0; ///< 0 left, 1 right
    unsigned char fieldType = 4; ///< 1 integer, 2 float, 4 string
};

/// Bytes of a .def file: type, delimiter, header flag, int32 count, then the field records.
std::string DefinitionFile(unsigned char fileType, char delimiter, bool hasHeader,
                           const std::vector<DefinitionField>& fields);

struct CoordinateRecord
{
    std::string name; ///< 11 characters are kept
    double x = 0.0;   ///< absolute Lo X, metres
    double y = 0.0;   ///< absolute Lo Y, metres
    std::string surveyRecord;
    std::string mask;
};

/// Bytes of a .crd file: the 512-byte header and one 48-byte record per coordinate, each stored
/// relative to the offsets.
std::string CoordinateListFile(const std::string& lead, double xOffset, double yOffset,
                               double zOffset, const std::string& body, int lo,
                               const std::string& tail,
                               const std::vector<CoordinateRecord>& records);

} // namespace quorvalis::tools
