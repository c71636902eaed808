#include "tools/SampleJobs.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <stdexcept>
#include <variant>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include "tools/OutputFiles.h"

namespace quorvalis::tools
{

namespace
{

// Fixed .dbf header date, so that regenerating gives identical files.
constexpr const char* kDbfDate = "DBF_DATE_LAST_UPDATE=2025-01-01";

using Attribute = std::variant<std::string, int, double>;

struct AttributeField
{
    const char* name;
    OGRFieldType type;
    int width;
    int precision;
};

struct Feature
{
    std::unique_ptr<OGRGeometry> geometry;
    std::vector<Attribute> values;
};

struct DatasetCloser
{
    void operator()(GDALDataset* dataset) const { GDALClose(dataset); }
};

struct FeatureDeleter
{
    void operator()(OGRFeature* feature) const { OGRFeature::DestroyFeature(feature); }
};

void AppendInt32(std::string& bytes, std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8)
        bytes += static_cast<char>((bits >> shift) & 0xFF);
}

void AppendDouble(std::string& bytes, double value)
{
    const auto bits = std::bit_cast<std::uint64_t>(value);
    for (int shift = 0; shift < 64; shift += 8)
        bytes += static_cast<char>((bits >> shift) & 0xFF);
}

// A name or format block: the characters and a zero byte, led by its length.
void AppendBlock(std::string& bytes, const std::string& text)
{
    AppendInt32(bytes, static_cast<std::int32_t>(text.size() + 1));
    bytes += text;
    bytes += '\0';
}

// Coordinate list text field: cut to the width, or the text, a zero byte and spaces.
std::string CrdText(const std::string& text, std::size_t width)
{
    if (text.size() >= width)
        return text.substr(0, width);
    return text + '\0' + std::string(width - text.size() - 1, ' ');
}

std::string CrdNumber(double value)
{
    const std::string text = FormatFixed(value, 13);
    return text.size() >= 23 ? text.substr(0, 23) : PadLeft(text, 23);
}

int VertexCount(const OGRGeometry& geometry)
{
    switch (wkbFlatten(geometry.getGeometryType()))
    {
    case wkbPoint:
        return 1;
    case wkbLineString:
        return geometry.toLineString()->getNumPoints();
    case wkbPolygon:
    {
        int count = 0;
        for (const OGRLinearRing* ring : *geometry.toPolygon())
            count += ring->getNumPoints();
        return count;
    }
    default:
    {
        int count = 0;
        for (const OGRGeometry* part : *geometry.toGeometryCollection())
            count += VertexCount(*part);
        return count;
    }
    }
}

JobSummary WriteShapefile(const std::filesystem::path& directory, const std::string& base,
                          const char* shapeType, const std::vector<AttributeField>& fields,
                          const std::vector<Feature>& features)
{
    // Written in a scratch folder and moved in, so a failure leaves the old files in place.
    const std::filesystem::path scratch = directory / (".tmp-" + base);
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch);

    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
    if (driver == nullptr)
        throw std::runtime_error("GDAL has no ESRI Shapefile driver");
    const std::string path = (scratch / (base + ".shp")).string();
    JobSummary summary{base + ".shp", 0, 0};
    {
        std::unique_ptr<GDALDataset, DatasetCloser> dataset(
            driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
        if (!dataset)
            throw std::runtime_error("Unable to create " + path);
        CPLStringList options;
        options.AddNameValue("SHPT", shapeType);
        options.AddString(kDbfDate);
        OGRLayer* layer = dataset->CreateLayer(base.c_str(), nullptr, wkbUnknown, options.List());
        if (layer == nullptr)
            throw std::runtime_error("Unable to create the layer of " + path);
        for (const AttributeField& field : fields)
        {
            OGRFieldDefn definition(field.name, field.type);
            definition.SetWidth(field.width);
            definition.SetPrecision(field.precision);
            if (layer->CreateField(&definition) != OGRERR_NONE)
                throw std::runtime_error(std::string("Unable to create field ") + field.name);
        }
        for (const Feature& source : features)
        {
            std::unique_ptr<OGRFeature, FeatureDeleter> feature(
                OGRFeature::CreateFeature(layer->GetLayerDefn()));
            for (std::size_t k = 0; k < source.values.size(); ++k)
            {
                const int index = static_cast<int>(k);
                std::visit(
                    [&](const auto& value)
                    {
                        if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::string>)
                            feature->SetField(index, value.c_str());
                        else
                            feature->SetField(index, value);
                    },
                    source.values[k]);
            }
            feature->SetGeometry(source.geometry.get());
            if (layer->CreateFeature(feature.get()) != OGRERR_NONE)
                throw std::runtime_error("Unable to write a feature to " + path);
            ++summary.records;
            summary.vertices += VertexCount(*source.geometry);
        }
    }
    for (const char* extension : {".shp", ".shx", ".dbf"})
        std::filesystem::rename(scratch / (base + extension), directory / (base + extension));
    std::filesystem::remove_all(scratch);
    return summary;
}

