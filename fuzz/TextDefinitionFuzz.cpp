// Feeds arbitrary bytes to the definition file reader. A refused file must leave the definition
// as it was; an accepted one is copied and used to cut and build a line with every field.
#include "database/TextfileDatabase.h"
#include "fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

using namespace quorvalis;
using quorvalis::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    GTextFileDefinition definition;
    definition.Delimiter = '|';
    try
    {
        definition.LoadFromBytes(std::span<const std::uint8_t>(data, size), "fuzz.def");
    }
    catch (const GTextfileException&)
    {
        Check(definition.Delimiter == '|' && definition.Fields.Count() == 0);
        return 0;
    }
    for (const auto& field : definition.Fields)
        Check(field->Name.size() < 1025 && field->Format.size() < 1025 && field->FieldType <= 8);

    GTextFileDefinition copy;
    copy.Assign(definition);
    Check(copy.Fields.Count() == definition.Fields.Count());

    // Cut a sample line with every field (float fields run their pictures) and build one back.
    const std::string line = " 12.5 , -3 ,TRIG 7,2850630.82 ,, 1e3";
    std::vector<std::string> texts;
    for (int j = 0; j < copy.Fields.Count() && j < 64; ++j)
        texts.push_back(copy.FieldText(line, j));
    if (copy.Fields.Count() <= 64)
    {
        try
        {
            copy.BuildLine(texts, 0);
        }
        catch (const GTextfileException&)
        {
        }
    }
    return 0;
}
