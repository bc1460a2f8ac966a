#include "app/Options.h"

#include "app/Globals.h"
#include "logging/ApacheLogger.h"
#include "base/UniqueHandle.h"

#include <shellapi.h>

#include <algorithm>

namespace
{
// Only A to Z fold; every other character must match exactly.
std::wstring FoldAsciiCase(std::wstring text)
{
    for (wchar_t& c : text)
    {
        if (c >= L'A' && c <= L'Z')
        {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return text;
}

bool IsAllDigits(const std::wstring& text)
{
    return text.find_first_not_of(L"0123456789") == std::wstring::npos;
}

// A value that is empty or does not fit a signed 32-bit count is treated like
// one that is not all digits.
bool ParseRetryCount(const std::wstring& text, INT32& value)
{
    if (text.empty() || !IsAllDigits(text))
    {
        return false;
    }
    long long number = 0;
    for (wchar_t c : text)
    {
        number = number * 10 + (c - L'0');
        if (number > 2147483647LL)
        {
            return false;
        }
    }
    value = static_cast<INT32>(number);
    return true;
}
} // namespace

std::vector<std::wstring> SplitCommandLine()
{
    int numArgs = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &numArgs);
    const UniqueLocalMemory ownedArgv(argv);
    std::vector<std::wstring> args;
    for (int i = 0; argv != nullptr && i < numArgs; ++i)
    {
        args.emplace_back(argv[i]);
    }
    return args;
}

std::wstring ArgumentsAfterProgram(const std::wstring& commandLine)
{
    size_t end = 0;
    if (!commandLine.empty() && commandLine[0] == L'"')
    {
        end = commandLine.find(L'"', 1);
        end = end == std::wstring::npos ? commandLine.size() : end + 1;
    }
    else
    {
        end = std::min(commandLine.find_first_of(L" \t"), commandLine.size());
    }
    const size_t start = commandLine.find_first_not_of(L" \t", end);
    return start == std::wstring::npos ? std::wstring() : commandLine.substr(start);
}

std::vector<std::wstring> GetCmdLineArgs()
{
    std::vector<std::wstring> args = SplitCommandLine();
    VWN_LOGW(L"[Voltwren][GetCmdLineArgs] _numArgs(%d)", static_cast<int>(args.size()));
    return args;
}

bool HasExitSwitch(const std::vector<std::wstring>& args)
{
    for (size_t i = 1; i < args.size(); ++i)
    {
        if (FoldAsciiCase(args[i]) == L"-exit")
        {
            return true;
        }
    }
    return false;
}

bool ApplyCommandLineOptions(const std::vector<std::wstring>& args)
{
    bool detailedLog = false;
    bool consumed = false;
    for (size_t i = 1; i < args.size(); ++i)
    {
        if (consumed)
        {
            consumed = false;
            continue;
        }
        const std::wstring option = FoldAsciiCase(args[i]);
        if (option == L"-retrycount")
        {
            if (i + 1 < args.size())
            {
                INT32 value = kDefaultRetryCount;
                consumed = ParseRetryCount(args[i + 1], value);
                g_readPresenceStatusRetryCount = consumed ? value : kDefaultRetryCount;
                VWN_LOGW(L"[Voltwren][wWinMain] g_readPresenceStatusRetryCount(%d) - 1.",
                         g_readPresenceStatusRetryCount);
            }
            else
            {
                g_readPresenceStatusRetryCount = kDefaultRetryCount;
                VWN_LOGW(L"[Voltwren][wWinMain] g_readPresenceStatusRetryCount(%d) - 2.",
                         g_readPresenceStatusRetryCount);
            }
        }
        if (option == L"-showconsole")
        {
            detailedLog = true;
        }
    }
    if (detailedLog)
    {
        VWN_LOGW(L"[Voltwren][wWinMain] Got the cmd directive. => Show detailed log contents.");
    }
    else
    {
        VWN_LOGW(
            L"[Voltwren][wWinMain] Got no cmd parameters or incorrect ones. => Show brief log contents.");
    }
    return detailedLog;
}
