#include "geometry/Spatial.h"

#include "GeometryTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace quorvalis
{
namespace
{

std::vector<std::uint8_t> Save(const GShape& shape)
{
    GStream stream;
    shape.SaveToStream(stream);
    return stream.Bytes();
}

std::unique_ptr<GShape> Read(std::vector<std::uint8_t> bytes)
{
    GStream stream(std::move(bytes));
    return ReadShape(stream);
}

std::string ReadShapeError(std::vector<std::uint8_t> bytes)
{
    return MessageOf<GSpatialException>([&] { Read(std::move(bytes)); });
}

// A hand-made stream: class code, 32-bit integers, then `padding` zero bytes.
std::vector<std::uint8_t> Form(std::uint8_t code, std::initializer_list<std::int32_t> integers,
                               std::size_t padding = 0)
{
    GStream stream;
    stream.WriteByte(code);
    for (const std::int32_t value : integers)
        stream.WriteInt32(value);
    stream.Bytes().resize(stream.Size() + padding);
    return stream.Bytes();
}

TEST(ShapeStream, FixedLayouts)
{
    GStream points;
    GPoint(12.5, -3.25, 99.0).SaveToStream(points);
    EXPECT_EQ(points.Size(), 17U);
    EXPECT_EQ(GPoint().StreamSize(), 25U);
    GPoint(3, 4).SaveToStream(points);
    points.Rewind();
    const auto copy = ReadShape(points);
    EXPECT_EQ(copy->ClassCode(), 1);
    EXPECT_TRUE(copy->IsEqual(GPoint(12.5, -3.25, 0.0))); // Z is not part of the form
    EXPECT_EQ(points.Position(), 17U);                    // at the start of the next form
    EXPECT_EQ(ReadShape(points)->GetPoint(0).X, 3.0);

    GStream expected; // code 4, then left and top, then right and bottom, each as a point
    expected.WriteByte(4);
    for (const auto& [x, y] : {std::pair{1.0, 4.0}, std::pair{3.0, 2.0}})
    {
        expected.WriteByte(1);
        expected.WriteDouble(x);
        expected.WriteDouble(y);
    }
    const GRectangle rectangle(1.0, 2.0, 3.0, 4.0); // left, bottom, right, top
    EXPECT_EQ(Save(rectangle), expected.Bytes());
    EXPECT_EQ(rectangle.StreamSize(), 51U);
    const auto ellipse = GEllipse(1.0, 2.0, 3.0, 4.0).Clone();
    EXPECT_EQ(ellipse->ClassCode(), 5);
    EXPECT_TRUE(ellipse->IsEqual(rectangle));

    EXPECT_EQ(Save(GLine()), (std::vector<std::uint8_t>{2, 0, 0, 0, 0}));
    EXPECT_EQ(GLine().StreamSize(), 5U);
}

TEST(ShapeStream, PolygonRoundTripKeepsPartsAndDropsZ)
{
    GPolygon polygon;
    AddPart(polygon, {{0, 0}, {4, 0}, {4, 4}, {0, 0}});
    AddPart(polygon, {{1, 1}, {2, 1}, {1, 2}});
    polygon.GetPoint(2).Z = 7.0;
    const auto bytes = Save(polygon);
    EXPECT_EQ(bytes.size(), 1 + 4 + (4 + 4 * 17) + (4 + 3 * 17U));
    EXPECT_EQ(polygon.StreamSize(), 1 + 4 + (4 + 4 * 25) + (4 + 3 * 25U));
    const auto copy = Read(bytes);
    auto* read = dynamic_cast<GPolygon*>(copy.get());
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->Parts.Count(), 2);
    EXPECT_EQ(read->Parts.GetItem(1)->Count(), 3);
    EXPECT_FALSE(read->IsEqual(polygon)); // Z differs at index 2
    polygon.GetPoint(2).Z = 0.0;
    EXPECT_TRUE(read->IsEqual(polygon));
}

TEST(ShapeStream, TextStreamsItsLinesAfterTheLineForm)
{
    GText text;
    AddPart(text, {{5, 6}});
    text.Lines = {"AB", ""};
    const auto bytes = Save(text);
    EXPECT_EQ(text.StreamSize(), 1 + 4 + (4 + 25) + 4 + (4 + 2) + 4U);
    const std::size_t tail = 1 + 4 + 4 + 17;
    ASSERT_EQ(bytes.size(), tail + 4 + 4 + 2 + 4);
    EXPECT_EQ(bytes[0], 6);
    const std::vector<std::uint8_t> expected = {2, 0, 0, 0, 2, 0, 0, 0, 'A', 'B', 0, 0, 0, 0};
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + tail, bytes.end()), expected);
    const auto copy = Read(bytes);
    const auto* read = dynamic_cast<GText*>(copy.get());
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->Lines, text.Lines);
    EXPECT_TRUE(read->IsEqual(text));
}

// A clone of every class goes through the stream form too: ShapeTypesTest.cpp.
TEST(ShapeStream, CopyFromGoesThroughTheStreamForm)
{
    GLine line;
    AddPart(line, {{9, 9}});
    GPolygon polygon;
    polygon.CopyFrom(line); // same layout: allowed between line and polygon
    EXPECT_EQ(polygon.PointCount(), 1);
    EXPECT_EQ(polygon.ClassCode(), 3);
}

TEST(ShapeStream, DamagedStreams)
{
    // Truncated fixed fields read as zeros; a line whose part count is missing has no parts.
    auto bytes = Save(GPoint(1.5, 2.5));
    bytes.resize(9); // X complete, Y missing
    const auto shape = Read(bytes);
    EXPECT_EQ(shape->GetPoint(0).X, 1.5);
    EXPECT_EQ(shape->GetPoint(0).Y, 0.0);
    EXPECT_EQ(Read({2})->PointCount(), 0);
    EXPECT_EQ(Read({4, 1})->GetPoint(1).Y, 0.0);

    // Unknown class codes, and counts that would allocate more than the stream holds.
    const std::vector<std::pair<std::vector<std::uint8_t>, std::string>> cases = {
        {{0}, "Cannot identify class : 0."},
        {{8, 1, 2}, "Cannot identify class : 8."},
        {{}, "Cannot identify class : 0."},
        {Form(2, {-1}), "Invalid shape stream: part count -1 at byte 1"},
        {Form(3, {0x7fffffff}), "Invalid shape stream: part count 2147483647 at byte 1"},
        {Form(7, {2}, 17), "Invalid shape stream: point count 2 at byte 1"}, // needs 34 bytes
        {Form(2, {1, 100000000}), "Invalid shape stream: point count 100000000 at byte 5"},
        {Form(6, {0, 1000}), "Invalid shape stream: line count 1000 at byte 5"},
        {Form(6, {0, 1, 3}, 1), "Invalid shape stream: line length 3 at byte 9"},
    };
    for (const auto& [stream, message] : cases)
        EXPECT_EQ(ReadShapeError(stream), message);
}

} // namespace
} // namespace quorvalis
