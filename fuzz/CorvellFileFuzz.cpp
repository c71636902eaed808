// Feeds arbitrary bytes to the coordinate list reader. Anything it accepts must write out as the
// very bytes read (the partial record at the end left out), and a file built anew from what was
// read must read back with the same header texts, zone and records.
#include "database/CorvellDatabase.h"
#include "fuzz/FuzzCheck.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

using namespace quorvalis;
using quorvalis::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    GCorvellCoordinateFile file;
    file.FileName = "fuzz.crd";
    try
    {
        file.LoadFromBytes(std::span<const std::uint8_t>(data, size));
    }
    catch (const GCorvellException&)
    {
        Check(file.Coordinates.Count() == 0);
        return 0;
    }
    Check(static_cast<std::size_t>(file.Coordinates.Count()) == (size - 512) / 48);

    const std::size_t whole = 512 + 48 * static_cast<std::size_t>(file.Coordinates.Count());
    Check(file.SaveToBytes() == std::vector<std::uint8_t>(data, data + whole));

    // Without the bytes read, the file is built from its values alone.
    file.RawHeader.clear();
    for (auto& coordinate : file.Coordinates)
        coordinate->Raw.reset();
    const std::vector<std::uint8_t> bytes = file.SaveToBytes();
    Check(bytes.size() == whole);
    GCorvellCoordinateFile again;
    again.FileName = "fuzz.crd";
    again.LoadFromBytes(bytes);
    Check(again.HeaderLead == file.HeaderLead && again.HeaderBody == file.HeaderBody &&
          again.HeaderTail == file.HeaderTail && again.Lo == file.Lo);
    Check(again.Coordinates.Count() == file.Coordinates.Count());
    for (int i = 0; i < file.Coordinates.Count(); ++i)
    {
        const GCorvellCoordinate& a = *file.Coordinates.GetItem(i);
        const GCorvellCoordinate& b = *again.Coordinates.GetItem(i);
        Check(a.Name == b.Name && a.SurveyRecord == b.SurveyRecord && a.Mask == b.Mask);
        Check(std::bit_cast<std::uint64_t>(a.X) == std::bit_cast<std::uint64_t>(b.X) &&
              std::bit_cast<std::uint64_t>(a.Y) == std::bit_cast<std::uint64_t>(b.Y));
    }
    return 0;
}
