// The transform and import commands as a user meets them: the order of the questions, the
// answers that end them, and the messages.
#include "ProjectTestSupport.h"

#include "geometry/Files.h"

#include <algorithm>

namespace quorvalis::test
{
namespace
{

class CommandTest : public ProjectTest
{
protected:
    void SetUp() override
    {
        ProjectTest::SetUp();
        GRegistry().WriteInteger("Local Origin", 29);
        Offer();
        ui.OnChooseDataSource = [this](const std::string&) { return std::move(pending); };
        AnswerWithDatumShift(ui);
    }

    // The next data source chosen: three records of five points each, a line, a multipoint and a
    // polygon.
    void Offer()
    {
        auto recordSet = std::make_unique<MemoryRecordSet>();
        for (int record = 0; record < 3; ++record)
        {
            auto part = std::make_unique<GPointList>();
            for (int i = 0; i < 5; ++i)
                part->Add(std::make_unique<GPoint>(2850000 + 100 * i, 80000 + 1000 * record));
            if (record == 1)
            {
                auto points = std::make_unique<GPoints>();
                points->Points.AppendFrom(*part);
                recordSet->AddShape(std::move(points), "MULTI");
                continue;
            }
            auto line = record == 0 ? std::make_unique<GLine>() : std::make_unique<GPolygon>();
            line->Parts.Add(std::move(part));
            recordSet->AddShape(std::move(line), record == 0 ? "LINE" : "POLYGON");
        }
        data = recordSet->Data;
        pending = std::move(recordSet);
    }

    double FirstX() const { return data->Shapes[0]->GetPoint(0).X; }

