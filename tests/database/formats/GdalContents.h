// GDAL's view of a shapefile, vertex by vertex and bit for bit, beside this reader's: the
// shapefile tests compare the two in both directions.
#pragma once

#include "geometry/Spatial.h"

#include <gdal.h>
#include <ogr_api.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace quorvalis::testing
{

// X, Y, Z and M of a vertex as bit patterns (so that -0.0, NaN payloads and "no data" count).
using VertexBits = std::array<std::uint64_t, 4>;
// The vertices of each part; a point is one part of one vertex.
using ShapeBits = std::vector<std::vector<VertexBits>>;

inline VertexBits BitsOf(const GPoint& point)
{
    return {std::bit_cast<std::uint64_t>(point.X), std::bit_cast<std::uint64_t>(point.Y),
            std::bit_cast<std::uint64_t>(point.Z), std::bit_cast<std::uint64_t>(point.M)};
}

inline ShapeBits FromShape(const GShape& shape, bool sorted = true)
{
    ShapeBits data;
    if (const auto* line = dynamic_cast<const GLine*>(&shape))
        for (const auto& part : line->Parts)
        {
            auto& vertices = data.emplace_back();
            for (const auto& vertex : *part)
                vertices.push_back(BitsOf(*vertex));
        }
    else if (const auto* points = dynamic_cast<const GPoints*>(&shape))
        for (const auto& vertex : points->Points)
            data.push_back({BitsOf(*vertex)});
    else
        data.push_back({BitsOf(dynamic_cast<const GPoint&>(shape))});
    if (sorted)
        std::sort(data.begin(), data.end());
    return data;
}

// GDAL's view: its geometries' vertices (a missing Z or M as 0, as this reader gives them).
inline void CollectOgr(OGRGeometryH geometry, ShapeBits& data)
{
    if (OGR_G_GetGeometryCount(geometry) == 0)
    {
        auto& vertices = data.emplace_back();
        for (int i = 0; i < OGR_G_GetPointCount(geometry); ++i)
        {
            double x = 0, y = 0, z = 0, m = 0;
            OGR_G_GetPointZM(geometry, i, &x, &y, &z, &m);
            vertices.push_back(BitsOf(GPoint(x, y, z, m)));
        }
    }
    for (int i = 0; i < OGR_G_GetGeometryCount(geometry); ++i)
        CollectOgr(OGR_G_GetGeometryRef(geometry, i), data);
}

// What GDAL reads: the shapes, the record count, and the bounding box of the ".shp" header as
// minimum X, minimum Y, maximum X, maximum Y.
struct OgrContents
{
    std::vector<ShapeBits> Shapes;
    std::array<double, 4> Box{};
    GIntBig Count = 0;
};

inline OgrContents ReadWithGdal(const std::string& path, bool sorted)
{
    GDALAllRegister();
    OgrContents contents;
    GDALDatasetH dataset =
        GDALOpenEx(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
    if (!dataset)
    {
        ADD_FAILURE() << "GDAL cannot open " << path;
        return contents;
    }
    OGRLayerH layer = GDALDatasetGetLayer(dataset, 0);
    contents.Count = OGR_L_GetFeatureCount(layer, TRUE);
    // Without forcing, the shapefile driver reports the bounding box of the ".shp" header.
    OGREnvelope box;
    OGR_L_GetExtent(layer, &box, FALSE);
    contents.Box = {box.MinX, box.MinY, box.MaxX, box.MaxY};
    OGR_L_ResetReading(layer);
    while (OGRFeatureH feature = OGR_L_GetNextFeature(layer))
    {
        ShapeBits& data = contents.Shapes.emplace_back();
        if (OGRGeometryH geometry = OGR_F_GetGeometryRef(feature))
            CollectOgr(geometry, data);
        if (sorted)
            std::sort(data.begin(), data.end());
        OGR_F_Destroy(feature);
    }
    GDALClose(dataset);
    return contents;
}

inline bool HaveOgr2Ogr()
{
    return std::system("ogr2ogr --version > /dev/null 2>&1") == 0;
}

/// Writes the WKT rows as the shapefile `stem`.shp of the GDAL geometry type through ogr2ogr.
inline void WriteWithOgr2Ogr(const std::string& stem, const std::string& type,
                             const std::vector<std::string>& wkt)
{
    std::string csv = "WKT,ID\n"; // GDAL's CSV reader wants more than one column
    for (std::size_t i = 0; i < wkt.size(); ++i)
        csv += "\"" + wkt[i] + "\"," + std::to_string(i + 1) + "\n";
    FILE* out = std::fopen((stem + ".csv").c_str(), "wb");
    ASSERT_TRUE(out) << stem;
    std::fwrite(csv.data(), 1, csv.size(), out);
    std::fclose(out);
    ASSERT_EQ(std::system(("ogr2ogr -q -f \"ESRI Shapefile\" -nlt " + type + " \"" + stem +
                           ".shp\" \"" + stem + ".csv\" > /dev/null 2>&1")
                              .c_str()),
              0)
        << stem;
}

} // namespace quorvalis::testing
