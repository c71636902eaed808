// Beacon import: the e-mail and delimited line formats, the three importers and the append to
// the control file with its duplicate test.
#include "ProjectTestSupport.h"

#include "geometry/Files.h"

#include <cmath>

namespace quorvalis::test
{
namespace
{

using ImportTest = ProjectTest;

TEST(EmailLines, BeaconLinesByColumn)
{
    const auto beacon =
        ParseEmailBeaconLine("       177TRIG 177 DORINGKOP      95432.60 2850630.82");
    ASSERT_TRUE(beacon);
    EXPECT_EQ(beacon->Number, "177");
    EXPECT_EQ(beacon->Name, "TRIG 177 DORINGKOP");
    EXPECT_EQ(beacon->Y, 95432.60);
    EXPECT_EQ(beacon->X, 2850630.82);

    // A comma is the decimal point.
    const auto comma =
        ParseEmailBeaconLine("        12SHORT                      812,5 2832795,75");
    ASSERT_TRUE(comma);
    EXPECT_EQ(comma->Y, 812.5);
    EXPECT_EQ(comma->X, 2832795.75);

    // A number followed by a letter, a coordinate that does not read, a cut line: not beacons.
    EXPECT_FALSE(ParseEmailBeaconLine("       77BTRIG 77 RANDJIE         95812.57 2832795.75"));
    EXPECT_FALSE(ParseEmailBeaconLine("       177TRIG 177 DORINGKOP      95432.6x 2850630.82"));
    EXPECT_FALSE(ParseEmailBeaconLine("       177TRIG 177 DORINGKOP      95432.60"));
    EXPECT_FALSE(ParseEmailBeaconLine("    NUMBERNAME                           Y          X"));
    EXPECT_FALSE(ParseEmailBeaconLine(""));
}

TEST(EmailLines, LoLines)
{
    EXPECT_EQ(ParseEmailLoLine("DATUM: CAPE  LO./29"), 29);
    EXPECT_EQ(ParseEmailLoLine("datum: hartebeesthoek94 lo./31 (west)"), 31);
    EXPECT_EQ(ParseEmailLoLine("LO. 25 /27"), 27);
    EXPECT_EQ(ParseEmailLoLine("LO./ 9 "), 9);
    for (const char* notLo : {"LO.29", "LO./XX", "SOLO/29"})
        EXPECT_FALSE(ParseEmailLoLine(notLo)) << notLo;
}

TEST(DelimitedLines, NameAndFourNumbers)
{
    const auto beacon = ParseDelimitedBeaconLine(
        "  TRIG 177 DORINGKOP,95432.601,2850630.820,95464.102,2850928.803 ");
    ASSERT_TRUE(beacon);
    EXPECT_EQ(beacon->Name, "TRIG 177 DORINGKOP");
    EXPECT_TRUE(beacon->Selected);
    EXPECT_EQ(beacon->Clarke.Y, 95432.601);
    EXPECT_EQ(beacon->Clarke.X, 2850630.820);
    EXPECT_EQ(beacon->WGS.Y, 95464.102);
    EXPECT_EQ(beacon->WGS.X, 2850928.803);
    EXPECT_FALSE(ParseDelimitedBeaconLine("TRIG 1,95432.601,2850630.820,95464.102"));
    EXPECT_FALSE(ParseDelimitedBeaconLine(",95432.601,2850630.820,95464.102,2850928.803"));
    EXPECT_FALSE(ParseDelimitedBeaconLine("\"TRIG 1\",1,2,3,x"));
    EXPECT_FALSE(ParseDelimitedBeaconLine(""));
}

TEST_F(ImportTest, EmailPairMatchesByNameAndNumber)
{
    GTrigBeaconImport importer(Sample("email-lo29-cape.eml"), Sample("email-lo29-hart.eml"));
    std::string captions;
    importer.OnProgress = [&](int, const std::string& text, int)
    { captions += captions.ends_with(text + "|") ? "" : text + "|"; };
    ASSERT_TRUE(importer.ReadBeacons());
    importer.RemoveUnmatched();
    EXPECT_EQ(importer.MatchedCount(), 22);
    EXPECT_EQ(importer.Beacons.Count(), 22);
    EXPECT_EQ(importer.LocalOrigin, 29.0);
    EXPECT_EQ(captions, "Reading Clarke 1880 Beacons...|Reading WGS'84 Beacons...|Removing "
                        "Unmatched Control Coordinates...|");
    // Each pair lies a datum shift apart (about 300 m); mixing up the two HOOGLAND marks, which
    // are kilometres apart, would show at once.
    int hoogland = 0;
    for (const auto& beacon : importer.Beacons)
    {
        const double shift =
            std::hypot(beacon->WGS.X - beacon->Clarke.X, beacon->WGS.Y - beacon->Clarke.Y);
        EXPECT_GT(shift, 250.0) << beacon->Name;
        EXPECT_LT(shift, 350.0) << beacon->Name;
        EXPECT_NE(beacon->Name, "TRIG 97 OUKRAAL");
        EXPECT_NE(beacon->Name, "TRIG 77 RANDJIE");
        hoogland += beacon->Name == "TSM HOOGLAND";
    }
    EXPECT_EQ(hoogland, 2);
}

TEST_F(ImportTest, LastLoLineWins)
{
    const auto cape = Folder / "cape.eml";
    const auto hart = Folder / "hart.eml";
    WriteFileAtomically(cape.string(),
                        "DATUM: CAPE  LO./29\r\n        12SHORT                      812,5 "
                        "2832795,75\r\n");
    WriteFileAtomically(hart.string(), "DATUM: HBK  LO./31\r\n        12SHORT                "
                                       "      900.0 2833095.00\r\n");
    GTrigBeaconImport importer(cape.string(), hart.string());
    ASSERT_TRUE(importer.ReadBeacons());
    EXPECT_EQ(importer.LocalOrigin, 31.0);
    EXPECT_EQ(importer.MatchedCount(), 1);
    EXPECT_EQ(importer.Beacons.Beacon(0).WGS.Y, 900.0);
}

TEST_F(ImportTest, DelimitedImportTwiceAppendsNothing)
{
    EXPECT_EQ(ImportDelimited(Sample("beacons-lo29.csv"), 29, "TRIG"), 20);
    EXPECT_EQ(ImportDelimited(Sample("beacons-lo29.csv"), 29, "TRIG"), 0);
    GTrigBeaconList control;
    control.ReadControlFile(dtCape);
    ASSERT_EQ(control.Count(), 20);
    const GTrigBeacon& first = control.Beacon(0);
    EXPECT_EQ(first.Name, "TRIG 177 DORINGKOP");
    EXPECT_EQ(first.Source, "TRIG");
    // Lo 29 positions became geographic degrees (latitude south, longitude east).
    EXPECT_NEAR(first.Clarke.Y, 25.76, 0.2);
    EXPECT_NEAR(first.Clarke.X, 28.05, 0.2);
    EXPECT_NE(first.WGS.Y, first.Clarke.Y);

    // The same name at another position is a further row under that name.
    GTrigBeaconList moved;
    moved.Add(MakeBeacon("TRIG 177 DORINGKOP", "", first.Clarke.X + 0.001, first.Clarke.Y,
                         first.WGS.X + 0.001, first.WGS.Y));
    moved.Beacon(0).Selected = true;
    EXPECT_EQ(AddBeaconsToControlFile(moved, "TSM"), 1);
    control.ReadControlFile(dtHartebeesthoek);
    EXPECT_EQ(control.Count(), 21);
    EXPECT_EQ(control.Beacon(20).Source, "TSM");
    EXPECT_EQ(control.Beacon(20).Direction, dtHartebeesthoek);
}

TEST_F(ImportTest, DelimitedLinesWithoutFourNumbersAreSkipped)
{
    const auto file = Folder / "beacons.csv";
    WriteFileAtomically(file.string(), "A,1,2,3,4\nB,1,2,3\r\n\nC,5,6,7,8,extra\rD,x,2,3,4");
    GDelimitedTrigBeaconImport importer(file.string());
    int lines = 0;
    importer.OnProgress = [&](int, const std::string&, int total) { lines = total; };
    ASSERT_TRUE(importer.ReadBeacons());
    EXPECT_EQ(lines, 5);
    ASSERT_EQ(importer.Beacons.Count(), 2);
    EXPECT_EQ(importer.Beacons.Beacon(0).Name, "A");
    EXPECT_EQ(importer.Beacons.Beacon(1).Name, "C");
    EXPECT_TRUE(importer.Beacons.Beacon(1).Number.empty());
}

TEST_F(ImportTest, DataSourcesPairByIdentity)
{
    MemoryRecordSet cape;
    cape.AddPoint(2850630.820, 95432.601, "TRIG 177");
    cape.AddPoint(2832795.755, 95812.568, "TSM 1079");
    cape.AddShape(nullptr, "NO SHAPE");
    auto square = std::make_unique<GPolygon>();
    auto ring = std::make_unique<GPointList>();
    ring->Add(std::make_unique<GPoint>(2856000, 92000));
    ring->Add(std::make_unique<GPoint>(2856010, 92020));
    square->Parts.Add(std::move(ring));
    cape.AddShape(std::move(square), "TRIG 58"); // its centre is the position
    MemoryRecordSet hart;
    hart.AddPoint(2850928.803, 95464.102, "TRIG 177");
    hart.AddPoint(2856298.0, 92041.0, "TRIG 58");
    hart.AddPoint(2844000.0, 80000.0, "TSM 5200"); // no Cape partner: ignored
    ASSERT_TRUE(cape.Open());
    ASSERT_TRUE(hart.Open());

    GDataSourceTrigBeaconImport importer;
    importer.ClarkeRecordSet = &cape;
    importer.WGSRecordSet = &hart;
    importer.ClarkeIdentityField = "LABEL";
    importer.WGSIdentityField = "label";
    ASSERT_TRUE(importer.ReadBeacons());
    ASSERT_EQ(importer.Beacons.Count(), 3);
    EXPECT_TRUE(importer.Beacons.Beacon(0).Selected);
    EXPECT_FALSE(importer.Beacons.Beacon(1).Selected); // TSM 1079 has no partner
    const GTrigBeacon& polygon = importer.Beacons.Beacon(2);
    EXPECT_EQ(polygon.Name, "TRIG 58");
    EXPECT_EQ(polygon.Clarke.X, 2856005.0);
    EXPECT_EQ(polygon.Clarke.Y, 92010.0);
    EXPECT_EQ(polygon.WGS.X, 2856298.0);
    EXPECT_EQ(cape.RecordIndex(), 0);

    importer.Beacons.ConvertToGeographic(29);
    EXPECT_EQ(importer.AddToControlFile("TRIG"), 2);
    GTrigBeaconList control;
    control.ReadControlFile(dtCape);
    ASSERT_EQ(control.Count(), 2);
    EXPECT_EQ(control.Beacon(0).Name, "TRIG 177");
    EXPECT_EQ(control.Beacon(1).Name, "TRIG 58");
}

} // namespace
} // namespace quorvalis::test
