// The beacon selection dialog's figures, selection files and the strategy dialog's text.
#include "ProjectTestSupport.h"

#include "geometry/Calculations.h"
#include "geometry/Files.h"
#include "geometry/NumberFormat.h"
#include "transformation/Transformation.h"

#include <cctype>
#include <cmath>
#include <numbers>

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

// A beacon position on the plane of Lo 29 of its datum, as the review computes it.
std::unique_ptr<GPoint> OnPlane(double longitude, double latitude, GWorld world)
{
    GGeographicToGeodeticTransformation plane;
    plane.World = world;
    plane.LoMeridian = 29;
    auto point = std::make_unique<GPoint>(longitude, latitude, 0.0);
    plane.Transform(*point, tdForward);
    return point;
}
template <class Position> std::unique_ptr<GPoint> OnPlane(const Position& position, GWorld world)
{
    return OnPlane(position.X, position.Y, world);
}

TEST_F(BeaconReviewTest, LeaveOneOutMisclosuresRmsAndAPlantedBlunder)
{
    for (int i = 0; i < 10; ++i)
        beacons.Beacon(i).Selected = true;
    GBeaconReview review(beacons, 29, centre);
    review.Refresh();
    ASSERT_TRUE(review.Valid());
    double squares = 0.0;
    for (const GBeaconRow& row : review.Selected())
    {
        squares += row.Misclosure * row.Misclosure;
        EXPECT_NEAR(std::hypot(row.ResidualX, row.ResidualY), row.Misclosure, 1e-12);
        // Least squares: a beacon left out of the fit never fits it better than when in it.
        ASSERT_TRUE(row.HasLeaveOneOut) << row.Name;
        EXPECT_GE(row.LeaveOneOut, row.Misclosure - 1e-9) << row.Name;
    }
    EXPECT_NEAR(review.Rms(), std::sqrt(squares / 10), 1e-12);
    EXPECT_EQ(review.RmsText(), FormatPicture(review.Rms(), "0.000"));
    // The smooth distortion of the sample area is a fair misfit: nobody is a suspect.
    EXPECT_TRUE(review.Suspects().empty());

    // Beacon 3's leave-one-out misclosure against a fit of the nine others made here.
    GHelmertTransformation others;
    for (int i = 0; i < 10; ++i)
        if (i != 3)
            others.AddPair(beacons.Beacon(i).Name, OnPlane(beacons.Beacon(i).Clarke, wdClarke1880),
                           OnPlane(beacons.Beacon(i).WGS, wdWGS84));
    const auto source = OnPlane(beacons.Beacon(3).Clarke, wdClarke1880);
    auto fitted = OnPlane(beacons.Beacon(3).Clarke, wdClarke1880);
    others.Transform(*fitted, tdForward);
    const auto target = OnPlane(beacons.Beacon(3).WGS, wdWGS84);
    const GBeaconRow& three = review.Selected()[3];
    ASSERT_EQ(three.Index, 3);
    EXPECT_NEAR(three.LeaveOneOut, Distance(fitted->X, fitted->Y, target->X, target->Y), 1e-9);
    EXPECT_EQ(three.LeaveOneOutText, FormatPicture(three.LeaveOneOut, "0.000"));
    // Its expected size: the nine's misfit over the 14 degrees of freedom of their fit, grown by
    // the uncertainty of their fit at beacon 3.
    double squares9 = 0.0;
    double x = 0.0;
    double y = 0.0;
    for (int i = 0; i < 9; ++i)
    {
        squares9 += std::pow(others.ResidualX(i), 2) + std::pow(others.ResidualY(i), 2);
        x += others.SourcePoint(i).X / 9;
        y += others.SourcePoint(i).Y / 9;
    }
    double spread = 0.0;
    for (int i = 0; i < 9; ++i)
        spread +=
            std::pow(others.SourcePoint(i).X - x, 2) + std::pow(others.SourcePoint(i).Y - y, 2);
    const double sigma2 = squares9 / 14; // per coordinate
    const double reach =
        1 + 1.0 / 9 + (std::pow(source->X - x, 2) + std::pow(source->Y - y, 2)) / spread;
    EXPECT_NEAR(three.Expected, std::sqrt(2 * sigma2 * reach), 1e-9);

    // One metre planted in beacon 6's Hartebeesthoek94 position (0.8 m south, 0.6 m east).
    GTrigBeacon& blunder = beacons.Beacon(6);
    blunder.WGS.Y += 0.8 / 110800.0;
    blunder.WGS.X -= 0.6 / (111320.0 * std::cos(25.75 * std::numbers::pi / 180.0));
    review.Refresh();
    const auto suspects = review.Suspects();
    ASSERT_EQ(suspects.size(), 1u);
    EXPECT_EQ(suspects[0]->Name, blunder.Name);
    EXPECT_NEAR(suspects[0]->LeaveOneOut, 1.0, 0.3);
    EXPECT_GT(suspects[0]->LeaveOneOut, kSuspectFactor * suspects[0]->Expected);
    EXPECT_NE(LeaveOneOutDescription(*suspects[0]).find("Suspect"), std::string::npos);
    EXPECT_GT(review.Rms(), 0.2);
}

