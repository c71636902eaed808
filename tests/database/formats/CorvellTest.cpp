// Coordinate list files: header fields, records, partial records and crash-safe rewrites.
#include "database/CorvellDatabase.h"
#include "geometry/Files.h"
#include "geometry/NumberFormat.h"
#include "tests/database/formats/FormatTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

using namespace quorvalis;
using namespace quorvalis::testing;
using ::testing::HasSubstr;

namespace
{

std::string Slice(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t n)
{
    return std::string(reinterpret_cast<const char*>(bytes.data()) + at, n);
}

std::unique_ptr<GCorvellCoordinate> Coordinate(const std::string& name, double x, double y,
                                               const std::string& survey = "",
                                               const std::string& mask = "")
{
    auto c = std::make_unique<GCorvellCoordinate>();
    c->Name = name;
    c->X = x;
    c->Y = y;
    c->SurveyRecord = survey;
    c->Mask = mask;
    return c;
}

GCorvellCoordinateFile SampleFile(const std::string& path)
{
    GCorvellCoordinateFile file;
    file.FileName = path;
    file.HeaderLead = "CRD1";
    file.YOffset = 100.0;
    file.XOffset = 3300000.0;
    file.ZOffset = -12.5;
    file.HeaderBody = "Job 4711 Stellenbosch";
    file.Lo = 19;
    file.HeaderTail = "TAIL";
    file.Coordinates.Add(Coordinate("TRIG1", 12.25, 23.5, "SR1", "M"));
    file.Coordinates.Add(
        Coordinate("ABCDEFGHIJKLMN", -0.125, 1e-9, "SURVEYRECORD", "MASKMASKMASK"));
    file.Coordinates.Add(Coordinate("", 0.0, 0.0));
    return file;
}

void Poke(std::vector<std::uint8_t>& bytes, std::size_t at, const std::string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i)
        bytes.at(at + i) = static_cast<std::uint8_t>(text[i]);
}

} // namespace

TEST(CorvellFile, WrittenLayout)
{
    const auto bytes = SampleFile("x.crd").SaveToBytes();
    ASSERT_EQ(bytes.size(), 512u + 3 * 48);
    EXPECT_EQ(Slice(bytes, 0, 5), std::string("CRD1\0", 5));
    EXPECT_EQ(Slice(bytes, 5, 23), "      100.0000000000000");
    EXPECT_EQ(Slice(bytes, 28, 23), "  3300000.0000000000000");
    EXPECT_EQ(Slice(bytes, 51, 23), "      -12.5000000000000");
    EXPECT_EQ(Slice(bytes, 74, 26), std::string(26, ' '));
    EXPECT_EQ(Slice(bytes, 336, 1), ".");
    // Lo 19 is written as Lo.19, then a zero byte and spaces.
    EXPECT_EQ(Slice(bytes, 337, 18), std::string("Lo.19\0", 6) + std::string(12, ' '));
    EXPECT_EQ(Slice(bytes, 355, 1), ".");
    EXPECT_EQ(Slice(bytes, 356, 10), std::string("TAIL\0", 5) + "     ");
    EXPECT_EQ(Slice(bytes, 366, 146), "." + std::string(145, ' '));
    // A 4-character name: the name, a zero byte and 6 spaces; Y before X.
    EXPECT_EQ(Slice(bytes, 512, 11), std::string("TRIG1\0", 6) + "     ");
    double y = 0;
    double x = 0;
    std::memcpy(&y, bytes.data() + 512 + 11, 8);
    std::memcpy(&x, bytes.data() + 512 + 19, 8);
    EXPECT_EQ(y, 23.5);
    EXPECT_EQ(x, 12.25);
    // Names of 11 or more characters: the first 11, no zero byte.
    EXPECT_EQ(Slice(bytes, 560, 11), "ABCDEFGHIJK");
    EXPECT_EQ(Slice(bytes, 560 + 27, 11), "SURVEYRECOR");
    EXPECT_EQ(Slice(bytes, 560 + 38, 10), "MASKMASKMA");
}

TEST(CorvellFile, NumberAndTextFieldsTable)
{
    struct Row
    {
        double value;
        const char* expected;
    };
    const Row rows[] = {
        {0.0, "        0.0000000000000"},
        {-0.5, "       -0.5000000000000"},
        {123456789.25, "  123456789.2500000000000"},
        // Ten or more characters before the point: cut to the first 23 characters.
        {1234567890.5, "1234567890.500000000000"},
        {-1234567890.5, "-1234567890.50000000000"},
    };
    for (const Row& row : rows)
    {
        const std::string expected = std::string(row.expected)
                                         .substr(std::string(row.expected).size() > 23
                                                     ? std::string(row.expected).size() - 23
                                                     : 0);
        EXPECT_EQ(CorvellNumberField(row.value), expected) << row.value;
        EXPECT_EQ(CorvellNumberField(row.value).size(), 23u);
    }
    EXPECT_EQ(CorvellTextField("ABCD", 11), std::string("ABCD\0", 5) + "      ");
    EXPECT_EQ(CorvellTextField("ABCDEFGHIJK", 11), "ABCDEFGHIJK");
    EXPECT_EQ(CorvellTextField("", 3), std::string("\0  ", 3));
    SetDecimalSeparator(',');
    EXPECT_EQ(CorvellNumberField(1.5), "        1,5000000000000");
    SetDecimalSeparator('.');
}

