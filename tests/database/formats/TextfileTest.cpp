// Definition files, field texts of fixed-width and delimited lines, and whole-file rewrites.
#include "database/TextfileDatabase.h"
#include "geometry/Files.h"
#include "geometry/NumberFormat.h"
#include "tests/database/formats/FormatTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

using namespace quorvalis;
using namespace quorvalis::testing;
using ::testing::HasSubstr;

namespace
{

void Load(GTextFileDefinition& definition, std::uint8_t fileType, char delimiter, bool header,
          const std::vector<FieldLayout>& fields)
{
    definition.LoadFromBytes(DefinitionBytes(fileType, delimiter, header, fields), "test.def");
}

} // namespace

TEST(TextDefinition, DamagedFilesAreRefusedAndLeaveTheDefinitionAlone)
{
    // Long names, so that cutting the file short does not already fail the field count check.
    const std::vector<std::uint8_t> good = DefinitionBytes(
        1, ',', false, {{"EastingCoordinateValue", 2}, {"NorthingCoordinateValue", 2}});
    // A name block "ABC" whose zero byte is overwritten.
    std::vector<std::uint8_t> noZero = DefinitionBytes(1, ',', false, {{"ABC"}});
    noZero[3 + 4 + 4 + 3] = 'D';
    const std::pair<std::vector<std::uint8_t>, const char*> cases[] = {
        {{}, "test.def: the file ends inside the definition header"},
        {{1, ',', 0, 2}, "test.def: the file ends inside the field count"},
        {{1, ',', 0, 0xFF, 0xFF, 0xFF, 0xFF}, "field count -1 does not fit"},
        {DefinitionBytes(1, ',', false, {{std::string(1025, 'N')}}),
         "test.def: field 1: name block of 1026 bytes is not between 1 and 1025"},
        {noZero, "field 1: name block of 4 bytes has no zero byte"},
        {{good.begin(), good.begin() + 63}, "field 2: the file ends inside the name block"},
        {DefinitionBytes(1, ',', false, {{"X", 9}}),
         "field 1 (X): field type code 9 is not one of 0 to 8"},
    };
    for (const auto& [bytes, expected] : cases)
    {
        SCOPED_TRACE(expected);
        GTextFileDefinition definition;
        Load(definition, 0, '|', true, {{"Kept"}});
        EXPECT_THAT(
            MessageOf<GTextfileException>([&] { definition.LoadFromBytes(bytes, "test.def"); }),
            HasSubstr(expected));
        EXPECT_EQ(definition.Delimiter, '|');
        ASSERT_EQ(definition.Fields.Count(), 1);
        EXPECT_EQ(definition.Fields.GetItem(0)->Name, "Kept");
    }
    // A missing file changes nothing either.
    GTextFileDefinition definition;
    Load(definition, 0, '|', true, {{"Kept"}});
    definition.LoadFromFile("/nonexistent/missing.def");
    EXPECT_EQ(definition.Fields.Count(), 1);
}

