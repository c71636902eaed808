// The coordinate chains, the extent, the beacon list operations and the selection strategies.
#include "ProjectTestSupport.h"

#include "transformation/Transformation.h"

#include <cmath>

namespace quorvalis::test
{
namespace
{

using ChainTest = ProjectTest;

TEST_F(ChainTest, PackedDegreesNegationAndExchangeInOrderAndBack)
{
    GProject project;
    project.CoordinateSystem = 1;
    project.NegateX = true;
    project.Exchange = true;
    project.XConstant = 0.0;
    project.YConstant = 5.0;
    // (-25.4536, 23.3018) + (0, 5) = (-25.4536, 28.3018) ddd.mmss = (-25.76, 28.505) degrees,
    // negated X (25.76, 28.505), exchanged: longitude 28.505, latitude 25.76.
    GPoint point(-25.4536, 23.3018);
    project.ToGeographic(point, dtCape, 29);
    EXPECT_NEAR(point.X, 28.505, 1e-12);
    EXPECT_NEAR(point.Y, 25.76, 1e-12);
    project.FromGeographic(point, dtCape, 29);
    // A negative packed value comes back negative, not wrapped into [0, 360).
    EXPECT_NEAR(point.X, -25.4536, 1e-12);
    EXPECT_NEAR(point.Y, 23.3018, 1e-12);
}

TEST_F(ChainTest, ExtentLeavesOutRecordsWithoutShapes)
{
    auto recordSet = std::make_unique<MemoryRecordSet>();
    recordSet->AddPoint(2850000, 80000);
    recordSet->AddShape(nullptr);
    auto line = std::make_unique<GLine>();
    auto part = std::make_unique<GPointList>();
    part->Add(std::make_unique<GPoint>(2851000, 79000));
    part->Add(std::make_unique<GPoint>(2849000, 81000));
    line->Parts.Add(std::move(part));
    recordSet->AddShape(std::move(line));
    recordSet->AddShape(std::make_unique<GLine>()); // a shape without points

    GProject project;
    RecordingInterface ui;
    project.SetUserInterface(&ui);
    ASSERT_TRUE(project.OpenRecordSet(std::move(recordSet)));
    project.CalculateExtent();
    EXPECT_TRUE(project.Extent->IsEqual(GRectangle(2849000, 79000, 2851000, 81000)));
    EXPECT_EQ(project.RecordSet->RecordIndex(), 0);
}

TEST_F(ChainTest, GeographicExtentUsesTheDataLoNotTheTransformationLo)
{
    GProject project;
    project.LocalOrigin = 29;
    project.TransformationLocalOrigin = 31;
    project.Extent = std::make_unique<GRectangle>(2849000, 79000, 2851000, 81000);
    const auto extent = project.GeographicExtent();
    // cs2cs of the corners (X 2849000, Y 81000) and (X 2851000, Y 79000) from +proj=tmerc
    // +axis=wsu +lon_0=29 on the system's Clarke 1880 axes; Lo 31 would put them 2 degrees east.
    EXPECT_NEAR(extent->TopLeft.X, 28.192702149359, 1e-9);
    EXPECT_NEAR(extent->TopLeft.Y, 25.748616140680, 1e-9);
    EXPECT_NEAR(extent->BottomRight.X, 28.212514857429, 1e-9);
    EXPECT_NEAR(extent->BottomRight.Y, 25.766777778598, 1e-9);
}

TEST_F(ChainTest, OpenRecordSetRefusals)
{
    GProject project;
    RecordingInterface ui;
    project.SetUserInterface(&ui);
    auto readOnly = std::make_unique<MemoryRecordSet>();
    readOnly->ReadOnlyFlag = true;
    EXPECT_FALSE(project.OpenRecordSet(std::move(readOnly)));
    auto closed = std::make_unique<MemoryRecordSet>();
    closed->OpenResult = false;
    EXPECT_FALSE(project.OpenRecordSet(std::move(closed)));
    auto flat = std::make_unique<MemoryRecordSet>();
    flat->Spatial = false;
    EXPECT_FALSE(project.OpenRecordSet(std::move(flat)));
    EXPECT_EQ(project.RecordSet, nullptr);
    EXPECT_EQ(ui.Errors,
              (std::vector<std::string>{kReadOnlyRecordSetMessage, kUnableToLoadRecordSetMessage,
                                        kNoSpatialComponentMessage}));
    EXPECT_EQ(ui.Errors[0], "The record set cannot be read only beacuse the spatial\rcomponent "
                            "will be modified by the application!");
}

TEST_F(ChainTest, RemoveBySourceAndIndexOfBeacon)
{
    GTrigBeaconList list;
    for (const char* source : {"TRIG", "TSM", "trig", "PILLAR", "", "TSM"})
        list.Add(MakeBeacon(std::string("B ") + source, source, 0, 0, 0, 0));
    list.RemoveBySource("*"); // every class other than TRIG and TSM, exactly as written
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Beacon(0).Source, "TRIG");
    EXPECT_EQ(list.Beacon(1).Source, "TSM");
    EXPECT_EQ(list.Beacon(2).Source, "TSM");
    list.RemoveBySource("TSM");
    ASSERT_EQ(list.Count(), 1);

