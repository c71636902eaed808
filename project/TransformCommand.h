// The transform command: from the choice of data to the result message, driving the user
// interface attached to nothing but this call. Shared by every front end.
#pragma once

#include "project/Project.h"

#include <cstdint>
#include <string>

namespace quorvalis
{

class GUserInterface;

/// How a command ended.
enum class GCommandOutcome : std::uint8_t
{
    Completed, ///< the run finished (the result box was shown, possibly with 0 and 0)
    Cancelled, ///< the user cancelled a dialog, or a record set was refused (its box was shown)
    Failed,    ///< an error ended the command; its message was shown in an error box
};

struct GTransformResult
{
    GCommandOutcome Outcome = GCommandOutcome::Cancelled;
    GRunCounts Counts;
    std::string ErrorMessage; ///< Failed: the message shown
};

/// The caption of the data source dialog of the command.
inline constexpr char kTransformDataSourceCaption[] = "RecordSet DataSource";

/// The information box after a run: shapes + " shapes consisting of " + points + " points
/// transformed" + "\r" + first phrase + "\r" + second phrase; the phrases name the source and
/// target coordinate systems of sourceDatum's direction. When points were measured, a last line
/// ShiftSummaryText(counts.Shift) follows.
std::string TransformResultMessage(const GRunCounts& counts, std::uint8_t sourceDatum);
/// "Distance moved: least 296.512 m, mean 298.771 m, greatest 301.004 m." (the application's
/// decimal separator).
std::string ShiftSummaryText(const GShiftSummary& shift);

/// Runs the command on the project in one direction (sourceDatum 0: Clarke 1880 to WGS84; 1: the
/// reverse): sets the datums, closes any record set and loads the defaults; asks for the data,
/// opens it, takes the Lo the data declare as the one offered, computes the extent; the
/// parameter dialogs; for control coordinates the beacons, strategy, selection; the output; the
/// assessment (AssessRun: its warnings shown, then ReviewRun) and the confirmation with its
/// doubts; runs, flushes (data, then the report) and shows the counts. Each fault
/// (project/Guards.h) ends the command as soon as it is known, before anything is written. The
/// record set is closed in every case. Errors are caught and shown with ShowError. The project's
/// user interface is ui for the duration of the call.
GTransformResult RunTransformCommand(GProject& project, GUserInterface& ui,
                                     std::uint8_t sourceDatum);

} // namespace quorvalis
