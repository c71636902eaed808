#include "app/JobCommands.h"

#include "app/Cli.h"
#include "app/CliHelp.h"
#include "app/CommandLine.h"
#include "database/engine/Text.h"
#include "project/ImportCommand.h"
#include "project/Project.h"
#include "project/TransformCommand.h"

#include <ostream>

namespace quorvalis
{

namespace
{

const std::vector<GOptionSpec> kTransformOptions = {
    {"--to", 1},
    {"--shapefile", 1},
    {"--text", 1},
    {"--definition", 1},
    {"--crd", 1},
    {"--table", 2},
    {"--xyz", 2},
    {"--layer", 2},
    {"--x-field", 1},
    {"--y-field", 1},
    {"--z-field", 1},
    {"--method", 1},
    {"--coordinate-system", 1},
    {"--lo", 1},
    {"--transformation-lo", 1},
    {"--x-constant", 1},
    {"--y-constant", 1},
    {"--exchange", 0},
    {"--no-exchange", 0},
    {"--negate-x", 0},
    {"--no-negate-x", 0},
    {"--negate-y", 0},
    {"--no-negate-y", 0},
    {"--strategy", 1},
    {"--buffer", 1},
    {"--count", 1},
    {"--no-trig", 0},
    {"--no-tsm", 0},
    {"--no-other", 0},
    {"--selection", 1},
    {"--weighting", 0},
    {"--no-weighting", 0},
    {"--helmert-mode", 1},
    {"--helmert-a", 1},
    {"--helmert-b", 1},
    {"--cape-x", 1},
    {"--cape-y", 1},
    {"--wgs-x", 1},
    {"--wgs-y", 1},
    {"--report", 1},
    {"--no-report", 0},
    {"--verbose-report", 0},
    {"--standard-report", 0},
    {"--label-field", 1},
    {"--yes", 0},
    {"--force", 0},
    {"--threads", 1},
};

const std::vector<GOptionSpec> kImportOptions = {
    {"--class", 1},          {"--email", 2},      {"--csv", 1},
    {"--cape-shapefile", 1}, {"--cape-field", 1}, {"--hart-shapefile", 1},
    {"--hart-field", 1},     {"--lo", 1},         {"--yes", 0},
};

void NoPositionals(const GCommandLine& line)
{
    if (!line.Positionals().empty())
        throw GUsageError("unexpected argument '" + line.Positionals().front() + "'");
}

std::optional<double> NumberOption(const GCommandLine& line, const std::string& name)
{
    if (const auto value = line.Value(name))
        return ParseNumberOption(name, *value);
    return std::nullopt;
}

std::optional<double> WholeNumberOption(const GCommandLine& line, const std::string& name)
{
    if (const auto value = line.Value(name))
        return static_cast<double>(ParseIntegerOption(name, *value));
    return std::nullopt;
}

// A switch with its negation: true, false, or not given.
std::optional<bool> Switch(const GCommandLine& line, const std::string& on, const std::string& off)
{
    line.Exclusive(on, off);
    if (line.Has(on))
        return true;
    if (line.Has(off))
        return false;
    return std::nullopt;
}

GDataSourceSpec TransformSource(const GCommandLine& line)
{
    const std::vector<std::string> kinds{"--shapefile", "--text", "--crd",
                                         "--table",     "--xyz",  "--layer"};
    std::vector<std::string> given;
    for (const std::string& kind : kinds)
        if (line.Has(kind))
            given.push_back(kind);
    if (given.empty())
        throw GUsageError(
            "a source is needed: --shapefile, --text, --crd, --table, --xyz or --layer");
    if (given.size() > 1)
        throw GUsageError("options '" + given[0] + "' and '" + given[1] + "' exclude each other");

    GDataSourceSpec spec;
    const std::string& kind = given.front();
    const bool fields = kind == "--text" || kind == "--xyz";
    if (!fields)
        for (const char* option : {"--x-field", "--y-field", "--z-field"})
            if (line.Has(option))
                throw GUsageError("option '" + std::string(option) + "' needs --text or --xyz");
    if (kind != "--text" && line.Has("--definition"))
        throw GUsageError("option '--definition' needs --text");
    if (fields)
    {
        for (const char* option : {"--x-field", "--y-field"})
            if (!line.Has(option))
                throw GUsageError("option '" + kind + "' needs " + option);
        spec.XField = *line.Value("--x-field");
        spec.YField = *line.Value("--y-field");
        spec.ZField = line.Value("--z-field").value_or("");
    }
    if (kind == "--shapefile")
    {
        spec.SourceKind = GDataSourceSpec::Kind::Shapefile;
        spec.Path = *line.Value(kind);
    }
    else if (kind == "--text")
    {
        if (!line.Has("--definition"))
            throw GUsageError("option '--text' needs --definition");
        spec.SourceKind = GDataSourceSpec::Kind::TextFile;
        spec.Path = *line.Value(kind);
        spec.Definition = *line.Value("--definition");
    }
    else if (kind == "--crd")
    {
        spec.SourceKind = GDataSourceSpec::Kind::Corvell;
        spec.Path = *line.Value(kind);
    }
    else if (kind == "--layer")
    {
        spec.SourceKind = GDataSourceSpec::Kind::GisLayer;
        spec.Path = line.Values(kind)[0];
        spec.Table = line.Values(kind)[1];
    }
    else
    {
        spec.SourceKind =
            kind == "--table" ? GDataSourceSpec::Kind::Table : GDataSourceSpec::Kind::XYZTable;
        spec.Alias = line.Values(kind)[0];
        spec.Table = line.Values(kind)[1];
    }
    return spec;
}

// The exit code of a command that ran through the terminal interface.
int ExitCode(const GTerminalInterface& ui, GCommandOutcome outcome)
{
    if (ui.ErrorShown() || outcome == GCommandOutcome::Failed)
        return kExitError;
    if (outcome == GCommandOutcome::Completed || ui.DryRunStopped())
        return kExitSuccess;
    return kExitError;
}

} // namespace

GTerminalAnswers ParseTransformArguments(const std::vector<std::string>& args,
                                         std::uint8_t& sourceDatum)
{
    GCommandLine line(kTransformOptions);
    line.Parse(args);
    NoPositionals(line);

    GTerminalAnswers answers;
    const auto to = line.Value("--to");
    if (!to)
        throw GUsageError("option '--to hart94|cape' is needed");
    sourceDatum =
        ParseChoiceOption("--to", *to, {"hart94", "cape"}) == 0 ? dtCape : dtHartebeesthoek;
    answers.Source = TransformSource(line);
    answers.Yes = line.Has("--yes");
    answers.Force = line.Has("--force");

    answers.LocalOrigin = WholeNumberOption(line, "--lo");
    answers.TransformationLocalOrigin = WholeNumberOption(line, "--transformation-lo");
    answers.XConstant = NumberOption(line, "--x-constant");
    answers.YConstant = NumberOption(line, "--y-constant");
    answers.Exchange = Switch(line, "--exchange", "--no-exchange");
    answers.NegateX = Switch(line, "--negate-x", "--no-negate-x");
    answers.NegateY = Switch(line, "--negate-y", "--no-negate-y");
    if (const auto system = line.Value("--coordinate-system"))
        answers.CoordinateSystem = static_cast<std::uint8_t>(
            ParseChoiceOption("--coordinate-system", *system, {"geodetic", "ddd.mmss", "degrees"}));
    if (const auto method = line.Value("--method"))
        answers.Method = static_cast<std::uint8_t>(
            ParseChoiceOption("--method", *method, {"control", "helmert"}));

    answers.ApplyWeighting = Switch(line, "--weighting", "--no-weighting");
    if (const auto strategy = line.Value("--strategy"))
        answers.Strategy =
            ParseChoiceOption("--strategy", *strategy, {"buffer", "count", "manual"});
    answers.Buffer = NumberOption(line, "--buffer");
    if (answers.Buffer && *answers.Buffer < 0.0)
        throw GUsageError("option '--buffer': the buffer cannot be negative");
    if (const auto count = line.Value("--count"))
    {
        answers.Count = ParseIntegerOption("--count", *count);
        if (*answers.Count < 0)
            throw GUsageError("option '--count': the count cannot be negative");
    }
    if (const auto threads = line.Value("--threads"))
    {
        answers.Threads = ParseIntegerOption("--threads", *threads);
        if (*answers.Threads < 1 || *answers.Threads > kMaxRunThreads)
            throw GUsageError("option '--threads': '" + *threads +
                              "' is not a number of threads from 1 to " +
                              std::to_string(kMaxRunThreads));
    }
    answers.NoTrig = line.Has("--no-trig");
    answers.NoTsm = line.Has("--no-tsm");
    answers.NoOther = line.Has("--no-other");
    answers.SelectionFile = line.Value("--selection").value_or("");

    if (const auto mode = line.Value("--helmert-mode"))
        answers.HelmertMode = ParseChoiceOption("--helmert-mode", *mode, {"sheet", "user"});
    answers.HelmertA = NumberOption(line, "--helmert-a");
    answers.HelmertB = NumberOption(line, "--helmert-b");
    answers.CapeX = NumberOption(line, "--cape-x");
    answers.CapeY = NumberOption(line, "--cape-y");
    answers.WGSX = NumberOption(line, "--wgs-x");
    answers.WGSY = NumberOption(line, "--wgs-y");

    line.Exclusive("--report", "--no-report");
    if (const auto report = line.Value("--report"))
    {
        if (report->empty())
            throw GUsageError("option '--report' needs a file name");
        answers.Output = true;
        answers.ReportFile = *report;
    }
    else if (line.Has("--no-report"))
        answers.Output = false;
    line.Exclusive("--verbose-report", "--standard-report");
    if (line.Has("--verbose-report"))
        answers.OutputMode = 1;
    else if (line.Has("--standard-report"))
        answers.OutputMode = 0;
    answers.LabelField = line.Value("--label-field");
    return answers;
}

GTerminalAnswers ParseImportArguments(const std::vector<std::string>& args,
                                      std::string& beaconClass)
{
    GCommandLine line(kImportOptions);
    line.Parse(args);
    NoPositionals(line);

    const auto classValue = line.Value("--class");
    if (!classValue)
        throw GUsageError("option '--class TRIG|TSM' is needed");
    const int choice =
        ParseChoiceOption("--class", engine::UpperCase(*classValue), {"TRIG", "TSM"});
    beaconClass = choice == 0 ? "TRIG" : "TSM";

    GTerminalAnswers answers;
    answers.Yes = line.Has("--yes");
    answers.ImportLocalOrigin = WholeNumberOption(line, "--lo");

    const bool email = line.Has("--email");
    const bool csv = line.Has("--csv");
    const bool sources = line.Has("--cape-shapefile") || line.Has("--hart-shapefile") ||
                         line.Has("--cape-field") || line.Has("--hart-field");
    if (email + csv + sources == 0)
        throw GUsageError(
            "a source is needed: --email, --csv or --cape-shapefile/--hart-shapefile");
    if (email + csv + sources > 1)
        throw GUsageError("give only one of --email, --csv and the --cape-/--hart- shapefiles");
    if (email)
    {
        answers.ImportFormat = 0;
        answers.CapeEmail = line.Values("--email")[0];
        answers.HartEmail = line.Values("--email")[1];
    }
    else if (csv)
    {
        answers.ImportFormat = 1;
        answers.DelimitedFile = *line.Value("--csv");
    }
    else
    {
        for (const char* option :
             {"--cape-shapefile", "--cape-field", "--hart-shapefile", "--hart-field"})
            if (!line.Has(option))
                throw GUsageError("the shapefile import needs " + std::string(option));
        answers.ImportFormat = 2;
        answers.CapeSource.SourceKind = GDataSourceSpec::Kind::Shapefile;
        answers.CapeSource.Path = *line.Value("--cape-shapefile");
        answers.HartSource.SourceKind = GDataSourceSpec::Kind::Shapefile;
        answers.HartSource.Path = *line.Value("--hart-shapefile");
        answers.CapeField = *line.Value("--cape-field");
        answers.HartField = *line.Value("--hart-field");
    }
    return answers;
}

int RunTransformCli(const std::vector<std::string>& args, GCliContext& context)
{
    if (ShowHelpIfAsked(args, 0, kTransformHelp, context))
        return kExitSuccess;
    std::uint8_t sourceDatum = dtCape;
    GTerminalAnswers answers = ParseTransformArguments(args, sourceDatum);
    GProject project;
    project.DryRun = !answers.Yes;
    project.ThreadsOverride = answers.Threads.value_or(0);
    GTerminalInterface ui(std::move(answers), context.Out, context.Err, context.Progress);
    const GTransformResult result = RunTransformCommand(project, ui, sourceDatum);
    const int code = ExitCode(ui, result.Outcome);
    if (code == kExitSuccess && result.Outcome == GCommandOutcome::Completed && project.Output)
        context.Out << "Report: " << project.OutputFileName << '\n';
    return code;
}

int RunImportCli(const std::vector<std::string>& args, GCliContext& context)
{
    if (ShowHelpIfAsked(args, 0, kImportHelp, context))
        return kExitSuccess;
    std::string beaconClass;
    GTerminalAnswers answers = ParseImportArguments(args, beaconClass);
    GProject project;
    GTerminalInterface ui(std::move(answers), context.Out, context.Err, context.Progress);
    const GImportResult result = RunImportCommand(project, ui, beaconClass);
    const int code = ExitCode(ui, result.Outcome);
    if (code == kExitSuccess && result.Outcome == GCommandOutcome::Completed)
        context.Out << result.Imported << (result.Imported == 1 ? " beacon" : " beacons")
                    << " added to the control file as " << beaconClass << ".\n";
    return code;
}

} // namespace quorvalis