    RecordingInterface ui;
    GProject project;
    std::shared_ptr<MemoryData> data;
    std::unique_ptr<GRecordSet> pending;
};

TEST_F(CommandTest, HelmertCommandReportsShapesAndPointsInEitherDirection)
{
    const GTransformResult result = RunTransformCommand(project, ui, dtCape);
    EXPECT_EQ(result.Outcome, GCommandOutcome::Completed);
    EXPECT_EQ(ui.Questions(),
              (std::vector<std::string>{"ChooseDataSource", "EditProjectParameters",
                                        "EditTransformationMethod", "EditHelmertParameters",
                                        "EditTransformationOutput", "ConfirmRun"}));
    EXPECT_EQ(data->Flushes, 1);
    EXPECT_NE(FirstX(), 2850000.0);
    EXPECT_EQ(project.RecordSet, nullptr) << "the record set is closed when the command ends";
    EXPECT_EQ(project.UserInterface(), nullptr);
    EXPECT_EQ(project.LocalOrigin, 29.0);
    EXPECT_EQ(ui.HourglassDepth, 0);

    Offer();
    RunTransformCommand(project, ui, dtHartebeesthoek);
    EXPECT_EQ(project.SourceDatum, dtHartebeesthoek);
    EXPECT_EQ(project.TargetDatum, dtCape);
    EXPECT_EQ(ui.Informations,
              (std::vector<std::string>{
                  "3 shapes consisting of 15 points transformed\rfrom the Clarke 1880 coordinate "
                  "system into the\rWGS`84 coordinate system.\rDistance moved: least 299.660 m, "
                  "mean 299.660 m, greatest 299.660 m.",
                  "3 shapes consisting of 15 points transformed\rfrom the WGS`84 coordinate "
                  "system into the\rClarke 1880 coordinate system.\rDistance moved: least "
                  "299.660 m, mean 299.660 m, greatest 299.660 m."}));
}

TEST_F(CommandTest, CancellationsEndSilentlyAndWriteNothing)
{
    auto chooseDataSource = ui.OnChooseDataSource;
    ui.OnChooseDataSource = [](const std::string&) { return nullptr; };
    EXPECT_EQ(RunTransformCommand(project, ui, dtCape).Outcome, GCommandOutcome::Cancelled);
    EXPECT_EQ(ui.Log, std::vector<std::string>{"ChooseDataSource:RecordSet DataSource"});

    ui.OnChooseDataSource = chooseDataSource;
    ui.OnConfirmRun = [](bool&, const std::vector<std::string>&) { return false; };
    EXPECT_EQ(RunTransformCommand(project, ui, dtCape).Outcome, GCommandOutcome::Cancelled);
    EXPECT_EQ(FirstX(), 2850000.0);
    EXPECT_EQ(data->Posts, 0);
    EXPECT_EQ(data->Flushes, 0);
    EXPECT_TRUE(ui.Informations.empty());
    EXPECT_FALSE(GRegistry().ValueExists("Show Message"));
}

TEST_F(CommandTest, UntickedConfirmationIsStoredAndSkippedLater)
{
    ui.OnConfirmRun = [](bool& alwaysShow, const std::vector<std::string>&)
    {
        EXPECT_TRUE(alwaysShow);
        alwaysShow = false;
        return true;
    };
    RunTransformCommand(project, ui, dtCape);
    EXPECT_EQ(GRegistry().ReadString("Show Message", ""), "0");

    Offer();
    ui.Log.clear();
    RunTransformCommand(project, ui, dtCape);
    const auto questions = ui.Questions();
    EXPECT_EQ(std::count(questions.begin(), questions.end(), "ConfirmRun"), 0);
    EXPECT_EQ(ui.Informations.size(), 2u);
}

TEST_F(CommandTest, CancelledSaveDialogShowsTheOutputDialogAgain)
{
    int outputs = 0;
    ui.OnEditTransformationOutput = [&](GOutputChoice& choice)
    {
        ++outputs;
        EXPECT_EQ(choice.LabelFields, (std::vector<std::string>{"<NONE>", "LABEL", "ID"}));
        if (outputs == 2)
        {
            EXPECT_EQ(choice.LabelField, "LABEL");
        }
        choice.Output = true;
        choice.OutputMode = 1;
        choice.LabelField = "LABEL";
        return true;
    };
    int saves = 0;
    const auto reportFile = (Folder / "report.txt").string();
    ui.OnChooseSaveFile = [&](GFileDialog& dialog)
    {
        EXPECT_EQ(dialog.FileName, "Output.txt");
        EXPECT_EQ(dialog.DefaultExtension, "txt");
        EXPECT_TRUE(dialog.OverwritePrompt);
        if (++saves == 1)
            return false;
        dialog.FileName = reportFile;
        return true;
    };
    RunTransformCommand(project, ui, dtCape);
    EXPECT_EQ(outputs, 2);
    EXPECT_EQ(saves, 2);
    const auto lines = ReportLines(reportFile);
    ASSERT_EQ(lines.size(), 6u + 15u + 1u + 6u + 1u);
    EXPECT_EQ(lines[6].substr(0, 10), "LINE      ");
    EXPECT_EQ(lines[11].substr(0, 10), "MULTI     ");
    EXPECT_EQ(lines[16].substr(0, 10), "POLYGON   ");
}

TEST_F(CommandTest, ErrorsAreShownAndTheRecordSetClosed)
{
    data->FailAtPost = 1;
    const GTransformResult result = RunTransformCommand(project, ui, dtCape);
    EXPECT_EQ(result.Outcome, GCommandOutcome::Failed);
    EXPECT_EQ(ui.Errors, std::vector<std::string>{"Posting failed"});
    EXPECT_TRUE(ui.Informations.empty());
    EXPECT_EQ(project.RecordSet, nullptr);
    EXPECT_EQ(ui.HourglassDepth, 0);
}

TEST_F(CommandTest, ControlCoordinateCommand)
{
    ImportDelimited(Sample("beacons-lo29.csv"), 29, "TRIG");
    ui.OnEditTransformationMethod = nullptr; // the control coordinate method, as stored
    ui.OnEditTransformationParameters = [](GTransformationParameters& values)
    {
        values.ApplyWeighting = true;
        return true;
    };
    ui.OnChooseSelectionStrategy = [](GSelectionStrategy& strategy)
    {
        strategy.Count = 4;
        return true;
    };
    ui.OnReviewControlBeacons =
        [](GTrigBeaconList& beacons, double lo, const GPoint& centre, const GRectangle& extent)
    {
        EXPECT_LE(extent.Left(), centre.X);
        EXPECT_GE(extent.Right(), centre.X);
        EXPECT_EQ(beacons.Count(), 20);
        EXPECT_EQ(beacons.SelectedCount(), 4);
        EXPECT_EQ(lo, 29.0);
        EXPECT_NEAR(centre.X, 28.2, 0.2); // geographic degrees
        EXPECT_NEAR(centre.Y, 25.75, 0.2);
        beacons.Beacon(5).Selected = true;
        return true;
    };
    const GTransformResult result = RunTransformCommand(project, ui, dtCape);
    EXPECT_EQ(result.Outcome, GCommandOutcome::Completed);
    EXPECT_EQ(ui.Questions(),
              (std::vector<std::string>{"ChooseDataSource", "EditProjectParameters",
                                        "EditTransformationMethod", "EditTransformationParameters",
                                        "ChooseSelectionStrategy", "ReviewControlBeacons",
                                        "EditTransformationOutput", "ConfirmRun"}));
    EXPECT_EQ(result.Counts.Points, 15);
}

TEST_F(CommandTest, EmailImportCommand)
{
    GRegistry().WriteFloat("Control Distance", 123.5);
    ui.OnChooseImportFormat = [](std::int32_t& format)
    {
        format = 0;
        return true;
    };
    ui.OnChooseOpenFile = [this](GFileDialog& dialog)
    {
        EXPECT_TRUE(dialog.MustExist);
        EXPECT_EQ(dialog.DefaultExtension, "eml");
        dialog.FileName =
            Sample(dialog.Title == "Clarke 1880 Data File..." ? "email-lo29-cape.eml"
                                                              : "email-lo29-hart.eml");
        return true;
    };
    ui.OnReviewImport = [](GImportReview& review)
    {
        EXPECT_EQ(review.LocalOrigin, 29.0);
        EXPECT_EQ(review.ControlDistance, 123.5);
        EXPECT_EQ(review.Beacons->Count(), 22);
        review.Beacons->Beacon(0).Selected = false; // left out by the user
        return true;
    };
    const GImportResult result = RunImportCommand(project, ui, "TSM");
    EXPECT_EQ(result.Outcome, GCommandOutcome::Completed);
    EXPECT_EQ(result.Imported, 21);
    EXPECT_EQ(ui.Questions(), (std::vector<std::string>{"ChooseImportFormat", "ChooseOpenFile",
                                                        "ChooseOpenFile", "ReviewImport"}));
    GTrigBeaconList control;
    control.ReadControlFile(dtCape);
    EXPECT_EQ(control.Count(), 21);
    EXPECT_EQ(control.Beacon(0).Source, "TSM");
}

TEST_F(CommandTest, ImportRefusals)
{
    // Cancelling the second file dialog ends the command.
    ui.OnChooseOpenFile = [](GFileDialog& dialog)
    { return dialog.Title == "Clarke 1880 Data File..."; };
    EXPECT_EQ(RunEmailImport(project, ui, "TRIG").Outcome, GCommandOutcome::Cancelled);
    EXPECT_TRUE(ui.Errors.empty());

    // A delimited file that does not exist.
    ui.OnChooseOpenFile = [this](GFileDialog& dialog)
    {
        EXPECT_EQ(dialog.Title, "Text File...");
        dialog.FileName = (Folder / "missing.csv").string();
        return true;
    };
    EXPECT_EQ(RunDelimitedImport(project, ui, "TRIG").Outcome, GCommandOutcome::Failed);
    EXPECT_EQ(ui.Errors, std::vector<std::string>{"There are no beacons in the file."});

    // E-mail files without a matched beacon.
    ui.Errors.clear();
    ui.OnChooseOpenFile = [this](GFileDialog& dialog)
    {
        dialog.FileName = (Folder / "missing.eml").string();
        return true;
    };
    RunEmailImport(project, ui, "TRIG");
    EXPECT_EQ(ui.Errors,
              std::vector<std::string>{"There are no matched beacons between the two files."});

    // A data source without a spatial component, then one that does not open.
    ui.Errors.clear();
    ui.OnChooseDataSource = [](const std::string& caption)
    {
        EXPECT_EQ(caption, "Clarke RecordSet DataSource");
        auto recordSet = std::make_unique<MemoryRecordSet>();
        recordSet->Spatial = false;
        return recordSet;
    };
    RunDataSourceImport(project, ui, "TRIG");
    ui.OnChooseDataSource = [](const std::string&)
    {
        auto recordSet = std::make_unique<MemoryRecordSet>();
        recordSet->OpenResult = false;
        return recordSet;
    };
    RunDataSourceImport(project, ui, "TRIG");
    EXPECT_EQ(ui.Errors, (std::vector<std::string>{
                             "The record set must contain a spatial\rcomponent to be used in "
                             "this operation.",
                             "Unable to open the record set."}));
}

TEST_F(CommandTest, DataSourceImportCommand)
{
    ui.OnChooseDataSource = [](const std::string& caption)
    {
        auto recordSet = std::make_unique<MemoryRecordSet>();
        const bool cape = caption == "Clarke RecordSet DataSource";
        EXPECT_TRUE(cape || caption == "WGS`84 RecordSet DataSource") << caption;
        recordSet->AddPoint(cape ? 2850630.820 : 2850928.803, cape ? 95432.601 : 95464.102,
                            "TRIG 177");
        return recordSet;
    };
    std::vector<std::string> titles;
    ui.OnChooseString =
        [&](const std::string& title, const std::vector<std::string>& items, std::string& choice)
    {
        titles.push_back(title);
        EXPECT_EQ(items, (std::vector<std::string>{"LABEL", "ID"}));
        choice = "LABEL";
        return true;
    };
    ui.OnReviewImport = [](GImportReview& review)
    {
        EXPECT_EQ(review.LocalOrigin, 31.0);
        EXPECT_EQ(review.ClarkeSource, "Clarke 1880 DataSource");
        EXPECT_EQ(review.WGSSource, "WGS`84 DataSource");
        review.LocalOrigin = 29.0;
        return true;
    };
    const GImportResult result = RunDataSourceImport(project, ui, "TRIG");
    EXPECT_EQ(result.Outcome, GCommandOutcome::Completed);
    EXPECT_EQ(result.Imported, 1);
    EXPECT_EQ(titles, (std::vector<std::string>{"Clarke Identity Field", "WGS`84 Identity Field"}));
}

} // namespace
} // namespace quorvalis::test
