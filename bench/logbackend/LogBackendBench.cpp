// Measures Log4cxxWrapper.dll (loaded by its exports, as the program does)
// against the plainest way to write a log: one WriteFile per line to a file
// opened for appending. Both write lines of the same length into a
// temporary folder, in the same run, one thread and four threads. Then the
// load of two processes (ProcessLoad.h). "--load" runs only that load.
#include "BenchSupport.h"
#include "ProcessLoad.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using namespace bench;

namespace
{
constexpr int kLines = 100000;
constexpr int kThreads = 4;
constexpr int kRounds = 3;
constexpr int kTimedCalls = 20000;

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// Runs body(thread, lines) on count threads and returns lines per second.
template <typename Body> double LinesPerSecond(int threads, Body body)
{
    const int perThread = kLines / threads;
    const double start = Seconds();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
    {
        workers.emplace_back([&body, t, perThread]() { body(t, perThread); });
    }
    for (std::thread& worker : workers)
    {
        worker.join();
    }
    return perThread * threads / (Seconds() - start);
}

template <typename Body> double BestOf(Body body)
{
    double best = 0;
    for (int round = 0; round < kRounds; ++round)
    {
        best = std::max(best, body());
    }
    return best;
}

// Median and 99th percentile, in microseconds, of single timed calls.
template <typename Call> std::pair<double, double> CallTimes(Call call)
{
    std::vector<double> times;
    times.reserve(kTimedCalls);
    for (int i = 0; i < kTimedCalls; ++i)
    {
        const double start = Seconds();
        call(i);
        times.push_back((Seconds() - start) * 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[times.size() * 99 / 100]};
}

// One baseline line: the same bytes the library writes for kMessage.
std::string BaselineLine()
{
    return "2024-05-01 12:00:00,000 [0x00000120] DEBUG vwn_1.0.0 - " + Narrow(kMessage) + "\r\n";
}

HANDLE OpenForAppending(const std::wstring& path)
{
    return CreateFileW(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

double BaselineRate(const std::wstring& folder, int threads)
{
    return BestOf(
        [&]()
        {
            const std::wstring path = folder + L"\\baseline.log";
            HANDLE file = OpenForAppending(path);
            const std::string line = BaselineLine();
            const double rate = LinesPerSecond(
                threads,
                [&](int, int lines)
                {
                    for (int i = 0; i < lines; ++i)
                    {
                        DWORD written = 0;
                        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
                    }
                });
            CloseHandle(file);
            DeleteFileW(path.c_str());
            return rate;
        });
}

void Configure(const Library& library, const std::wstring& folder, const char* appender)
{
    const std::string properties = AppenderProperties(appender, "bench.log", "1MB", 5);
    const std::wstring path = folder + L"\\bench.properties";
    WriteText(path, properties);
    library.configure(path.c_str());
}

double LibraryRate(const Library& library, const std::wstring& folder, const char* appender, int threads,
                   bool lookupEachTime)
{
    return BestOf(
        [&]()
        {
            Configure(library, folder, appender);
            const Log4cxxLogger logger = library.getLogger(L"vwn_1.0.0");
            const double rate = LinesPerSecond(
                threads,
                [&](int, int lines)
                {
                    for (int i = 0; i < lines; ++i)
                    {
                        library.debug(lookupEachTime ? library.getLogger(L"vwn_1.0.0") : logger, kMessage);
                    }
                });
            // An empty configuration closes the files so the next round starts afresh.
            const std::wstring empty = folder + L"\\empty.properties";
            WriteText(empty, "log4j.rootLogger=OFF\n");
            library.configure(empty.c_str());
            DeleteTree(folder);
            CreateDirectoryW(folder.c_str(), nullptr);
            return rate;
        });
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc > 1 && wcscmp(argv[1], kWriterSwitch) == 0)
    {
        return RunLoadWriter(argc, argv);
    }
    Library library;
    if (!LoadLibraryApi(library))
    {
        std::fprintf(stderr,
                     "Log4cxxWrapper.dll or one of its entry points not found beside the benchmark\n");
        return 1;
    }
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"vwn-logbench-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    if (argc > 1 && wcscmp(argv[1], L"--load") == 0)
    {
        RunProcessLoads(folder);
        DeleteTree(folder);
        return 0;
    }

    std::printf("%d lines per run, best of %d runs, line of %zu bytes\n", kLines, kRounds,
                BaselineLine().size());
    std::printf("%-52s %12s %12s\n", "", "1 thread", "4 threads");
    const double base1 = BaselineRate(folder, 1);
    const double base4 = BaselineRate(folder, kThreads);
    std::printf("%-52s %12.0f %12.0f\n", "baseline: WriteFile per line (lines/s)", base1, base4);
    struct Case
    {
        const char* title;
        const char* appender;
        bool lookup;
    };
    const Case cases[] = {
        {"FileAppender (lines/s)", "FileAppender", false},
        {"RollingFileAppender 1MB x 5 (lines/s)", "RollingFileAppender", false},
        {"RollingFileAppender, GetLoggerW per line (lines/s)", "RollingFileAppender", true},
    };
    for (const Case& c : cases)
    {
        const double rate1 = LibraryRate(library, folder, c.appender, 1, c.lookup);
        const double rate4 = LibraryRate(library, folder, c.appender, kThreads, c.lookup);
        std::printf("%-52s %12.0f %12.0f   (x%.2f, x%.2f of baseline time)\n", c.title, rate1, rate4,
                    base1 / rate1, base4 / rate4);
    }

    const std::wstring basePath = folder + L"\\single.log";
    HANDLE file = OpenForAppending(basePath);
    const std::string line = BaselineLine();
    const auto baseCall = CallTimes(
        [&](int)
        {
            DWORD written = 0;
            WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        });
    CloseHandle(file);
    Configure(library, folder, "RollingFileAppender");
    const Log4cxxLogger logger = library.getLogger(L"vwn_1.0.0");
    const auto libraryCall = CallTimes([&](int) { library.debug(logger, kMessage); });
    std::printf("one call, median / 99th percentile (us): WriteFile %.2f / %.2f, Log4cxxDebugW %.2f / %.2f\n",
                baseCall.first, baseCall.second, libraryCall.first, libraryCall.second);

    const std::wstring empty = folder + L"\\empty.properties";
    WriteText(empty, "log4j.rootLogger=OFF\n");
    library.configure(empty.c_str());
    RunProcessLoads(folder);
    DeleteTree(folder);
    return 0;
}
