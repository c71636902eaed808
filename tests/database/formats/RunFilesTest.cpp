// What a run does to the files of a job: the coordinates change and nothing else. One table per
// format, each run compared byte for byte with the original in which only the coordinate texts
// were replaced.
#include "database/CorvellDatabase.h"
#include "database/TextfileDatabase.h"
#include "geometry/NumberFormat.h"
#include "tests/database/formats/FormatTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace quorvalis;
using namespace quorvalis::testing;
using ::testing::HasSubstr;

namespace
{

// The fixed-width layout of the sample definition, with a boolean column added: NAME 1-10, Y
// 11-22, X 23-35, HEIGHT 36-44 (right-aligned pictures), CODE 45-48; columns 49 on are no field's.
const std::vector<FieldLayout> kFixedFields = {{"NAME", 4, 1, 10},
                                               {"Y", 2, 11, 12, "0.000", 1},
                                               {"X", 2, 23, 13, "0.000", 1},
                                               {"HEIGHT", 2, 36, 9, "0.00", 1},
                                               {"CODE", 1, 45, 4, "", 1}};

// The delimited layout: a NAME of width 10, coordinates with pictures, and columns a run must not
// touch (integers, a boolean, a date); lines may hold fields the definition does not name.
const std::vector<FieldLayout> kDelimitedFields = {{"NAME", 4, 0, 10},
                                                   {"Y", 2, 0, 0, "0.000"},
                                                   {"X", 2, 0, 0, "0.000"},
                                                   {"HEIGHT", 2, 0, 0, "0.00"},
                                                   {"CODE", 1},
                                                   {"LEVELLED", 5},
                                                   {"DATE", 3}};

struct TextRow
{
    const char* what;
    std::uint8_t fileType;
    bool header;
    std::string input;
    std::string expected;
};

std::unique_ptr<GTextFileRecordSet> OpenText(const ScratchFolder& folder, const TextRow& row,
                                             const std::vector<FieldLayout>& fields,
                                             const std::string& z = "HEIGHT", char delimiter = ',')
{
    WriteBytes(folder / "job.def", DefinitionBytes(row.fileType, delimiter, row.header, fields));
    WriteText(folder / "job.txt", row.input);
    auto recordSet = CreateTextFileRecordSet(false, folder / "job.txt", folder / "job.def", "X",
                                             "Y", z, false, false);
    EXPECT_TRUE(recordSet->Open());
    return recordSet;
}

} // namespace

TEST(RunFiles, DelimitedTextChangesOnlyTheCoordinateTexts)
{
    const TextRow rows[] = {
        {"long names, empty height, untouched numbers, booleans, dates, extra fields", 1, true,
         "NAME,Y,X,HEIGHT,CODE,LEVELLED,DATE\r\n"
         "BOUNDARY PEG 12 NORTH,79016.354,2846046.101,,0042,Y,2024/05/01,J. Mokoena,levelled "
         "2019\r\n"
         "\r\n"
         "BM 12, 77653.062 ,2848085.049,1391.45,+7,N,2024/05/02\n"
         "BM 13,84703.1,2847072.18,2.675,4294967296,Y,2024/05/03",
         "NAME,Y,X,HEIGHT,CODE,LEVELLED,DATE\r\n"
         "BOUNDARY PEG 12 NORTH,79014.354,2846047.101,,0042,Y,2024/05/01,J. Mokoena,levelled "
         "2019\r\n"
         "\r\n"
         "BM 12, 77651.062 ,2848086.049,1391.45,+7,N,2024/05/02\n"
         "BM 13,84701.100,2847073.180,2.675,4294967296,Y,2024/05/03"},
        {"comma decimals read in a file delimited otherwise", 1, false,
         "P1;79016,354;2846046,101;;1\n", "P1;79014.354;2846047.101;;1\n"},
    };
    for (const TextRow& row : rows)
    {
        SCOPED_TRACE(row.what);
        ScratchFolder folder;
        auto recordSet = OpenText(folder, row, kDelimitedFields, "HEIGHT",
                                  row.input.find(';') == std::string::npos ? ',' : ';');
        MoveAll(*recordSet, 1.0, -2.0);
        EXPECT_EQ(ReadText(folder / "job.txt"), row.expected);
        EXPECT_THAT(recordSet->TakeNotices(), ::testing::IsEmpty());
    }
}

