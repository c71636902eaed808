#include "project/TransformCommand.h"

#include "database/Database.h"
#include "geometry/NumberFormat.h"
#include "project/Guards.h"
#include "project/UserInterface.h"

#include <exception>

namespace quorvalis
{

std::string TransformResultMessage(const GRunCounts& counts, std::uint8_t sourceDatum)
{
    std::string message = std::to_string(counts.Shapes) + " shapes consisting of " +
                          std::to_string(counts.Points) + " points transformed\r";
    if (sourceDatum == dtHartebeesthoek)
        message += "from the WGS`84 coordinate system into the\rClarke 1880 coordinate system.";
    else
        message += "from the Clarke 1880 coordinate system into the\rWGS`84 coordinate system.";
    if (counts.Shift.Count > 0)
        message += "\r" + ShiftSummaryText(counts.Shift);
    return message;
}

std::string ShiftSummaryText(const GShiftSummary& shift)
{
    return "Distance moved: least " + FormatPicture(shift.Least, "0.000") + " m, mean " +
           FormatPicture(shift.Mean, "0.000") + " m, greatest " +
           FormatPicture(shift.Greatest, "0.000") + " m.";
}

namespace
{

// The project talks to this command's interface while the command runs, and to whatever it
// talked to before afterwards; the record set is closed however the command ends.
class CommandScope
{
public:
    CommandScope(GProject& project, GUserInterface& ui)
        : project_(project), previous_(project.UserInterface())
    {
        project_.SetUserInterface(&ui);
    }
    ~CommandScope()
    {
        try
        {
            project_.CloseRecordSet();
        }
        catch (...)
        {
            // Freeing the record set cannot fail; only a close that flushes can, and its
            // error would hide the one the user has already seen.
        }
        project_.SetUserInterface(previous_);
    }
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

private:
    GProject& project_;
    GUserInterface* previous_;
};

// What the data source did beside the coordinates (an interrupted run found at open, spatial
// indexes rebuilt, a declaration left as it was) is told as warnings.
void ShowNotices(GProject& project, GUserInterface& ui)
{
    if (project.RecordSet)
        for (const std::string& notice : project.RecordSet->TakeNotices())
            ui.ShowWarning(notice);
}

GTransformResult Sequence(GProject& project, GUserInterface& ui, std::uint8_t sourceDatum)
{
    GTransformResult result;
    project.SourceDatum = sourceDatum == dtHartebeesthoek ? dtHartebeesthoek : dtCape;
    project.TargetDatum = sourceDatum == dtHartebeesthoek ? dtCape : dtHartebeesthoek;
    project.CloseRecordSet();
    project.LoadDefaults();

    auto recordSet = ui.ChooseDataSource(kTransformDataSourceCaption);
    if (!recordSet || !project.OpenRecordSet(std::move(recordSet)))
        return result;
    ui.Repaint();
    ShowNotices(project, ui);
    // Faults are raised as soon as what they need is known; CheckRun repeats them all before
    // the run.
    CheckDataFiles(project);
    CheckDeclarations(project);
    // The data's own Lo (a coordinate list's header, a .prj) is the one offered.
    if (const auto declared = DeclaredLocalOrigin(*project.RecordSet, project.SourceDatum))
        project.LocalOrigin = project.TransformationLocalOrigin = *declared->LocalOrigin;

    project.CalculateExtent();
    if (!project.EditProjectParameters())
        return result;
    CheckLocalOrigin(project.LocalOrigin, kDataLocalOrigin);
    CheckJobArea(project);
    if (!project.EditTransformationMethod())
        return result;

    if (project.ProjectTransformation == 0)
    {
        if (!project.EditTransformationParameters())
            return result;
        CheckParameters(project, project.ProjectTransformation);
        project.ReadControlBeacons();
        project.SortControlBeacons();
        GSelectionStrategy strategy;
        if (!ui.ChooseSelectionStrategy(strategy))
            return result;
        project.SelectControlBeacons(strategy);
        if (!project.ReviewControlBeacons())
            return result;
    }
    else
    {
        if (!project.EditHelmertParameters())
            return result;
        CheckParameters(project, project.ProjectTransformation);
    }
    if (!project.ChooseOutput())
        return result;

    const GRunAssessment assessment = AssessRun(project);
    for (const std::string& warning : assessment.Warnings)
        ui.ShowWarning(warning);
    if (!ui.ReviewRun(assessment) || !project.ConfirmRun(assessment.Doubts))
        return result;
    result.Counts = project.ProjectTransformation == 0 ? project.RunControlTransformation()
                                                       : project.RunHelmertTransformation();
    project.FlushRecordSet();
    ui.ShowInformation(TransformResultMessage(result.Counts, project.SourceDatum));
    ShowNotices(project, ui);
    for (const std::string& file : assessment.LinkedFiles)
        ui.ShowWarning(SplitLinkMessage(file));
    result.Outcome = GCommandOutcome::Completed;
    return result;
}

} // namespace

GTransformResult RunTransformCommand(GProject& project, GUserInterface& ui,
                                     std::uint8_t sourceDatum)
{
    CommandScope scope(project, ui);
    GTransformResult result;
    try
    {
        result = Sequence(project, ui, sourceDatum);
    }
    catch (const std::exception& error)
    {
        result.Outcome = GCommandOutcome::Failed;
        result.ErrorMessage = error.what();
        ui.ShowError(result.ErrorMessage);
    }
    return result;
}

} // namespace quorvalis