struct JobPoint
{
    std::string label;
    int id = 0;
    int code = 0; ///< 1 bench mark, 2 boundary peg
    double height = 0.0;
    LoPoint cape;
};

// Thirty survey points within about 4 km of a spot in the middle of the Lo 29 beacons.
std::vector<JobPoint> MakeJobPoints(ReferenceGeodesy& geodesy, const SampleArea& area)
{
    SampleRandom random(area.seed ^ 0x501A7ULL);
    const Geographic centre{area.centre.lon - 0.01, area.centre.lat + 0.01};
    std::vector<JobPoint> points;
    for (int i = 0; i < 30; ++i)
    {
        JobPoint p;
        p.id = i + 1;
        p.code = i < 6 ? 1 : 2;
        p.label = i < 6 ? "BM " + std::to_string(11 + i) : "PEG " + std::to_string(2001 + i);
        p.height = std::round(100.0 * random.uniform(1340.0, 1450.0)) / 100.0;
        const LoPoint lo = geodesy.toLo(
            Datum::Cape, area.lo,
            {centre.lon + random.uniform(-0.04, 0.04), centre.lat + random.uniform(-0.04, 0.04)});
        p.cape = {RoundMillimetre(lo.x), RoundMillimetre(lo.y)};
        points.push_back(p);
    }
    return points;
}

std::vector<Feature> PointFeatures(const std::vector<JobPoint>& points)
{
    std::vector<Feature> features;
    for (const JobPoint& p : points)
        features.push_back(
            {std::make_unique<OGRPoint>(p.cape.x, p.cape.y), {p.label, p.id, p.height}});
    return features;
}

// Roads and streams as gently winding polylines; one stream crosses the job in two parts.
std::vector<Feature> LineFeatures(ReferenceGeodesy& geodesy, const SampleArea& area)
{
    SampleRandom random(area.seed ^ 0x11E5ULL);
    const LoPoint centre = geodesy.toLo(Datum::Cape, area.lo, area.centre);
    const auto winding = [&](LoPoint start, int vertices)
    {
        auto line = std::make_unique<OGRLineString>();
        double heading = random.uniform(0.0, 2.0 * std::numbers::pi);
        LoPoint p = start;
        for (int k = 0; k < vertices; ++k)
        {
            line->addPoint(RoundMillimetre(p.x), RoundMillimetre(p.y));
            const double step = random.uniform(60.0, 140.0);
            heading += random.uniform(-0.25, 0.25);
            p = {p.x + step * std::cos(heading), p.y + step * std::sin(heading)};
        }
        return line;
    };
    const auto start = [&]
    {
        return LoPoint{centre.x + random.uniform(-3000.0, 3000.0),
                       centre.y + random.uniform(-3000.0, 3000.0)};
    };

    std::vector<Feature> features;
    const char* const labels[] = {"ROAD 1",   "ROAD 2", "ROAD 3",   "STREAM 1",
                                  "STREAM 2", "ROAD 4", "STREAM 3", "ROAD 5"};
    for (int i = 0; i < 8; ++i)
    {
        // Each random draw is its own statement: argument evaluation order is unspecified.
        std::unique_ptr<OGRGeometry> geometry;
        double length = 0.0;
        if (i == 4)
        {
            auto parts = std::make_unique<OGRMultiLineString>();
            const LoPoint first = start();
            parts->addGeometryDirectly(winding(first, 20).release());
            const LoPoint second = start();
            parts->addGeometryDirectly(winding(second, 15).release());
            length = parts->get_Length();
            geometry = std::move(parts);
        }
        else
        {
            const LoPoint first = start();
            auto line = winding(first, random.integer(25, 45));
            length = line->get_Length();
            geometry = std::move(line);
        }
        length = std::round(100.0 * length) / 100.0;
        features.push_back({std::move(geometry), {std::string(labels[i]), length}});
    }
    return features;
}

// Shoelace area in square metres, positive when the ring runs anticlockwise in (x, y).
double SignedArea(const std::vector<LoPoint>& ring)
{
    double twice = 0.0;
    for (std::size_t k = 0; k < ring.size(); ++k)
    {
        const LoPoint& p = ring[k];
        const LoPoint& q = ring[(k + 1) % ring.size()];
        twice += p.x * q.y - q.x * p.y;
    }
    return twice / 2.0;
}

