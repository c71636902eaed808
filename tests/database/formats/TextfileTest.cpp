// Definition files, field texts of fixed-width and delimited lines, and whole-file rewrites.
#include "database/TextfileDatabase.h"
#include "geometry/Files.h"
#include "geometry/NumberFormat.h"
#include "tests/database/formats/FormatTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace quorvalis;
using namespace quorvalis::testing;
using ::testing::HasSubstr;

namespace
{

struct FieldLayout
{
    FieldLayout(std::string name, std::uint8_t type = 4, std::int32_t start = 0,
                std::int32_t width = 0, std::string format = "", std::uint8_t alignment = 0)
        : Name(std::move(name)), Type(type), Start(start), Width(width), Format(std::move(format)),
          Alignment(alignment)
    {
    }
    std::string Name;
    std::uint8_t Type;
    std::int32_t Start;
    std::int32_t Width;
    std::string Format;
    std::uint8_t Alignment;
};

void PutInt(std::vector<std::uint8_t>& out, std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PutBlock(std::vector<std::uint8_t>& out, const std::string& text)
{
    PutInt(out, static_cast<std::int32_t>(text.size() + 1));
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

// A definition file as the other tool writes it.
std::vector<std::uint8_t> DefinitionBytes(std::uint8_t fileType, char delimiter, bool header,
                                          const std::vector<FieldLayout>& fields)
{
    std::vector<std::uint8_t> out{fileType, static_cast<std::uint8_t>(delimiter),
                                  static_cast<std::uint8_t>(header ? 1 : 0)};
    PutInt(out, static_cast<std::int32_t>(fields.size()));
    for (const auto& f : fields)
    {
        PutBlock(out, f.Name);
        PutBlock(out, f.Format);
        PutInt(out, f.Start);
        PutInt(out, f.Width);
        out.push_back(f.Alignment);
        out.push_back(f.Type);
    }
    return out;
}

void Load(GTextFileDefinition& definition, std::uint8_t fileType, char delimiter, bool header,
          const std::vector<FieldLayout>& fields)
{
    definition.LoadFromBytes(DefinitionBytes(fileType, delimiter, header, fields), "test.def");
}

} // namespace

TEST(TextDefinition, ReadsEveryMemberInFileOrder)
{
    ScratchFolder folder;
    WriteBytes(
        folder / "job.def",
        DefinitionBytes(0, ';', true, {{"Name", 4, 1, 10, "", 0}, {"Y", 2, 11, 12, "0.000", 1}}));
    GTextFileDefinition definition;
    definition.LoadFromFile(folder / "job.def");
    EXPECT_EQ(definition.FileType, 0);
    EXPECT_EQ(definition.Delimiter, ';');
    EXPECT_TRUE(definition.HasHeader);
    ASSERT_EQ(definition.Fields.Count(), 2);
    const GTextFileField& y = *definition.Fields.GetItem(1);
    EXPECT_EQ(y.Name, "Y");
    EXPECT_EQ(y.Format, "0.000");
    EXPECT_EQ(y.StartColumn, 11);
    EXPECT_EQ(y.Width, 12);
    EXPECT_EQ(y.Alignment, 1);
    EXPECT_EQ(y.FieldType, 2);

    GTextFileDefinition copy;
    copy.Assign(definition);
    EXPECT_EQ(copy.Fields.Count(), 2);
    EXPECT_EQ(copy.Fields.GetItem(1)->Format, "0.000");
    EXPECT_EQ(copy.Delimiter, ';');

    // A missing file leaves the definition as it was.
    definition.LoadFromFile(folder / "missing.def");
    EXPECT_EQ(definition.Fields.Count(), 2);
    GTextFileDefinition fresh;
    fresh.LoadFromFile(folder / "missing.def");
    EXPECT_EQ(fresh.FileType, 1);
    EXPECT_EQ(fresh.Delimiter, ',');
    EXPECT_EQ(fresh.Fields.Count(), 0);
}

TEST(TextDefinition, DamagedFilesAreRefusedAndLeaveTheDefinitionAlone)
{
    // Long names, so that cutting the file short does not already fail the field count check.
    const std::vector<std::uint8_t> good = DefinitionBytes(
        1, ',', false, {{"EastingCoordinateValue", 2}, {"NorthingCoordinateValue", 2}});
    struct Case
    {
        const char* what;
        std::function<std::vector<std::uint8_t>()> bytes;
        const char* expected;
    };
    const Case cases[] = {
        {"empty file", [] { return std::vector<std::uint8_t>{}; },
         "test.def: the file ends inside the definition header"},
        {"no field count",
         [] {
             return std::vector<std::uint8_t>{1, ',', 0, 2};
         },
         "test.def: the file ends inside the field count"},
        {"negative count",
         []
         {
             std::vector<std::uint8_t> b{1, ',', 0};
             PutInt(b, -1);
             return b;
         },
         "field count -1 does not fit"},
        {"count beyond the file",
         []
         {
             std::vector<std::uint8_t> b{1, ',', 0};
             PutInt(b, 1000000);
             return b;
         },
         "field count 1000000 does not fit"},
        {"name block too long",
         [] { return DefinitionBytes(1, ',', false, {{std::string(1025, 'N')}}); },
         "test.def: field 1: name block of 1026 bytes is not between 1 and 1025"},
        {"empty format block",
         []
         {
             std::vector<std::uint8_t> b{1, ',', 0};
             PutInt(b, 1);
             PutBlock(b, "X");
             PutInt(b, 0);
             b.resize(b.size() + 10);
             return b;
         },
         "field 1: format block of 0 bytes is not between 1 and 1025"},
        {"block without zero byte",
         []
         {
             std::vector<std::uint8_t> b{1, ',', 0};
             PutInt(b, 1);
             PutInt(b, 3);
             b.insert(b.end(), {'A', 'B', 'C'});
             b.resize(b.size() + 20, 1);
             return b;
         },
         "field 1: name block of 3 bytes has no zero byte"},
        {"ends inside the second record",
         [&good] { return std::vector<std::uint8_t>(good.begin(), good.end() - 3); },
         "field 2: the file ends inside the width"},
        {"ends inside a block",
         [&good] { return std::vector<std::uint8_t>(good.begin(), good.begin() + 63); },
         "field 2: the file ends inside the name block"},
        {"unknown type code",
         [] {
             return DefinitionBytes(1, ',', false, {{"X", 9}});
         },
         "field 1 (X): field type code 9 is not one of 0 to 8"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        GTextFileDefinition definition;
        Load(definition, 0, '|', true, {{"Kept"}});
        try
        {
            definition.LoadFromBytes(c.bytes(), "test.def");
            ADD_FAILURE() << "accepted";
        }
        catch (const GTextfileException& e)
        {
            EXPECT_THAT(e.what(), HasSubstr(c.expected));
        }
        EXPECT_EQ(definition.Delimiter, '|');
        ASSERT_EQ(definition.Fields.Count(), 1);
        EXPECT_EQ(definition.Fields.GetItem(0)->Name, "Kept");
    }
}

TEST(TextFieldText, DelimitedAndFixedWidthTable)
{
    const FieldLayout f3{"F", 2, 0, 0, "0.000"};
    const FieldLayout integer{"I", 1};
    const FieldLayout text{"S", 4};
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
        {1, {text, f3, integer}, "only", {"only", "0.000", "0"}},
        // Only whole decimal numbers are integers.
        {1,
         {integer, integer, integer, integer},
         "12.5, -42 ,+7,2147483648",
         {"0", "-42", "7", "0"}},
        // The picture rounds the value on reading.
        {1, {f3, text}, " 3.14159 ,\t padded \t", {"3.142", "padded"}},
        {1, {{"G", 2}}, "2.5", {"2.5"}}, // no picture: general format
        {1, {text, text, text}, "a,,c,d", {"a", "", "c"}},
        {1, {f3}, "1e999", {"0.000"}}, // not a finite number
        // Fixed width: 1-based columns, cut where the line ends, trimmed.
        {0,
         {{"A", 4, 1, 4}, {"B", 2, 5, 8, "0.0"}, {"C", 4, 20, 5}},
         "ABCD  12.25",
         {"ABCD", "12.3", ""}},
        {0, {{"A", 4, -3, 2}, {"B", 4, 2, -1}, {"C", 4, 3, 1000000}}, "xyz", {"xy", "", "z"}},
        // Any other file type reads every field as empty.
        {7, {text, integer}, "a,1", {"", "0"}},
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
}

TEST(TextFieldText, FloatsUseTheDecimalSeparator)
{
    GTextFileDefinition definition;
    Load(definition, 1, ';', false, {{"F", 2, 0, 0, "0.00"}});
    SetDecimalSeparator(',');
    EXPECT_EQ(definition.FieldText("3,14159", 0), "3,14");
    SetDecimalSeparator('.');
    EXPECT_EQ(definition.FieldText("3.14159", 0), "3.14");
}

TEST(TextFile, HeaderBlankLinesAndIndexes)
{
    GTextFile file;
    Load(file.Definition, 1, ',', true, {{"A"}, {"B"}});
    file.LoadFromText("name,value\r\n\r\n1,2\n   \t \n3,4\r5,6");
    ASSERT_EQ(file.RecordCount(), 3);
    EXPECT_EQ(file.HeaderLine, "name,value");
    EXPECT_EQ(file.GetFieldText(2, 1), "6");
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
    EXPECT_FALSE(file.HeaderLine.has_value());
}

TEST(TextFile, BuildLineTable)
{
    struct Row
    {
        const char* what;
        std::uint8_t fileType;
        std::vector<FieldLayout> fields;
        std::vector<std::string> texts;
        std::string expected; // or the start of the error
        bool refused = false;
    };
    const Row rows[] = {
        {"cut and padded",
         0,
         {{"A", 4, 1, 4, "", 0}, {"B", 4, 5, 6, "", 1}, {"C", 4, 11, 3, "", 7}},
         {"ABCDEF", "12.5", "x"},
         "ABCD  12.5  x"},
        {"gaps keep every field in its columns",
         0,
         {{"A", 4, 3, 2}, {"B", 4, 8, 3, "", 1}},
         {"a", "b"},
         "  a      b"},
        {"definition out of column order",
         0,
         {{"B", 4, 4, 2}, {"A", 4, 1, 3}},
         {"bb", "aaa"},
         "aaabb"},
        {"overlap",
         0,
         {{"A", 4, 1, 5}, {"B", 4, 3, 2}},
         {"a", "b"},
         "record 4: fields A and B overlap",
         true},
        {"delimited trims", 1, {{"A"}, {"B"}, {"C"}}, {" a ", "", "c\t"}, "a;;c"},
        {"delimiter inside a value",
         1,
         {{"Name"}, {"B"}},
         {"x;y", "b"},
         "record 4: the value \"x;y\" of field Name holds the delimiter",
         true},
        {"line break inside a value",
         0,
         {{"A", 4, 1, 5}},
         {"a\nb"},
         "record 4: the value of field A holds a line break",
         true},
        {"other file type", 5, {{"A"}}, {"a"}, ""},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        GTextFileDefinition definition;
        Load(definition, row.fileType, ';', false, row.fields);
        try
        {
            EXPECT_EQ(definition.BuildLine(row.texts, 3), row.expected);
            EXPECT_FALSE(row.refused);
        }
        catch (const GTextfileException& e)
        {
            EXPECT_TRUE(row.refused) << e.what();
            EXPECT_THAT(e.what(), HasSubstr(row.expected));
        }
    }
}

TEST(TextFile, FixedWidthRoundTripOfContiguousFields)
{
    GTextFile file;
    Load(file.Definition, 0, ',', true,
         {{"Name", 4, 1, 8}, {"Y", 2, 9, 12, "0.000", 1}, {"X", 2, 21, 12, "0.000", 1}});
    const std::string text = std::string("NAME    Y           X\r\n") + "TRIG1   " +
                             "   -1234.500" + " 3300000.125" + "\r\n" + "T2      " +
                             "      99.000" + "     -12.000" + "\r\n";
    file.LoadFromText(text);
    std::vector<std::string> lines;
    for (int r = 0; r < file.RecordCount(); ++r)
    {
        std::vector<std::string> texts;
        for (int j = 0; j < 3; ++j)
            texts.push_back(file.GetFieldText(r, j));
        lines.push_back(file.Definition.BuildLine(texts, r));
    }
    file.Lines = lines;
    EXPECT_EQ(file.SaveToText(), text); // the header line is kept
}

TEST(TextFile, SaveIsAllOrNothing)
{
    ScratchFolder folder;
    const std::string path = folder / "points.txt";
    WriteText(path, "old contents\n");
    GTextFile file;
    file.HeaderLine = "X,Y";
    file.Lines = {"1,2", "3,4"};
    GAtomicFile::InjectFailureAfter(5);
    EXPECT_THROW(file.SaveToFile(path), GFileException);
    GAtomicFile::InjectFailureAfter(std::nullopt);
    EXPECT_EQ(ReadText(path), "old contents\n");
    EXPECT_EQ(folder.Files(), (std::vector<std::string>{"points.txt"}));
    file.SaveToFile(path);
    EXPECT_EQ(ReadText(path), "X,Y\r\n1,2\r\n3,4\r\n");
}
