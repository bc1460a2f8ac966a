#pragma once

#include "logbackend/core/Appender.h"
#include "logbackend/core/Level.h"

#include <windows.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vwnlog
{
struct LoggerSettings
{
    bool hasLevel = false;
    Level level = Level::Debug;
    bool additive = true;
    std::vector<std::shared_ptr<Appender>> appenders;
};

struct Configuration
{
    Level threshold = Level::All;
    LoggerSettings root{true, Level::Debug, true, {}};
    std::map<std::wstring, LoggerSettings, std::less<>> loggers;
};

// The logger hierarchy: names with dots form the tree ("a.b" is below "a"),
// levels and appenders are inherited as in log4j. Loggers live as long as
// the process; their ids (from 1) never change, and a configuration can be
// replaced while other threads log.
class Repository
{
public:
    Repository();
    Repository(const Repository&) = delete;
    Repository& operator=(const Repository&) = delete;

    size_t GetLogger(std::wstring_view name);
    bool IsEnabled(size_t id, Level level) const;
    void Log(size_t id, Level level, std::wstring_view message);
    // Everything of the previous configuration goes; its files close after
    // the last line that is being written to them.
    void Replace(Configuration configuration);

    Level EffectiveLevel(size_t id) const;
    std::vector<std::wstring> EffectiveAppenders(size_t id) const;

private:
    struct Logger
    {
        std::wstring name;
        Level level = Level::Debug;
        std::vector<Appender*> appenders;
    };

    void Resolve(Logger& logger) const;
    const Logger* Find(size_t id) const;

    mutable SRWLOCK m_lock = SRWLOCK_INIT;
    std::vector<std::unique_ptr<Logger>> m_loggers;
    std::unordered_map<std::wstring_view, size_t> m_byName;
    Configuration m_configuration;
    const ULONGLONG m_startTick;
    std::atomic<bool> m_reportedNoAppender{false};
};
} // namespace vwnlog