TEST(TextFieldText, DelimitedAndFixedWidthTable)
{
    const FieldLayout f3{"F", 2, 0, 0, "0.000"};
    const FieldLayout num{"I", 1};
    const FieldLayout txt{"S", 4};
    struct Row
    {
        std::uint8_t fileType;
        std::vector<FieldLayout> fields;
        std::string line;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        // An empty middle field reads as 0.
        {1, {f3, f3, f3}, "12.5,,7", {"12.500", "0.000", "7.000"}},
        // Fewer delimiters than the field index: empty (0 for numbers).
        {1, {txt, f3, num}, "only", {"only", "0.000", "0"}},
        // Only whole decimal numbers are integers.
        {1, {num, num, num, num}, "12.5, -42 ,+7,2147483648", {"0", "-42", "7", "0"}},
        // The picture rounds the value on reading.
        {1, {f3, txt}, " 3.14159 ,\t padded \t", {"3.142", "padded"}},
        {1, {{"G", 2}}, "2.5", {"2.5"}}, // no picture: general format
        {1, {f3}, "1e999", {"0.000"}},   // not a finite number
        // Fixed width: 1-based columns, cut where the line ends, trimmed.
        {0,
         {{"A", 4, 1, 4}, {"B", 2, 5, 8, "0.0"}, {"C", 4, 20, 5}},
         "ABCD  12.25",
         {"ABCD", "12.3", ""}},
        {0, {{"A", 4, -3, 2}, {"B", 4, 2, -1}, {"C", 4, 3, 1000000}}, "xyz", {"xy", "", "z"}},
        // Any other file type reads every field as empty.
        {7, {txt, num}, "a,1", {"", "0"}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.line);
        GTextFileDefinition definition;
        Load(definition, row.fileType, ',', false, row.fields);
        std::vector<std::string> texts;
        for (int j = 0; j < definition.Fields.Count(); ++j)
            texts.push_back(definition.FieldText(row.line, j));
        EXPECT_EQ(texts, row.expected);
    }
    // Floats are read and written with the user's decimal separator.
    GTextFileDefinition definition;
    Load(definition, 1, ';', false, {{"F", 2, 0, 0, "0.00"}});
    SetDecimalSeparator(',');
    EXPECT_EQ(definition.FieldText("3,14159", 0), "3,14");
    SetDecimalSeparator('.');
}

TEST(TextFile, HeaderBlankLinesIndexesAndLineNumbers)
{
    GTextFile file;
    Load(file.Definition, 1, ',', true, {{"A"}, {"B"}});
    file.LoadFromText("name,value\r\n\r\n1,2\n   \t \n3,4\r5,6");
    ASSERT_EQ(file.RecordCount(), 3);
    EXPECT_EQ(file.HeaderLine(), "name,value");
    EXPECT_EQ(file.GetFieldText(2, 1), "6");
    EXPECT_EQ(std::tuple(file.LineNumber(0), file.LineNumber(1), file.LineNumber(2)),
              std::tuple(3, 5, 6));
    for (auto [record, field] :
         std::initializer_list<std::pair<int, int>>{{3, 0}, {0, 2}, {-1, 0}, {0, -1}})
        EXPECT_EQ(MessageOf([&] { file.GetFieldText(record, field); }),
                  "Item index is out of bounds");

    // With a header, one line is no record; without, it is one.
    file.LoadFromText("only line");
    EXPECT_EQ(file.RecordCount(), 0);
    file.Definition.HasHeader = false;
    file.LoadFromText("only line");
    EXPECT_EQ(file.RecordCount(), 1);
    EXPECT_FALSE(file.HeaderLine().has_value());
}

TEST(TextFile, RewriteKeepsEveryByteButTheReplacedLines)
{
    GTextFile file;
    Load(file.Definition, 1, ',', true, {{"A"}, {"B"}});
    const std::string text = "\xEF\xBB\xBFh\r\n1,2\n\n 3,4 \r5,6";
    file.LoadFromText(text);
    EXPECT_TRUE(file.HasByteOrderMark());
    EXPECT_EQ(file.Rewrite({}, {}), text);
    EXPECT_EQ(file.Rewrite({std::nullopt, "x,y"}, {}), "\xEF\xBB\xBFh\r\n1,2\n\nx,y\r5,6");
    // Appended lines take the last line break, after one for a last line without.
    EXPECT_EQ(file.Rewrite({}, {"7,8"}), text + "\r7,8\r");
    file.LoadFromText("1,2\r\n");
    EXPECT_EQ(file.Rewrite({}, {"7,8"}), "1,2\r\n7,8\r\n");
}

