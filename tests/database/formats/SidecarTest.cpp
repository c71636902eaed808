// The files beside the data and the links to them: .prj declarations read and rewritten as GDAL
// writes them, spatial indexes kept in step with the data, links followed and hard links
// counted, and the list of files a run touches.
#include "database/CorvellDatabase.h"
#include "database/ShapefileDatabase.h"
#include "database/SidecarFiles.h"
#include "database/TextfileDatabase.h"
#include "geometry/Files.h"
#include "tests/database/formats/FormatTestSupport.h"

#include <cpl_conv.h>
#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>

using namespace quorvalis;
using namespace quorvalis::testing;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace
{

namespace fs = std::filesystem;

// The .prj GDAL itself writes for a new shapefile in the EPSG system code: the oracle.
std::string GdalShapefilePrj(const ScratchFolder& folder, int code)
{
    GDALAllRegister();
    const std::string path = folder / ("oracle" + std::to_string(code) + ".shp");
    GDALDriverH driver = GDALGetDriverByName("ESRI Shapefile");
    GDALDatasetH dataset = GDALCreate(driver, path.c_str(), 0, 0, 0, GDT_Unknown, nullptr);
    OGRSpatialReferenceH system = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(system, code);
    GDALDatasetCreateLayer(dataset, "oracle", system, wkbPoint, nullptr);
    GDALClose(dataset);
    OSRDestroySpatialReference(system);
    return ReadText(fs::path(path).replace_extension(".prj").string());
}

std::string OgcWkt(int code)
{
    OGRSpatialReferenceH system = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(system, code);
    char* wkt = nullptr;
    OSRExportToWkt(system, &wkt);
    std::string text(wkt);
    CPLFree(wkt);
    OSRDestroySpatialReference(system);
    return text;
}

// For each window (min x, min y, max x, max y) the ids of the features of shp that GDAL finds
// in it. A window smaller than the layer's extent makes GDAL consult a .qix beside the file.
std::vector<std::vector<long long>>
FeaturesInWindows(const std::string& shp, const std::vector<std::array<double, 4>>& windows)
{
    std::vector<std::vector<long long>> found;
    GDALDatasetH dataset = GDALOpenEx(shp.c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
    EXPECT_NE(dataset, nullptr);
    OGRLayerH layer = GDALDatasetGetLayer(dataset, 0);
    for (const auto& [minX, minY, maxX, maxY] : windows)
    {
        OGR_L_SetSpatialFilterRect(layer, minX, minY, maxX, maxY);
        OGR_L_ResetReading(layer);
        auto& ids = found.emplace_back();
        while (OGRFeatureH feature = OGR_L_GetNextFeature(layer))
        {
            ids.push_back(OGR_F_GetFID(feature));
            OGR_F_Destroy(feature);
        }
    }
    GDALClose(dataset);
    return found;
}

void CreateQix(const std::string& shp)
{
    GDALAllRegister();
    GDALDatasetH dataset =
        GDALOpenEx(shp.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, nullptr, nullptr, nullptr);
    ASSERT_NE(dataset, nullptr);
    const std::string sql = "CREATE SPATIAL INDEX ON " + fs::path(shp).stem().string();
    GDALDatasetExecuteSQL(dataset, sql.c_str(), nullptr, nullptr);
    GDALClose(dataset);
}

std::unique_ptr<GRecordSet> OpenText(const std::string& txt, const std::string& def)
{
    WriteBytes(def, DefinitionBytes(1, ',', false,
                                    {{"NAME"}, {"Y", 2, 0, 0, "0.000"}, {"X", 2, 0, 0, "0.000"}}));
    auto recordSet = CreateTextFileRecordSet(false, txt, def, "X", "Y", "", false, false);
    EXPECT_TRUE(recordSet->Open());
    return recordSet;
}

} // namespace

TEST(Sidecar, PrjDeclarationsAreRecognisedInEitherWktDialect)
{
    ScratchFolder folder;
    struct Row
    {
        const char* what;
        std::string text;
        std::optional<std::uint8_t> datum;
        std::optional<std::int32_t> lo;
        const char* description;
    };
    const Row rows[] = {
        {"ESRI Cape Lo29", GdalShapefilePrj(folder, 22289), 0, 29, "Cape_Lo29"},
        {"OGC Cape Lo29", OgcWkt(22289), 0, 29, "Cape / Lo29"},
        {"ESRI Hartebeesthoek94 Lo31", GdalShapefilePrj(folder, 2054), 1, 31,
         "Hartebeesthoek94_Lo31"},
        {"OGC Hartebeesthoek94 Lo15", OgcWkt(2046), 1, 15, "Hartebeesthoek94 / Lo15"},
        {"another system", OgcWkt(32735), std::nullopt, std::nullopt, "WGS 84 / UTM zone 35S"},
        {"no WKT at all", "not a projection", std::nullopt, std::nullopt, "x.prj"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        WriteText(folder / "x.prj", row.text);
        const GDeclaredSystem declared = ReadPrjDeclaration(folder / "x.prj");
        EXPECT_EQ(
            std::tuple(declared.Datum, declared.LocalOrigin, declared.Description, declared.Source),
            std::tuple(row.datum, row.lo, row.description, folder / "x.prj"));
    }
    EXPECT_EQ(PrjTextFor(1, 29), GdalShapefilePrj(folder, 2053));
}

TEST(Sidecar, ARunMakesARecognisedPrjDeclareTheTargetDatumWithTheData)
{
    ScratchFolder folder;
    const std::string capePrj = GdalShapefilePrj(folder, 22289);
    const std::string hartPrj = GdalShapefilePrj(folder, 2053);

    // A shapefile: the .prj joins the commit; DataFiles names every file there is.
    ASSERT_TRUE(CopySamples(folder, {"job-points.shp", "job-points.shx", "job-points.dbf"}));
    WriteText(folder / "job-points.prj", capePrj);
    auto shapefile = CreateShapefileRecordSet(false, folder / "job-points.shp", false, false);
    ASSERT_TRUE(shapefile->Open());
    EXPECT_THAT(shapefile->DataFiles(),
                ElementsAre(folder / "job-points.shp", folder / "job-points.shx",
                            folder / "job-points.dbf", folder / "job-points.prj"));
    ASSERT_EQ(shapefile->DeclaredSystems().size(), 1u);
    EXPECT_EQ(shapefile->DeclaredSystems()[0].LocalOrigin, 29);
    shapefile->SetTargetDatum(1);
    MoveAll(*shapefile, 300.0, 40.0);
    EXPECT_EQ(ReadText(folder / "job-points.prj"), hartPrj);

    // A text file and a coordinate list: their sidecar .prj the same way; a failed write
    // changes neither the data nor the .prj.
    const std::string txt = folder / "job.txt";
    WriteText(txt, "P1,79016.354,2846046.101\n");
    WriteText(folder / "job.prj", capePrj);
    auto text = OpenText(txt, folder / "job.def");
    EXPECT_THAT(text->DataFiles(), ElementsAre(txt, folder / "job.prj"));
    text->SetTargetDatum(1);
    GAtomicFile::InjectFailureAfter(10);
    EXPECT_THROW(MoveAll(*text, 300.0, 40.0), GFileException);
    GAtomicFile::InjectFailureAfter(std::nullopt);
    EXPECT_EQ(ReadText(txt), "P1,79016.354,2846046.101\n");
    EXPECT_EQ(ReadText(folder / "job.prj"), capePrj);
    text->SetTargetDatum(1);
    text->Flush();
    EXPECT_EQ(ReadText(txt), "P1,79056.354,2846346.101\n");
    EXPECT_EQ(ReadText(folder / "job.prj"), hartPrj);

    ASSERT_TRUE(CopySamples(folder, {"job-points.crd"}));
    WriteText(folder / "job-points.prj", OgcWkt(32735)); // not a Lo system: left alone
    auto crd = CreateCorvellRecordSet(false, folder / "job-points.crd", false, false);
    ASSERT_TRUE(crd->Open());
    ASSERT_EQ(crd->DeclaredSystems().size(), 2u);
    EXPECT_EQ(crd->DeclaredSystems()[0].LocalOrigin, 29); // the header's Lo
    crd->SetTargetDatum(1);
    MoveAll(*crd, 300.0, 40.0);
    EXPECT_EQ(ReadText(folder / "job-points.prj"), OgcWkt(32735));
    EXPECT_THAT(crd->TakeNotices(), ElementsAre(HasSubstr("neither Cape nor Hartebeesthoek94")));
    EXPECT_THAT(folder.Files(), ::testing::Not(::testing::Contains(HasSubstr("~"))));
}

TEST(Sidecar, SpatialIndexesFollowTheMovedPoints)
{
    ScratchFolder folder;
    for (const char* ext : {".shp", ".shx", ".dbf"})
        fs::copy_file(fs::path(QUORVALIS_SOURCE_DIR) / "samples" /
                          ("job-points" + std::string(ext)),
                      folder / ("pts" + std::string(ext)));
    const std::string shp = folder / "pts.shp";
    CreateQix(shp);
    ASSERT_TRUE(fs::exists(folder / "pts.qix"));
    WriteText(folder / "pts.sbn", "an index of the old positions");
    WriteText(folder / "pts.sbx", "and its index");

    auto recordSet = CreateShapefileRecordSet(false, shp, false, false);
    ASSERT_TRUE(recordSet->Open());
    std::vector<std::array<double, 4>> around;
    std::vector<std::vector<long long>> expected;
    for (recordSet->First(); !recordSet->Eof(); recordSet->Next())
    {
        const auto shape = recordSet->GetShape();
        const auto& p = dynamic_cast<const GPoint&>(*shape);
        around.push_back({p.X + 4999.5, p.Y + 4999.5, p.X + 5000.5, p.Y + 5000.5});
        around.push_back({p.X - 0.5, p.Y - 0.5, p.X + 0.5, p.Y + 0.5});
        expected.push_back({recordSet->RecordIndex()});
        expected.emplace_back();
    }
    MoveAll(*recordSet, 5000.0, 5000.0);
    EXPECT_THAT(recordSet->TakeNotices(),
                ElementsAre(HasSubstr("pts.qix\": the spatial index was rebuilt"),
                            HasSubstr("pts.sbx\": the spatial index was removed")));
    EXPECT_EQ(folder.Files(),
              (std::vector<std::string>{"pts.dbf", "pts.qix", "pts.shp", "pts.shx"}));
    // A window query around each moved point finds exactly that point; around its old place,
    // nothing.
    EXPECT_EQ(FeaturesInWindows(shp, around), expected);
}

TEST(Sidecar, LinksAreFollowedAndStayLinks)
{
    ScratchFolder folder;
    fs::create_directories(folder.Path() / "real");
    fs::create_directories(folder.Path() / "job");
    const auto real = [&](const std::string& name)
    { return (folder.Path() / "real" / name).string(); };
    const auto job = [&](const std::string& name)
    { return (folder.Path() / "job" / name).string(); };
    for (const char* ext : {".shp", ".shx", ".dbf"})
    {
        fs::copy_file(fs::path(QUORVALIS_SOURCE_DIR) / "samples" /
                          ("job-points" + std::string(ext)),
                      real(std::string("p") + ext));
        fs::create_symlink(fs::path("..") / "real" / (std::string("p") + ext),
                           job(std::string("p") + ext));
    }
    WriteText(real("t.txt"), "P1,79016.354,2846046.101\n");
    fs::create_symlink(real("t.txt"), job("t.txt"));
    fs::copy_file(fs::path(QUORVALIS_SOURCE_DIR) / "samples" / "job-points.crd", real("c.crd"));
    fs::create_symlink(real("c.crd"), job("c.crd"));
    const auto crdBefore = ReadBytes(real("c.crd"));

    auto shapefile = CreateShapefileRecordSet(false, job("p.shp"), false, false);
    ASSERT_TRUE(shapefile->Open());
    MoveAll(*shapefile, 1.0, 1.0);
    MoveAll(*OpenText(job("t.txt"), job("t.def")), 1.0, 1.0);
    auto crd = CreateCorvellRecordSet(false, job("c.crd"), false, false);
    ASSERT_TRUE(crd->Open());
    MoveAll(*crd, 1.0, 1.0);

    for (const char* name : {"p.shp", "p.shx", "p.dbf", "t.txt", "c.crd"})
        EXPECT_TRUE(fs::is_symlink(job(name))) << name;
    EXPECT_EQ(ReadText(real("t.txt")), "P1,79017.354,2846047.101\n");
    EXPECT_NE(ReadBytes(real("c.crd")), crdBefore);
    GShapefile moved;
    moved.SetLoadShapesOnOpen(true);
    ASSERT_TRUE(moved.Open(real("p.shp")));
    EXPECT_EQ(dynamic_cast<const GPoint&>(*moved.GetShape(0)).X, 2846047.101);
    EXPECT_EQ(FilesIn(folder.Path() / "real"),
              (std::vector<std::string>{"c.crd", "p.dbf", "p.shp", "p.shx", "t.txt"}));
    EXPECT_EQ(FilesIn(folder.Path() / "job"), // the links, and the definition written here
              (std::vector<std::string>{"c.crd", "p.dbf", "p.shp", "p.shx", "t.def", "t.txt"}));

    // A second name of the same file is what a replacement would split.
    fs::create_hard_link(real("t.txt"), folder / "other-name.txt");
    EXPECT_EQ(HardLinkCount(job("t.txt")), 2u);
    EXPECT_EQ(HardLinkCount(real("c.crd")), 1u);
    EXPECT_EQ(HardLinkCount(folder / "missing"), 0u);
}
