// Whole transform commands from the main window, every dialog answered as a user would: the file
// written and the report equal byte for byte what the command line writes with the same answers;
// every cancel writes nothing.
#include "FormsTestSupport.h"

#include "database/Database.h"
#include "database/ShapefileDatabase.h"
#include "forms/FormConfirmation.h"
#include "forms/FormMain.h"
#include "forms/FormTextFileDataSource.h"
#include "forms/FormTrigBeacons.h"
#include "geometry/Spatial.h"
#include "project/BeaconReview.h"
#include "project/Project.h"
#include "project/WinRegistry.h"
#include "tests/InProcessCli.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

namespace quorvalis::test
{
namespace
{

namespace fs = std::filesystem;
using Answer = ScriptedUser::Answer;

std::string ReadBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The files of a job: a shapefile's three, a text file with its definition, a coordinate list.
std::vector<std::string> JobFiles(const std::string& name)
{
    const fs::path path(name);
    if (path.extension() == ".shp")
        return {name, fs::path(name).replace_extension(".shx").string(),
                fs::path(name).replace_extension(".dbf").string()};
    if (path.extension() == ".txt")
        return {name, name.find("fixed") != std::string::npos ? "job-points-fixed.def"
                                                              : "job-points-delimited.def"};
    return {name};
}

// --- Answers of the dialogs ---

Answer TextFile(std::string text, std::string definition)
{
    return {"Text File DataSource", [text, definition](QWidget& dialog)
            {
                auto& form = static_cast<TfrmTextFileDataSource&>(dialog);
                form.SetTextFileName(text);
                form.SetDefinitionFileName(definition);
                Child<QComboBox>(dialog, "cmbXField").setCurrentText("X");
                Child<QComboBox>(dialog, "cmbYField").setCurrentText("Y");
                Press(dialog, "btnOk");
            }};
}

// The project parameters with the data's Lo typed in (none: the one offered, checked).
Answer ProjectParameters(const char* lo, const char* offered = nullptr)
{
    return {"Project Parameters", [lo, offered](QWidget& dialog)
            {
                auto& edit = Child<QLineEdit>(dialog, "edtLocalOrigin");
                if (offered)
                {
                    EXPECT_EQ(edit.text().toStdString(), offered);
                }
                if (lo)
                    edit.setText(QString::fromLatin1(lo));
                Press(dialog, "btnRefresh");
                EXPECT_NE(Child<QLabel>(dialog, "pnlProjected").text(), "(0.0;0.0) -> (0.0;0.0)");
                Press(dialog, "btnOk");
            }};
}

Answer Method(int method)
{
    return {"Project Transformation Method", [method](QWidget& dialog)
            {
                Child<QRadioButton>(dialog, method == 0 ? "rbCalculated" : "rbHelmert")
                    .setChecked(true);
                Press(dialog, "btnOk");
            }};
}

Answer TransformationParameters(bool weighting)
{
    return {"Transformation Parameters", [weighting](QWidget& dialog)
            {
                Child<QCheckBox>(dialog, "chkApplyWeighting").setChecked(weighting);
                Press(dialog, "btnOk");
            }};
}

// The beacons as preselected; what the dialog shows of them is kept for a comparison.
Answer Beacons(std::map<std::string, std::string>* leaveOneOut = nullptr)
{
    return {"Transformation Control Beacons", [leaveOneOut](QWidget& dialog)
            {
                const GBeaconReview* review = static_cast<TfrmTrigBeacons&>(dialog).Review();
                EXPECT_TRUE(review && review->Valid());
                if (review && leaveOneOut)
                    for (const GBeaconRow& row : review->Selected())
                        (*leaveOneOut)[row.Name] = row.LeaveOneOutText;
                Press(dialog, "btnOk");
            }};
}

Answer Helmert(int mode)
{
    return {"Helmert Transformation Parameters", [mode](QWidget& dialog)
            {
                Child<QRadioButton>(dialog, mode == 0 ? "rbCalculated" : "rbUser").setChecked(true);
                Press(dialog, "btnOk");
            }};
}

Answer Output(bool output, bool verbose = false, const char* label = "<NONE>")
{
    return {"Transformation Output", [=](QWidget& dialog)
            {
                Child<QCheckBox>(dialog, "chkOutput").setChecked(output);
                Child<QListWidget>(dialog, "lstOutputMode").setCurrentRow(verbose ? 1 : 0);
                auto& labels = Child<QComboBox>(dialog, "cmbLabelField");
                labels.setCurrentIndex(labels.findText(QString::fromLatin1(label)));
                Press(dialog, "btnOk");
            }};
}

class TransformCommandTest : public DialogsTest
{
protected:
    void SetUp() override
    {
        DialogsTest::SetUp();
        for (const char* side : {"gui", "cli"})
            fs::create_directories(Folder / side);
        FileAnswer = [this](const GFileDialog& dialog) -> std::string
        {
            return dialog.Title == "Transformation Output File..."
                       ? (Folder / "gui" / "report.txt").string()
                       : data;
        };
        main = std::make_unique<TfrmMain>();
        main->show();
    }
    void TearDown() override
    {
        main.reset();
        DialogsTest::TearDown();
    }