TEST(TextFile, ReplaceFieldTable)
{
    struct Row
    {
        std::uint8_t fileType;
        std::vector<FieldLayout> fields;
        std::string line;
        int field;
        std::string text;
        std::string expected;
    };
    const Row rows[] = {
        // Delimited: blanks around the old text stay; missing delimiters are added.
        {1, {{"A"}, {"B"}, {"C"}}, "a;  12.5 ;c;extra", 1, "13.75", "a;  13.75 ;c;extra"},
        {1, {{"A"}, {"B"}, {"C"}}, "a;;c", 1, "7", "a;7;c"},
        {1, {{"A"}, {"B"}, {"C"}}, "a", 2, "7", "a;;7"},
        // Fixed width: the field's columns only; alignment as defined.
        {0, {{"A", 4, 1, 3}, {"B", 2, 4, 6, "", 1}}, "abc  12.5 rest", 1, "9.25", "abc  9.25 rest"},
        {0, {{"A", 4, 1, 3}, {"B", 2, 4, 6}}, "abc12.5  rest", 1, "9.25", "abc9.25  rest"},
        {0, {{"A", 4, 1, 3}, {"B", 2, 4, 6}}, "abc12.5", 1, "9.2", "abc9.2 "},
        {0, {{"A", 4, 1, 3}, {"B", 2, 4, 6}}, "abc123", 1, "12345", "abc12345"},
        {0, {{"A", 4, 1, 3}, {"B", 2, 8, 6, "", 1}}, "ab", 1, "1.5", "ab        1.5"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.line);
        GTextFileDefinition definition;
        Load(definition, row.fileType, ';', false, row.fields);
        EXPECT_EQ(definition.ReplaceField(row.line, row.field, row.text), row.expected);
    }
    // UTF-8 columns count characters.
    GTextFileDefinition definition;
    Load(definition, 0, ',', false, {{"Name", 4, 1, 6}, {"Y", 2, 7, 5, "", 1}});
    EXPECT_EQ(definition.RawFieldText("M\xC3\xABller12.50", 1, true), "12.50");
    EXPECT_EQ(definition.ReplaceField("M\xC3\xABller12.50", 1, "9.5", true), "M\xC3\xABller  9.5");
    EXPECT_EQ(definition.RawFieldText("M\xEBller12.50", 1, false), "12.50");
}

TEST(TextFile, BuildLineTable)
{
    struct Row
    {
        std::uint8_t fileType;
        std::vector<FieldLayout> fields;
        std::vector<std::string> texts;
        std::string expected; // or the start of the error
        bool refused = false;
    };
    const Row rows[] = {
        // Cut to the width, padded on the side opposite the alignment (any other: left).
        {0,
         {{"A", 4, 1, 4}, {"B", 4, 5, 6, "", 1}, {"C", 4, 11, 3, "", 7}},
         {"ABCDEF", "12.5", "x"},
         "ABCD  12.5  x"},
        // Gaps keep every field in its columns; the definition need not be in column order.
        {0, {{"A", 4, 3, 2}, {"B", 4, 8, 3, "", 1}}, {"a", "b"}, "  a      b"},
        {0, {{"B", 4, 4, 2}, {"A", 4, 1, 3}}, {"bb", "aaa"}, "aaabb"},
        {0, {{"A", 4, 1, 5}, {"B", 4, 3, 2}}, {"a", "b"}, "record 4: fields A and B overlap", true},
        // Delimited: trimmed texts; one holding the delimiter could not be read back.
        {1, {{"A"}, {"B"}, {"C"}}, {" a ", "", "c\t"}, "a;;c"},
        {1, {{"Name"}, {"B"}}, {"x;y", "b"}, "record 4: the value \"x;y\" of field Name", true},
        {0, {{"A", 4, 1, 5}}, {"a\nb"}, "record 4: the value of field A holds a line break", true},
        {5, {{"A"}}, {"a"}, ""}, // any other file type
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.expected);
        GTextFileDefinition definition;
        Load(definition, row.fileType, ';', false, row.fields);
        if (row.refused)
            EXPECT_THAT(MessageOf<GTextfileException>([&] { definition.BuildLine(row.texts, 3); }),
                        HasSubstr(row.expected));
        else
            EXPECT_EQ(definition.BuildLine(row.texts, 3), row.expected);
    }
}
