// Sample GIS data written by GDAL's ogr2ogr, as field and office software write it, for the tests
// of every front end.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quorvalis::test
{

/// Whether ogr2ogr can be run.
inline bool HaveOgr2Ogr()
{
    return std::system("ogr2ogr --version > /dev/null 2>&1") == 0;
}

/// Writes folder/file in the GDAL format (e.g. "ESRI Shapefile", "GPKG") with geometries of the
/// GDAL type (e.g. "POINTZ") from WKT rows, one feature a row with a NAME "P1", "P2"..., in
/// Cape / Lo 29; layer names the layer (empty: GDAL's default). Returns the path.
inline std::string WriteWithOgr(const std::filesystem::path& folder, const std::string& file,
                                const std::string& format, const std::string& type,
                                const std::vector<std::string>& wkt, const std::string& layer = {})
{
    const std::filesystem::path csv =
        folder / (std::filesystem::path(file).stem().string() + ".csv");
    std::ofstream out(csv);
    out << "WKT,NAME\n";
    for (std::size_t i = 0; i < wkt.size(); ++i)
        out << '"' << wkt[i] << "\",P" << i + 1 << '\n';
    out.close();
    const std::string path = (folder / file).string();
    const std::string command = "ogr2ogr -q -f \"" + format + "\" -nlt " + type +
                                " -a_srs EPSG:22289 " +
                                (layer.empty() ? "" : "-nln " + layer + " ") + "\"" + path +
                                "\" \"" + csv.string() + "\" > /dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
}

} // namespace quorvalis::test