    CliRun Cli(const std::vector<std::string>& args) { return RunCliInProcess(args); }

    void ImportBeacons()
    {
        const CliRun run = Cli({"import", "--class", "TRIG", "--csv", Sample("beacons-lo29.csv"),
                                "--lo", "29", "--yes"});
        ASSERT_EQ(run.Code, 0) << run.Err;
    }

    // A sample job copied to both sides; the windows will work on gui/, the command line on cli/.
    void CopyJob(const std::string& name)
    {
        job = name;
        for (const char* side : {"gui", "cli"})
            for (const std::string& file : JobFiles(name))
                fs::copy_file(Sample(file), Folder / side / file,
                              fs::copy_options::overwrite_existing);
        data = (Folder / "gui" / name).string();
    }

    // Every file of the job and the report, as bytes.
    std::vector<std::string> Files(const char* side) const
    {
        std::vector<std::string> bytes;
        for (const std::string& file : JobFiles(job))
            bytes.push_back(ReadBytes(Folder / side / file));
        bytes.push_back(ReadBytes(Folder / side / "report.txt"));
        return bytes;
    }

    // Runs the command of the main window in a direction with the scripted answers.
    void Windows(std::uint8_t sourceDatum, std::vector<Answer> answers)
    {
        ScriptedUser user(std::move(answers));
        if (sourceDatum == dtCape)
            main->TransformClarke1880toWGS84();
        else
            main->TransformWGS84toClarke1880();
        EXPECT_EQ(user.Left(), 0u) << "dialogs not shown";
        answered = user.Answered();
    }

    // The information boxes shown.
    std::vector<std::string> Informations() const
    {
        std::vector<std::string> texts;
        for (const auto& [kind, text] : Boxes)
            if (kind == GMessageKind::Information)
                texts.push_back(text);
        return texts;
    }

    // Runs the same job on the command line and expects both sides' files to be equal.
    void ExpectTheCommandLineAgrees(std::vector<std::string> args)
    {
        args.push_back("--report");
        args.push_back((Folder / "cli" / "report.txt").string());
        args.push_back("--yes");
        const CliRun run = Cli(args);
        ASSERT_EQ(run.Code, 0) << run.Err;
        const std::vector<std::string> gui = Files("gui");
        const std::vector<std::string> cli = Files("cli");
        ASSERT_EQ(gui.size(), cli.size());
        for (std::size_t i = 0; i < gui.size(); ++i)
            EXPECT_TRUE(gui[i] == cli[i]) << "file " << i << " of " << job << " differs";
        EXPECT_GT(gui.back().size(), 100u) << "a report was written";
        // The result box says what the command line prints.
        ASSERT_FALSE(Informations().empty());
        std::string message = Informations().back();
        std::replace(message.begin(), message.end(), '\r', '\n');
        EXPECT_NE(run.Out.find(message), std::string::npos) << message;
    }

