// GIS layers as record sets, on a GeoPackage and on PostGIS (the server of the test run with the
// postgis extension): every geometry type moved in place with Z and M untouched and the
// attributes byte for byte, the coordinate system following the data, a kill at any moment of
// the flush leaving the layer exactly before or after, and datasets GDAL cannot update refused.
#include "database/GisLayerDatabase.h"
#include "tests/database/engine/ChildProcess.h"
#include "tests/database/engine/TestSupport.h"
#include "tests/database/formats/GdalContents.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <random>
#include <sstream>
#include <thread>

namespace quorvalis::test
{
namespace
{

struct DatasetCloser
{
    void operator()(GDALDataset* dataset) const { GDALClose(dataset); }
};
using Dataset = std::unique_ptr<GDALDataset, DatasetCloser>;

Dataset OpenGdal(const std::string& target, bool update)
{
    GDALAllRegister();
    return Dataset(GDALDataset::Open(
        target.c_str(), GDAL_OF_VECTOR | (update ? GDAL_OF_UPDATE : GDAL_OF_READONLY)));
}

// What a layer holds: per feature its id and attributes and its vertices as bit patterns of X, Y,
// Z and M; and the EPSG code of the layer's system.
struct LayerContents
{
    std::vector<std::string> Attributes;
    std::vector<testing::ShapeBits> Shapes;
    std::string System;
    bool operator==(const LayerContents&) const = default;
};

void PrintTo(const LayerContents& contents, std::ostream* out)
{
    *out << ::testing::PrintToString(
        std::tie(contents.System, contents.Attributes, contents.Shapes));
}

LayerContents ReadLayer(const std::string& target, const std::string& name)
{
    testing::OgrContents read = testing::ReadWithGdal(target, false, name);
    return {std::move(read.Attributes), std::move(read.Shapes), std::move(read.Code)};
}

// The contents after every X moved by dx and Y by dy, in the system given.
LayerContents Moved(LayerContents contents, double dx, double dy, std::string system)
{
    contents.Shapes = testing::MovedBy(std::move(contents.Shapes), dx, dy, false);
    contents.System = std::move(system);
    return contents;
}

// Z and M spoiled as a careless chain might: the record set must write back the stored ones.
void SpoilHeights(GPoint& p)
{
    p.Z = 1.0;
    p.M = 2.0;
}

struct LayerSample
{
    std::string Name;
    OGRwkbGeometryType Type;
    std::vector<std::string> Wkt; // empty text: a feature without geometry
};

// Layers of every geometry family, Lo 29 coordinates (X the southing) on the Cape datum.
std::vector<LayerSample> Layers()
{
    return {
        {"pegs",
         wkbPoint25D,
         {"POINT Z (2850000.125 80000.5 1391.45)", "POINT Z (2850100 80100 -0)", ""}},
        {"measured", wkbPointM, {"POINT M (2850000 80000 -1e39)", "POINT M (2850100 80100 7)"}},
        {"cloud",
         wkbMultiPointZM,
         {"MULTIPOINT ZM ((2850000 80000 10 1),(2850001 80001 11 -1e39))"}},
        {"roads",
         wkbMultiLineStringZM,
         {"MULTILINESTRING ZM ((2850000 80000 1391.45 0,2850010 80010 1392.5 14.142),(2850100 "
          "80100 6 7,2850110 80110 8 9))",
          "MULTILINESTRING ZM ((2850200 80200 -0 1e300,2850210 80210 1 2))"}},
        {"kerb", wkbLineString, {"LINESTRING (2850000 80000,2850010 80010,2850020 80005)"}},
        {"parcels",
         wkbMultiPolygon25D,
         {"MULTIPOLYGON Z (((2850000 80000 5,2850000 80100 6,2850100 80100 7,2850100 80000 "
          "8,2850000 80000 5),(2850020 80020 1,2850080 80020 1,2850080 80080 1,2850020 80080 "
          "1,2850020 80020 1)),((2850200 80200 0,2850200 80210 0,2850210 80210 0,2850200 80200 "
          "0)))"}},
        {"erf",
         wkbPolygon,
         {"POLYGON ((2850000 80000,2850000 80100,2850100 80100,2850000 80000))"}},
    };
}

class GisLayerTest : public PrivateHome, public ::testing::WithParamInterface<Store>
{
protected:
    void SetUp() override
    {
        PrivateHome::SetUp();
        GDALAllRegister();
        if (GetParam() == Store::PostgreSQL)
        {
            server_ = TestServer();
            QUORVALIS_REQUIRE_SERVER(server_);
            Dataset dataset = OpenGdal(*server_, true);
            ASSERT_TRUE(dataset) << "the test server cannot be opened";
            bool postgis = dataset->GetDriver() != nullptr &&
                           std::string(dataset->GetDriver()->GetDescription()) == "PostgreSQL";
            if (postgis)
            {
                OGRLayer* version =
                    dataset->ExecuteSQL("SELECT postgis_version()", nullptr, nullptr);
                postgis = version != nullptr;
                if (version)
                    dataset->ReleaseResultSet(version);
            }
            if (!postgis)
            {
                if (RunningInCi())
                    FAIL() << "the test server has no PostGIS although CI=true: install "
                              "postgresql-15-postgis-3 (scripts/setup-debian.sh)";
                GTEST_SKIP() << "the test server has no PostGIS extension";
            }
            target_ = *server_;
            suffix_ = "_" + std::to_string(::getpid());
        }
        else
            target_ = (Home() / "job.gpkg").string();
    }