TEST(RunFiles, FixedWidthTextChangesOnlyTheCoordinateColumnsInEveryEncoding)
{
    const TextRow rows[] = {
        {"uncovered columns and a remark after the last field", 0, true,
         "NAME      Y           X            HEIGHT   CODE\r\n"
         "BM 11        79016.354  2846046.101  1421.33   1 K7  remark, kept\r\n"
         "BM 12        77653.062  2848085.049           12\r\n"
         "BM 13        84703.109  2847072.181\r\n",
         "NAME      Y           X            HEIGHT   CODE\r\n"
         "BM 11        79014.354  2846047.101  1421.33   1 K7  remark, kept\r\n"
         "BM 12        77651.062  2848086.049           12\r\n"
         "BM 13        84701.109  2847073.181\r\n"},
        // Columns count characters in UTF-8: "Ë" takes two bytes and one column.
        {"UTF-8 with a non-ASCII name", 0, false,
         "\xC3\x8B"
         "AST 1       79016.354  2846046.101  1421.33   1\n",
         "\xC3\x8B"
         "AST 1       79014.354  2846047.101  1421.33   1\n"},
        {"UTF-8 with a byte-order mark", 0, false,
         "\xEF\xBB\xBF"
         "BM 11        79016.354  2846046.101  1421.33   1\n",
         "\xEF\xBB\xBF"
         "BM 11        79014.354  2846047.101  1421.33   1\n"},
        // Not UTF-8: single-byte text, columns in bytes.
        {"Latin-1 with an accent", 0, false,
         "\xCB"
         "AST 1       79016.354  2846046.101  1421.33   1\n",
         "\xCB"
         "AST 1       79014.354  2846047.101  1421.33   1\n"},
    };
    for (const TextRow& row : rows)
    {
        SCOPED_TRACE(row.what);
        ScratchFolder folder;
        auto recordSet = OpenText(folder, row, kFixedFields);
        ASSERT_EQ(recordSet->RecordCount(), row.header ? 3 : 1);
        EXPECT_EQ(AsPoint(recordSet->GetShape()).Y, 79016.354);
        EXPECT_EQ(AsPoint(recordSet->GetShape()).X, 2846046.101);
        EXPECT_EQ(recordSet->Fields().FieldByName("CODE", true).GetValue().AsInteger(), 1);
        MoveAll(*recordSet, 1.0, -2.0);
        EXPECT_EQ(ReadText(folder / "job.txt"), row.expected);
    }
}

TEST(RunFiles, TextCoordinatesThatAreNoNumberOrDoNotFitAreRefusedAndNothingIsWritten)
{
    // The refusal is the expected text; "what" says whether it comes at the flush only.
    const TextRow rows[] = {
        {"", 1, false, "A,1,2\nB,abc,2\n",
         "job.txt, line 2, field Y: \"abc\" is not a finite number"},
        {"", 1, false, "A,1,nan\n", "job.txt, line 1, field X: \"nan\" is not a finite number"},
        {"", 1, false, "A,-inf,2\n", "job.txt, line 1, field Y: \"-inf\" is not a finite number"},
        {"", 1, false, "\nA,1e400,2\n",
         "job.txt, line 2, field Y: \"1e400\" is not a finite number"},
        {"", 1, false, "A,1\n", "job.txt, line 1, field X: the field is empty"},
        {"", 1, false, "A,1,2,x\n", "job.txt, line 1, field HEIGHT: \"x\" is not a finite number"},
        // A fixed-width Y of 5 integer columns cannot hold 100021.
        {"at flush", 0, false, "A    999902\n",
         "job.txt, line 1 (record 1), field Y: the new value \"100021\" is longer than the "
         "field's width of 5"},
    };
    for (const TextRow& row : rows)
    {
        SCOPED_TRACE(row.input);
        ScratchFolder folder;
        auto recordSet = OpenText(
            folder, row,
            row.fileType == 1
                ? std::vector<FieldLayout>{{"NAME"}, {"Y", 2}, {"X", 2}, {"HEIGHT", 2}}
                : std::vector<FieldLayout>{{"NAME", 4, 1, 5}, {"Y", 1, 6, 5}, {"X", 1, 11, 1}});
        const std::string message = MessageOf<GTextfileException>(
            [&]
            {
                for (recordSet->First(); !recordSet->Eof(); recordSet->Next())
                {
                    std::unique_ptr<GShape> shape = recordSet->GetShape();
                    auto& point = dynamic_cast<GPoint&>(*shape);
                    point.Y += 31;
                    recordSet->Edit();
                    recordSet->SetShape(point);
                    recordSet->Post();
                }
                EXPECT_EQ(std::string(row.what), "at flush");
                recordSet->Flush();
            });
        EXPECT_THAT(message, HasSubstr(row.expected));
        EXPECT_EQ(ReadText(folder / "job.txt"), row.input);
    }

    // X and Y must name fields of the definition (a Z may be absent).
    ScratchFolder folder;
    WriteBytes(folder / "job.def", DefinitionBytes(1, ',', false, {{"Y", 2}, {"X", 2}}));
    WriteText(folder / "job.txt", "1,2\n");
    EXPECT_EQ(MessageOf<GTextfileException>(
                  [&]
                  {
                      CreateTextFileRecordSet(false, folder / "job.txt", folder / "job.def", "XX",
                                              "Y", "", false, false)
                          ->Open();
                  }),
              folder / "job.txt" + ": the definition has no field \"XX\" for the X coordinate");
    EXPECT_TRUE(CreateTextFileRecordSet(false, folder / "job.txt", folder / "job.def", "x", "y",
                                        "NOHEIGHT", false, false)
                    ->Open());
}