// Outer rings run clockwise, as shapefiles want them.
std::unique_ptr<OGRPolygon> Parcel(std::vector<LoPoint> ring)
{
    if (SignedArea(ring) > 0.0)
        std::reverse(ring.begin(), ring.end());
    auto linear = std::make_unique<OGRLinearRing>();
    for (const LoPoint& p : ring)
        linear->addPoint(p.x, p.y);
    linear->closeRings();
    auto polygon = std::make_unique<OGRPolygon>();
    polygon->addRingDirectly(linear.release());
    return polygon;
}

// Twelve erven of a town block, 30 m by 45 m, turned 20 degrees; corner erven have a splay,
// and the last erf owns a detached portion across the street.
std::vector<Feature> ParcelFeatures(ReferenceGeodesy& geodesy, const SampleArea& area)
{
    const LoPoint origin = geodesy.toLo(Datum::Cape, area.lo, {30.88, 29.83});
    const double angle = 20.0 * std::numbers::pi / 180.0;
    const auto plane = [&](double u, double v)
    {
        return LoPoint{RoundMillimetre(origin.x + u * std::cos(angle) - v * std::sin(angle)),
                       RoundMillimetre(origin.y + u * std::sin(angle) + v * std::cos(angle))};
    };
    std::vector<Feature> features;
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 4; ++column)
        {
            const double u = column * 30.0;
            const double v = row * (45.0 + 12.0); // 12 m street between the rows
            std::vector<LoPoint> ring;
            if (column == 0)
                ring = {plane(u, v), plane(u + 30.0, v), plane(u + 30.0, v + 45.0),
                        plane(u + 3.0, v + 45.0), plane(u, v + 42.0)};
            else if (column == 3)
                ring = {plane(u, v), plane(u + 30.0, v), plane(u + 30.0, v + 42.0),
                        plane(u + 27.0, v + 45.0), plane(u, v + 45.0)};
            else
                ring = {plane(u, v), plane(u + 30.0, v), plane(u + 30.0, v + 45.0),
                        plane(u, v + 45.0)};

            const int number = 1201 + row * 4 + column;
            std::unique_ptr<OGRGeometry> geometry;
            double parcelArea = std::abs(SignedArea(ring));
            if (number == 1212)
            {
                const std::vector<LoPoint> portion{
                    plane(u + 10.0, v + 60.0), plane(u + 20.0, v + 60.0), plane(u + 20.0, v + 70.0),
                    plane(u + 10.0, v + 70.0)};
                parcelArea += std::abs(SignedArea(portion));
                auto parts = std::make_unique<OGRMultiPolygon>();
                parts->addGeometryDirectly(Parcel(ring).release());
                parts->addGeometryDirectly(Parcel(portion).release());
                geometry = std::move(parts);
            }
            else
                geometry = Parcel(ring);
            features.push_back(
                {std::move(geometry),
                 {"ERF " + std::to_string(number), std::round(parcelArea * 100.0) / 100.0}});
        }
    return features;
}

} // namespace

std::string DefinitionFile(unsigned char fileType, char delimiter, bool hasHeader,
                           const std::vector<DefinitionField>& fields)
{
    std::string bytes;
    bytes += static_cast<char>(fileType);
    bytes += delimiter;
    bytes += static_cast<char>(hasHeader ? 1 : 0);
    AppendInt32(bytes, static_cast<std::int32_t>(fields.size()));
    for (const DefinitionField& field : fields)
    {
        AppendBlock(bytes, field.name);
        AppendBlock(bytes, field.format);
        AppendInt32(bytes, field.startColumn);
        AppendInt32(bytes, field.width);
        bytes += static_cast<char>(field.alignment); // alignment before type in the file
        bytes += static_cast<char>(field.fieldType);
    }
    return bytes;
}

std::string CoordinateListFile(const std::string& lead, double xOffset, double yOffset,
                               double zOffset, const std::string& body, int lo,
                               const std::string& tail,
                               const std::vector<CoordinateRecord>& records)
{
    std::string bytes = CrdText(lead, 5) + CrdNumber(yOffset) + CrdNumber(xOffset) +
                        CrdNumber(zOffset) + std::string(26, ' ') + CrdText(body, 236) + "." +
                        CrdText("Lo." + std::to_string(lo), 18) + "." + CrdText(tail, 10) + "." +
                        std::string(145, ' ');
    if (bytes.size() != 512)
        throw std::logic_error("Coordinate list header is not 512 bytes");
    for (const CoordinateRecord& record : records)
    {
        bytes += CrdText(record.name, 11);
        AppendDouble(bytes, record.y - yOffset);
        AppendDouble(bytes, record.x - xOffset);
        bytes += CrdText(record.surveyRecord, 11);
        bytes += CrdText(record.mask, 10);
    }
    return bytes;
}