TEST(CorvellFile, RoundTripThroughDisk)
{
    ScratchFolder folder;
    const std::string path = folder / "job.crd";
    SampleFile(path).SaveToFile();
    GCorvellCoordinateFile read;
    read.FileName = path;
    ASSERT_TRUE(read.LoadFromFile());
    EXPECT_EQ(read.HeaderLead, "CRD1");
    EXPECT_EQ(read.YOffset, 100.0);
    EXPECT_EQ(read.XOffset, 3300000.0);
    EXPECT_EQ(read.ZOffset, -12.5);
    EXPECT_EQ(read.HeaderBody, "Job 4711 Stellenbosch");
    EXPECT_EQ(read.Lo, 19);
    EXPECT_EQ(read.HeaderTail, "TAIL");
    ASSERT_EQ(read.Coordinates.Count(), 3);
    const GCorvellCoordinate& second = *read.Coordinates.GetItem(1);
    EXPECT_EQ(second.Name, "ABCDEFGHIJK");
    EXPECT_EQ(second.X, -0.125);
    EXPECT_EQ(second.Y, 1e-9);
    EXPECT_EQ(second.Z, 0.0);
    EXPECT_EQ(second.SurveyRecord, "SURVEYRECOR");
    EXPECT_EQ(second.Mask, "MASKMASKMA");
    // Written again, the file comes out byte for byte the same.
    const auto first = ReadBytes(path);
    read.SaveToFile();
    EXPECT_EQ(ReadBytes(path), first);
    EXPECT_EQ(folder.Files(), (std::vector<std::string>{"job.crd"}));
}

TEST(CorvellFile, SizesAndDamage)
{
    const auto full = SampleFile("x.crd").SaveToBytes();
    struct Row
    {
        const char* what;
        std::vector<std::uint8_t> bytes;
        int records; // -1: refused
        const char* message = "";
    };
    std::vector<std::uint8_t> partial(full.begin(), full.end());
    partial.resize(512 + 48 * 3);
    partial.insert(partial.end(), 20, 'z');
    std::vector<std::uint8_t> noDigits(full.begin(), full.end());
    Poke(noDigits, 337, std::string("Lo.  \0", 6));
    std::vector<std::uint8_t> huge(full.begin(), full.end());
    Poke(huge, 337, std::string("Lo.99999999999\0", 15));
    std::vector<std::uint8_t> notFinite(full.begin(), full.end());
    const double nan = std::nan("");
    Poke(notFinite, 512 + 48 + 19, std::string(reinterpret_cast<const char*>(&nan), 8));
    std::vector<std::uint8_t> badNumber(full.begin(), full.end());
    Poke(badNumber, 5, "   twelve and a half   ");
    const Row rows[] = {
        {"header only", std::vector<std::uint8_t>(full.begin(), full.begin() + 512), 0},
        {"partial last record ignored", partial, 3},
        {"Lo without digits", noDigits, 3},
        {"short header", std::vector<std::uint8_t>(full.begin(), full.begin() + 511), -1,
         "x.crd: file of 511 bytes is shorter than the 512-byte coordinate list header"},
        {"Lo too large", huge, -1, "x.crd: the Lo text \"Lo.99999999999\""},
        {"coordinate not finite", notFinite, -1, "x.crd: record 2 (ABCDEFGHIJK): coordinate"},
        {"offset that is no number", badNumber, 3},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        GCorvellCoordinateFile file;
        file.FileName = "x.crd";
        file.Lo = 77;
        try
        {
            file.LoadFromBytes(row.bytes);
            EXPECT_EQ(file.Coordinates.Count(), row.records);
        }
        catch (const GCorvellException& e)
        {
            EXPECT_EQ(row.records, -1) << e.what();
            EXPECT_THAT(e.what(), HasSubstr(row.message));
            EXPECT_EQ(file.Lo, 77); // left as it was
        }
    }
    GCorvellCoordinateFile file;
    file.FileName = "x.crd";
    file.LoadFromBytes(noDigits);
    EXPECT_EQ(file.Lo, 0);
    file.LoadFromBytes(badNumber);
    EXPECT_EQ(file.YOffset, 0.0);
}

TEST(CorvellFile, MissingFileAndFailedWrite)
{
    ScratchFolder folder;
    GCorvellCoordinateFile missing;
    missing.FileName = folder / "none.crd";
    EXPECT_FALSE(missing.LoadFromFile());

    const std::string path = folder / "job.crd";
    SampleFile(path).SaveToFile();
    const auto before = ReadBytes(path);
    GCorvellCoordinateFile changed = SampleFile(path);
    changed.Coordinates.Add(Coordinate("NEW", 1, 2));
    GAtomicFile::InjectFailureAfter(600);
    EXPECT_THROW(changed.SaveToFile(), GFileException);
    GAtomicFile::InjectFailureAfter(std::nullopt);
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(folder.Files(), (std::vector<std::string>{"job.crd"}));

    changed.Coordinates.GetItem(0)->X = std::numeric_limits<double>::infinity();
    EXPECT_THROW(changed.SaveToFile(), GCorvellException);
    EXPECT_EQ(ReadBytes(path), before);
}