TEST(RunFiles, TextEditsAppendsAndPackedAnglesAreWrittenByTheirPictures)
{
    ScratchFolder folder;
    const TextRow row{"", 1, false, "P1,25.3000,28.1500,ok,1\r\n", ""};
    auto recordSet = OpenText(folder, row,
                              {{"NAME", 4, 0, 2},
                               {"Y", 2, 0, 0, "0.0000"},
                               {"X", 2, 0, 0, "0.0000"},
                               {"NOTE", 4, 0, 10},
                               {"CODE", 1}},
                              "");
    // 25 degrees 44 minutes 59.99996 seconds with 4 decimals carries to 25.4500.
    recordSet->SetPackedAngles(true);
    recordSet->Edit();
    recordSet->SetShape(GPoint(28.5959999, 25.44599999996));
    recordSet->Fields().FieldByName("CODE", true).SetValue(GVariant(7));
    recordSet->Post();
    recordSet->Append();
    recordSet->SetShape(GPoint(1.5, 2.5));
    recordSet->Fields().FieldByName("NAME", true).SetAsString("P2");
    recordSet->Post();
    recordSet->Flush();
    EXPECT_EQ(ReadText(folder / "job.txt"), "P1,25.4500,29.0000,ok,7\r\nP2,2.5000,1.5000,,0\r\n");
}

// ---- coordinate list files --------------------------------------------------------------------

namespace
{

// A coordinate list file with its offsets spelled with the given separator, header bytes the
// format does not read, and text fields with bytes after their zero byte.
std::vector<std::uint8_t> CrdImage(char separator)
{
    std::string header(512, ' ');
    const auto put = [&](std::size_t at, const std::string& text)
    { header.replace(at, text.size(), text); };
    put(0, std::string("CRD\0x", 5));
    std::string y = "      80000.0000000000000";
    std::string x = "    2840000.5000000000000";
    std::replace(y.begin(), y.end(), '.', separator);
    std::replace(x.begin(), x.end(), '.', separator);
    put(5, y.substr(2));
    put(28, x.substr(2));
    put(51, std::string(22, ' ') + "0");
    put(74, "unread area: job 4711  ");
    put(100, std::string("Job body\0garbage after", 22));
    put(336, ".");
    put(337, std::string("Lo.29\0zz", 8));
    put(355, ".");
    put(356, std::string("TAIL\0tail", 9));
    put(366, ".");
    put(400, "more unread bytes");
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    const auto record = [&](const std::string& name, double y1, double x1)
    {
        std::vector<std::uint8_t> r(48, ' ');
        std::copy(name.begin(), name.end(), r.begin());
        PutLittleDouble(r.data() + 11, y1);
        PutLittleDouble(r.data() + 19, x1);
        const std::string survey = std::string("SR\0old", 6);
        std::copy(survey.begin(), survey.end(), r.begin() + 27);
        bytes.insert(bytes.end(), r.begin(), r.end());
    };
    record(std::string("BM 11\0junk", 10), 16.354, 6045.601);
    record("LONGNAMEABC", -1.25, 0.5);
    return bytes;
}

// The image with every stored coordinate moved as the record set moves it: to absolute, moved,
// back relative to the offset.
std::vector<std::uint8_t> Moved(std::vector<std::uint8_t> bytes, double dx, double dy)
{
    const auto move = [](double stored, double offset, double by)
    {
        const double absolute = static_cast<double>(static_cast<long double>(stored) + offset);
        return static_cast<double>(static_cast<long double>(absolute + by) - offset);
    };
    for (std::size_t at = 512; at + 48 <= bytes.size(); at += 48)
    {
        std::uint8_t* record = bytes.data() + at;
        PutLittleDouble(record + 11, move(GetLittleDouble(record + 11), 80000.0, dy));
        PutLittleDouble(record + 19, move(GetLittleDouble(record + 19), 2840000.5, dx));
    }
    return bytes;
}

} // namespace

TEST(RunFiles, CoordinateListsChangeOnlyTheStoredCoordinatesWhateverTheirDecimalSeparator)
{
    for (const char separator : {'.', ','})
    {
        SCOPED_TRACE(separator);
        ScratchFolder folder;
        const std::string path = folder / "job.crd";
        const std::vector<std::uint8_t> original = CrdImage(separator);
        WriteBytes(path, original);
        auto recordSet = CreateCorvellRecordSet(false, path, false, true);
        ASSERT_TRUE(recordSet->Open());
        EXPECT_EQ(std::tuple(recordSet->XOffset, recordSet->YOffset, recordSet->Lo),
                  std::tuple(2840000.5, 80000.0, 29));
        EXPECT_EQ(AsPoint(recordSet->GetShape()).X, 2846046.101);
        EXPECT_EQ(AsPoint(recordSet->GetShape()).Y, 80016.354);
        MoveAll(*recordSet, 0.5, -2.0);
        EXPECT_EQ(ReadBytes(path), Moved(original, 0.5, -2.0));
        EXPECT_EQ(recordSet->DeclaredSystems().front().LocalOrigin, 29);
    }
}
