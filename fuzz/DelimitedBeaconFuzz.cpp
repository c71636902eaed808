// Feeds arbitrary text to the reader of comma-delimited beacon files (files that arrive by mail
// are untrusted). Every beacon taken must have a name without a comma and four finite numbers,
// and writing it back as "name,y,x,y,x" with the shortest exact numbers must read back the same.
#include "fuzz/FuzzCheck.h"
#include "project/BeaconImport.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace quorvalis;
using quorvalis::fuzz::Check;

namespace
{

std::string Exact(double value)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto lines = SplitTextLines(input);
    GDelimitedTrigBeaconImport importer;
    const bool read = importer.ReadBeaconLines(lines);
    Check(read == (importer.Beacons.Count() > 0));
    Check(importer.Beacons.Count() <= static_cast<int>(lines.size()));

    for (int i = 0; i < importer.Beacons.Count(); ++i)
    {
        const GTrigBeacon& beacon = importer.Beacons.Beacon(i);
        Check(beacon.Selected);
        Check(!beacon.Name.empty() && beacon.Name.find(',') == std::string::npos);
        const double values[4] = {beacon.Clarke.Y, beacon.Clarke.X, beacon.WGS.Y, beacon.WGS.X};
        std::string line = beacon.Name;
        for (double value : values)
        {
            Check(std::isfinite(value));
            line += "," + Exact(value);
        }
        const auto again = ParseDelimitedBeaconLine(line);
        Check(again.has_value());
        Check(again->Name == beacon.Name);
        Check(again->Clarke.Y == values[0] && again->Clarke.X == values[1] &&
              again->WGS.Y == values[2] && again->WGS.X == values[3]);
    }
    return 0;
}