    std::unique_ptr<TfrmMain> main;
    std::string job;
    std::string data;
    std::vector<std::string> answered;
};

TEST_F(TransformCommandTest, WeightedControlCoordinatesWithAVerboseReportEqualTheCommandLine)
{
    ImportBeacons();
    CopyJob("job-lines.shp");
    std::map<std::string, std::string> leaveOneOut;
    Windows(dtCape, {ChooseKind("Shapefile"), Ok("Shapefile DataSource"), ProjectParameters("29"),
                     Method(0), TransformationParameters(true), Ok("Transformation Coordinates"),
                     Beacons(&leaveOneOut), Output(true, true, "LABEL"), Ok("Confirmation")});
    EXPECT_TRUE(Errors().empty()) << Errors().front();
    const std::vector<std::string> forward = {"transform",
                                              "--to",
                                              "hart94",
                                              "--lo",
                                              "29",
                                              "--method",
                                              "control",
                                              "--weighting",
                                              "--verbose-report",
                                              "--label-field",
                                              "LABEL",
                                              "--shapefile",
                                              (Folder / "cli" / job).string()};

    // The dry run on the command line shows the figures the selection dialog showed.
    const CliRun review = Cli(forward);
    ASSERT_EQ(review.Code, 0) << review.Err;
    ASSERT_EQ(leaveOneOut.size(), 10u);
    for (const auto& [name, value] : leaveOneOut)
    {
        const std::size_t line = review.Out.find("\n  " + name + " ");
        ASSERT_NE(line, std::string::npos) << name;
        const std::string text = review.Out.substr(line, review.Out.find('\n', line + 1) - line);
        EXPECT_NE(text.find(" " + value), std::string::npos) << text;
    }
    ExpectTheCommandLineAgrees(forward);
}

// Every sample job, each way by each method, from the main window alone: the data, then the
// report, equal what the command line writes with the same answers (the coordinate list with the
// Lo the dialog offers from the file).
TEST_F(TransformCommandTest, EverySampleJobBothWaysByBothMethods)
{
    ImportBeacons();
    ASSERT_EQ(Cli({"import", "--class", "TRIG", "--csv", Sample("beacons-lo31.csv"), "--lo", "31",
                   "--yes"})
                  .Code,
              0);
    struct Job
    {
        const char* Name;
        const char* Lo; // nullptr: the coordinate list's own, offered by the dialog
        const char* Definition;
    };
    const Job jobs[] = {{"job-points.shp", "29", nullptr},
                        {"job-lines.shp", "29", nullptr},
                        {"job-parcels.shp", "31", nullptr},
                        {"job-points.txt", "29", "job-points-delimited.def"},
                        {"job-points-fixed.txt", "29", "job-points-fixed.def"},
                        {"job-points.crd", nullptr, nullptr}};
    for (const Job& sample : jobs)
    {
        SCOPED_TRACE(sample.Name);
        CopyJob(sample.Name);
        std::vector<std::string> source;
        std::vector<Answer> opening;
        if (sample.Definition)
        {
            opening = {ChooseKind("Text File"),
                       TextFile(data, (Folder / "gui" / sample.Definition).string())};
            source = {"--text",       (Folder / "cli" / job).string(),
                      "--definition", (Folder / "cli" / sample.Definition).string(),
                      "--x-field",    "X",
                      "--y-field",    "Y"};
        }
        else if (fs::path(job).extension() == ".crd")
        {
            opening = {ChooseKind("Corvell Coordinate File"), Ok("Corvell DataSource")};
            source = {"--crd", (Folder / "cli" / job).string()};
        }
        else
        {
            opening = {ChooseKind("Shapefile"), Ok("Shapefile DataSource")};
            source = {"--shapefile", (Folder / "cli" / job).string()};
        }
        if (sample.Lo)
            source.insert(source.end(), {"--lo", sample.Lo});
        const Answer parameters = ProjectParameters(sample.Lo, sample.Lo ? nullptr : "29");

        for (const int method : {0, 1})
            for (const std::uint8_t datum : {dtCape, dtHartebeesthoek})
            {
                SCOPED_TRACE(std::string(method == 0 ? "control" : "helmert") +
                             (datum == dtCape ? " to hart94" : " to cape"));
                std::vector<Answer> answers = opening;
                answers.insert(answers.end(), {parameters, Method(method)});
                if (method == 0)
                    answers.insert(answers.end(), {TransformationParameters(false),
                                                   Ok("Transformation Coordinates"), Beacons()});
                else
                    answers.push_back(Helmert(0));
                answers.insert(answers.end(), {Output(true), Ok("Confirmation")});
                const std::string before = Files("gui").front();
                Windows(datum, answers);
                EXPECT_TRUE(Errors().empty()) << Errors().front();
                EXPECT_NE(Files("gui").front(), before) << "the data moved";

                std::vector<std::string> args = {"transform", "--to",
                                                 datum == dtCape ? "hart94" : "cape"};
                args.insert(args.end(), source.begin(), source.end());
                if (method == 0)
                    args.insert(args.end(), {"--method", "control", "--no-weighting"});
                else
                    args.insert(args.end(), {"--method", "helmert", "--helmert-mode", "sheet"});
                args.push_back("--standard-report");
                ExpectTheCommandLineAgrees(args);
            }
    }
}

TEST_F(TransformCommandTest, EveryCancelEndsTheCommandAndWritesNothing)
{
    ImportBeacons();
    CopyJob("job-lines.shp");
    const std::vector<std::string> before = Files("gui");
    const std::vector<Answer> sequence = {ChooseKind("Shapefile"),
                                          Ok("Shapefile DataSource"),
                                          ProjectParameters("29"),
                                          Method(0),
                                          TransformationParameters(false),
                                          Ok("Transformation Coordinates"),
                                          Beacons(),
                                          Output(true),
                                          Ok("Confirmation")};
    // Cancel at each dialog in turn (the chooser's cancel first): no further dialog, no result.
    for (std::size_t cancelled = 0; cancelled < sequence.size(); ++cancelled)
    {
        std::vector<Answer> answers(sequence.begin(),
                                    sequence.begin() + static_cast<std::ptrdiff_t>(cancelled));
        answers.push_back(Cancel(sequence[cancelled].Caption.c_str()));
        Windows(dtCape, answers);
        EXPECT_EQ(answered.size(), cancelled + 1);
        EXPECT_EQ(Files("gui"), before) << "cancelled at " << sequence[cancelled].Caption;
        EXPECT_FALSE(fs::exists(Folder / "gui" / "report.txt"));
        EXPECT_TRUE(Informations().empty());
        EXPECT_TRUE(Errors().empty()) << Errors().front();
        EXPECT_EQ(main->Project().RecordSet, nullptr);
    }
}

// With "Show Message" off a run with doubts still asks, and the box shows them.
TEST_F(TransformCommandTest, ShowMessageOffStillConfirmsARunWithDoubts)
{
    GRegistry().WriteBool("Show Message", false);
    CopyJob("job-points.txt");
    const std::string definition = (Folder / "gui" / "job-points-delimited.def").string();
    const std::vector<std::string> before = Files("gui");

    // The stored user-defined Helmert (a = b = 1) is a doubt: the confirmation lists it, unticked.
    Windows(dtCape, {ChooseKind("Text File"),
                     TextFile(data, definition),
                     ProjectParameters("29"),
                     Method(1),
                     Helmert(1),
                     Output(false),
                     {"Confirmation", [](QWidget& dialog)
                      {
                          auto& doubts = Child<QLabel>(dialog, "pnlDoubts");
                          EXPECT_TRUE(doubts.isVisible());
                          EXPECT_TRUE(doubts.text().contains("a = 1 and b = 1"));
                          EXPECT_FALSE(Child<QCheckBox>(dialog, "chkAlwaysShow").isChecked());
                          Press(dialog, "btnCancel");
                      }}});
    EXPECT_EQ(Files("gui"), before);
}

} // namespace
} // namespace quorvalis::test
