#include "app/StoreCommands.h"

#include "app/Cli.h"
#include "app/CliHelp.h"
#include "app/CommandLine.h"
#include "app/ProgressBar.h"
#include "database/GisLayerDatabase.h"
#include "database/engine/Session.h"
#include "database/engine/Text.h"
#include "geometry/NumberFormat.h"
#include "project/ControlBeacons.h"
#include "project/Guards.h"
#include "project/Project.h"
#include "project/WinRegistry.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <ostream>
#include <regex>

namespace quorvalis
{

namespace
{

// The help of a command group: asked for with "--help", or printed as a usage error when the
// subcommand is missing; nothing otherwise.
std::optional<int> GroupHelp(const std::vector<std::string>& args, const char* help,
                             GCliContext& context)
{
    if (args.empty())
    {
        context.Err << help;
        return kExitUsage;
    }
    if (args[0] == "--help")
    {
        context.Out << help;
        return kExitSuccess;
    }
    return std::nullopt;
}

// --- Control file ---

void PrintControlTable(std::ostream& out, const std::vector<const GTrigBeacon*>& beacons)
{
    std::size_t width = 20;
    for (const GTrigBeacon* beacon : beacons)
        width = std::max(width, beacon->Name.size());
    const int nameWidth = static_cast<int>(width);
    out << FormatLayout("%-*s %-6s %16s %16s %16s %16s",
                        {nameWidth, "Name", "Source", "Clarke Latitude", "Clarke Longitude",
                         "WGS Latitude", "WGS Longitude"},
                        '.', ' ')
        << '\n';
    for (const GTrigBeacon* beacon : beacons)
        out << FormatLayout("%-*s %-6s %16s %16s %16s %16s",
                            {nameWidth, beacon->Name, beacon->Source,
                             FormatPicture(beacon->Clarke.Y, "0.000000"),
                             FormatPicture(beacon->Clarke.X, "0.000000"),
                             FormatPicture(beacon->WGS.Y, "0.000000"),
                             FormatPicture(beacon->WGS.X, "0.000000")},
                            '.', ' ')
            << '\n';
}

void PrintControlCsv(std::ostream& out, const std::vector<const GTrigBeacon*>& beacons)
{
    out << "Name,Source,Clarke Latitude,Clarke Longitude,WGS Latitude,WGS Longitude\n";
    for (const GTrigBeacon* beacon : beacons)
        out << CsvField(beacon->Name) << ',' << CsvField(beacon->Source) << ','
            << FormatGeneral(beacon->Clarke.Y, '.') << ',' << FormatGeneral(beacon->Clarke.X, '.')
            << ',' << FormatGeneral(beacon->WGS.Y, '.') << ',' << FormatGeneral(beacon->WGS.X, '.')
            << '\n';
}

void ReadControlFile(GTrigBeaconList& list, GCliContext& context)
{
    list.OnProgress = [&context](int position, const std::string& text, int total)
    {
        if (context.Progress)
            context.Progress->Update(position, total, text);
    };
    list.ReadControlFile(dtCape);
    if (context.Progress)
        context.Progress->Clear();
}

std::vector<const GTrigBeacon*> AllBeacons(const GTrigBeaconList& list)
{
    std::vector<const GTrigBeacon*> beacons;
    for (int i = 0; i < list.Count(); ++i)
        beacons.push_back(&list.Beacon(i));
    return beacons;
}

int ControlList(const std::vector<std::string>& args, GCliContext& context)
{
    if (ShowHelpIfAsked(args, 1, kControlListHelp, context))
        return kExitSuccess;
    GCommandLine line({{"--csv", 0}});
    line.Parse(args, 1);
    if (!line.Positionals().empty())
        throw GUsageError("unexpected argument '" + line.Positionals().front() + "'");
    GTrigBeaconList list;
    ReadControlFile(list, context);
    const auto beacons = AllBeacons(list);
    if (line.Has("--csv"))
        PrintControlCsv(context.Out, beacons);
    else
    {
        PrintControlTable(context.Out, beacons);
        context.Out << beacons.size()
                    << (beacons.size() == 1 ? " control coordinate\n" : " control coordinates\n");
    }
    return kExitSuccess;
}

int ControlFind(const std::vector<std::string>& args, GCliContext& context)
{
    if (ShowHelpIfAsked(args, 1, kControlFindHelp, context))
        return kExitSuccess;
    GCommandLine line({{"--match-case", 0}, {"--whole-word", 0}});
    line.Parse(args, 1);
    if (line.Positionals().size() != 1)
        throw GUsageError("control find needs exactly one search text");
    const std::string& text = line.Positionals().front();
    GTrigBeaconList list;
    ReadControlFile(list, context);
    std::vector<const GTrigBeacon*> found;
    for (const GTrigBeacon* beacon : AllBeacons(list))
        if (ControlNameMatches(beacon->Name, text, line.Has("--match-case"),
                               line.Has("--whole-word")))
            found.push_back(beacon);
    if (found.empty())
    {
        context.Err << "error: Coordinate " << text << " not found in control file.\n";
        return kExitError;
    }
    PrintControlTable(context.Out, found);
    return kExitSuccess;
}

int ControlDelete(const std::vector<std::string>& args, GCliContext& context)
{
    if (ShowHelpIfAsked(args, 1, kControlDeleteHelp, context))
        return kExitSuccess;
    GCommandLine line({{"--yes", 0}});
    line.Parse(args, 1);
    const std::vector<std::string>& names = line.Positionals();
    if (names.empty())
        throw GUsageError("control delete needs at least one NAME");
    GTrigBeaconList list;
    ReadControlFile(list, context);
    std::vector<const GTrigBeacon*> found;
    for (const GTrigBeacon* beacon : AllBeacons(list))
        if (std::find(names.begin(), names.end(), beacon->Name) != names.end())
            found.push_back(beacon);
    // Every name must be there: a mistyped one deletes nothing at all.
    for (const std::string& name : names)
        if (std::none_of(found.begin(), found.end(),
                         [&](const GTrigBeacon* beacon) { return beacon->Name == name; }))
        {
            context.Err << "error: Coordinate " << name << " not found in control file.\n";
            return kExitError;
        }
    PrintControlTable(context.Out, found);
    const char* noun = found.size() == 1 ? " control coordinate" : " control coordinates";
    if (!line.Has("--yes"))
    {
        context.Out << "\nDry run: the control file is unchanged. Add --yes to delete the "
                    << found.size() << noun << ".\n";
        return kExitSuccess;
    }
    const int deleted = DeleteFromControlFile(names);
    context.Out << deleted << (deleted == 1 ? " control coordinate" : " control coordinates")
                << " deleted from the control file.\n";
    return kExitSuccess;
}

// --- Stored defaults ---

enum class SettingKind
{
    Integer,
    Boolean,
    Float,
    Text,
};

struct Setting
{
    const char* Name;
    SettingKind Kind;
    double Default;
    std::vector<const char*> Meanings; ///< texts of the integer values 0, 1, ...
};

const std::vector<Setting>& Settings()
{
    static const std::vector<Setting> settings = {
        {"Local Origin", SettingKind::Integer, 31, {}},
        {"Coordinate System",
         SettingKind::Integer,
         0,
         {"Geodetic (metres)", "Geographic (ddd.mmss)", "Geographic (decimal degrees)"}},
        {"Project Transformation",
         SettingKind::Integer,
         0,
         {"Control Coordinate Transformation", "Helmert Transformation"}},
        {"X Constant", SettingKind::Float, 0, {}},
        {"Y Constant", SettingKind::Float, 0, {}},
        {"Exchange", SettingKind::Boolean, 0, {}},
        {"Negate X", SettingKind::Boolean, 0, {}},
        {"Negate Y", SettingKind::Boolean, 0, {}},
        {"Apply Weighting", SettingKind::Boolean, 0, {}},
        {"Control Distance", SettingKind::Float, 300, {}},
        {"Helmert A", SettingKind::Float, 1, {}},
        {"Helmert B", SettingKind::Float, 1, {}},
        {"Cape X", SettingKind::Float, 0, {}},
        {"Cape Y", SettingKind::Float, 0, {}},
        {"WGS X", SettingKind::Float, 0, {}},
        {"WGS Y", SettingKind::Float, 0, {}},
        {"Helmert Mode",
         SettingKind::Integer,
         0,
         {"Calculated Helmert Transformation", "User Defined Helmert Transformation"}},
        {"Output", SettingKind::Boolean, 0, {}},
        {"Output Mode",
         SettingKind::Integer,
         0,
         {"Standard (only transformation parameters)", "Verbose (parameters and coordinate info)"}},
        {"Show Message", SettingKind::Boolean, 1, {}},
        {"Install", SettingKind::Text, 0, {}},
        {"Threads", SettingKind::Integer, 0, {}},
    };
    return settings;
}

const Setting& FindSetting(const std::string& name)
{
    for (const Setting& setting : Settings())
        if (engine::UpperCase(setting.Name) == engine::UpperCase(name))
            return setting;
    std::string names;
    for (const Setting& setting : Settings())
        names += std::string(names.empty() ? "" : ", ") + "\"" + setting.Name + "\"";
    throw GUsageError("'" + name + "' is not a stored value; the names are " + names);
}

// The value a transform command uses, read as the project reads it.
std::string EffectiveValue(const GRegistry& registry, const Setting& setting)
{
    // The Lo goes through the project's own reading, which refuses values that are no Lo.
    if (std::string(setting.Name) == "Local Origin")
        return std::to_string(ReadStoredSettings().LocalOrigin);
    if (std::string(setting.Name) == "Threads")
        return std::to_string(ReadStoredSettings().Threads);
    switch (setting.Kind)
    {
    case SettingKind::Integer:
        return std::to_string(
            registry.ReadInteger(setting.Name, static_cast<std::int32_t>(setting.Default)));
    case SettingKind::Boolean:
        return registry.ReadBool(setting.Name, setting.Default != 0.0) ? "1" : "0";
    case SettingKind::Float:
        return FormatStoredFloat(registry.ReadFloat(setting.Name, setting.Default));
    case SettingKind::Text:
        break;
    }
    return registry.ReadString(setting.Name, "");
}

std::string Meaning(const Setting& setting, const std::string& effective)
{
    if (setting.Kind == SettingKind::Boolean)
        return effective == "1" ? "yes" : "no";
    std::int32_t value = 0;
    if (!setting.Meanings.empty() && ParseStoredInteger(effective, value) && value >= 0 &&
        value < static_cast<std::int32_t>(setting.Meanings.size()))
        return setting.Meanings[static_cast<std::size_t>(value)];
    return {};
}

int DefaultsShow(GCliContext& context)
{
    const GRegistry registry;
    const std::filesystem::path file = GRegistry::SettingsFile();
    context.Out << "Settings: "
                << (file.empty() ? std::string("HKEY_CURRENT_USER\\Software\\Tarnex\\Quorvalis")
                                 : file.string())
                << "\nData directory: " << engine::Session::Default().HomeDirectory().string()
                << "\n\n";
    context.Out << FormatLayout("%-24s %-16s %s", {"Name", "Stored", "Effective"}, '.', ' ')
                << '\n';
    for (const Setting& setting : Settings())
    {
        const std::string stored = registry.ValueExists(setting.Name)
                                       ? "\"" + registry.ReadString(setting.Name, "") + "\""
                                       : std::string("(not set)");
        const std::string effective = EffectiveValue(registry, setting);
        const std::string meaning = Meaning(setting, effective);
        context.Out << FormatLayout("%-24s %-16s %s",
                                    {setting.Name, stored,
                                     effective + (meaning.empty() ? "" : " (" + meaning + ")")},
                                    '.', ' ')
                    << '\n';
    }
    return kExitSuccess;
}

int DefaultsGet(const std::vector<std::string>& args, GCliContext& context)
{
    if (ShowHelpIfAsked(args, 1, kDefaultsGetHelp, context))
        return kExitSuccess;
    GCommandLine line({});
    line.Parse(args, 1);
    if (line.Positionals().size() != 1)
        throw GUsageError("defaults get needs a NAME");
    const Setting& setting = FindSetting(line.Positionals()[0]);
    context.Out << EffectiveValue(GRegistry(), setting) << '\n';
    return kExitSuccess;
}

bool ParseBoolean(const std::string& text, bool& value)
{
    const std::string upper = engine::UpperCase(text);
    if (upper == "1" || upper == "TRUE" || upper == "YES")
        value = true;
    else if (upper == "0" || upper == "FALSE" || upper == "NO")
        value = false;
    else
        return false;
    return true;
}

int DefaultsSet(const std::vector<std::string>& args, GCliContext& context)
{
    if (ShowHelpIfAsked(args, 1, kDefaultsSetHelp, context))
        return kExitSuccess;
    GCommandLine line({});
    line.Parse(args, 1);
    if (line.Positionals().size() != 2)
        throw GUsageError("defaults set needs a NAME and a VALUE");
    const Setting& setting = FindSetting(line.Positionals()[0]);
    const std::string& text = line.Positionals()[1];
    const std::string option = std::string("\"") + setting.Name + "\"";
    GRegistry registry;
    registry.CanCreate = true;
    switch (setting.Kind)
    {
    case SettingKind::Integer:
    {
        const std::int32_t value = ParseIntegerOption(option, text);
        if (std::string(setting.Name) == "Local Origin")
            CheckLocalOrigin(value, "\"Local Origin\"");
        if (std::string(setting.Name) == "Threads" && (value < 0 || value > kMaxRunThreads))
            throw GUsageError(option + " takes 0 (one per core) to " +
                              std::to_string(kMaxRunThreads) + ", not '" + text + "'");
        if (!setting.Meanings.empty() &&
            (value < 0 || value >= static_cast<std::int32_t>(setting.Meanings.size())))
            throw GUsageError(option + " takes 0 to " +
                              std::to_string(setting.Meanings.size() - 1));
        registry.WriteInteger(setting.Name, value);
        break;
    }
    case SettingKind::Boolean:
    {
        bool value = false;
        if (!ParseBoolean(text, value))
            throw GUsageError(option + " takes 0 or 1, not '" + text + "'");
        registry.WriteBool(setting.Name, value);
        break;
    }
    case SettingKind::Float:
        registry.WriteFloat(setting.Name, ParseNumberOption(option, text));
        break;
    case SettingKind::Text:
        registry.WriteString(setting.Name, text);
        break;
    }
    context.Out << setting.Name << " = " << EffectiveValue(registry, setting) << '\n';
    return kExitSuccess;
}

// --- Aliases ---

// A connection string is shown without its password.
std::string HidePassword(const std::string& connection)
{
    static const std::regex password(R"((password\s*=\s*)('[^']*'|\S+))", std::regex::icase);
    return std::regex_replace(connection, password, "$1***");
}

int AliasList(const std::vector<std::string>& args, GCliContext& context)
{
    if (ShowHelpIfAsked(args, 1, kAliasListHelp, context))
        return kExitSuccess;
    GCommandLine line({});
    line.Parse(args, 1);
    if (!line.Positionals().empty())
        throw GUsageError("unexpected argument '" + line.Positionals().front() + "'");
    engine::Session& session = engine::Session::Default();
    context.Out << FormatLayout("%-20s %-10s %s", {"Alias", "Driver", "Database"}, '.', ' ')
                << '\n';
    for (const std::string& name : session.AliasNames())
    {
        const auto alias = session.FindAlias(name);
        std::string database;
        if (alias && !alias->Connection.empty())
            database = HidePassword(alias->Connection);
        else if (alias)
        {
            std::filesystem::path path(alias->Path);
            database = (path.is_relative() ? session.HomeDirectory() / path : path).string();
        }
        context.Out << FormatLayout("%-20s %-10s %s", {name, session.AliasDriver(name), database},
                                    '.', ' ')
                    << '\n';
    }
    return kExitSuccess;
}

int AliasTables(const std::vector<std::string>& args, GCliContext& context)
{
    if (ShowHelpIfAsked(args, 1, kAliasTablesHelp, context))
        return kExitSuccess;
    GCommandLine line({});
    line.Parse(args, 1);
    if (line.Positionals().size() != 1)
        throw GUsageError("alias tables needs an ALIAS");
    for (const std::string& table : engine::Session::Default().TableNames(line.Positionals()[0]))
        context.Out << table << '\n';
    return kExitSuccess;
}

} // namespace

std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text)
    {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

int RunControlCli(const std::vector<std::string>& args, GCliContext& context)
{
    if (const auto code = GroupHelp(args, kControlHelp, context))
        return *code;
    if (args[0] == "list")
        return ControlList(args, context);
    if (args[0] == "find")
        return ControlFind(args, context);
    if (args[0] == "delete")
        return ControlDelete(args, context);
    throw GUsageError("unknown control subcommand '" + args[0] + "' (list, find or delete)");
}

int RunDefaultsCli(const std::vector<std::string>& args, GCliContext& context)
{
    if (args.empty())
        return DefaultsShow(context);
    if (args[0] == "--help")
    {
        context.Out << kDefaultsHelp;
        return kExitSuccess;
    }
    if (args[0] == "get")
        return DefaultsGet(args, context);
    if (args[0] == "set")
        return DefaultsSet(args, context);
    throw GUsageError("unknown defaults subcommand '" + args[0] + "' (get or set)");
}

int RunAliasCli(const std::vector<std::string>& args, GCliContext& context)
{
    if (const auto code = GroupHelp(args, kAliasHelp, context))
        return *code;
    if (args[0] == "list")
        return AliasList(args, context);
    if (args[0] == "tables")
        return AliasTables(args, context);
    throw GUsageError("unknown alias subcommand '" + args[0] + "' (list or tables)");
}

int RunLayersCli(const std::vector<std::string>& args, GCliContext& context)
{
    if (ShowHelpIfAsked(args, 0, kLayersHelp, context))
        return kExitSuccess;
    GCommandLine line({{"--long", 0}});
    line.Parse(args, 0);
    if (line.Positionals().size() != 1)
        throw GUsageError("layers needs a DATASET");
    for (const GGisLayerInfo& layer : ListGisLayers(line.Positionals()[0]))
    {
        context.Out << layer.Name;
        if (line.Has("--long"))
            context.Out << '\t' << layer.GeometryType << '\t' << layer.FeatureCount << '\t'
                        << layer.CoordinateSystem;
        context.Out << '\n';
    }
    return kExitSuccess;
}

} // namespace quorvalis
