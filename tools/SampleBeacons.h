#pragma once

// Synthetic control beacons for the sample jobs: Cape Lo positions, and Hartebeesthoek94 Lo
// positions from EPSG:1504 plus a smooth local distortion, so that misclosures are not zero.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/ReferenceGeodesy.h"

namespace quorvalis::tools
{

/// Deterministic generator (splitmix64), identical on every platform and library.
class SampleRandom
{
public:
    explicit SampleRandom(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    double uniform(double low, double high); ///< in [low, high)
    int integer(int low, int high);          ///< in [low, high]

private:
    std::uint64_t state_;
};

struct SampleArea
{
    std::string tag;        ///< file name part, e.g. "lo29"
    int lo = 0;             ///< Lo zone of every beacon and job of the area
    Geographic centre;      ///< Cape datum, degrees (latitude south)
    double halfHeight = 0;  ///< degrees of latitude either side of the centre
    double halfWidth = 0;   ///< degrees of longitude either side of the centre
    std::uint64_t seed = 0; ///< fixed seed of the area
    std::vector<std::string> places;
};

const SampleArea& AreaLo29();
const SampleArea& AreaLo31();

struct SampleBeacon
{
    std::string name;   ///< at most 20 characters, e.g. "TRIG 41 DORINGKOP"
    std::string source; ///< "TRIG", "TSM" or "PILLAR"
    int number = 0;
    LoPoint cape;       ///< Cape Lo, metres, rounded to the millimetre
    LoPoint hart;       ///< Hartebeesthoek94 Lo, metres, rounded to the millimetre
    LoPoint distortion; ///< part of hart that EPSG:1504 does not explain, metres
};

/// Hartebeesthoek94 Lo offset (metres) added to EPSG:1504 at a point, relative to the area centre:
/// sums of sines with wavelengths of 29 to 52 km and amplitudes of 0.10 to 0.20 m.
LoPoint LocalDistortion(LoPoint hart, LoPoint centre);

/// One beacon of `area` at a Cape geographic position.
SampleBeacon MakeBeacon(ReferenceGeodesy& geodesy, const SampleArea& area, Geographic cape,
                        const std::string& source, int number, const std::string& place);

/// The area's beacons: one per place name, classes TRIG, TSM and PILLAR in a fixed pattern.
std::vector<SampleBeacon> MakeBeacons(ReferenceGeodesy& geodesy, const SampleArea& area);

/// Comma-delimited import text: "name,cape y,cape x,hart y,hart x" per line, LF line ends.
std::string BeaconCsv(const std::vector<SampleBeacon>& beacons);

struct SurveyOfficeEmails
{
    std::string cape; ///< CRLF line ends
    std::string hart;
};

/// The pair of survey-office e-mail files for `beacons`, with the awkward cases of the format:
/// comma decimals, a beacon in one file only, one name under two numbers, a near-miss line.
SurveyOfficeEmails MakeEmails(ReferenceGeodesy& geodesy, const SampleArea& area,
                              const std::vector<SampleBeacon>& beacons);

} // namespace quorvalis::tools