    void TearDown() override
    {
        if (server_ && !created_.empty())
            if (Dataset dataset = OpenGdal(*server_, true))
                for (const std::string& name : created_)
                    if (OGRLayer* result = dataset->ExecuteSQL(
                            ("DROP TABLE IF EXISTS \"" + name + "\"").c_str(), nullptr, nullptr))
                        dataset->ReleaseResultSet(result);
        PrivateHome::TearDown();
    }

    std::string Name(const std::string& base) const { return base + suffix_; }

    // Creates the layer with a NAME, a DATE and a REMARK column and the features.
    void Create(const LayerSample& sample, int epsg = 22289)
    {
        Dataset dataset;
        if (GetParam() == Store::GeoPackage && !std::filesystem::exists(target_))
            dataset.reset(GetGDALDriverManager()->GetDriverByName("GPKG")->Create(
                target_.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
        else
            dataset = OpenGdal(target_, true);
        ASSERT_TRUE(dataset);
        OGRSpatialReference system;
        system.importFromEPSG(epsg);
        const char* options[] = {"GEOMETRY_NAME=geom", "OVERWRITE=YES", nullptr};
        OGRLayer* layer = dataset->CreateLayer(Name(sample.Name).c_str(), &system, sample.Type,
                                               const_cast<char**>(options));
        ASSERT_TRUE(layer);
        created_.push_back(Name(sample.Name));
        OGRFieldDefn name("NAME", OFTString);
        OGRFieldDefn date("SURVEYED", OFTDateTime);
        OGRFieldDefn remark("REMARK", OFTString);
        ASSERT_EQ(layer->CreateField(&name), OGRERR_NONE);
        ASSERT_EQ(layer->CreateField(&date), OGRERR_NONE);
        ASSERT_EQ(layer->CreateField(&remark), OGRERR_NONE);
        ASSERT_EQ(layer->StartTransaction(), OGRERR_NONE);
        int n = 0;
        for (const std::string& wkt : sample.Wkt)
        {
            OGRFeature feature(layer->GetLayerDefn());
            feature.SetField(0, ("P" + std::to_string(++n)).c_str());
            feature.SetField(1, 2024, 5, 1 + n % 28, 12, 30, 15.25f, 100);
            if (n % 2 == 0)
                feature.SetField(2, "levelled 2019, J. Mokoena");
            if (!wkt.empty())
            {
                OGRGeometry* geometry = nullptr;
                ASSERT_EQ(OGRGeometryFactory::createFromWkt(wkt.c_str(), nullptr, &geometry),
                          OGRERR_NONE)
                    << wkt;
                feature.SetGeometryDirectly(geometry);
            }
            ASSERT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
        }
        ASSERT_EQ(layer->CommitTransaction(), OGRERR_NONE);
    }

    std::unique_ptr<GGisLayerRecordSet> Open(const std::string& layer, bool readOnly = false)
    {
        auto recordSet = CreateGisLayerRecordSet(false, target_, layer, readOnly, false);
        EXPECT_TRUE(recordSet->Open()) << recordSet->OpenFailure();
        return recordSet;
    }

    std::optional<std::string> server_;
    std::string target_;
    std::string suffix_;
    std::vector<std::string> created_;
};

TEST_P(GisLayerTest, EveryGeometryTypeMovesInPlaceWithHeightsMeasuresAndAttributesUntouched)
{
    const double dx = 296.25;
    const double dy = -0.125;
    for (const LayerSample& sample : Layers())
    {
        SCOPED_TRACE(sample.Name);
        Create(sample);
        const std::string name = Name(sample.Name);
        const LayerContents before = ReadLayer(target_, name);
        EXPECT_EQ(before.System, "22289");
        {
            auto recordSet = Open(name);
            EXPECT_EQ(recordSet->RecordCount(), static_cast<int>(sample.Wkt.size()));
            const auto declared = recordSet->DeclaredSystems();
            ASSERT_EQ(declared.size(), 1u);
            EXPECT_EQ(declared[0].Datum, std::optional<std::uint8_t>(0));
            EXPECT_EQ(declared[0].LocalOrigin, std::optional<std::int32_t>(29));
            EXPECT_EQ(recordSet->Fields().FieldByName("remark", false).AsString(), "");
            testing::MoveAll(*recordSet, dx, dy, SpoilHeights,
                             [&]
                             {
                                 EXPECT_EQ(ReadLayer(target_, name), before)
                                     << "nothing is written before the flush";
                                 recordSet->SetTargetDatum(1);
                             });
            EXPECT_TRUE(recordSet->TakeNotices().empty());
        }
        // Hartebeesthoek94 / Lo29
        EXPECT_EQ(ReadLayer(target_, name), Moved(before, dx, dy, "2053"));
    }
}

TEST_P(GisLayerTest, AKillAtAnyMomentOfTheFlushLeavesTheLayerExactlyBeforeOrAfter)
{
    LayerSample sample{"many", wkbPoint25D, {}};
    std::mt19937 random(7);
    for (int i = 0; i < 30000; ++i)
        sample.Wkt.push_back("POINT Z (" + std::to_string(2850000 + random() % 100000) + ".5 " +
                             std::to_string(80000 + random() % 50000) + ".25 " + std::to_string(i) +
                             ")");
    Create(sample);
    const std::string name = Name(sample.Name);
    LayerContents before = ReadLayer(target_, name);
    for (int delay : {0, 20, 80, 250, 800, 3000})
    {
        ASSERT_TRUE(KillDuringFlush(
            [&](const std::function<void()>& flushing)
            {
                auto recordSet = CreateGisLayerRecordSet(false, target_, name, false, false);
                recordSet->Open();
                testing::MoveAll(*recordSet, 1000.0, 0.0, SpoilHeights,
                                 [&]
                                 {
                                     recordSet->SetTargetDatum(
                                         recordSet->DeclaredSystems()[0].Datum == 0 ? 1 : 0);
                                     flushing();
                                 });
            },
            std::chrono::milliseconds(delay)))
            << "the child did not reach its flush";

        // GDAL opened for update rolls back what a killed transaction left in the file.
        OpenGdal(target_, true);
        const LayerContents now = ReadLayer(target_, name);
        const LayerContents after =
            Moved(before, 1000.0, 0.0, before.System == "22289" ? "2053" : "22289");
        ASSERT_TRUE(now == before || now == after)
            << "half-written after a kill at " << delay << " ms";
        before = now;
    }
}

TEST_P(GisLayerTest, RefusalsNameTheLayerTheFeatureAndTheReason)
{
    Create(Layers()[3]); // roads
    const std::string name = Name("roads");
    const LayerContents before = ReadLayer(target_, name);

    auto missing = CreateGisLayerRecordSet(false, target_, "nothing here", false, false);
    EXPECT_THAT(MessageOf([&] { missing->Open(); }),
                HasSubstr("has no layer \"nothing here\"; its layers with geometry are"));

    auto recordSet = Open(name);
    recordSet->First();
    std::unique_ptr<GShape> shape = recordSet->GetShape();
    ASSERT_TRUE(shape);
    auto& line = dynamic_cast<GLine&>(*shape);
    line.Parts.Delete(1);
    recordSet->Edit();
    recordSet->SetShape(*shape);
    EXPECT_THAT(MessageOf([&] { recordSet->Post(); }),
                HasSubstr("layer \"" + name +
                          "\", feature 1: the shape posted has other parts or "
                          "points than the feature's geometry"));
    EXPECT_THAT(MessageOf([&] { recordSet->Fields().FieldByName("NAME", false).SetAsString("x"); }),
                HasSubstr("cannot be changed here"));
    recordSet.reset();
    EXPECT_EQ(ReadLayer(target_, name), before);

    // A layer whose system is no Lo keeps it, and says so.
    Create({"wgs", wkbPoint, {"POINT (28 -26)"}}, 4326);
    auto other = Open(Name("wgs"));
    testing::MoveAll(*other, 0.5, 0.0, {}, [&] { other->SetTargetDatum(1); });
    const auto notices = other->TakeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_THAT(notices[0], HasSubstr("declares a coordinate system that is neither Cape nor "
                                      "Hartebeesthoek94 / Lo (WGS 84); it was left as it is"));
    EXPECT_EQ(ReadLayer(target_, Name("wgs")).System, "4326");
}

INSTANTIATE_TEST_SUITE_P(Stores, GisLayerTest,
                         ::testing::Values(Store::GeoPackage, Store::PostgreSQL), StoreName);

TEST(GisLayerFormats, DatasetsGdalCannotUpdateInATransactionAreRefusedSayingSo)
{
    testing::ScratchFolder folder;
    GDALAllRegister();
    struct Case
    {
        const char* driver;
        const char* file;
        const char* expected;
    };
    const Case cases[] = {
        {"DXF", "job.dxf", "GDAL cannot update the GIS dataset"},
        {"KML", "job.kml", "GDAL cannot update the GIS dataset"},
        {"ESRI Shapefile", "job.shp", "in place in one transaction"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.driver);
        const std::string path = (folder.Path() / c.file).string();
        {
            Dataset dataset(GetGDALDriverManager()->GetDriverByName(c.driver)->Create(
                path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
            ASSERT_TRUE(dataset);
            OGRLayer* layer = dataset->CreateLayer("job", nullptr, wkbPoint, nullptr);
            ASSERT_TRUE(layer);
            OGRFeature feature(layer->GetLayerDefn());
            feature.SetGeometryDirectly(new OGRPoint(28, -26));
            ASSERT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
        }
        const auto bytes = testing::ReadBytes(path);
        const std::string layer = std::string(c.driver) == "DXF" ? "entities" : "job";
        auto recordSet = CreateGisLayerRecordSet(false, path, layer, false, false);
        const std::string message = MessageOf([&] { recordSet->Open(); });
        EXPECT_THAT(message, ::testing::AllOf(HasSubstr(c.expected), HasSubstr(c.driver)));
        EXPECT_EQ(testing::ReadBytes(path), bytes);
    }
    // Not a dataset at all: the open fails and says why.
    auto none =
        CreateGisLayerRecordSet(false, (folder.Path() / "none.gpkg").string(), "job", false, false);
    EXPECT_FALSE(none->Open());
    EXPECT_THAT(none->OpenFailure(), HasSubstr("Unable to open the GIS dataset"));
    EXPECT_EQ(GisDatasetDisplayName("PG:host=h password='a b' user=u dbname=d"),
              "PG:host=h user=u dbname=d");
}

} // namespace
} // namespace quorvalis::test
