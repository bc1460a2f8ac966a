// vwn-smoke: the steps of smoke.cmd that a batch file cannot do alike on
// Windows and under Wine (whose findstr and tasklist are stubs, and which has
// no timeout command). smoke.cmd stays the driver; each verb does one step.
//   vwn-smoke pid-of PROGRAM [wait-ms]
//       prints "ID CREATED" of a running process of PROGRAM (a full path, or a
//       file name such as Voltwren.exe); CREATED is its start as a FILETIME
//   vwn-smoke expect FILE COUNT TEXT [wait-ms]
//       waits until at least COUNT lines of FILE hold TEXT, then wants exactly COUNT
//   vwn-smoke leftovers ID CREATED FOLDER [grace-ms]
//       lists and ends what process ID left running after the grace time: its
//       cmd.exe and conhost.exe children, and any program from FOLDER
//   vwn-smoke write FILE TEXT
//       writes TEXT to FILE as UTF-8, without a line break
// Exit code: 0 yes, 1 no (the reason on standard output), 2 wrong use.
#include "base/TextCodec.h"
#include "base/UniqueHandle.h"

#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace
{
constexpr DWORD kPollMs = 250;
constexpr int kYes = 0;
constexpr int kNo = 1;
constexpr int kUsage = 2;

// One line on standard output, where smoke.cmd picks it up.
void Say(const std::wstring& line)
{
    std::fputws((line + L"\n").c_str(), stdout);
}

struct Process
{
    DWORD id;
    DWORD parentId;
    std::wstring name;
};

std::vector<Process> RunningProcesses()
{
    std::vector<Process> processes;
    UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
    {
        return processes;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry))
    {
        processes.push_back(Process{entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
    }
    return processes;
}

// A path in one spelling: full, long names, lower case. %TEMP% may hold 8.3 names.
std::wstring Canonical(const std::wstring& path)
{
    wchar_t full[MAX_PATH * 2] = {};
    if (GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr) == 0)
    {
        return path;
    }
    wchar_t longer[MAX_PATH * 2] = {};
    std::wstring result = GetLongPathNameW(full, longer, MAX_PATH * 2) != 0 ? longer : full;
    CharLowerBuffW(&result[0], static_cast<DWORD>(result.size()));
    return result;
}

std::wstring ImagePath(HANDLE process)
{
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    return QueryFullProcessImageNameW(process, 0, path, &size) ? Canonical(path) : L"";
}

ULONGLONG CreationTime(HANDLE process)
{
    FILETIME created = {}, exited = {}, kernel = {}, user = {};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
    {
        return 0;
    }
    return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

UniqueHandle OpenForQuery(DWORD id, DWORD extraAccess = 0)
{
    return UniqueHandle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | extraAccess, FALSE, id));
}

bool IsNamed(const Process& process, const wchar_t* name)
{
    return lstrcmpiW(process.name.c_str(), name) == 0;
}

// Sleeps one poll interval, or returns false when the deadline has passed.
bool WaitOnce(ULONGLONG deadline)
{
    if (GetTickCount64() >= deadline)
    {
        return false;
    }
    Sleep(kPollMs);
    return true;
}

int PidOf(const std::wstring& program, DWORD waitMs)
{
    const bool byPath = program.find(L'\\') != std::wstring::npos;
    const std::wstring wanted = byPath ? Canonical(program) : program;
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    do
    {
        for (const Process& process : RunningProcesses())
        {
            UniqueHandle handle = OpenForQuery(process.id);
            const bool matches =
                byPath ? handle && ImagePath(handle.Get()) == wanted : IsNamed(process, wanted.c_str());
            if (matches)
            {
                const ULONGLONG created = handle ? CreationTime(handle.Get()) : 0;
                Say(std::to_wstring(process.id) + L" " + std::to_wstring(created));
                return kYes;
            }
        }
    } while (WaitOnce(deadline));
    Say(L"no running " + program);
    return kNo;
}

// The whole file, read while its writer keeps it open; empty when it cannot be read.
std::string FileBytes(const std::wstring& path)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    char buffer[64 * 1024];
    DWORD got = 0;
    while (file && ReadFile(file.Get(), buffer, sizeof(buffer), &got, nullptr) && got > 0)
    {
        bytes.append(buffer, got);
    }
    return bytes;
}

