#include "tools/SampleBeacons.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>
#include <stdexcept>

#include "tools/OutputFiles.h"
#include "transformation/Transformation.h"

namespace quorvalis::tools
{

namespace
{

constexpr std::size_t kNameWidth = 20; // columns 11 to 30 of an e-mail beacon line

// Metres with two decimals, optionally with the decimal comma some office files use.
std::string EmailNumber(double metres, bool comma)
{
    std::string text = FormatFixed(metres, 2);
    if (comma)
        std::replace(text.begin(), text.end(), '.', ',');
    return text;
}

// Columns 1-10 number (right-aligned), 11-30 name, 33-42 Y, 44-53 X.
std::string EmailLine(const std::string& number, const std::string& name, const LoPoint& p,
                      bool commaY, bool commaX)
{
    return PadLeft(number, 10) + PadRight(name, kNameWidth) + "  " +
           PadLeft(EmailNumber(p.y, commaY), 10) + " " + PadLeft(EmailNumber(p.x, commaX), 10);
}

std::string JoinCrlf(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

// Only the datum line may look like a Lo line to the importer.
void CheckSingleLoLine(const std::vector<std::string>& lines)
{
    const auto count = std::count_if(
        lines.begin(), lines.end(),
        [](std::string line)
        {
            std::transform(line.begin(), line.end(), line.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
            return line.find("LO.") != std::string::npos;
        });
    if (count != 1)
        throw std::runtime_error("An e-mail sample has " + std::to_string(count) + " Lo lines");
}

std::vector<std::string> EmailHeader(const std::string& datumLine)
{
    return {"FROM: NATIONAL CONTROL SURVEY OFFICE (SYNTHETIC SAMPLE, NOT OFFICIAL DATA)",
            "TO: QUORVALIS SAMPLE JOB",
            "SUBJECT: TRIGONOMETRICAL BEACONS AND TOWN SURVEY MARKS",
            "",
            "CO-ORDINATES IN METRES: Y POSITIVE WEST, X POSITIVE SOUTH",
            datumLine,
            "",
            PadLeft("NUMBER", 10) + PadRight("NAME", kNameWidth) + "  " + PadLeft("Y", 10) + " " +
                PadLeft("X", 10),
            std::string(10 + kNameWidth, '-') + "  " + std::string(10, '-') + " " +
                std::string(10, '-')};
}

} // namespace

std::uint64_t SampleRandom::next()
{
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double SampleRandom::uniform(double low, double high)
{
    return low + (high - low) * static_cast<double>(next() >> 11) * 0x1.0p-53;
}

int SampleRandom::integer(int low, int high)
{
    const auto span = static_cast<std::uint64_t>(high - low) + 1;
    return low + static_cast<int>(next() % span);
}

const SampleArea& AreaLo29()
{
    static const SampleArea area{"lo29",
                                 29,
                                 {28.20, 25.75},
                                 0.15,
                                 0.17,
                                 0x5155'4F52'0029ULL,
                                 {"DORINGKOP",   "WITKLIP",    "ROOIKRANS",  "KAALPLAAS",
                                  "SUURHEUWEL",  "BLOUBOS",    "KLIPVLEI",   "VALKRANS",
                                  "SANDSPRUIT",  "BOESMANKOP", "MOOIVLAKTE", "LANGKLOOF",
                                  "SWARTKOPPIE", "DRIEHOEK",   "UITKYK",     "TAFELKOP",
                                  "SOETDORING",  "VYGEBOOM",   "RAMSKRAAL",  "BOKFONTEIN"}};
    return area;
}

const SampleArea& AreaLo31()
{
    // West of the coast line, so that no beacon lands in the sea.
    static const SampleArea area{"lo31",
                                 31,
                                 {30.85, 29.85},
                                 0.13,
                                 0.12,
                                 0x5155'4F52'0031ULL,
                                 {"ENTABENI", "ENHLALENI", "ESIDWENI", "UMTHOMBO", "ENSIMBINI",
                                  "EZINTABA", "EMAZWENI", "INKANYEZI", "UMHLABA", "ESIKHOTHA",
                                  "OLWANDLE", "INDLOVU", "EZINKAWINI", "UMKHUMBI", "EMTHINI",
                                  "INGWENYA", "EMANZINI", "EGODINI"}};
    return area;
}

LoPoint LocalDistortion(LoPoint hart, LoPoint centre)
{
    constexpr double tau = 2.0 * std::numbers::pi;
    const double u = hart.x - centre.x;
    const double v = hart.y - centre.y;
    return {0.20 * std::sin(tau * v / 37000.0 + 0.4) + 0.12 * std::cos(tau * u / 52000.0) - 0.05,
            0.15 * std::cos(tau * u / 41000.0 + 1.1) - 0.10 * std::sin(tau * v / 29000.0) + 0.04};
}

SampleBeacon MakeBeacon(ReferenceGeodesy& geodesy, const SampleArea& area, Geographic cape,
                        const std::string& source, int number, const std::string& place)
{
    const Geographic hartCentre = geodesy.capeToHartebeesthoek(area.centre);
    const LoPoint centre = geodesy.toLo(Datum::Hartebeesthoek94, area.lo, hartCentre);
    if (LoZone(cape.lon) != area.lo)
        throw std::runtime_error("Sample beacon outside Lo " + std::to_string(area.lo));

    SampleBeacon beacon;
    beacon.source = source;
    beacon.number = number;
    beacon.name = source + " " + std::to_string(number) + " " + place;
    if (beacon.name.size() > kNameWidth)
        throw std::runtime_error("Beacon name \"" + beacon.name + "\" is too long");
    const LoPoint capeLo = geodesy.toLo(Datum::Cape, area.lo, cape);
    const LoPoint shifted =
        geodesy.toLo(Datum::Hartebeesthoek94, area.lo, geodesy.capeToHartebeesthoek(cape));
    beacon.distortion = LocalDistortion(shifted, centre);
    beacon.cape = {RoundMillimetre(capeLo.x), RoundMillimetre(capeLo.y)};
    beacon.hart = {RoundMillimetre(shifted.x + beacon.distortion.x),
                   RoundMillimetre(shifted.y + beacon.distortion.y)};
    return beacon;
}

std::vector<SampleBeacon> MakeBeacons(ReferenceGeodesy& geodesy, const SampleArea& area)
{
    SampleRandom random(area.seed);
    std::set<std::pair<std::string, int>> used;
    std::vector<SampleBeacon> beacons;
    for (std::size_t i = 0; i < area.places.size(); ++i)
    {
        // Two trig beacons and two town survey marks for every other control point.
        static const char* const pattern[] = {"TRIG", "TSM", "TRIG", "TSM", "PILLAR"};
        const std::string source = pattern[i % 5];
        const auto [low, high] = source == "TRIG"  ? std::pair{1, 199}
                                 : source == "TSM" ? std::pair{1000, 4999}
                                                   : std::pair{1, 60};
        int number = random.integer(low, high);
        while (!used.insert({source, number}).second)
            number = random.integer(low, high);
        const Geographic cape{area.centre.lon + random.uniform(-area.halfWidth, area.halfWidth),
                              area.centre.lat + random.uniform(-area.halfHeight, area.halfHeight)};
        beacons.push_back(MakeBeacon(geodesy, area, cape, source, number, area.places[i]));
    }
    return beacons;
}

std::string BeaconCsv(const std::vector<SampleBeacon>& beacons)
{
    std::string csv;
    for (const SampleBeacon& b : beacons)
        csv += b.name + "," + FormatFixed(b.cape.y, 3) + "," + FormatFixed(b.cape.x, 3) + "," +
               FormatFixed(b.hart.y, 3) + "," + FormatFixed(b.hart.x, 3) + "\n";
    return csv;
}

SurveyOfficeEmails MakeEmails(ReferenceGeodesy& geodesy, const SampleArea& area,
                              const std::vector<SampleBeacon>& beacons)
{
    SampleRandom random(area.seed ^ 0xE3A1ULL);
    const auto extra = [&](const std::string& source, int number, const std::string& place)
    {
        const Geographic cape{area.centre.lon + random.uniform(-area.halfWidth, area.halfWidth),
                              area.centre.lat + random.uniform(-area.halfHeight, area.halfHeight)};
        return MakeBeacon(geodesy, area, cape, source, number, place);
    };
    // One name under two numbers ("TSM HOOGLAND"); one beacon in each file only.
    const SampleBeacon twinA = extra("TSM", 5101, "HOOGLAND");
    const SampleBeacon twinB = extra("TSM", 5102, "HOOGLAND");
    const SampleBeacon capeOnly = extra("TRIG", 97, "OUKRAAL");
    const SampleBeacon hartOnly = extra("TSM", 5200, "BERGSIG");
    const std::string twinName = "TSM HOOGLAND";

    const auto line = [](const SampleBeacon& b, const std::string& name, bool hart, int i)
    {
        // Every third beacon uses the decimal comma in both numbers, every seventh only in X.
        const bool commaBoth = i % 3 == 1;
        return EmailLine(std::to_string(b.number), name, hart ? b.hart : b.cape, commaBoth,
                         commaBoth || i % 7 == 5);
    };
    // Looks like a beacon line but its number column is "77B".
    const auto nearMiss = [&](bool hart)
    {
        const SampleBeacon& b = beacons[1];
        return EmailLine("77B", "TRIG 77 RANDJIE", hart ? b.hart : b.cape, false, false);
    };

    std::vector<std::string> cape = EmailHeader("DATUM: CAPE  LO./" + std::to_string(area.lo));
    for (std::size_t i = 0; i < beacons.size(); ++i)
    {
        cape.push_back(line(beacons[i], beacons[i].name, false, static_cast<int>(i)));
        if (i == 4)
            cape.push_back(line(twinA, twinName, false, 0));
        if (i == 10)
            cape.push_back(line(capeOnly, capeOnly.name, false, 1));
        if (i == 12)
            cape.push_back(nearMiss(false));
        if (i == 15)
            cape.push_back(line(twinB, twinName, false, 3));
    }
    cape.insert(cape.end(), {"", "END OF MESSAGE"});

    // The other file lists the beacons in reverse order, the twin numbers swapped round.
    std::vector<std::string> hart =
        EmailHeader("DATUM: HARTEBEESTHOEK94  LO./" + std::to_string(area.lo));
    hart.push_back(line(twinB, twinName, true, 2));
    for (std::size_t k = beacons.size(); k-- > 0;)
    {
        hart.push_back(line(beacons[k], beacons[k].name, true, static_cast<int>(k)));
        if (k == 8)
            hart.push_back(line(hartOnly, hartOnly.name, true, 4));
        if (k == 6)
            hart.push_back(nearMiss(true));
    }
    hart.push_back(line(twinA, twinName, true, 1));
    hart.insert(hart.end(), {"", "END OF MESSAGE"});

    CheckSingleLoLine(cape);
    CheckSingleLoLine(hart);
    return {JoinCrlf(cape), JoinCrlf(hart)};
}

} // namespace quorvalis::tools
