// Shared pieces of the project tests: an isolated data folder (engine store and settings), a
// record set held in memory, and a user interface that records what it is asked and answers as
// told.
#pragma once

#include "database/Database.h"
#include "project/Conversion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorvalis::test
{

/// Every test gets a fresh folder holding the QUORVALIS store and the settings file.
class ProjectTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path Folder;
    std::filesystem::path SettingsFile;
    std::string Sample(const std::string& name) const;
};

/// The storage of a MemoryRecordSet, which may outlive the record set (a command frees it).
struct MemoryData
{
    std::vector<std::unique_ptr<GShape>> Shapes;
    std::vector<std::string> Labels;
    int Flushes = 0;
    int Posts = 0;
    /// Posting fails (as a storage would) at this 0-based post number; -1 never.
    int FailAtPost = -1;
};

/// Records in memory: one shape (or none) and one label per record; field 0 "LABEL", field 1
/// "ID". Posting stores a copy of the shape set; Flush counts.
class MemoryRecordSet : public GRecordSet
{
public:
    std::shared_ptr<MemoryData> Data = std::make_shared<MemoryData>();
    std::vector<std::unique_ptr<GShape>>& Shapes = Data->Shapes;
    std::vector<std::string>& Labels = Data->Labels;
    int& Flushes = Data->Flushes;
    int& Posts = Data->Posts;
    int& FailAtPost = Data->FailAtPost;
    bool ReadOnlyFlag = false;
    bool OpenResult = true;
    bool Spatial = true;

    void AddShape(std::unique_ptr<GShape> shape, std::string label = {});
    void AddPoint(double x, double y, std::string label = {});

    GVariant GetFieldValue(std::int32_t index) override;
    std::string GetFieldAsString(std::int32_t index) override;
    bool GetReadOnly() override { return ReadOnlyFlag; }
    void SetReadOnly(bool value) override { ReadOnlyFlag = value; }

protected:
    bool DoOpen() override { return OpenResult; }
    std::int32_t DoGetRecordCount() override { return static_cast<std::int32_t>(Shapes.size()); }
    void DoLoadFields() override;
    bool DoHasSpatialComponent() override { return Spatial; }
    std::unique_ptr<GShape> DoGetShape() override;
    void DoSetShape(const GShape& shape) override;
    void DoPost() override;
    void DoFlush() override { ++Flushes; }

private:
    std::unique_ptr<GShape> pending_;
};

/// Answers every question with OK and the values it was given, unless a handler says otherwise;
/// logs every call as "Name" or "Name:detail".
class RecordingInterface : public GUserInterface
{
public:
    std::vector<std::string> Log;
    std::vector<std::string> Errors, Informations, Warnings;
    int HourglassDepth = 0;
    int MaxHourglassDepth = 0;
    std::vector<std::string> ProgressCaptions; ///< distinct captions in order of first use

    std::function<std::unique_ptr<GRecordSet>(const std::string&)> OnChooseDataSource;
    std::function<bool(GProject&, GProjectParameters&)> OnEditProjectParameters;
    std::function<bool(std::uint8_t&)> OnEditTransformationMethod;
    std::function<bool(GTransformationParameters&)> OnEditTransformationParameters;
    std::function<bool(GHelmertParameters&)> OnEditHelmertParameters;
    std::function<bool(GSelectionStrategy&)> OnChooseSelectionStrategy;
    std::function<bool(GTrigBeaconList&, double, const GPoint&, const GRectangle&)>
        OnReviewControlBeacons;
    std::function<bool(GOutputChoice&)> OnEditTransformationOutput;
    std::function<bool(GFileDialog&)> OnChooseSaveFile;
    std::function<bool(bool&, const std::vector<std::string>&)> OnConfirmRun;
    std::function<bool(std::int32_t&)> OnChooseImportFormat;
    std::function<bool(GFileDialog&)> OnChooseOpenFile;
    std::function<bool(const std::string&, const std::vector<std::string>&, std::string&)>
        OnChooseString;
    std::function<bool(GImportReview&)> OnReviewImport;

