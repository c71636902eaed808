// Stored settings: text values under Software\Tarnex\Quorvalis of the current user, kept through
// QSettings in the platform's native store (the registry on Windows; on Linux the text file
// $XDG_CONFIG_HOME/Tarnex/Quorvalis.conf, usually ~/.config/Tarnex/Quorvalis.conf).
//
// A test or demonstration isolates the settings like the database engine's data: when the
// environment variable QUORVALIS_HOME is set, the values live in the text file
// $QUORVALIS_HOME/Tarnex/Quorvalis.conf instead; SetSettingsFile overrides both.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace quorvalis
{

/// Reads and writes one value per call; every call opens the store afresh and closes it again.
///
/// Every value is text: integers in decimal, booleans "0"/"1", floats as general text with up to
/// 15 significant digits and "." as the decimal point (never the process locale).
/// Reading: a missing value (or missing key) gives the default; an integer or boolean whose text
/// is not a whole number gives the default; a float is read with "." or "," as its decimal
/// point, and text that is a number in neither gives 0.0 (not the default); a boolean is true for
/// any integer other than 0.
class GRegistry
{
public:
    explicit GRegistry(std::string rootPath = "Software", std::string companyKey = "Tarnex",
                       std::string section = "Quorvalis");

    std::string RootPath;   ///< implied by the native store (HKEY_CURRENT_USER\Software)
    std::string CompanyKey; ///< organisation
    std::string Section;    ///< application
    /// Set by every write: writes create the keys they need.
    bool CanCreate = false;

    bool ReadBool(const std::string& name, bool defaultValue) const;
    std::int32_t ReadInteger(const std::string& name, std::int32_t defaultValue) const;
    double ReadFloat(const std::string& name, double defaultValue) const;
    std::string ReadString(const std::string& name, const std::string& defaultValue) const;

    void WriteBool(const std::string& name, bool value);
    void WriteInteger(const std::string& name, std::int32_t value);
    /// A non-finite value is stored as "0".
    void WriteFloat(const std::string& name, double value);
    /// Stores text as it stands (the installation's "Install" folder; tests).
    void WriteString(const std::string& name, const std::string& value);
    /// Whether the value exists.
    bool ValueExists(const std::string& name) const;

    /// Points every GRegistry of the process at this settings file (INI text); std::nullopt
    /// returns to QUORVALIS_HOME or the native store.
    static void SetSettingsFile(std::optional<std::filesystem::path> fileName);
    /// The file in use, or empty when the native store is used (Windows registry).
    static std::filesystem::path SettingsFile(const std::string& companyKey = "Tarnex",
                                              const std::string& section = "Quorvalis");
};

/// Text of a float as stored: up to 15 significant digits, "." ("%.15g" style). Non-finite: "0".
std::string FormatStoredFloat(double value);
/// Reads stored integer text (blanks around, optional sign, digits, 32-bit range).
bool ParseStoredInteger(const std::string& text, std::int32_t& value);

} // namespace quorvalis
