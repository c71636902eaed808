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

void RecordingInterface::ShowError(const std::string& message)
{
    Errors.push_back(message);
    Log.push_back("Error:" + message);
}

void RecordingInterface::ShowInformation(const std::string& message)
{
    Informations.push_back(message);
    Log.push_back("Information:" + message);
}

void RecordingInterface::ShowWarning(const std::string& message)
{
    Warnings.push_back(message);
    Log.push_back("Warning:" + message);
}

void RecordingInterface::SetHourglass(bool on)
{
    HourglassDepth += on ? 1 : -1;
    MaxHourglassDepth = std::max(MaxHourglassDepth, HourglassDepth);
}

void RecordingInterface::ShowProgress(int, int, const std::string& caption)
{
    ++ProgressCalls;
    if (std::find(ProgressCaptions.begin(), ProgressCaptions.end(), caption) ==
        ProgressCaptions.end())
        ProgressCaptions.push_back(caption);
}

std::unique_ptr<GRecordSet> RecordingInterface::ChooseDataSource(const std::string& caption)
{
    Log.push_back("ChooseDataSource:" + caption);
    return OnChooseDataSource ? OnChooseDataSource(caption) : nullptr;
}

bool RecordingInterface::EditProjectParameters(GProject& project, GProjectParameters& values)
{
    Log.push_back("EditProjectParameters");
    return OnEditProjectParameters ? OnEditProjectParameters(project, values) : true;
}

bool RecordingInterface::EditTransformationMethod(std::uint8_t& projectTransformation)
{
    Log.push_back("EditTransformationMethod");
    return OnEditTransformationMethod ? OnEditTransformationMethod(projectTransformation) : true;
}

bool RecordingInterface::EditTransformationParameters(GTransformationParameters& values)
{
    Log.push_back("EditTransformationParameters");
    return OnEditTransformationParameters ? OnEditTransformationParameters(values) : true;
}

bool RecordingInterface::EditHelmertParameters(GHelmertParameters& values)
{
    Log.push_back("EditHelmertParameters");
    return OnEditHelmertParameters ? OnEditHelmertParameters(values) : true;
}

bool RecordingInterface::ChooseSelectionStrategy(GSelectionStrategy& strategy)
{
    Log.push_back("ChooseSelectionStrategy");
    return OnChooseSelectionStrategy ? OnChooseSelectionStrategy(strategy) : true;
}

bool RecordingInterface::ReviewControlBeacons(GTrigBeaconList& beacons, double lo,
                                              const GPoint& centre)
{
    Log.push_back("ReviewControlBeacons");
    return OnReviewControlBeacons ? OnReviewControlBeacons(beacons, lo, centre) : true;
}

bool RecordingInterface::EditTransformationOutput(GOutputChoice& choice)
{
    Log.push_back("EditTransformationOutput");
    return OnEditTransformationOutput ? OnEditTransformationOutput(choice) : true;
}

bool RecordingInterface::ChooseSaveFile(GFileDialog& dialog)
{
    Log.push_back("ChooseSaveFile:" + dialog.Title);
    return OnChooseSaveFile ? OnChooseSaveFile(dialog) : true;
}

bool RecordingInterface::ConfirmRun(bool& alwaysShow)
{
    Log.push_back("ConfirmRun");
    return OnConfirmRun ? OnConfirmRun(alwaysShow) : true;
}

bool RecordingInterface::ChooseImportFormat(std::int32_t& format)
{
    Log.push_back("ChooseImportFormat");
    return OnChooseImportFormat ? OnChooseImportFormat(format) : true;
}

bool RecordingInterface::ChooseOpenFile(GFileDialog& dialog)
{
    Log.push_back("ChooseOpenFile:" + dialog.Title);
    return OnChooseOpenFile ? OnChooseOpenFile(dialog) : false;
}

bool RecordingInterface::ChooseString(const std::string& title,
                                      const std::vector<std::string>& items, std::string& choice)
{
    Log.push_back("ChooseString:" + title);
    return OnChooseString ? OnChooseString(title, items, choice) : false;
}

bool RecordingInterface::ReviewImport(GImportReview& review)
{
    Log.push_back("ReviewImport");
    return OnReviewImport ? OnReviewImport(review) : true;
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
