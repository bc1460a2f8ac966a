#include "ProcessLookup.h"

#include "base/UniqueHandle.h"
#include "support/Wait.h"

#include <tlhelp32.h>

DWORD ChildProcessOf(DWORD parentId, const wchar_t* name, DWORD timeoutMs)
{
    DWORD found = 0;
    WaitFor(
        [&]
        {
            const UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
            PROCESSENTRY32W entry = {};
            entry.dwSize = sizeof(entry);
            for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more && found == 0;
                 more = Process32NextW(snapshot.Get(), &entry))
            {
                if ((parentId == kAnyParent || entry.th32ParentProcessID == parentId) &&
                    lstrcmpiW(entry.szExeFile, name) == 0)
                {
                    found = entry.th32ProcessID;
                }
            }
            return found != 0;
        },
        timeoutMs);
    return found;
}

bool ProcessEnds(DWORD processId, DWORD timeoutMs)
{
    const UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    return !process || WaitForSingleObject(process.Get(), timeoutMs) == WAIT_OBJECT_0;
}

bool Terminate(DWORD processId)
{
    const UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
    return process && TerminateProcess(process.Get(), 9) &&
           WaitForSingleObject(process.Get(), 5000) == WAIT_OBJECT_0;
}
