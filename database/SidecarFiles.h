// Files that sit beside a data file and follow it: the ".prj" that declares its coordinate
// system, the spatial indexes of a shapefile, and what an interrupted rewrite of them all left.
// The ".prj" is read and written through GDAL's OGRSpatialReference, the ".qix" is built by GDAL.
#pragma once

#include "database/Database.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvalis
{

/// The file beside path with the extension ext (".prj", ".qix", with the dot): in the case of
/// the extension of path when that exists, otherwise in the other case when that one exists,
/// otherwise the name in the case of path's extension (which does not exist).
std::string SiblingFile(const std::string& path, const std::string& ext);

/// The existing file beside path with the extension ext (either case), or empty.
std::string ExistingSiblingFile(const std::string& path, const std::string& ext);

/// What the ".prj" at prjPath declares. Recognised when GDAL finds it equivalent to Cape / Lo NN
/// (EPSG 22260 + NN, NN odd from 15 to 33) or Hartebeesthoek94 / Lo NN (EPSG 2046 + (NN - 15) / 2),
/// written as ESRI or OGC WKT: Datum (0 Cape, 1 Hartebeesthoek94) and LocalOrigin are then set.
/// Otherwise both are empty. Description is the system's name as the file gives it (its file
/// name when GDAL cannot read it); Source is prjPath.
GDeclaredSystem ReadPrjDeclaration(const std::string& prjPath);

/// Fills Datum and LocalOrigin of declared when GDAL finds the coordinate system of the WKT (ESRI
/// or OGC) equivalent to Cape / Lo NN or Hartebeesthoek94 / Lo NN (see ReadPrjDeclaration), and
/// Description with the system's name when it has one; leaves them otherwise.
void RecogniseSystem(const std::string& wkt, GDeclaredSystem& declared);

/// The EPSG code of Cape / Lo lo (datum 0: 22260 + lo) or Hartebeesthoek94 / Lo lo (datum 1:
/// 2046 + (lo - 15) / 2), lo odd from 15 to 33.
std::int32_t LoSystemEpsg(std::uint8_t datum, std::int32_t lo);

/// The ".prj" GDAL writes for a shapefile in Cape / Lo lo (datum 0) or Hartebeesthoek94 / Lo lo
/// (datum 1): ESRI WKT on one line without a line break. Raises std::invalid_argument for a Lo
/// that is not odd from 15 to 33 or another datum.
std::string PrjTextFor(std::uint8_t datum, std::int32_t lo);

/// Plans the rewrite of the ".prj" beside a data file for a run to targetDatum: when the .prj is
/// recognised and declares the other datum, the new text (the same Lo on targetDatum); nothing
/// when there is no .prj, it is not recognised (then notice names it) or it already says
/// targetDatum.
std::optional<std::string> PrjRewrite(const std::string& prjPath, std::uint8_t targetDatum,
                                      std::string& notice);

/// The data file (when it exists) and the ".prj" beside it (when there is one): the files a
/// rewrite of a text or coordinate list file touches.
std::vector<std::string> DataFileAndPrj(const std::string& dataFile);

/// What the ".prj" beside dataFile declares, when there is one.
std::vector<GDeclaredSystem> PrjDeclarations(const std::string& dataFile);

/// Replaces dataFile by bytes crash-safely, together with the ".prj" beside it rewritten for
/// targetDatum when one is set and the .prj is recognised (see PrjRewrite; its notice is added
/// to notices).
void WriteWithDeclaration(const std::string& dataFile, std::string_view bytes,
                          std::optional<std::uint8_t> targetDatum,
                          std::vector<std::string>& notices);

/// Builds the ".qix" spatial index GDAL makes for the shapefile pair shpPath/shxPath and returns
/// its bytes; workFolder (created and removed again) holds the copies GDAL works on. Returns
/// false with GDAL's reason in error when it cannot.
bool BuildQixIndex(const std::string& shpPath, const std::string& shxPath,
                   const std::string& workFolder, std::string& bytes, std::string& error);

/// What recovering the files of a data set found.
struct GDataFileRecovery
{
    /// Messages for the user, naming the files (an interrupted run completed, its leftovers
    /// removed, or found and left for the next run that writes).
    std::vector<std::string> Notices;
    /// Set when only inspecting found files that do not belong together: the reason to refuse
    /// reading them.
    std::optional<std::string> Refusal;
    /// The marker is none that this version writes (an older version's); nothing was done.
    bool UnknownMarker = false;
};

/// The marker of an interrupted rewrite of the data set whose main file is mainFile.
std::string CommitMarkerOf(const std::string& mainFile);

/// Finishes or abandons an interrupted rewrite of a data set (see GFileSetCommit), and removes
/// what a rewrite staged for files (their "<file>.new~") without ever making it valid. With
/// inspectOnly nothing is changed: what was found is only described (and Refusal set when the
/// files on disk do not belong together). mainFile names the data set in messages.
GDataFileRecovery RecoverDataFiles(const std::string& mainFile,
                                   const std::vector<std::string>& files, bool inspectOnly);

} // namespace quorvalis
