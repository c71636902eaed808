#include "ProjectTestSupport.h"

#include "database/engine/Session.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace quorvalis::test
{

void ProjectTest::SetUp()
{
    std::random_device random;
    Folder =
        std::filesystem::temp_directory_path() /
        ("quorvalis-project-test-" + std::to_string(random()) + "-" + std::to_string(random()));
    std::filesystem::create_directories(Folder);
    ::setenv("QUORVALIS_HOME", Folder.c_str(), 1);
    engine::Session::Default().SetHomeDirectory(Folder);
    SettingsFile = Folder / "Quorvalis.conf";
    GRegistry::SetSettingsFile(SettingsFile);
}

void ProjectTest::TearDown()
{
    GRegistry::SetSettingsFile(std::nullopt);
    engine::Session::Default().SetHomeDirectory({});
    ::unsetenv("QUORVALIS_HOME");
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
}

std::string ProjectTest::Sample(const std::string& name) const
{
    return std::string(QUORVALIS_SOURCE_DIR) + "/samples/" + name;
}

// --- MemoryRecordSet ---

void MemoryRecordSet::AddShape(std::unique_ptr<GShape> shape, std::string label)
{
    Shapes.push_back(std::move(shape));
    Labels.push_back(std::move(label));
}

void MemoryRecordSet::AddPoint(double x, double y, std::string label)
{
    AddShape(std::make_unique<GPoint>(x, y, 0.0), std::move(label));
}

GVariant MemoryRecordSet::GetFieldValue(std::int32_t index)
{
    if (index == 1)
        return GVariant(static_cast<std::int64_t>(RecordIndex() + 1));
    return GVariant(Labels.at(static_cast<std::size_t>(RecordIndex())));
}

std::string MemoryRecordSet::GetFieldAsString(std::int32_t index)
{
    return GetFieldValue(index).AsString();
}

void MemoryRecordSet::DoLoadFields()
{
    Fields().Add(std::make_unique<GField>(
        *this, 0, std::make_unique<GFieldDefinition>("LABEL", fdtString, 21, false), false));
    Fields().Add(std::make_unique<GField>(
        *this, 1, std::make_unique<GFieldDefinition>("ID", fdtInteger, 0, false), false));
}

std::unique_ptr<GShape> MemoryRecordSet::DoGetShape()
{
    const auto& shape = Shapes.at(static_cast<std::size_t>(RecordIndex()));
    if (!shape)
        return nullptr;
    return shape->Clone();
}

void MemoryRecordSet::DoSetShape(const GShape& shape)
{
    GRecordSet::DoSetShape(shape);
    pending_ = shape.Clone();
}

void MemoryRecordSet::DoPost()
{
    if (Posts++ == FailAtPost)
        throw GDatabaseException("Posting failed");
    if (pending_)
        Shapes.at(static_cast<std::size_t>(RecordIndex())) = std::move(pending_);
    GRecordSet::DoPost();
}

// --- RecordingInterface ---

void RecordingInterface::SetHourglass(bool on)
{
    HourglassDepth += on ? 1 : -1;
    MaxHourglassDepth = std::max(MaxHourglassDepth, HourglassDepth);
}

void RecordingInterface::ShowProgress(int, int, const std::string& caption)
{
    if (std::find(ProgressCaptions.begin(), ProgressCaptions.end(), caption) ==
        ProgressCaptions.end())
        ProgressCaptions.push_back(caption);
}

std::vector<std::string> RecordingInterface::Questions() const
{
    std::vector<std::string> questions;
    for (const std::string& entry : Log)
        if (entry.rfind("Error:", 0) != 0 && entry.rfind("Information:", 0) != 0 &&
            entry.rfind("Warning:", 0) != 0)
            questions.push_back(entry.substr(0, entry.find(':')));
    return questions;
}

// --- Helpers ---

void AnswerWithDatumShift(RecordingInterface& ui)
{
    ui.OnEditTransformationMethod = [](std::uint8_t& method)
    {
        method = 1;
        return true;
    };
    ui.OnEditHelmertParameters = [](GHelmertParameters& values)
    {
        values.HelmertMode = 1;
        values.HelmertA = 1.0;
        values.HelmertB = 0.0;
        values.WGSX = 298.0;
        values.WGSY = 31.5;
        return true;
    };
}

std::string ReadFile(const std::filesystem::path& file)
{
    std::ifstream stream(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
}

std::vector<std::string> ReportLines(const std::filesystem::path& file)
{
    const std::string text = ReadFile(file);
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;)
    {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            break;
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, text.size()) << "text after the last line break";
    for (const std::string& line : lines)
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
    return lines;
}

std::unique_ptr<GTrigBeacon> MakeBeacon(const std::string& name, const std::string& source,
                                        double clarkeLongitude, double clarkeLatitude,
                                        double wgsLongitude, double wgsLatitude)
{
    auto beacon = std::make_unique<GTrigBeacon>();
    beacon->Name = name;
    beacon->Source = source;
    beacon->Clarke.X = clarkeLongitude;
    beacon->Clarke.Y = clarkeLatitude;
    beacon->WGS.X = wgsLongitude;
    beacon->WGS.Y = wgsLatitude;
    return beacon;
}

int ImportDelimited(const std::string& file, double lo, const std::string& beaconClass)
{
    GDelimitedTrigBeaconImport importer(file);
    EXPECT_TRUE(importer.ReadBeacons()) << file;
    importer.Beacons.ConvertToGeographic(lo);
    return importer.AddToControlFile(beaconClass);
}

} // namespace quorvalis::test
