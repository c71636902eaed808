// The beacon selection dialog's figures, selection files and the strategy dialog's text.
#include "ProjectTestSupport.h"

#include "geometry/Files.h"
#include "geometry/NumberFormat.h"

#include <cctype>

namespace quorvalis::test
{
namespace
{

class BeaconReviewTest : public ProjectTest
{
protected:
    void SetUp() override
    {
        ProjectTest::SetUp();
        ImportDelimited(Sample("beacons-lo29.csv"), 29, "TRIG");
        beacons.ReadControlFile(dtCape);
        ASSERT_EQ(beacons.Count(), 20);
    }

    GTrigBeaconList beacons;
    const GPoint centre{28.2, 25.75};
};

TEST_F(BeaconReviewTest, SelectedBeaconsGiveMisclosuresScaleAndSwing)
{
    GBeaconReview review(beacons, 29, centre);
    review.Refresh();
    EXPECT_FALSE(review.SelectedVisible());
    for (int i = 0; i < 3; ++i)
        review.Add(beacons.Beacon(i));
    ASSERT_TRUE(review.Valid());
    ASSERT_EQ(review.Selected().size(), 3u);
    for (const GBeaconRow& row : review.Selected())
    {
        EXPECT_GT(row.Misclosure, 0.0) << row.Name; // three beacons are not an exact similarity
        EXPECT_LT(row.Misclosure, 1.0) << row.Name;
        EXPECT_EQ(row.MisclosureText, FormatPicture(row.Misclosure, "0.000"));
        EXPECT_GT(row.Distance, 1000.0);
    }
    // Scale within a few parts per million of 1; a swing of a few seconds either way.
    EXPECT_NEAR(review.Scale(), 1.0, 2e-5);
    EXPECT_EQ(review.ScaleText().size(), 16u);
    EXPECT_EQ(review.ScaleText()[0], ' ');
    EXPECT_EQ(review.ScaleText().substr(14), "  ");
    EXPECT_EQ(review.SwingText().size(), 16u);
    EXPECT_TRUE(review.Swing() < 0.01 || review.Swing() > 359.59) << review.Swing();

    // The distance of the centre itself is 0; the centre is on the Cape plane of Lo 29.
    EXPECT_GT(review.Centre().X, 2.8e6);
    EXPECT_GT(review.Centre().Y, 0.0);
}

TEST_F(BeaconReviewTest, OneBeaconIsNoTransformationAndEmptyListsKeepTheirLastCounter)
{
    beacons.Beacon(3).Selected = true;
    GBeaconReview review(beacons, 29, centre);
    review.Refresh();
    EXPECT_FALSE(review.Valid());
    EXPECT_EQ(review.ScaleText(), "N/A  ");
    EXPECT_EQ(review.SwingText(), "N/A  ");
    ASSERT_EQ(review.Selected().size(), 1u);
    EXPECT_EQ(review.Selected()[0].MisclosureText, "0.000");
    EXPECT_EQ(review.Selected()[0].Index, 3);
    EXPECT_EQ(review.AvailableCounter(), "19 Beacons Available");
    EXPECT_EQ(review.SelectedCounter(), "1 Beacons Selected");

    review.AddAll();
    EXPECT_FALSE(review.AvailableVisible());
    EXPECT_EQ(review.AvailableCounter(), "19 Beacons Available");
    EXPECT_EQ(review.SelectedCounter(), "20 Beacons Selected");
    review.RemoveAll();
    EXPECT_EQ(beacons.SelectedCount(), 0);
    EXPECT_EQ(review.SelectedCounter(), "20 Beacons Selected");
    EXPECT_EQ(review.ScaleText(), "N/A  ");

    // Two beacons at one position (one imported twice under two names) are no transformation
    // either.
    GTrigBeacon& copy = beacons.Beacon(4);
    copy.Clarke = beacons.Beacon(3).Clarke;
    copy.WGS = beacons.Beacon(3).WGS;
    review.Add(beacons.Beacon(3));
    review.Add(copy);
    EXPECT_EQ(review.Selected().size(), 2u);
    EXPECT_FALSE(review.Valid());
    EXPECT_EQ(review.ScaleText(), "N/A  ");
    review.Add(beacons.Beacon(5));
    EXPECT_TRUE(review.Valid());
}

TEST_F(BeaconReviewTest, SaveAndRecallSelection)
{
    beacons.Beacon(1).Selected = true;
    beacons.Beacon(7).Selected = true;
    const auto file = (Folder / "job.sel").string();
    SaveSelection(file, beacons);
    EXPECT_EQ(ReadFile(file), beacons.Beacon(1).Name + "\r\n" + beacons.Beacon(7).Name + "\r\n");

    for (const auto& beacon : beacons)
        beacon->Selected = !beacon->Selected;
    RecallSelection(file, beacons);
    EXPECT_EQ(beacons.SelectedCount(), 2);
    EXPECT_TRUE(beacons.Beacon(1).Selected);
    EXPECT_TRUE(beacons.Beacon(7).Selected);

    // Letter case does not matter; names absent from the list are ignored.
    std::string lower = beacons.Beacon(4).Name;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    WriteFileAtomically(file, lower + "\nNO SUCH BEACON\n");
    RecallSelection(file, beacons);
    EXPECT_EQ(beacons.SelectedCount(), 1);
    EXPECT_TRUE(beacons.Beacon(4).Selected);

    // A file that cannot be read changes nothing.
    EXPECT_THROW(RecallSelection((Folder / "none.sel").string(), beacons), GFileException);
    EXPECT_TRUE(beacons.Beacon(4).Selected);
}

TEST(StrategyText, NotANumberGivesTheInitialValues)
{
    EXPECT_EQ(ParseStrategyBuffer("12.5"), 12.5);
    EXPECT_EQ(ParseStrategyBuffer("abc"), 25.0);
    EXPECT_EQ(ParseStrategyBuffer(""), 25.0);
    EXPECT_EQ(ParseStrategyCount("4"), 4);
    EXPECT_EQ(ParseStrategyCount("4.5"), 10);
    EXPECT_EQ(ParseStrategyCount("many"), 10);
}

} // namespace
} // namespace quorvalis::test
