// process-handles NAME...: prints "NAME PID HANDLES" for every running process
// whose executable is one of the NAMEs (case ignored), for the detection
// benchmark's soak. Exit code 1 when none of them runs.
#include "base/UniqueHandle.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace
{

// The extended system handle table (information class 64): one entry per open handle of every process.
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

struct HandleEntry
{
    void* object;
    ULONG_PTR processId;
    ULONG_PTR handleValue;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG handleAttributes;
    ULONG reserved;
};

struct HandleTable
{
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};

using QuerySystemInformation = LONG(WINAPI*)(ULONG infoClass, void* buffer, ULONG length, ULONG* needed);

// Returns -1 when the table cannot be read.
long HandlesInSystemTable(DWORD processId)
{
    const auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr)
    {
        return -1;
    }
    std::vector<ULONG_PTR> buffer(1 << 14);
    LONG status = 0;
    ULONG needed = 0;
    while ((status = query(kSystemExtendedHandleInformation, buffer.data(),
                           static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR)), &needed)) ==
           kStatusInfoLengthMismatch)
    {
        buffer.resize(buffer.size() * 2);
    }
    if (status < 0)
    {
        return -1;
    }
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    long handles = 0;
    for (ULONG_PTR i = 0; i < table->count; ++i)
    {
        handles += table->entries[i].processId == processId ? 1 : 0;
    }
    return handles;
}

long HandleCount(DWORD processId)
{
    const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    DWORD handles = 0;
    if (process && GetProcessHandleCount(process.Get(), &handles) && handles != 0)
    {
        return static_cast<long>(handles);
    }
    // Wine 8 answers 0 for every process; no Windows process has no handle.
    return HandlesInSystemTable(processId);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
    {
        std::fwprintf(stderr, L"process-handles: no process snapshot (%lu)\n", GetLastError());
        return 1;
    }
    int found = 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry))
    {
        for (int i = 1; i < argc; ++i)
        {
            if (lstrcmpiW(entry.szExeFile, argv[i]) == 0)
            {
                std::wprintf(L"%ls %lu %ld\n", argv[i], entry.th32ProcessID,
                             HandleCount(entry.th32ProcessID));
                ++found;
            }
        }
    }
    return found > 0 ? 0 : 1;
}