    GTrigBeaconList named;
    for (const char* number : {"5101", "5102", "7"})
    {
        auto beacon =
            MakeBeacon(std::string(number) == "7" ? "OTHER" : "TSM HOOGLAND", "", 0, 0, 0, 0);
        beacon->Number = number;
        named.Add(std::move(beacon));
    }
    EXPECT_EQ(named.IndexOfBeacon("TSM HOOGLAND", "5102"), 1);
    EXPECT_EQ(named.IndexOfBeacon("TSM HOOGLAND", "5101"), 0);
    EXPECT_EQ(named.IndexOfBeacon("TSM HOOGLAND", "9999"), 1); // the last of that name
    EXPECT_EQ(named.IndexOfBeacon("tsm hoogland", "5101"), -1);
    EXPECT_EQ(named.IndexOfBeacon("OTHER", ""), 2);
}

class SelectionTest : public ProjectTest
{
protected:
    void SetUp() override
    {
        ProjectTest::SetUp();
        // Geographic data in decimal degrees, so the geographic extent is the extent itself:
        // 0.2 degrees wide, 0.1 high, centre (28.1, 25.05).
        project.CoordinateSystem = 2;
        project.Extent = std::make_unique<GRectangle>(28.0, 25.0, 28.2, 25.1);
        project.ControlBeacons.Add(MakeBeacon("IN WEST", "TRIG", 27.951, 25.05, 0, 0));
        project.ControlBeacons.Add(MakeBeacon("OUT WEST", "TRIG", 27.949, 25.05, 0, 0));
        project.ControlBeacons.Add(MakeBeacon("IN SOUTH", "TSM", 28.1, 25.124, 0, 0));
        project.ControlBeacons.Add(MakeBeacon("OUT SOUTH", "PILLAR", 28.1, 25.126, 0, 0));
    }

    std::vector<std::string> SelectedNames() const
    {
        std::vector<std::string> names;
        for (const auto& beacon : project.ControlBeacons)
            if (beacon->Selected)
                names.push_back(beacon->Name);
        return names;
    }

    GProject project;
};

TEST_F(SelectionTest, StrategyTable)
{
    struct Row
    {
        int strategy, count;
        bool trig, tsm, other;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        // The buffer adds its percentage on every side.
        {0, 10, true, true, true, {"IN WEST", "IN SOUTH"}},
        // The count takes the first beacons of the list.
        {1, 10, true, true, true, {"IN WEST", "OUT WEST", "IN SOUTH", "OUT SOUTH"}},
        {1, 2, true, true, true, {"IN WEST", "OUT WEST"}},
        {2, 2, true, true, true, {}},
        // Classes not to be used are removed from the list.
        {1, 10, true, false, true, {"IN WEST", "OUT WEST", "OUT SOUTH"}},
        {1, 10, false, false, false, {}},
    };
    for (const Row& row : rows)
    {
        project.ControlBeacons.Beacon(1).Selected = true; // cleared by the selection
        project.SelectControlBeacons(row.strategy, row.count, 25.0, row.trig, row.tsm, row.other);
        EXPECT_EQ(SelectedNames(), row.expected) << row.strategy << " " << row.count;
    }
    EXPECT_EQ(project.ControlBeacons.Count(), 0);
}

TEST_F(SelectionTest, SortIsByPlaneDistanceFromTheCentre)
{
    project.TransformationLocalOrigin = 29;
    project.SortControlBeacons();
    std::vector<std::string> names;
    for (const auto& beacon : project.ControlBeacons)
        names.push_back(beacon->Name);
    // 0.074 / 0.075 degrees of latitude are about 8.2 km, 0.149 / 0.151 of longitude about 15 km.
    EXPECT_EQ(names, (std::vector<std::string>{"IN SOUTH", "OUT SOUTH", "IN WEST", "OUT WEST"}));
}

TEST_F(ChainTest, SheetParametersFromTheTableOrTheUser)
{
    GProject project;
    GSheetParameters parameters;
    ASSERT_TRUE(project.GetSheetParameters(GPoint(28.1, 25.1), parameters));
    EXPECT_EQ(parameters.SheetName, "2528AA");
    EXPECT_EQ(parameters.Lo, 29.0);
    EXPECT_DOUBLE_EQ(parameters.CX, 2779961.625883466);
    EXPECT_DOUBLE_EQ(parameters.B, -0.00000015181447765733716);

    EXPECT_FALSE(project.GetSheetParameters(GPoint(31.1, 10.2), parameters));
    EXPECT_EQ(parameters.SheetName, "1031AA");
    EXPECT_EQ(parameters.Lo, 31.0);

    project.HelmertMode = 1;
    project.TransformationLocalOrigin = 27;
    project.CapeX = 1;
    project.WGSY = 4;
    project.HelmertA = 0.5;
    ASSERT_TRUE(project.GetSheetParameters(GPoint(31.1, 10.2), parameters));
    EXPECT_EQ(parameters.SheetName, "USER DEFINED");
    EXPECT_EQ(parameters.Lo, 27.0);
    EXPECT_EQ(parameters.CX, 1.0);
    EXPECT_EQ(parameters.WY, 4.0);
}

} // namespace
} // namespace quorvalis::test