    void ShowError(const std::string& message) override { Show(Errors, "Error:", message); }
    void ShowInformation(const std::string& message) override
    {
        Show(Informations, "Information:", message);
    }
    void ShowWarning(const std::string& message) override { Show(Warnings, "Warning:", message); }
    void SetHourglass(bool on) override;
    void ShowProgress(int position, int total, const std::string& caption) override;
    std::unique_ptr<GRecordSet> ChooseDataSource(const std::string& caption) override
    {
        return Ask("ChooseDataSource:" + caption, OnChooseDataSource, std::unique_ptr<GRecordSet>(),
                   caption);
    }
    bool EditProjectParameters(GProject& project, GProjectParameters& values) override
    {
        return Ask("EditProjectParameters", OnEditProjectParameters, true, project, values);
    }
    bool EditTransformationMethod(std::uint8_t& projectTransformation) override
    {
        return Ask("EditTransformationMethod", OnEditTransformationMethod, true,
                   projectTransformation);
    }
    bool EditTransformationParameters(GTransformationParameters& values) override
    {
        return Ask("EditTransformationParameters", OnEditTransformationParameters, true, values);
    }
    bool EditHelmertParameters(GHelmertParameters& values) override
    {
        return Ask("EditHelmertParameters", OnEditHelmertParameters, true, values);
    }
    bool ChooseSelectionStrategy(GSelectionStrategy& strategy) override
    {
        return Ask("ChooseSelectionStrategy", OnChooseSelectionStrategy, true, strategy);
    }
    bool ReviewControlBeacons(GTrigBeaconList& beacons, double lo, const GPoint& centre,
                              const GRectangle& extent) override
    {
        return Ask("ReviewControlBeacons", OnReviewControlBeacons, true, beacons, lo, centre,
                   extent);
    }
    bool EditTransformationOutput(GOutputChoice& choice) override
    {
        return Ask("EditTransformationOutput", OnEditTransformationOutput, true, choice);
    }
    bool ChooseSaveFile(GFileDialog& dialog) override
    {
        return Ask("ChooseSaveFile:" + dialog.Title, OnChooseSaveFile, true, dialog);
    }
    bool ConfirmRun(bool& alwaysShow, const std::vector<std::string>& doubts) override
    {
        return Ask("ConfirmRun", OnConfirmRun, true, alwaysShow, doubts);
    }
    bool ChooseImportFormat(std::int32_t& format) override
    {
        return Ask("ChooseImportFormat", OnChooseImportFormat, true, format);
    }
    bool ChooseOpenFile(GFileDialog& dialog) override
    {
        return Ask("ChooseOpenFile:" + dialog.Title, OnChooseOpenFile, false, dialog);
    }
    bool ChooseString(const std::string& title, const std::vector<std::string>& items,
                      std::string& choice) override
    {
        return Ask("ChooseString:" + title, OnChooseString, false, title, items, choice);
    }
    bool ReviewImport(GImportReview& review) override
    {
        return Ask("ReviewImport", OnReviewImport, true, review);
    }

    /// Names of the questions asked, in order (boxes, hourglass and progress left out).
    std::vector<std::string> Questions() const;

private:
    void Show(std::vector<std::string>& list, const char* kind, const std::string& message)
    {
        list.push_back(message);
        Log.push_back(kind + message);
    }
    // Logs the question, then lets the test's handler answer it (or gives the fallback).
    template <class R, class F, class... A>
    R Ask(std::string entry, const F& handler, R fallback, A&... args)
    {
        Log.push_back(std::move(entry));
        return handler ? handler(args...) : std::move(fallback);
    }
};

/// Makes ui answer the method and Helmert dialogs with a user-defined Helmert that moves every
/// point by about the datum shift of the Lo 29 sample area (298 m in X, 31.5 m in Y), so that a run
/// raises no doubt of its own.
void AnswerWithDatumShift(RecordingInterface& ui);

/// The lines of a report file split at CR LF (no line break may stand alone).
std::vector<std::string> ReportLines(const std::filesystem::path& file);
std::string ReadFile(const std::filesystem::path& file);

/// A beacon with geographic positions.
std::unique_ptr<GTrigBeacon> MakeBeacon(const std::string& name, const std::string& source,
                                        double clarkeLongitude, double clarkeLatitude,
                                        double wgsLongitude, double wgsLatitude);

/// Imports a delimited sample file (Lo plane coordinates in lo) into the control file as
/// beaconClass; the number of rows appended.
int ImportDelimited(const std::string& file, double lo, const std::string& beaconClass);

} // namespace quorvalis::test
