// Feeds arbitrary text to the reader of the survey office's e-mail pair (files that arrive by mail
// are untrusted): the bytes up to the first zero byte are the Cape file, the rest the
// Hartebeesthoek file. Every beacon read must carry a whole number, a trimmed name and finite
// coordinates; the Lo can only be two characters' worth; removing the unpaired beacons leaves
// exactly the paired ones.
#include "database/engine/Text.h"
#include "fuzz/FuzzCheck.h"
#include "project/BeaconImport.h"
#include "project/WinRegistry.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace quorvalis;
using quorvalis::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t zero = input.find('\0');
    const std::string_view clarke = input.substr(0, zero);
    const std::string_view wgs =
        zero == std::string_view::npos ? std::string_view() : input.substr(zero + 1);

    GTrigBeaconImport importer;
    const bool read = importer.ReadBeaconLines(SplitTextLines(clarke), SplitTextLines(wgs));
    Check(read == (importer.Beacons.Count() > 0));
    Check(importer.LocalOrigin >= -9.0 && importer.LocalOrigin <= 99.0);

    int paired = 0;
    for (int i = 0; i < importer.Beacons.Count(); ++i)
    {
        const GTrigBeacon& beacon = importer.Beacons.Beacon(i);
        std::int32_t number = 0;
        Check(ParseStoredInteger(beacon.Number, number));
        Check(engine::TrimBlanks(beacon.Name) == beacon.Name);
        Check(beacon.Name.size() <= 20);
        Check(std::isfinite(beacon.Clarke.X) && std::isfinite(beacon.Clarke.Y));
        Check(std::isfinite(beacon.WGS.X) && std::isfinite(beacon.WGS.Y));
        if (beacon.Selected)
            ++paired;
        else
            Check(beacon.WGS.X == 0.0 && beacon.WGS.Y == 0.0);
    }
    Check(importer.MatchedCount() == paired);
    importer.RemoveUnmatched();
    Check(importer.Beacons.Count() == paired);
    Check(importer.MatchedCount() == paired);
    return 0;
}
