// Feeds arbitrary lines to the field text reader under a definition taken from the first bytes:
// file type, delimiter, then per field its start column, width, type, alignment and picture.
// Every field of every line must cut without fault; for delimited files, building a line from
// the texts and cutting it again must give the same texts. Rewriting the file with nothing
// replaced gives its bytes back; replacing one field's text in place changes that field only.
#include "database/TextfileDatabase.h"
#include "fuzz/FuzzCheck.h"

#include <algorithm>
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

// Whether fixed-width fields j and k share a column.
bool Overlap(const GTextFileField& a, const GTextFileField& b)
{
    const std::int64_t aStart = std::max<std::int64_t>(a.StartColumn, 1);
    const std::int64_t bStart = std::max<std::int64_t>(b.StartColumn, 1);
    return aStart < bStart + std::max(b.Width, 0) && bStart < aStart + std::max(a.Width, 0);
}

// Replacing field j by a number that fits changes field j to it and no other field.
void CheckReplacement(const GTextFileDefinition& definition, std::string_view line, int j,
                      bool utf8)
{
    const GTextFileField& field = *definition.Fields.GetItem(j);
    const std::string number = "-1.5";
    if (definition.FileType > 1 || (definition.FileType == 0 && field.Width < 4) ||
        (definition.FileType == 1 && definition.Delimiter <= ' ') ||
        number.find(definition.Delimiter) != std::string::npos)
        return;
    if (definition.FileType == 0)
        for (int k = 0; k < definition.Fields.Count(); ++k)
            if (k != j && Overlap(field, *definition.Fields.GetItem(k)))
                return;
    const std::string replaced = definition.ReplaceField(line, j, number, utf8);
    Check(definition.RawFieldText(replaced, j, utf8) == number);
    for (int k = 0; k < definition.Fields.Count(); ++k)
        if (k != j)
            Check(definition.RawFieldText(replaced, k, utf8) ==
                  definition.RawFieldText(line, k, utf8));
}

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

    const std::string_view text(reinterpret_cast<const char*>(data + at), size - at);
    Check(file.Rewrite({}, {}) == text);
    const bool utf8 = file.Utf8();
    for (int r = 0; r < file.RecordCount(); ++r)
    {
        std::vector<std::string> texts;
        for (int j = 0; j < definition.Fields.Count(); ++j)
            texts.push_back(file.GetFieldText(r, j));
        for (int j = 0; j < definition.Fields.Count(); ++j)
            CheckReplacement(definition, file.Line(r), j, utf8);
        std::string built;
        try
        {
            built = definition.BuildLine(texts, r, utf8);
        }
        catch (const GTextfileException&)
        {
            continue;
        }
        if (definition.FileType == 1)
            for (int j = 0; j < definition.Fields.Count(); ++j)
                Check(definition.FieldText(built, j, utf8) == texts[static_cast<std::size_t>(j)]);
    }
    return 0;
}
