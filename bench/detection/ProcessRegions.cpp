// process-regions NAME: the committed memory of the first running process whose
// executable is NAME (case ignored), one region a line, for the detection
// benchmark's split of private memory:
//   START END KIND
// in hexadecimal, END excluded. KIND is the image's file name for an image,
// "stack" for a region of a thread's stack, "mapped" for a file mapping and
// "private" for the rest (heaps, thread and process blocks). Exit code 1 when
// no such process runs or its memory cannot be read.
#include "base/UniqueHandle.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <set>
#include <string>

namespace
{

// From the public NT API: information class 0 of a thread, whose second field is its TEB.
constexpr LONG kThreadBasicInformation = 0;
struct ThreadBasicInformation
{
    LONG exitStatus;
    void* tebBaseAddress;
    void* clientIdProcess;
    void* clientIdThread;
    ULONG_PTR affinityMask;
    LONG priority;
    LONG basePriority;
};
using QueryInformationThread = LONG(WINAPI*)(HANDLE thread, LONG infoClass, void* buffer, ULONG length,
                                             ULONG* returned);

DWORD FindProcess(const wchar_t* name)
{
    const UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = snapshot && Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry))
    {
        if (lstrcmpiW(entry.szExeFile, name) == 0)
        {
            return entry.th32ProcessID;
        }
    }
    return 0;
}

// The allocation that holds the thread's stack, read from the NT_TIB at the start of its TEB.
void* StackAllocation(HANDLE process, DWORD threadId, QueryInformationThread query)
{
    const UniqueHandle thread(OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId));
    ThreadBasicInformation basic = {};
    NT_TIB tib = {};
    MEMORY_BASIC_INFORMATION region = {};
    if (!thread || query(thread.Get(), kThreadBasicInformation, &basic, sizeof(basic), nullptr) < 0 ||
        !ReadProcessMemory(process, basic.tebBaseAddress, &tib, sizeof(tib), nullptr) ||
        VirtualQueryEx(process, static_cast<char*>(tib.StackBase) - 1, &region, sizeof(region)) == 0)
    {
        std::fwprintf(stderr, L"process-regions: no stack for thread %lu (%lu)\n", threadId, GetLastError());
        return nullptr;
    }
    return region.AllocationBase;
}

std::set<void*> StackAllocations(HANDLE process, DWORD processId)
{
    std::set<void*> stacks;
    const auto query = reinterpret_cast<QueryInformationThread>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    const UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = query && snapshot && Thread32First(snapshot.Get(), &entry); more;
         more = Thread32Next(snapshot.Get(), &entry))
    {
        if (entry.th32OwnerProcessID == processId)
        {
            if (void* stack = StackAllocation(process, entry.th32ThreadID, query))
            {
                stacks.insert(stack);
            }
        }
    }
    return stacks;
}

std::wstring ImageName(HANDLE process, void* allocationBase)
{
    wchar_t path[MAX_PATH] = {};
    if (GetModuleFileNameExW(process, static_cast<HMODULE>(allocationBase), path, MAX_PATH) == 0)
    {
        return L"unknown-image";
    }
    const wchar_t* slash = wcsrchr(path, L'\\');
    return slash != nullptr ? slash + 1 : path;
}

std::wstring Kind(HANDLE process, const MEMORY_BASIC_INFORMATION& region, const std::set<void*>& stacks)
{
    switch (region.Type)
    {
    case MEM_IMAGE:
        return ImageName(process, region.AllocationBase);
    case MEM_MAPPED:
        return L"mapped";
    default:
        return stacks.count(region.AllocationBase) != 0 ? L"stack" : L"private";
    }
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const DWORD processId = argc == 2 ? FindProcess(argv[1]) : 0;
    const UniqueHandle process(
        processId != 0 ? OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId)
                       : nullptr);
    if (!process)
    {
        std::fwprintf(stderr, L"process-regions: no process %ls to read (%lu)\n",
                      argc == 2 ? argv[1] : L"NAME", GetLastError());
        return 1;
    }
    const std::set<void*> stacks = StackAllocations(process.Get(), processId);
    MEMORY_BASIC_INFORMATION region = {};
    for (char* at = nullptr; VirtualQueryEx(process.Get(), at, &region, sizeof(region)) != 0;
         at = static_cast<char*>(region.BaseAddress) + region.RegionSize)
    {
        if (region.State == MEM_COMMIT)
        {
            const auto start = reinterpret_cast<ULONG_PTR>(region.BaseAddress);
            std::wprintf(L"%llx %llx %ls\n", static_cast<unsigned long long>(start),
                         static_cast<unsigned long long>(start + region.RegionSize),
                         Kind(process.Get(), region, stacks).c_str());
        }
    }
    return 0;
}
