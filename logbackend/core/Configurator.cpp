#include "logbackend/core/Configurator.h"

#include "logbackend/core/Diagnostics.h"
#include "logbackend/core/FileAppender.h"
#include "logbackend/core/FilePaths.h"
#include "logbackend/core/Text.h"
#include "base/UniqueHandle.h"

#include <windows.h>

#include <map>

namespace vwnlog
{
namespace
{
constexpr DWORD kMaxConfigurationBytes = 1024 * 1024;
constexpr const wchar_t* kRootLogger = L"log4j.rootLogger";
constexpr const wchar_t* kRootCategory = L"log4j.rootCategory";
constexpr const wchar_t* kLoggerPrefix = L"log4j.logger.";
constexpr const wchar_t* kCategoryPrefix = L"log4j.category.";
constexpr const wchar_t* kAdditivityPrefix = L"log4j.additivity.";
constexpr const wchar_t* kAppenderPrefix = L"log4j.appender.";
constexpr const wchar_t* kTtccPattern = L"%r [%t] %-5p %c %x - %m%n";
constexpr const wchar_t* kBasicPattern = L"%r [%t] %p %c %x - %m%n";

bool StartsWith(std::wstring_view text, std::wstring_view prefix)
{
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// "org.apache.log4j.RollingFileAppender" and "RollingFileAppender" are the same class.
std::wstring_view ShortClassName(std::wstring_view name)
{
    const std::wstring_view trimmed = TrimBlanks(name);
    const size_t dot = trimmed.rfind(L'.');
    return dot == std::wstring_view::npos ? trimmed : trimmed.substr(dot + 1);
}

std::shared_ptr<Appender> NewAppender(std::wstring_view className, const std::wstring& name)
{
    const std::wstring_view shortName = ShortClassName(className);
    if (EqualsNoCase(shortName, L"FileAppender"))
    {
        return std::make_shared<FileAppender>(name);
    }
    if (EqualsNoCase(shortName, L"RollingFileAppender"))
    {
        return std::make_shared<RollingFileAppender>(name);
    }
    if (EqualsNoCase(shortName, L"DailyRollingFileAppender"))
    {
        return std::make_shared<DailyRollingFileAppender>(name);
    }
    if (EqualsNoCase(shortName, L"ConsoleAppender"))
    {
        return std::make_shared<ConsoleAppender>(name);
    }
    if (EqualsNoCase(shortName, L"OutputDebugStringAppender"))
    {
        return std::make_shared<DebuggerAppender>(name);
    }
    return nullptr;
}

// Builds each appender once, however many loggers name it.
class AppenderBuilder
{
public:
    AppenderBuilder(const Properties& properties, const std::wstring& baseFolder)
        : m_properties(properties), m_baseFolder(baseFolder)
    {
    }

    std::shared_ptr<Appender> Get(const std::wstring& name)
    {
        const auto found = m_built.find(name);
        if (found != m_built.end())
        {
            return found->second;
        }
        std::shared_ptr<Appender> appender = Build(name);
        m_built.emplace(name, appender);
        return appender;
    }

private:
    std::shared_ptr<Appender> Build(const std::wstring& name)
    {
        const std::wstring key = kAppenderPrefix + name;
        const std::optional<std::wstring> className = m_properties.Get(key);
        if (!className)
        {
            ReportError(L"appender \"" + name + L"\" is named by a logger but has no class (" + key +
                        L"=...); its lines go nowhere");
            return nullptr;
        }
        std::shared_ptr<Appender> appender = NewAppender(*className, name);
        if (!appender)
        {
            ReportError(L"appender \"" + name + L"\" has the class \"" + *className +
                        L"\", which is not supported; its lines go nowhere");
            return nullptr;
        }
        std::wstring layoutClass;
        std::optional<std::wstring> conversionPattern;
        const std::wstring prefix = key + L".";
        for (const auto& entry : m_properties.Entries())
        {
            if (!StartsWith(entry.first, prefix))
            {
                continue;
            }
            const std::wstring option = entry.first.substr(prefix.size());
            const std::wstring value = m_properties.Substitute(entry.second);
            if (EqualsNoCase(option, L"layout"))
            {
                layoutClass = value;
            }
            else if (EqualsNoCase(option, L"layout.ConversionPattern"))
            {
                conversionPattern = value;
            }
            else if (option.find(L'.') != std::wstring::npos)
            {
                ReportWarning(
                    L"key \"" + entry.first +
                    L"\" is not supported (layout options other than ConversionPattern, filters, error handlers); ignored");
            }
            else if (appender->SetOption(option, value) == OptionResult::Unknown)
            {
                ReportWarning(appender->Describe() + L" has no option \"" + option + L"\"; ignored");
            }
        }
        appender->SetLayout(BuildLayout(*appender, layoutClass, conversionPattern));
        if (!appender->Activate(m_baseFolder))
        {
            return nullptr;
        }
        ReportDebug(appender->Describe() + L" of class \"" + *className + L"\" is ready");
        return appender;
    }

    static std::unique_ptr<Layout> BuildLayout(const Appender& appender, const std::wstring& layoutClass,
                                               const std::optional<std::wstring>& pattern)
    {
        const std::wstring context = appender.Describe();
        const std::wstring_view shortName = ShortClassName(layoutClass);
        if (shortName.empty())
        {
            ReportWarning(context + L" has no layout; " + PatternLayout::kDefaultPattern + L" is used");
            return std::unique_ptr<Layout>(new PatternLayout(PatternLayout::kDefaultPattern, context));
        }
        if (EqualsNoCase(shortName, L"PatternLayout") || EqualsNoCase(shortName, L"EnhancedPatternLayout"))
        {
            return std::unique_ptr<Layout>(
                new PatternLayout(pattern ? *pattern : PatternLayout::kDefaultPattern, context));
        }
        if (EqualsNoCase(shortName, L"SimpleLayout"))
        {
            return std::unique_ptr<Layout>(new SimpleLayout);
        }
        if (EqualsNoCase(shortName, L"TTCCLayout"))
        {
            return std::unique_ptr<Layout>(new PatternLayout(kTtccPattern, context));
        }
        ReportError(context + L" has the layout \"" + layoutClass + L"\", which is not supported; " +
                    PatternLayout::kDefaultPattern + L" is used");
        return std::unique_ptr<Layout>(new PatternLayout(PatternLayout::kDefaultPattern, context));
    }

    const Properties& m_properties;
    const std::wstring& m_baseFolder;
    std::map<std::wstring, std::shared_ptr<Appender>> m_built;
};

// "LEVEL, appender, appender ...": an empty level keeps the default.
void ParseLoggerValue(const std::wstring& logger, const std::wstring& value, bool isRoot,
                      LoggerSettings& settings, AppenderBuilder& builder)
{
    const std::vector<std::wstring> parts = SplitTrimmed(value, L',');
    const std::wstring& levelText = parts[0];
    if (!levelText.empty())
    {
        Level level = Level::Debug;
        if (!isRoot && (EqualsNoCase(levelText, L"INHERITED") || EqualsNoCase(levelText, L"NULL")))
        {
            settings.hasLevel = false;
        }
        else if (ParseLevel(levelText, level))
        {
            settings.hasLevel = true;
            settings.level = level;
        }
        else
        {
            ReportError(L"logger \"" + logger + L"\" has the unknown level \"" + levelText + L"\"; " +
                        (isRoot ? L"DEBUG is used" : L"it takes its parent's level"));
        }
    }
    settings.appenders.clear();
    for (size_t i = 1; i < parts.size(); ++i)
    {
        if (parts[i].empty())
        {
            continue;
        }
        std::shared_ptr<Appender> appender = builder.Get(parts[i]);
        if (appender)
        {
            settings.appenders.push_back(appender);
        }
    }
}

bool IsKnownTopLevelKey(const std::wstring& key)
{
    return key == kRootLogger || key == kRootCategory || key == L"log4j.debug" ||
           key == L"log4j.configDebug" || key == L"log4j.threshold" || key == L"log4j.reset" ||
           StartsWith(key, kAppenderPrefix) || StartsWith(key, kLoggerPrefix) ||
           StartsWith(key, kCategoryPrefix) || StartsWith(key, kAdditivityPrefix);
}

void ApplyDebugSwitch(const Properties& properties)
{
    std::optional<std::wstring> value = properties.Get(L"log4j.debug");
    if (!value)
    {
        value = properties.Get(L"log4j.configDebug");
    }
    bool on = false;
    if (value && !ParseBoolean(*value, on))
    {
        ReportError(L"log4j.debug \"" + *value + L"\" is neither true nor false; it stays off");
    }
    SetInternalDebugging(on);
}

std::string ReadWholeFile(const std::wstring& path, DWORD& error)
{
    error = ERROR_SUCCESS;
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.Get(), &size))
    {
        error = GetLastError();
        return std::string();
    }
    if (size.QuadPart > kMaxConfigurationBytes)
    {
        error = ERROR_FILE_TOO_LARGE;
        return std::string();
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && !ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr))
    {
        error = GetLastError();
        return std::string();
    }
    bytes.resize(read);
    return bytes;
}
} // namespace

