#pragma once

#include "logbackend/core/Layout.h"
#include "logbackend/core/Level.h"

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

namespace vwnlog
{
enum class OptionResult
{
    Applied,
    Unknown,
    BadValue, // already reported
};

enum class Encoding
{
    Utf8,
    Utf16, // little-endian, with a byte-order mark at the start of a file
    Utf16LittleEndian,
};

// Parses the Encoding option; false for names we cannot write.
bool ParseEncoding(std::wstring_view text, Encoding& encoding);
// Parses true/false in any case.
bool ParseBoolean(std::wstring_view text, bool& value);
void AppendEncoded(std::wstring_view text, Encoding encoding, std::string& out);

class Appender
{
public:
    explicit Appender(std::wstring name);
    virtual ~Appender() = default;
    Appender(const Appender&) = delete;
    Appender& operator=(const Appender&) = delete;

    const std::wstring& Name() const { return m_name; }
    // "appender "NAME"", for messages.
    std::wstring Describe() const;

    void SetLayout(std::unique_ptr<Layout> layout);
    // Options shared by all appenders (Threshold); subclasses add theirs.
    virtual OptionResult SetOption(std::wstring_view option, const std::wstring& value);
    // Called once after all options. baseFolder resolves relative paths.
    // False when the appender cannot work at all (reported).
    virtual bool Activate(const std::wstring& baseFolder);

    // Safe from any number of threads at once.
    void Append(const LogEvent& event);

protected:
    // One whole formatted line, line break included.
    virtual void Write(const std::wstring& line) = 0;

private:
    const std::wstring m_name;
    Level m_threshold = Level::All;
    std::unique_ptr<Layout> m_layout;
};

// log4j's ConsoleAppender: Target System.out (default) or System.err.
class ConsoleAppender final : public Appender
{
public:
    explicit ConsoleAppender(std::wstring name);
    OptionResult SetOption(std::wstring_view option, const std::wstring& value) override;

protected:
    void Write(const std::wstring& line) override;

private:
    DWORD m_stream = STD_OUTPUT_HANDLE;
    Encoding m_encoding = Encoding::Utf8;
    SRWLOCK m_lock = SRWLOCK_INIT;
};

// Each line to the debugger (log4cxx's OutputDebugStringAppender).
class DebuggerAppender final : public Appender
{
public:
    explicit DebuggerAppender(std::wstring name);

protected:
    void Write(const std::wstring& line) override;
};
} // namespace vwnlog
