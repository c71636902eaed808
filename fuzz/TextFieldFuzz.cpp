// Feeds arbitrary lines to the field text reader under a definition taken from the first bytes:
// file type, delimiter, then per field its start column, width, type, alignment and picture.
// Every field of every line must cut without fault; for delimited files, building a line from
// the texts and cutting it again must give the same texts.
#include "database/TextfileDatabase.h"
#include "fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using namespace quorvalis;
using quorvalis::fuzz::Check;

namespace
{

const char* const kPictures[] = {"", "0", "0.000", "0.###", "0.000#######", "#0.00", "0.0"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    GTextFile file;
    GTextFileDefinition& definition = file.Definition;
    definition.FileType = static_cast<std::uint8_t>(data[0] % 3);
    definition.Delimiter = static_cast<char>(data[1]);
    const int fieldCount = data[2] % 9;
    std::size_t at = 3;
    for (int k = 0; k < fieldCount; ++k)
    {
        if (at + 5 > size)
            return 0;
        auto field = std::make_unique<GTextFileField>();
        field->Name = "F" + std::to_string(k);
        field->StartColumn = static_cast<std::int8_t>(data[at]);
        field->Width = data[at + 1] % 48 - 2;
        field->FieldType = static_cast<std::uint8_t>(data[at + 2] % 9);
        field->Alignment = data[at + 3];
        field->Format = kPictures[data[at + 4] % std::size(kPictures)];
        definition.Fields.Add(std::move(field));
        at += 5;
    }
    definition.HasHeader = (data[0] & 0x80) != 0;
    file.LoadFromText(std::string_view(reinterpret_cast<const char*>(data + at), size - at));

    for (int r = 0; r < file.RecordCount(); ++r)
    {
        std::vector<std::string> texts;
        for (int j = 0; j < definition.Fields.Count(); ++j)
            texts.push_back(file.GetFieldText(r, j));
        std::string built;
        try
        {
            built = definition.BuildLine(texts, r);
        }
        catch (const GTextfileException&)
        {
            continue;
        }
        if (definition.FileType == 1)
            for (int j = 0; j < definition.Fields.Count(); ++j)
                Check(definition.FieldText(built, j) == texts[static_cast<std::size_t>(j)]);
    }
    return 0;
}
