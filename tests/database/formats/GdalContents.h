// GDAL's view of a layer, vertex by vertex and bit for bit, beside this program's: the shapefile
// and GIS layer tests compare the two.
#pragma once

#include "geometry/Spatial.h"

#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <tuple>
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

// What GDAL reads of a layer: per feature, in id order, its shape and its id and attributes as
// text; the feature count; the bounding box as minimum X, minimum Y, maximum X, maximum Y (of a
// shapefile, that of the ".shp" header); the name and EPSG code of the layer's system; and whether
// every geometry is valid.
struct OgrContents
{
    std::vector<ShapeBits> Shapes;
    std::vector<std::string> Attributes;
    std::array<double, 4> Box{};
    GIntBig Count = 0;
    std::string System, Code;
    bool Valid = true;
};

/// The first layer of path, or the one named; sorted puts each shape's parts in order.
inline OgrContents ReadWithGdal(const std::string& path, bool sorted,
                                const std::string& layerName = {})
{
    GDALAllRegister();
    OgrContents contents;
    GDALDatasetH dataset =
        GDALOpenEx(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
    OGRLayerH layer = !dataset            ? nullptr
                      : layerName.empty() ? GDALDatasetGetLayer(dataset, 0)
                                          : GDALDatasetGetLayerByName(dataset, layerName.c_str());
    if (!layer)
    {
        ADD_FAILURE() << "GDAL cannot read " << path << " " << layerName;
        if (dataset)
            GDALClose(dataset);
        return contents;
    }
    contents.Count = OGR_L_GetFeatureCount(layer, TRUE);
    // Without forcing, the shapefile driver reports the bounding box of the ".shp" header.
    OGREnvelope box;
    OGR_L_GetExtent(layer, &box, FALSE);
    contents.Box = {box.MinX, box.MinY, box.MaxX, box.MaxY};
    if (OGRSpatialReferenceH system = OGR_L_GetSpatialRef(layer))
    {
        contents.System = OSRGetName(system);
        const char* code = OSRGetAuthorityCode(system, nullptr);
        contents.Code = code ? code : "";
    }
    std::vector<std::tuple<GIntBig, std::string, ShapeBits>> features;
    OGR_L_ResetReading(layer);
    while (OGRFeatureH feature = OGR_L_GetNextFeature(layer))
    {
        std::string attributes;
        for (int i = 0; i < OGR_F_GetFieldCount(feature); ++i)
            attributes += std::string("|") + (OGR_F_IsFieldSetAndNotNull(feature, i)
                                                  ? OGR_F_GetFieldAsString(feature, i)
                                                  : "(null)");
        ShapeBits data;
        if (OGRGeometryH geometry = OGR_F_GetGeometryRef(feature))
        {
            CollectOgr(geometry, data);
            contents.Valid = contents.Valid && OGR_G_IsValid(geometry);
        }
        if (sorted)
            std::sort(data.begin(), data.end());
        features.emplace_back(OGR_F_GetFID(feature), attributes, std::move(data));
        OGR_F_Destroy(feature);
    }
    GDALClose(dataset);
    // By feature id: a server returns rows in no particular order, least of all after updates.
    std::sort(features.begin(), features.end(),
              [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
    for (auto& [id, attributes, shape] : features)
    {
        contents.Attributes.push_back(std::to_string(id) + attributes);
        contents.Shapes.push_back(std::move(shape));
    }
    return contents;
}

/// The shapes with every X moved by dx and every Y by dy (sorted: each shape's parts in order).
inline std::vector<ShapeBits> MovedBy(std::vector<ShapeBits> shapes, double dx, double dy,
                                      bool sorted)
{
    for (ShapeBits& shape : shapes)
    {
        for (auto& part : shape)
            for (VertexBits& vertex : part)
            {
                vertex[0] = std::bit_cast<std::uint64_t>(std::bit_cast<double>(vertex[0]) + dx);
                vertex[1] = std::bit_cast<std::uint64_t>(std::bit_cast<double>(vertex[1]) + dy);
            }
        if (sorted)
            std::sort(shape.begin(), shape.end());
    }
    return shapes;
}

} // namespace quorvalis::testing