std::vector<JobSummary> WriteSampleJobs(ReferenceGeodesy& geodesy, const SampleArea& lo29,
                                        const SampleArea& lo31,
                                        const std::filesystem::path& directory)
{
    std::vector<JobSummary> written;
    const std::vector<JobPoint> points = MakeJobPoints(geodesy, lo29);

    written.push_back(WriteShapefile(
        directory, "job-points", "POINT",
        {{"LABEL", OFTString, 20, 0}, {"ID", OFTInteger, 6, 0}, {"HEIGHT", OFTReal, 10, 2}},
        PointFeatures(points)));
    written.push_back(WriteShapefile(directory, "job-lines", "ARC",
                                     {{"LABEL", OFTString, 20, 0}, {"LENGTH", OFTReal, 12, 2}},
                                     LineFeatures(geodesy, lo29)));
    written.push_back(WriteShapefile(directory, "job-parcels", "POLYGON",
                                     {{"LABEL", OFTString, 20, 0}, {"AREA", OFTReal, 12, 2}},
                                     ParcelFeatures(geodesy, lo31)));

    // The same points as delimited text with a header line and as fixed-width text; Y before X,
    // as surveyors list them. One field table gives both definition files and the columns.
    std::vector<DefinitionField> fields{{"NAME", "", 0, 10, 0, 4},
                                        {"Y", "0.000", 0, 12, 1, 2},
                                        {"X", "0.000", 0, 13, 1, 2},
                                        {"HEIGHT", "0.00", 0, 9, 1, 2},
                                        {"CODE", "", 0, 4, 1, 1}};
    std::string delimited = "NAME,Y,X,HEIGHT,CODE\n";
    std::string fixed;
    for (const JobPoint& p : points)
    {
        const std::string values[] = {p.label, FormatFixed(p.cape.y, 3), FormatFixed(p.cape.x, 3),
                                      FormatFixed(p.height, 2), std::to_string(p.code)};
        for (std::size_t k = 0; k < fields.size(); ++k)
        {
            const auto width = static_cast<std::size_t>(fields[k].width);
            delimited += (k == 0 ? "" : ",") + values[k];
            fixed +=
                fields[k].alignment == 0 ? PadRight(values[k], width) : PadLeft(values[k], width);
        }
        delimited += "\n";
        fixed += "\n";
    }
    const int count = static_cast<int>(points.size());
    WriteFileAtomically(directory / "job-points.txt", delimited);
    WriteFileAtomically(directory / "job-points-delimited.def",
                        DefinitionFile(1, ',', true, fields));
    written.push_back({"job-points.txt", count, count});
    // In the fixed-width file each field starts where the one before it ends.
    int column = 1;
    for (DefinitionField& field : fields)
    {
        field.startColumn = column;
        column += field.width;
    }
    WriteFileAtomically(directory / "job-points-fixed.txt", fixed);
    WriteFileAtomically(directory / "job-points-fixed.def", DefinitionFile(0, ',', false, fields));
    written.push_back({"job-points-fixed.txt", count, count});

    // The first twelve points as a coordinate list; two names show the 11-character limit.
    std::vector<CoordinateRecord> records;
    for (std::size_t i = 0; i < 12; ++i)
    {
        const JobPoint& p = points[i];
        CoordinateRecord record{p.label, p.cape.x, p.cape.y,
                                "SR " + std::to_string(1100 + i) + "/98",
                                p.code == 1 ? "BM" : "PEG"};
        if (i == 3)
            record.name = "BOUNDARY-17";
        if (i == 7)
            record.name = "BOUNDARY-PEG-9";
        if (i == 9)
            record.mask.clear();
        records.push_back(record);
    }
    WriteFileAtomically(
        directory / "job-points.crd",
        CoordinateListFile("CRD", 2840000.0, 80000.0, 0.0,
                           "QUORVALIS SAMPLE JOB - SYNTHETIC CAPE LO 29 CO-ORDINATES", lo29.lo,
                           "SAMPLE", records));
    written.push_back(
        {"job-points.crd", static_cast<int>(records.size()), static_cast<int>(records.size())});
    return written;
}

} // namespace quorvalis::tools
