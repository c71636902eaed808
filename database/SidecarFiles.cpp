#include "database/SidecarFiles.h"

#include "database/FileFormat.h"
#include "database/engine/Text.h"
#include "geometry/Files.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>

namespace quorvalis
{

namespace
{

constexpr std::int32_t kLowestLo = 15;
constexpr std::int32_t kHighestLo = 33;
// A .prj is one line of WKT; anything much longer is not one.
constexpr std::size_t kLargestPrj = 1 << 16;

bool IsUpperCaseExtension(const std::filesystem::path& path)
{
    const std::string ext = path.extension().string();
    if (ext.size() < 2)
        return false;
    return std::none_of(ext.begin() + 1, ext.end(), [](char c) { return c >= 'a' && c <= 'z'; }) &&
           std::any_of(ext.begin() + 1, ext.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

bool IsLo(double value)
{
    return value >= kLowestLo && value <= kHighestLo && value == std::floor(value) &&
           static_cast<std::int32_t>(value) % 2 == 1;
}

// Keeps GDAL's messages off the console while alive; the last one can be read.
class QuietGdal
{
public:
    QuietGdal()
    {
        CPLPushErrorHandler(CPLQuietErrorHandler);
        CPLErrorReset();
    }
    ~QuietGdal() { CPLPopErrorHandler(); }
    QuietGdal(const QuietGdal&) = delete;
    QuietGdal& operator=(const QuietGdal&) = delete;
    static std::string LastError(const char* fallback)
    {
        const char* message = CPLGetLastErrorMsg();
        return message != nullptr && *message != '\0' ? message : fallback;
    }
};

std::string JoinNames(const std::vector<std::string>& files)
{
    std::string text;
    for (std::size_t i = 0; i < files.size(); ++i)
    {
        if (i > 0)
            text += i + 1 == files.size() ? " and " : ", ";
        text += "\"" + files[i] + "\"";
    }
    return text;
}

} // namespace

std::int32_t LoSystemEpsg(std::uint8_t datum, std::int32_t lo)
{
    return datum == 0 ? 22260 + lo : 2046 + (lo - kLowestLo) / 2;
}

std::string SiblingFile(const std::string& path, const std::string& ext)
{
    const std::filesystem::path base(path);
    const bool upper = IsUpperCaseExtension(base);
    std::filesystem::path preferred = base;
    preferred.replace_extension(upper ? engine::UpperCase(ext) : ext);
    std::error_code error;
    if (std::filesystem::exists(preferred, error))
        return preferred.string();
    std::filesystem::path other = base;
    other.replace_extension(upper ? ext : engine::UpperCase(ext));
    if (std::filesystem::exists(other, error))
        return other.string();
    return preferred.string();
}

std::string ExistingSiblingFile(const std::string& path, const std::string& ext)
{
    const std::string sibling = SiblingFile(path, ext);
    std::error_code error;
    return std::filesystem::is_regular_file(sibling, error) ? sibling : std::string();
}

GDeclaredSystem ReadPrjDeclaration(const std::string& prjPath)
{
    GDeclaredSystem declared;
    declared.Source = prjPath;
    declared.Description = std::filesystem::path(prjPath).filename().string();
    const std::optional<std::vector<std::uint8_t>> bytes = ReadFileBytes(prjPath);
    if (!bytes || bytes->size() > kLargestPrj)
        return declared;
    RecogniseSystem(std::string(bytes->begin(), bytes->end()), declared);
    return declared;
}

void RecogniseSystem(const std::string& wkt, GDeclaredSystem& declared)
{
    const QuietGdal quiet;
    OGRSpatialReference system;
    const char* text = wkt.c_str();
    if (system.importFromWkt(&text) != OGRERR_NONE)
        return;
    if (const char* name = system.GetName(); name != nullptr && *name != '\0')
        declared.Description = name;
    if (!system.IsProjected())
        return;
    const double lo = system.GetNormProjParm(SRS_PP_CENTRAL_MERIDIAN, -1.0);
    if (!IsLo(lo))
        return;
    const char* const sameness[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES",
                                    "CRITERION=EQUIVALENT", nullptr};
    for (const std::uint8_t datum : {std::uint8_t{0}, std::uint8_t{1}})
    {
        OGRSpatialReference candidate;
        if (candidate.importFromEPSG(LoSystemEpsg(datum, static_cast<std::int32_t>(lo))) !=
            OGRERR_NONE)
            continue;
        if (system.IsSame(&candidate, sameness))
        {
            declared.Datum = datum;
            declared.LocalOrigin = static_cast<std::int32_t>(lo);
            return;
        }
    }
}

std::string PrjTextFor(std::uint8_t datum, std::int32_t lo)
{
    if (datum > 1 || !IsLo(lo))
        throw std::invalid_argument("No Cape or Hartebeesthoek94 Lo system for datum " +
                                    std::to_string(datum) + " and Lo " + std::to_string(lo));
    const QuietGdal quiet;
    OGRSpatialReference system;
    if (system.importFromEPSG(LoSystemEpsg(datum, lo)) != OGRERR_NONE)
        throw std::runtime_error(
            "GDAL does not know EPSG:" + std::to_string(LoSystemEpsg(datum, lo)) + ": " +
            QuietGdal::LastError("no reason given"));
    // As GDAL's shapefile driver writes a .prj.
    char* wkt = nullptr;
    const char* const options[] = {"FORMAT=WKT1_ESRI", nullptr};
    if (system.exportToWkt(&wkt, options) != OGRERR_NONE || wkt == nullptr)
    {
        CPLFree(wkt);
        throw std::runtime_error(
            "GDAL cannot write EPSG:" + std::to_string(LoSystemEpsg(datum, lo)) + " as ESRI WKT");
    }
    std::string text(wkt);
    CPLFree(wkt);
    return text;
}

std::optional<std::string> PrjRewrite(const std::string& prjPath, std::uint8_t targetDatum,
                                      std::string& notice)
{
    notice.clear();
    if (prjPath.empty())
        return std::nullopt;
    const GDeclaredSystem declared = ReadPrjDeclaration(prjPath);
    if (!declared.Datum || !declared.LocalOrigin)
    {
        notice = "\"" + prjPath + "\" declares a coordinate system that is neither Cape nor " +
                 "Hartebeesthoek94 / Lo (" + declared.Description + "); it was left as it is";
        return std::nullopt;
    }
    if (*declared.Datum == targetDatum)
        return std::nullopt;
    return PrjTextFor(targetDatum, *declared.LocalOrigin);
}

std::vector<std::string> DataFileAndPrj(const std::string& dataFile)
{
    std::vector<std::string> files;
    std::error_code error;
    if (std::filesystem::is_regular_file(dataFile, error))
        files.push_back(dataFile);
    if (std::string prj = ExistingSiblingFile(dataFile, ".prj"); !prj.empty())
        files.push_back(std::move(prj));
    return files;
}

std::vector<GDeclaredSystem> PrjDeclarations(const std::string& dataFile)
{
    if (const std::string prj = ExistingSiblingFile(dataFile, ".prj"); !prj.empty())
        return {ReadPrjDeclaration(prj)};
    return {};
}

void WriteWithDeclaration(const std::string& dataFile, std::string_view bytes,
                          std::optional<std::uint8_t> targetDatum,
                          std::vector<std::string>& notices)
{
    const std::string prj = ExistingSiblingFile(dataFile, ".prj");
    std::optional<std::string> prjText;
    std::string notice;
    if (targetDatum)
        prjText = PrjRewrite(prj, *targetDatum, notice);
    GFileSetCommit commit(CommitMarkerOf(dataFile));
    commit.Replace(dataFile).Write(bytes);
    if (prjText)
        commit.Replace(prj).Write(*prjText);
    commit.Commit();
    if (!notice.empty())
        notices.push_back(notice);
}

bool BuildQixIndex(const std::string& shpPath, const std::string& shxPath,
                   const std::string& workFolder, std::string& bytes, std::string& error)
{
    namespace fs = std::filesystem;
    struct FolderGuard
    {
        fs::path Path;
        ~FolderGuard()
        {
            std::error_code ignored;
            fs::remove_all(Path, ignored);
        }
    } guard{workFolder};
    try
    {
        fs::remove_all(guard.Path);
        fs::create_directory(guard.Path);
        const std::string shp = (guard.Path / "work.shp").string();
        LinkOrCopyFile(shpPath, shp);
        LinkOrCopyFile(shxPath, (guard.Path / "work.shx").string());

        const QuietGdal quiet;
        if (GDALGetDriverByName("ESRI Shapefile") == nullptr)
            GDALAllRegister();
        const char* const drivers[] = {"ESRI Shapefile", nullptr};
        GDALDataset* dataset =
            GDALDataset::Open(shp.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, drivers);
        if (dataset == nullptr)
        {
            error = QuietGdal::LastError("GDAL cannot open the shapefile");
            return false;
        }
        CPLErrorReset();
        OGRLayer* result = dataset->ExecuteSQL("CREATE SPATIAL INDEX ON work", nullptr, nullptr);
        if (result != nullptr)
            dataset->ReleaseResultSet(result);
        const bool failed = CPLGetLastErrorType() >= CE_Failure;
        GDALClose(dataset);
        const std::optional<std::vector<std::uint8_t>> index =
            ReadFileBytes((guard.Path / "work.qix").string());
        if (failed || !index)
        {
            error = QuietGdal::LastError("GDAL made no index");
            return false;
        }
        bytes.assign(index->begin(), index->end());
        return true;
    }
    catch (const std::exception& e)
    {
        error = e.what();
        return false;
    }
}

std::string CommitMarkerOf(const std::string& mainFile)
{
    return ResolveSymbolicLinks(mainFile) + ".commit~";
}

GDataFileRecovery RecoverDataFiles(const std::string& mainFile,
                                   const std::vector<std::string>& files, bool inspectOnly)
{
    GDataFileRecovery outcome;
    const GFileSetRecovery found = RecoverFileSet(CommitMarkerOf(mainFile), inspectOnly);
    switch (found.Result)
    {
    case GFileSetRecovery::NoMarker:
        // Staged files without a marker were never valid: a rewrite stopped before its commit.
        if (!inspectOnly)
            for (const std::string& file : files)
            {
                const std::string staged = StagingPathOf(file);
                std::error_code ignored;
                std::filesystem::remove(staged + ".tmp~", ignored);
                std::filesystem::remove(staged, ignored);
            }
        break;
    case GFileSetRecovery::UnknownMarker:
        outcome.UnknownMarker = true;
        break;
    case GFileSetRecovery::Finished:
        outcome.Notices.push_back(mainFile + ": a run that was interrupted while replacing " +
                                  JoinNames(found.Files) + " was completed; they hold its result");
        break;
    case GFileSetRecovery::Abandoned:
        outcome.Notices.push_back(
            mainFile + ": a run interrupted earlier had left " + JoinNames(found.Removed) +
            ", but " + JoinNames(found.Files) +
            " have changed since; the leftovers were removed and the files left as they are");
        break;
    case GFileSetRecovery::Pending:
        outcome.Notices.push_back(mainFile + ": a run was interrupted while replacing " +
                                  JoinNames(found.Files) +
                                  "; they are read as they are, and the next run that writes "
                                  "completes the interrupted one first");
        break;
    case GFileSetRecovery::Stale:
        outcome.Notices.push_back(mainFile + ": a run interrupted earlier left files beside " +
                                  JoinNames(found.Files) +
                                  ", which have changed since; they are read as they are, and "
                                  "the next run that writes removes the leftovers");
        break;
    case GFileSetRecovery::Torn:
        outcome.Refusal = mainFile + ": a run was interrupted half way through replacing " +
                          JoinNames(found.Files) +
                          "; they do not belong together and are not read. A run that writes "
                          "completes the interrupted one first";
        break;
    }
    return outcome;
}

} // namespace quorvalis
