#include "logbackend/core/Repository.h"

#include "logbackend/core/Diagnostics.h"
#include "logbackend/core/SrwLockGuards.h"

namespace vwnlog
{
namespace
{
// The parent of "a.b.c" is "a.b"; of "a" the root (empty).
bool ToParent(std::wstring_view& name)
{
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring_view::npos)
    {
        return false;
    }
    name = name.substr(0, dot);
    return true;
}
} // namespace

Repository::Repository() : m_startTick(GetTickCount64()) {}

size_t Repository::GetLogger(std::wstring_view name)
{
    {
        SharedGuard guard(m_lock);
        const auto found = m_byName.find(name);
        if (found != m_byName.end())
        {
            return found->second;
        }
    }
    ExclusiveGuard guard(m_lock);
    const auto found = m_byName.find(name);
    if (found != m_byName.end())
    {
        return found->second;
    }
    std::unique_ptr<Logger> logger(new Logger);
    logger->name.assign(name);
    Resolve(*logger);
    m_loggers.push_back(std::move(logger));
    const size_t id = m_loggers.size();
    try
    {
        // The key views the name inside the logger, which never moves.
        m_byName.emplace(std::wstring_view(m_loggers.back()->name), id);
    }
    catch (...)
    {
        m_loggers.pop_back();
        throw;
    }
    return id;
}

const Repository::Logger* Repository::Find(size_t id) const
{
    return id >= 1 && id <= m_loggers.size() ? m_loggers[id - 1].get() : nullptr;
}

bool Repository::IsEnabled(size_t id, Level level) const
{
    SharedGuard guard(m_lock);
    const Logger* logger = Find(id);
    return logger != nullptr && level != Level::Off && level >= m_configuration.threshold &&
           level >= logger->level;
}

void Repository::Log(size_t id, Level level, std::wstring_view message)
{
    SharedGuard guard(m_lock);
    const Logger* logger = Find(id);
    if (logger == nullptr || level == Level::Off || level < m_configuration.threshold ||
        level < logger->level)
    {
        return;
    }
    if (logger->appenders.empty())
    {
        if (!m_reportedNoAppender.exchange(true))
        {
            ReportWarning(L"no appender takes the lines of logger \"" + logger->name +
                          L"\"; is the library configured? (said once)");
        }
        return;
    }
    LogEvent event{logger->name, level, message, {}, GetCurrentThreadId(), GetTickCount64() - m_startTick};
    GetLocalTime(&event.time);
    for (Appender* appender : logger->appenders)
    {
        appender->Append(event);
    }
}

void Repository::Replace(Configuration configuration)
{
    {
        ExclusiveGuard guard(m_lock);
        std::swap(m_configuration, configuration);
        for (const auto& logger : m_loggers)
        {
            Resolve(*logger);
        }
    }
    // configuration now holds the old appenders; they close here, outside the lock.
}

void Repository::Resolve(Logger& logger) const
{
    logger.level = m_configuration.root.level;
    std::wstring_view name = logger.name;
    bool levelFound = false;
    bool additive = true;
    std::vector<Appender*> appenders;
    for (bool more = !name.empty(); more; more = ToParent(name))
    {
        const auto found = m_configuration.loggers.find(name);
        if (found == m_configuration.loggers.end())
        {
            continue;
        }
        const LoggerSettings& settings = found->second;
        if (!levelFound && settings.hasLevel)
        {
            logger.level = settings.level;
            levelFound = true;
        }
        if (additive)
        {
            for (const auto& appender : settings.appenders)
            {
                appenders.push_back(appender.get());
            }
            additive = settings.additive;
        }
    }
    if (additive)
    {
        for (const auto& appender : m_configuration.root.appenders)
        {
            appenders.push_back(appender.get());
        }
    }
    logger.appenders.swap(appenders);
}

Level Repository::EffectiveLevel(size_t id) const
{
    SharedGuard guard(m_lock);
    const Logger* logger = Find(id);
    return logger != nullptr ? logger->level : Level::Off;
}

std::vector<std::wstring> Repository::EffectiveAppenders(size_t id) const
{
    SharedGuard guard(m_lock);
    std::vector<std::wstring> names;
    const Logger* logger = Find(id);
    if (logger != nullptr)
    {
        for (const Appender* appender : logger->appenders)
        {
            names.push_back(appender->Name());
        }
    }
    return names;
}
} // namespace vwnlog
