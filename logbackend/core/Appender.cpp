#include "logbackend/core/Appender.h"

#include "logbackend/core/Diagnostics.h"
#include "logbackend/core/SrwLockGuards.h"
#include "logbackend/core/Text.h"

namespace vwnlog
{
bool ParseEncoding(std::wstring_view text, Encoding& encoding)
{
    const std::wstring_view name = TrimBlanks(text);
    if (EqualsNoCase(name, L"UTF-8") || EqualsNoCase(name, L"UTF8"))
    {
        encoding = Encoding::Utf8;
        return true;
    }
    if (EqualsNoCase(name, L"UTF-16") || EqualsNoCase(name, L"UTF16") || EqualsNoCase(name, L"UNICODE"))
    {
        encoding = Encoding::Utf16;
        return true;
    }
    if (EqualsNoCase(name, L"UTF-16LE") || EqualsNoCase(name, L"UTF16LE"))
    {
        encoding = Encoding::Utf16LittleEndian;
        return true;
    }
    return false;
}

bool ParseBoolean(std::wstring_view text, bool& value)
{
    const std::wstring_view word = TrimBlanks(text);
    if (EqualsNoCase(word, L"true"))
    {
        value = true;
        return true;
    }
    if (EqualsNoCase(word, L"false"))
    {
        value = false;
        return true;
    }
    return false;
}

void AppendEncoded(std::wstring_view text, Encoding encoding, std::string& out)
{
    if (encoding == Encoding::Utf8)
    {
        AppendUtf8(text, out);
        return;
    }
    // wchar_t is UTF-16 in memory order, and Windows is little-endian.
    out.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

Appender::Appender(std::wstring name)
    : m_name(std::move(name)), m_layout(new PatternLayout(PatternLayout::kDefaultPattern, L""))
{
}

std::wstring Appender::Describe() const
{
    return L"appender \"" + m_name + L"\"";
}

void Appender::SetLayout(std::unique_ptr<Layout> layout)
{
    if (layout)
    {
        m_layout = std::move(layout);
    }
}

OptionResult Appender::SetOption(std::wstring_view option, const std::wstring& value)
{
    if (EqualsNoCase(option, L"Threshold"))
    {
        if (!ParseLevel(value, m_threshold))
        {
            ReportError(Describe() + L": Threshold \"" + value + L"\" is not a level; ALL is used");
            m_threshold = Level::All;
            return OptionResult::BadValue;
        }
        return OptionResult::Applied;
    }
    return OptionResult::Unknown;
}

bool Appender::Activate(const std::wstring&)
{
    return true;
}

void Appender::Append(const LogEvent& event)
{
    if (event.level < m_threshold)
    {
        return;
    }
    std::wstring line;
    line.reserve(64 + event.message.size());
    m_layout->Format(event, line);
    Write(line);
}

ConsoleAppender::ConsoleAppender(std::wstring name) : Appender(std::move(name)) {}

OptionResult ConsoleAppender::SetOption(std::wstring_view option, const std::wstring& value)
{
    if (EqualsNoCase(option, L"Target"))
    {
        const std::wstring_view target = TrimBlanks(value);
        if (EqualsNoCase(target, L"System.out"))
        {
            m_stream = STD_OUTPUT_HANDLE;
            return OptionResult::Applied;
        }
        if (EqualsNoCase(target, L"System.err"))
        {
            m_stream = STD_ERROR_HANDLE;
            return OptionResult::Applied;
        }
        ReportError(Describe() + L": Target \"" + value +
                    L"\" is neither System.out nor System.err; System.out is used");
        m_stream = STD_OUTPUT_HANDLE;
        return OptionResult::BadValue;
    }
    if (EqualsNoCase(option, L"Encoding"))
    {
        if (!ParseEncoding(value, m_encoding))
        {
            ReportError(Describe() + L": Encoding \"" + value + L"\" is not supported; UTF-8 is used");
            m_encoding = Encoding::Utf8;
            return OptionResult::BadValue;
        }
        return OptionResult::Applied;
    }
    if (EqualsNoCase(option, L"ImmediateFlush"))
    {
        // Console lines are never held back, so there is nothing to choose.
        bool ignored = true;
        if (!ParseBoolean(value, ignored))
        {
            ReportError(Describe() + L": ImmediateFlush \"" + value + L"\" is neither true nor false");
            return OptionResult::BadValue;
        }
        return OptionResult::Applied;
    }
    return Appender::SetOption(option, value);
}

void ConsoleAppender::Write(const std::wstring& line)
{
    // Looked up each time: a program may get or lose its console while it runs.
    HANDLE stream = GetStdHandle(m_stream);
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE)
    {
        return;
    }
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(stream, &mode))
    {
        ExclusiveGuard guard(m_lock);
        WriteConsoleW(stream, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    std::string bytes;
    AppendEncoded(line, m_encoding, bytes);
    ExclusiveGuard guard(m_lock);
    WriteFile(stream, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

DebuggerAppender::DebuggerAppender(std::wstring name) : Appender(std::move(name)) {}

void DebuggerAppender::Write(const std::wstring& line)
{
    OutputDebugStringW(line.c_str());
}
} // namespace vwnlog
