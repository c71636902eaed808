#include "project/WinRegistry.h"

#include "geometry/NumberFormat.h"
#include "geometry/Platform.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>

namespace quorvalis
{

namespace
{

std::mutex overrideMutex;
std::optional<std::filesystem::path> settingsOverride;

QString ToQString(const std::string& text)
{
    return QString::fromStdString(text);
}

// Opens the store afresh for one call: the override file, the file under QUORVALIS_HOME, or the
// platform's native store for the user.
std::unique_ptr<QSettings> OpenStore(const GRegistry& registry)
{
    const std::filesystem::path file =
        GRegistry::SettingsFile(registry.CompanyKey, registry.Section);
    if (!file.empty())
        return std::make_unique<QSettings>(QString::fromStdString(platform::Utf8FromPath(file)),
                                           QSettings::IniFormat);
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       ToQString(registry.CompanyKey), ToQString(registry.Section));
}

std::optional<std::string> ReadText(const GRegistry& registry, const std::string& name)
{
    auto store = OpenStore(registry);
    const QString key = ToQString(name);
    if (!store->contains(key))
        return std::nullopt;
    // An INI line holding commas reads as a list; the stored text is the list joined again.
    const QVariant value = store->value(key);
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(',')).toStdString();
    return value.toString().toStdString();
}

void WriteText(const GRegistry& registry, const std::string& name, const std::string& text)
{
    auto store = OpenStore(registry);
    store->setValue(ToQString(name), ToQString(text));
    store->sync();
}

} // namespace

std::string FormatStoredFloat(double value)
{
    if (!std::isfinite(value))
        return "0";
    return FormatGeneral(value, '.');
}

bool ParseStoredInteger(const std::string& text, std::int32_t& value)
{
    std::size_t begin = text.find_first_not_of(" \t");
    std::size_t end = text.find_last_not_of(" \t");
    if (begin == std::string::npos)
        return false;
    std::string_view digits(text.data() + begin, end - begin + 1);
    bool negative = false;
    if (digits.front() == '+' || digits.front() == '-')
    {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty())
        return false;
    long long result = 0;
    for (char c : digits)
    {
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + (c - '0');
        if (result > static_cast<long long>(std::numeric_limits<std::int32_t>::max()) + 1)
            return false;
    }
    if (negative)
        result = -result;
    if (result < std::numeric_limits<std::int32_t>::min() ||
        result > std::numeric_limits<std::int32_t>::max())
        return false;
    value = static_cast<std::int32_t>(result);
    return true;
}

GRegistry::GRegistry(std::string rootPath, std::string companyKey, std::string section)
    : RootPath(std::move(rootPath)), CompanyKey(std::move(companyKey)), Section(std::move(section))
{
}

bool GRegistry::ReadBool(const std::string& name, bool defaultValue) const
{
    return ReadInteger(name, defaultValue ? 1 : 0) != 0;
}

std::int32_t GRegistry::ReadInteger(const std::string& name, std::int32_t defaultValue) const
{
    const auto text = ReadText(*this, name);
    std::int32_t value = 0;
    if (!text || !ParseStoredInteger(*text, value))
        return defaultValue;
    return value;
}

double GRegistry::ReadFloat(const std::string& name, double defaultValue) const
{
    // The default goes through its text like every stored value; text that is not a number
    // reads as 0.0, not as the default.
    const std::string text = ReadString(name, FormatStoredFloat(defaultValue));
    double value = 0.0;
    // Written with '.', but a value stored under a ',' locale (by hand or an older writer) must
    // not turn into 0.
    if ((!ParseNumber(text, value, '.') && !ParseNumber(text, value, ',')) || !std::isfinite(value))
        return 0.0;
    return value;
}

std::string GRegistry::ReadString(const std::string& name, const std::string& defaultValue) const
{
    const auto text = ReadText(*this, name);
    return text ? *text : defaultValue;
}

void GRegistry::WriteBool(const std::string& name, bool value)
{
    WriteInteger(name, value ? 1 : 0);
}

void GRegistry::WriteInteger(const std::string& name, std::int32_t value)
{
    WriteString(name, std::to_string(value));
}

void GRegistry::WriteFloat(const std::string& name, double value)
{
    WriteString(name, FormatStoredFloat(value));
}

void GRegistry::WriteString(const std::string& name, const std::string& value)
{
    CanCreate = true;
    WriteText(*this, name, value);
}

bool GRegistry::ValueExists(const std::string& name) const
{
    return ReadText(*this, name).has_value();
}

void GRegistry::SetSettingsFile(std::optional<std::filesystem::path> fileName)
{
    std::lock_guard lock(overrideMutex);
    settingsOverride = std::move(fileName);
}

std::filesystem::path GRegistry::SettingsFile(const std::string& companyKey,
                                              const std::string& section)
{
    {
        std::lock_guard lock(overrideMutex);
        if (settingsOverride)
            return *settingsOverride;
    }
    if (const auto home = platform::EnvironmentValue("QUORVALIS_HOME"); home && !home->empty())
        return platform::PathFromUtf8(*home) / companyKey / (section + ".conf");
#ifdef _WIN32
    return {};
#else
    return std::filesystem::path(QSettings(QSettings::NativeFormat, QSettings::UserScope,
                                           ToQString(companyKey), ToQString(section))
                                     .fileName()
                                     .toStdString());
#endif
}

} // namespace quorvalis