size_t CountLinesHolding(const std::string& bytes, const std::string& text)
{
    size_t count = 0;
    size_t lineStart = 0;
    while (lineStart < bytes.size())
    {
        size_t lineEnd = bytes.find('\n', lineStart);
        if (lineEnd == std::string::npos)
        {
            lineEnd = bytes.size();
        }
        const size_t found = bytes.find(text, lineStart);
        if (found != std::string::npos && found + text.size() <= lineEnd)
        {
            ++count;
        }
        lineStart = lineEnd + 1;
    }
    return count;
}

int Expect(const std::wstring& path, size_t wanted, const std::wstring& text, DWORD waitMs)
{
    const std::string needle = ToUtf8(text);
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    size_t found = 0;
    do
    {
        found = CountLinesHolding(FileBytes(path), needle);
        if (found >= wanted)
        {
            break;
        }
    } while (WaitOnce(deadline));
    if (found == wanted)
    {
        return kYes;
    }
    Say(std::to_wstring(found) + L" line(s) with \"" + text + L"\" in " + path + L", expected " +
        std::to_wstring(wanted));
    return kNo;
}

bool IsUnder(const std::wstring& path, const std::wstring& folder)
{
    return !path.empty() && path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == L'\\';
}

// What the program left: its own console children (not ones of an earlier
// process that had the same id), and anything started from its folder.
std::vector<Process> LeftBehind(DWORD programId, ULONGLONG programCreated, const std::wstring& folder)
{
    std::vector<Process> left;
    for (const Process& process : RunningProcesses())
    {
        UniqueHandle handle = OpenForQuery(process.id);
        const bool child = process.parentId == programId &&
                           (IsNamed(process, L"cmd.exe") || IsNamed(process, L"conhost.exe")) &&
                           (!handle || CreationTime(handle.Get()) >= programCreated);
        if (child || (handle && IsUnder(ImagePath(handle.Get()), folder)))
        {
            left.push_back(process);
        }
    }
    return left;
}

int Leftovers(DWORD programId, ULONGLONG programCreated, const std::wstring& folder, DWORD graceMs)
{
    const std::wstring canonicalFolder = Canonical(folder);
    const ULONGLONG deadline = GetTickCount64() + graceMs;
    std::vector<Process> left;
    do
    {
        left = LeftBehind(programId, programCreated, canonicalFolder);
        if (left.empty())
        {
            return kYes;
        }
    } while (WaitOnce(deadline));
    for (const Process& process : left)
    {
        Say(L"left running: " + process.name + L" (process " + std::to_wstring(process.id) + L"); ending it");
        UniqueHandle handle(OpenProcess(PROCESS_TERMINATE, FALSE, process.id));
        if (handle)
        {
            TerminateProcess(handle.Get(), 1);
        }
    }
    return kNo;
}

int Write(const std::wstring& path, const std::wstring& text)
{
    const std::string bytes = ToUtf8(text);
    UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
    {
        const DWORD error = GetLastError();
        Say(L"cannot write " + path + L" (error " + std::to_wstring(error) + L")");
        return kNo;
    }
    return kYes;
}

DWORD Number(const wchar_t* text)
{
    return std::wcstoul(text, nullptr, 10);
}

int Usage()
{
    std::fputws(L"usage: vwn-smoke pid-of PROGRAM [wait-ms] | expect FILE COUNT TEXT [wait-ms]\n", stderr);
    std::fputws(L"       vwn-smoke leftovers ID CREATED FOLDER [grace-ms] | write FILE TEXT\n", stderr);
    return kUsage;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring verb = argc > 1 ? argv[1] : L"";
    if (verb == L"pid-of" && (argc == 3 || argc == 4))
    {
        return PidOf(argv[2], argc == 4 ? Number(argv[3]) : 0);
    }
    if (verb == L"expect" && (argc == 5 || argc == 6))
    {
        return Expect(argv[2], Number(argv[3]), argv[4], argc == 6 ? Number(argv[5]) : 0);
    }
    if (verb == L"leftovers" && (argc == 5 || argc == 6))
    {
        return Leftovers(Number(argv[2]), std::wcstoull(argv[3], nullptr, 10), argv[4],
                         argc == 6 ? Number(argv[5]) : 0);
    }
    if (verb == L"write" && argc == 4)
    {
        return Write(argv[2], argv[3]);
    }
    return Usage();
}
