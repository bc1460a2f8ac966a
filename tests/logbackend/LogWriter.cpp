// logbackend_writer PROPERTIES PROCESS THREADS LINES START_EVENT [PAUSE_MS]
// Configures Log4cxxWrapper.dll (beside this program) from PROPERTIES, waits
// for the named event, then writes LINES numbered lines from each of THREADS
// threads, fetching the logger for every line as the program does, with
// PAUSE_MS after each line. Exit code 0 when all went through the calls, 1
// on bad arguments, 2 without the DLL.
#include "DllApi.h"

#include <cwchar>
#include <thread>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 6 && argc != 7)
    {
        return 1;
    }
    const int process = _wtoi(argv[2]);
    const int lines = _wtoi(argv[4]);
    const DWORD pauseMs = argc == 7 ? static_cast<DWORD>(_wtoi(argv[6])) : 0;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self);
    folder.resize(folder.rfind(L'\\') + 1);
    logtest::DllApi api;
    std::string missing;
    if (!api.Load(folder, missing) || !api.PropertyConfigureW(argv[1]))
    {
        return 2;
    }
    HANDLE start = OpenEventW(SYNCHRONIZE, FALSE, argv[5]);
    if (start == nullptr || WaitForSingleObject(start, 60000) != WAIT_OBJECT_0)
    {
        return 1;
    }
    std::vector<std::thread> workers;
    for (int t = 0; t < _wtoi(argv[3]); ++t)
    {
        workers.emplace_back(
            [=]()
            {
                for (int i = 0; i < lines; ++i)
                {
                    wchar_t text[128];
                    swprintf(text, 128, L"P%d T%d L%05d abcdefghijklmnopqrstuvwxyz0123456789", process, t, i);
                    api.DebugW(api.GetLoggerW(L"vwn_1.0.0"), text);
                    if (pauseMs != 0)
                    {
                        Sleep(pauseMs);
                    }
                }
            });
    }
    for (std::thread& worker : workers)
    {
        worker.join();
    }
    return 0;
}
