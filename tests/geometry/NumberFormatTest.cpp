#include "geometry/NumberFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvalis
{
namespace
{

struct PictureRow
{
    double value;
    const char* picture;
    char decimalSeparator;
    const char* expected;
};

TEST(NumberFormat, PictureTable)
{
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<PictureRow> rows = {
        // Ties of the exact binary value round away from zero.
        {2.5, "0", '.', "3"},
        {-2.5, "0", '.', "-3"},
        {9.5, "0", '.', "10"},
        {0.0625, "0.000", '.', "0.063"},
        // Not ties: the binary value lies just below the decimal one.
        {1.0005, "0.000", '.', "1.000"},
        {2.675, "0.00", '.', "2.67"},
        {999.9996, "0.000", '.', "1000.000"},
        // Optional places.
        {0.1, "0.000#######", '.', "0.100"},
        {123.456789012345, "0.000#######", '.', "123.4567890123"},
        {1.0, "0.###############", '.', "1"},
        {1.5, "0.###", ',', "1,5"},
        {0.5, "#.##", '.', ".5"},
        {5.0, "000", '.', "005"},
        {1e-20, "0.###", '.', "0"},
        // No negative zero.
        {-0.0001, "0.000", '.', "0.000"},
        // Grouping, separators, literal text, large values.
        {1234567.891, "#,##0.00", '.', "1 234 567.89"},
        {-999.0, "#,##0", '.', "-999"},
        {12.5, "0 m", '.', "13 m"},
        {1e20, "0", '.', "100000000000000000000"},
        {inf, "0.000", '.', "INF"},
        {std::nan(""), "0.000", '.', "NAN"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(FormatPicture(row.value, row.picture, row.decimalSeparator), row.expected)
            << row.value << " with " << row.picture;
    EXPECT_EQ(FormatPicture(1234567.0, "#,##0", '.', ','), "1,234,567");
}

struct ParseRow
{
    const char* text;
    char decimalSeparator;
    bool accepted;
    double value;
};

TEST(NumberFormat, ParseTable)
{
    const std::vector<ParseRow> rows = {
        {" 12.5 ", '.', true, 12.5},  {"12,5", ',', true, 12.5}, {"-1e3", '.', true, -1000},
        {"+.5", '.', true, 0.5},      {"5.", '.', true, 5},      {"\t7\t", '.', true, 7},
        {"2.5E-2", '.', true, 0.025}, {"12.5", ',', false, 0},   {".", '.', false, 0},
        {"", '.', false, 0},          {"  ", '.', false, 0},     {"1 000", '.', false, 0},
        {"inf", '.', false, 0},       {"nan", '.', false, 0},    {"0x10", '.', false, 0},
        {"1e999", '.', false, 0},     {"1e", '.', false, 0},     {"--1", '.', false, 0},
        {"12a", '.', false, 0},
    };
    for (const auto& row : rows)
    {
        double value = -123.0;
        EXPECT_EQ(ParseNumber(row.text, value, row.decimalSeparator), row.accepted)
            << '"' << row.text << '"';
        EXPECT_EQ(value, row.accepted ? row.value : -123.0) << '"' << row.text << '"';
    }
}

TEST(NumberFormat, FileNumbersTakeEitherSeparator)
{
    const std::vector<std::pair<const char*, double>> accepted = {
        {"12.5", 12.5}, {"12,5", 12.5}, {" -0,25 ", -0.25}, {"7", 7}};
    for (const auto& [text, expected] : accepted)
    {
        double value = 0;
        EXPECT_TRUE(ParseNumberEitherSeparator(text, value)) << text;
        EXPECT_EQ(value, expected) << text;
    }
    for (const char* text : {"1,234.5", "1.234,5", "1,2,3", "", "nan"})
    {
        double value = -1;
        EXPECT_FALSE(ParseNumberEitherSeparator(text, value)) << text;
    }
}

// Packed ddd.mmss angles rounded in the packed form: seconds or minutes that the rounding makes
// 60 carry; a 60 the value itself holds does not.
TEST(NumberFormat, PackedAnglesNeverShowSixtySecondsOrMinutes)
{
    struct Row
    {
        double packed;
        const char* picture;
        const char* expected;
    };
    const std::vector<Row> rows = {
        {25.44599999996, "0.0000", "25.4500"},    // 25 44' 59.99996"
        {25.445999995, "0.000000", "25.450000"},  // 59.99995" with 2 decimals of seconds
        {25.5959999995, "0.000000", "26.000000"}, // 59' 59.99995"
        {25.5959999995, "0.0000######", "25.5959999995"},
        {359.595999999, "0.000000", "360.000000"}, // degrees are not wrapped
        {25.4459, "0.000", "25.450"},              // the tens of seconds made 6
        {25.5999, "0.00", "26.00"},                // minutes made 60
        {25.56, "0.0", "26.0"},
        {-25.44599999996, "0.0000", "-25.4500"},
        {25.44600001, "0.0000", "25.4460"}, // 60 seconds of its own: as it stands
        {25.4459, "0.0000", "25.4459"},
        {25.44599999996, "0.####", "25.45"},
        {25.44599999996, "0", "25"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(FormatPackedPicture(row.packed, row.picture, '.'), row.expected)
            << row.packed << " with " << row.picture;
    EXPECT_EQ(ReportFormat("%13.6f", {ReportArg::PackedAngle(359.595999999)}), "   360,000000");
    EXPECT_EQ(ReportFormat("%13.6f", {ReportArg::PackedAngle(0.3)}), "     0,300000");
    EXPECT_EQ(ReportFormat("%13.6f", {359.595999999}), "   359,596000");
}

TEST(NumberFormat, GeneralTable)
{
    const std::vector<std::pair<double, const char*>> rows = {
        {0.1, "0.1"},        {1e20, "1e+20"},
        {2.5e-5, "2.5e-05"}, {0.1 + 0.2, "0.3"},
        {100.0, "100"},      {123456789012345678.0, "1.23456789012346e+17"},
        {-0.0, "-0"},        {0.999999999999999944, "1"},
    };
    for (const auto& [value, expected] : rows)
        EXPECT_EQ(FormatGeneral(value, '.'), expected) << value;
    EXPECT_EQ(FormatGeneral(-1.25, ','), "-1,25");
}

struct LayoutRow
{
    const char* layout;
    ReportArg arg;
    const char* expected;
};

TEST(NumberFormat, ReportTable)
{
    const std::vector<LayoutRow> rows = {
        {"%12.3n", 56789.1234, "  56 789,123"},
        {"%8.3n", -15.5, " -15,500"},
        {"%14.3n", 2345678.9, " 2 345 678,900"},
        {"%13.6f", 0.30, "     0,300000"},
        {"%13.10f", 1.0000012345, " 1,0000012345"},
        {"%.3n", 999999.9995, "1 000 000,000"},
        {"%8.3n", -0.0001, "   0,000"},
        {"%n", 1234.5, "1 234,50"},
        {"%8.3f", 1234567.0, "1234567,000"}, // longer than the width: written in full
        {"%-10s|", "NAME", "NAME      |"},
        {"%23s", "TOTAL", "                  TOTAL"},
        {"%.2s", "abc", "ab"},
        {"%5d", -42, "  -42"},
        {"%d beacons", 3, "3 beacons"},
        {"%.3d", 7, "007"},
        {"%6.1f", 2, "   2,0"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ReportFormat(row.layout, {row.arg}), row.expected) << row.layout;
    EXPECT_EQ(ReportFormat("%-10s %12s", {"LONGER THAN TEN", "x"}), "LONGER THAN TEN            x");
    EXPECT_EQ(ReportFormat("%-*s|", {6, "ab"}), "ab    |");
    EXPECT_EQ(ReportFormat("100%%", {}), "100%");
}

TEST(NumberFormat, ReportRefusesMismatchedArguments)
{
    EXPECT_THROW(ReportFormat("%d", {1.5}), std::invalid_argument);
    EXPECT_THROW(ReportFormat("%s", {}), std::invalid_argument);
    EXPECT_THROW(ReportFormat("%s", {3}), std::invalid_argument);
    EXPECT_THROW(ReportFormat("%f", {"x"}), std::invalid_argument);
    EXPECT_THROW(ReportFormat("%q", {1}), std::invalid_argument);
    EXPECT_THROW(ReportFormat("%12", {1}), std::invalid_argument);
    EXPECT_EQ(FormatLayout("%9.2n", {-1234.567}, '.', ','), "-1,234.57");
}

} // namespace
} // namespace quorvalis
