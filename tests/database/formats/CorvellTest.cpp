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

// The bytes with text written at at (extending them as needed).
std::vector<std::uint8_t> Poked(std::vector<std::uint8_t> bytes, std::size_t at,
                                const std::string& text)
{
    bytes.resize(std::max(bytes.size(), at + text.size()));
    std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return bytes;
}

} // namespace

TEST(CorvellFile, WrittenLayoutReadsBackAndRewritesByteForByte)
{
    const auto bytes = SampleFile("x.crd").SaveToBytes();
    ASSERT_EQ(bytes.size(), 512u + 3 * 48);
    EXPECT_EQ(Slice(bytes, 0, 5), std::string("CRD1\0", 5));
    EXPECT_EQ(Slice(bytes, 5, 69), "      100.0000000000000  3300000.0000000000000"
                                   "      -12.5000000000000");
    EXPECT_EQ(Slice(bytes, 74, 26), std::string(26, ' '));
    // Lo 19 is written as Lo.19, then a zero byte and spaces; each field after a point.
    EXPECT_EQ(Slice(bytes, 336, 176), "." + std::string("Lo.19\0", 6) + std::string(12, ' ') + "." +
                                          std::string("TAIL\0", 5) + "     ." +
                                          std::string(145, ' '));
    // A 4-character name: the name, a zero byte and 6 spaces; Y before X.
    EXPECT_EQ(Slice(bytes, 512, 11), std::string("TRIG1\0", 6) + "     ");
    double yx[2] = {};
    std::memcpy(yx, bytes.data() + 512 + 11, 16);
    EXPECT_EQ(yx[0], 23.5);
    EXPECT_EQ(yx[1], 12.25);
    // Names of 11 or more characters: the first 11, no zero byte.
    EXPECT_EQ(Slice(bytes, 560, 11), "ABCDEFGHIJK");
    EXPECT_EQ(Slice(bytes, 560 + 27, 11), "SURVEYRECOR");
    EXPECT_EQ(Slice(bytes, 560 + 38, 10), "MASKMASKMA");

    // Read back, every field is as written (cut where the layout cuts), and written again the
    // file comes out byte for byte the same.
    GCorvellCoordinateFile read;
    read.FileName = "x.crd";
    read.LoadFromBytes(bytes);
    EXPECT_EQ(std::tuple(read.HeaderLead, read.YOffset, read.XOffset, read.ZOffset, read.HeaderBody,
                         read.Lo, read.HeaderTail),
              std::tuple("CRD1", 100.0, 3300000.0, -12.5, "Job 4711 Stellenbosch", 19, "TAIL"));
    ASSERT_EQ(read.Coordinates.Count(), 3);
    const GCorvellCoordinate& second = *read.Coordinates.GetItem(1);
    EXPECT_EQ(
        std::tuple(second.Name, second.X, second.Y, second.Z, second.SurveyRecord, second.Mask),
        std::tuple("ABCDEFGHIJK", -0.125, 1e-9, 0.0, "SURVEYRECOR", "MASKMASKMA"));
    EXPECT_EQ(read.SaveToBytes(), bytes);
}

TEST(CorvellFile, NumberFieldsTable)
{
    const std::pair<double, const char*> numbers[] = {
        {-0.5, "       -0.5000000000000"},
        {123456789.25, "123456789.2500000000000"},
        // Ten or more characters before the point: cut to the first 23 characters.
        {1234567890.5, "1234567890.500000000000"},
        {-1234567890.5, "-1234567890.50000000000"},
    };
    for (const auto& [value, expected] : numbers)
        EXPECT_EQ(CorvellNumberField(value), expected) << value;
    SetDecimalSeparator(',');
    EXPECT_EQ(CorvellNumberField(1.5), "        1,5000000000000");
    SetDecimalSeparator('.');
}

TEST(CorvellFile, SizesAndDamage)
{
    const auto full = SampleFile("x.crd").SaveToBytes();
    const double nan = std::nan("");
    struct Row
    {
        const char* what;
        std::vector<std::uint8_t> bytes;
        int records;
        int lo;
        double yOffset;
        const char* message; // of the refusal, after which the file is as it was
    };
    const Row rows[] = {
        {"header only", std::vector<std::uint8_t>(full.begin(), full.begin() + 512), 0, 19, 100.0,
         ""},
        {"partial last record ignored", Poked(full, full.size(), std::string(20, 'z')), 3, 19,
         100.0, ""},
        {"Lo without digits", Poked(full, 337, std::string("Lo.  \0", 6)), 3, 0, 100.0, ""},
        {"offset in either decimal separator", Poked(full, 5, "          100,500000000"), 3, 19,
         100.5, ""},
        {"offset that is no number", Poked(full, 5, "   twelve and a half   "), 0, 77, 0.0,
         "x.crd: offset 5: \"twelve and a half\" is not a number"},
        {"offset with spaces inside", Poked(full, 28, "  2 840 000.5 "), 0, 77, 0.0,
         "x.crd: offset 28: \"2 840 000.5 000000000\" is not a number"},
        {"short header", std::vector<std::uint8_t>(full.begin(), full.begin() + 511), 0, 77, 0.0,
         "x.crd: file of 511 bytes is shorter than the 512-byte coordinate list header"},
        {"Lo too large", Poked(full, 337, std::string("Lo.99999999999\0", 15)), 0, 77, 0.0,
         "x.crd: the Lo text \"Lo.99999999999\""},
        {"coordinate not finite",
         Poked(full, 512 + 48 + 19, std::string(reinterpret_cast<const char*>(&nan), 8)), 0, 77,
         0.0, "x.crd: record 2 (ABCDEFGHIJK): coordinate"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        GCorvellCoordinateFile file;
        file.FileName = "x.crd";
        file.Lo = 77;
        const std::string message =
            MessageOf<GCorvellException>([&] { file.LoadFromBytes(row.bytes); });
        if (*row.message)
            EXPECT_THAT(message, HasSubstr(row.message));
        else
            EXPECT_EQ(message, "no error");
        EXPECT_EQ(std::tuple(file.Coordinates.Count(), file.Lo, file.YOffset),
                  std::tuple(row.records, row.lo, row.yOffset));
    }
}

TEST(CorvellFile, MissingAndShortFilesAndAFailedWrite)
{
    ScratchFolder folder;
    GCorvellCoordinateFile missing;
    missing.FileName = folder / "none.crd";
    EXPECT_FALSE(missing.LoadFromFile());
    EXPECT_FALSE(CreateCorvellRecordSet(false, missing.FileName, false, true)->Open());

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
    WriteText(folder / "short.crd", std::string(100, ' '));
    EXPECT_THROW(CreateCorvellRecordSet(false, folder / "short.crd", false, true)->Open(),
                 GCorvellException);
}