TEST_F(BeaconReviewTest, FewBeaconsLeaveNoRoomForASuspect)
{
    // Two beacons: the fit without one is no fit.
    beacons.Beacon(0).Selected = beacons.Beacon(1).Selected = true;
    GBeaconReview review(beacons, 29, centre);
    review.Refresh();
    ASSERT_TRUE(review.Valid());
    for (const GBeaconRow& row : review.Selected())
    {
        EXPECT_FALSE(row.HasLeaveOneOut);
        EXPECT_EQ(row.LeaveOneOutText, "N/A");
    }
    // Three: two others fit exactly and say nothing of their misfit, so a leave-one-out value
    // but no expected size and no suspect, however large it is.
    beacons.Beacon(2).Selected = true;
    beacons.Beacon(2).WGS.Y += 5.0 / 110800.0;
    review.Refresh();
    for (const GBeaconRow& row : review.Selected())
    {
        EXPECT_TRUE(row.HasLeaveOneOut);
        EXPECT_GT(row.LeaveOneOut, 1.0);
        EXPECT_EQ(row.ExpectedText, "N/A");
        EXPECT_FALSE(row.Suspect);
    }
    // Not valid: no RMS.
    review.RemoveAll();
    EXPECT_EQ(review.RmsText(), "N/A");
    EXPECT_EQ(review.Rms(), 0.0);
}

TEST_F(BeaconReviewTest, ExtentOutlineOnTheCapePlane)
{
    const GRectangle extent(28.1, 25.8, 28.3, 25.7);
    GBeaconReview review(beacons, 29, centre, &extent);
    ASSERT_EQ(review.ExtentOutline().size(), 4u);
    const auto corner = OnPlane(extent.Left(), extent.Top(), wdClarke1880);
    EXPECT_DOUBLE_EQ(review.ExtentOutline()[0].X, corner->X);
    EXPECT_DOUBLE_EQ(review.ExtentOutline()[0].Y, corner->Y);
    EXPECT_TRUE(GBeaconReview(beacons, 29, centre).ExtentOutline().empty());
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
    EXPECT_EQ(ParseStrategyBuffer("12,5"), 12.5);
    EXPECT_EQ(ParseStrategyBuffer("abc"), 25.0);
    EXPECT_EQ(ParseStrategyBuffer(""), 25.0);
    EXPECT_EQ(ParseStrategyCount("4"), 4);
    EXPECT_EQ(ParseStrategyCount("4.5"), 10);
    EXPECT_EQ(ParseStrategyCount("many"), 10);
}

} // namespace
} // namespace quorvalis::test