Configuration BuildConfiguration(const Properties& properties, const std::wstring& baseFolder)
{
    ApplyDebugSwitch(properties);
    Configuration configuration;
    AppenderBuilder builder(properties, baseFolder);

    if (const std::optional<std::wstring> threshold = properties.Get(L"log4j.threshold"))
    {
        if (!ParseLevel(*threshold, configuration.threshold))
        {
            configuration.threshold = Level::All;
            ReportError(L"log4j.threshold \"" + *threshold + L"\" is not a level; ALL is used");
        }
    }
    std::optional<std::wstring> root = properties.Get(kRootLogger);
    if (!root)
    {
        root = properties.Get(kRootCategory);
    }
    if (root)
    {
        ParseLoggerValue(L"root", *root, true, configuration.root, builder);
    }
    for (const auto& entry : properties.Entries())
    {
        const std::wstring& key = entry.first;
        if (StartsWith(key, kLoggerPrefix) || StartsWith(key, kCategoryPrefix))
        {
            const std::wstring name =
                key.substr(StartsWith(key, kLoggerPrefix) ? wcslen(kLoggerPrefix) : wcslen(kCategoryPrefix));
            ParseLoggerValue(name, properties.Substitute(entry.second), false, configuration.loggers[name],
                             builder);
        }
        else if (StartsWith(key, kAdditivityPrefix))
        {
            const std::wstring name = key.substr(wcslen(kAdditivityPrefix));
            const std::wstring value = properties.Substitute(entry.second);
            bool additive = true;
            if (!ParseBoolean(value, additive))
            {
                additive = true;
                ReportError(L"log4j.additivity." + name + L" \"" + value +
                            L"\" is neither true nor false; true is used");
            }
            configuration.loggers[name].additive = additive;
        }
        else if (StartsWith(key, L"log4j.") && !IsKnownTopLevelKey(key))
        {
            ReportWarning(L"key \"" + key + L"\" is not supported; ignored");
        }
    }
    return configuration;
}

bool ConfigureFromFile(Repository& repository, const std::wstring& path)
{
    const std::wstring fullPath = FullPathOf(path);
    DWORD error = ERROR_SUCCESS;
    const std::string bytes = ReadWholeFile(fullPath, error);
    if (error != ERROR_SUCCESS)
    {
        ReportError(L"cannot read configuration file \"" + fullPath + L"\" (" + SystemErrorText(error) +
                    L"); the previous configuration stays");
        return false;
    }
    const Properties properties = Properties::Parse(DecodeConfigurationBytes(bytes));
    repository.Replace(BuildConfiguration(properties, FolderOf(fullPath)));
    ReportDebug(L"configured from \"" + fullPath + L"\"");
    return true;
}

Configuration BasicConfiguration()
{
    Configuration configuration;
    std::shared_ptr<Appender> console = std::make_shared<ConsoleAppender>(L"console");
    console->SetLayout(std::unique_ptr<Layout>(new PatternLayout(kBasicPattern, console->Describe())));
    configuration.root.appenders.push_back(console);
    return configuration;
}
} // namespace vwnlog
