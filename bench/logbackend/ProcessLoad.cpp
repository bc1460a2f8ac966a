#include "ProcessLoad.h"

#include "BenchSupport.h"

#include <cstdio>
#include <cwchar>
#include <map>
#include <set>
#include <thread>

namespace bench
{
namespace
{
constexpr int kProcesses = 2;
constexpr int kThreads = 4;
// Room for every line: a line missing at the end is lost by the library, not pushed out.
constexpr int kMaxBackups = 200;
constexpr DWORD kWriterTimeoutMs = 600000;
constexpr int kRounds = 3;
constexpr int kRoundTrips = 20000;
// "2024-05-01 12:00:00,000 [0x00000120] DEBUG vwn_1.0.0 - ": what the shipped pattern puts before a message.
constexpr size_t kHeadLength = 55;

struct LoadCase
{
    const char* title;
    int lines; // per thread
    int pauseMs;
    unsigned long long maxFileSize;
    // Holds the file and its newest backup without delete sharing until the
    // file has grown to three times its maximum size: no roll can happen.
    bool viewer;
};

struct LineCount
{
    long long whole = 0;
    long long broken = 0;
    long long doubled = 0;
    int rolls = 0;
    unsigned long long largest = 0;
    std::map<std::pair<int, int>, std::set<int>> seen;
};

std::wstring Tail(int process, int thread, int number)
{
    wchar_t text[64];
    swprintf(text, 64, L" P%d T%d L%05d", process, thread, number);
    return text;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

void CountLine(const std::string& line, LineCount& count)
{
    static const std::string message = Narrow(kMessage);
    int process = -1;
    int thread = -1;
    int number = -1;
    int end = 0;
    const size_t at = line.find(message);
    if (at != kHeadLength ||
        std::sscanf(line.c_str() + at + message.size(), " P%d T%d L%d%n", &process, &thread, &number, &end) !=
            3 ||
        at + message.size() + static_cast<size_t>(end) != line.size() ||
        line != line.substr(0, at + message.size()) + Narrow(Tail(process, thread, number)))
    {
        ++count.broken;
        return;
    }
    ++count.whole;
    if (!count.seen[{process, thread}].insert(number).second)
    {
        ++count.doubled;
    }
}

void CountFile(const std::wstring& path, LineCount& count)
{
    const std::string bytes = ReadText(path);
    count.largest = std::max<unsigned long long>(count.largest, bytes.size());
    size_t start = 0;
    while (start < bytes.size())
    {
        size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos)
        {
            ++count.broken;
            return;
        }
        CountLine(bytes.substr(start, end - start), count);
        start = end + 2;
    }
}

LineCount CountLines(const std::wstring& folder)
{
    LineCount count;
    for (int i = kMaxBackups; i >= 1; --i)
    {
        const std::wstring backup = folder + L"\\shared.log." + std::to_wstring(i);
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        if (GetFileAttributesExW(backup.c_str(), GetFileExInfoStandard, &data))
        {
            count.rolls += data.nFileSizeLow != 0 || data.nFileSizeHigh != 0 ? 1 : 0;
            CountFile(backup, count);
        }
    }
    CountFile(folder + L"\\shared.log", count);
    return count;
}

HANDLE StartWriter(const std::wstring& properties, int process, const LoadCase& c, const std::wstring& event,
                   const std::wstring& times)
{
    std::wstring command = L"\"" + ProgramPath() + L"\" " + kWriterSwitch + L" \"" + properties + L"\" " +
                           std::to_wstring(process) + L" " + std::to_wstring(c.lines) + L" " +
                           std::to_wstring(c.pauseMs) + L" " + event + L" \"" + times + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    {
        return nullptr;
    }
    CloseHandle(info.hThread);
    return info.hProcess;
}

HANDLE OpenAsViewer(const std::wstring& path)
{
    // Read and write sharing, but no delete sharing: nobody can rename the file.
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Returns when the viewed log has grown past three full sizes or the writers have ended.
void HoldAsViewer(HANDLE current, HANDLE* writers, unsigned long long maxFileSize)
{
    LARGE_INTEGER size = {};
    while (
        WaitForMultipleObjects(kProcesses, writers, TRUE, 1) == WAIT_TIMEOUT &&
        (!GetFileSizeEx(current, &size) || static_cast<unsigned long long>(size.QuadPart) < 3 * maxFileSize))
    {
    }
}

std::vector<float> ReadTimes(const std::wstring& path)
{
    const std::string bytes = ReadText(path);
    std::vector<float> times(bytes.size() / sizeof(float));
    if (!times.empty())
    {
        memcpy(times.data(), bytes.data(), times.size() * sizeof(float));
    }
    return times;
}

// Starts the writers, lets them go at once, and waits; false if one failed.
bool RunWriters(const LoadCase& c, const std::wstring& folder, const std::wstring& properties)
{
    const std::wstring eventName = L"vwn-logbench-" + std::to_wstring(GetCurrentProcessId());
    HANDLE start = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
    HANDLE writers[kProcesses] = {};
    bool ok = start != nullptr;
    for (int p = 0; p < kProcesses && ok; ++p)
    {
        writers[p] =
            StartWriter(properties, p, c, eventName, folder + L"\\times" + std::to_wstring(p) + L".bin");
        ok = writers[p] != nullptr;
    }
    if (ok)
    {
        HANDLE viewed[2] = {c.viewer ? OpenAsViewer(folder + L"\\shared.log") : INVALID_HANDLE_VALUE,
                            c.viewer ? OpenAsViewer(folder + L"\\shared.log.1") : INVALID_HANDLE_VALUE};
        SetEvent(start);
        if (c.viewer)
        {
            HoldAsViewer(viewed[0], writers, c.maxFileSize);
        }
        for (HANDLE file : viewed)
        {
            if (file != INVALID_HANDLE_VALUE)
            {
                CloseHandle(file);
            }
        }
        ok = WaitForMultipleObjects(kProcesses, writers, TRUE, kWriterTimeoutMs) == WAIT_OBJECT_0;
    }
    for (HANDLE writer : writers)
    {
        DWORD code = 1;
        if (writer != nullptr)
        {
            TerminateProcess(writer, 99); // only a writer that has not ended yet
            WaitForSingleObject(writer, INFINITE);
            GetExitCodeProcess(writer, &code);
            CloseHandle(writer);
        }
        ok = ok && code == 0;
    }
    CloseHandle(start);
    return ok;
}

// A lock that every process sees costs calls to the Wine server; how long
// one takes just before a run says how busy the machine is.
double ServerRoundTripMedian()
{
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::vector<float> times;
    for (int i = 0; i < kRoundTrips; ++i)
    {
        const double begin = Seconds();
        SetEvent(event);
        times.push_back(static_cast<float>((Seconds() - begin) * 1e6));
    }
    CloseHandle(event);
    std::sort(times.begin(), times.end());
    return Percentile(times, 0.5);
}

void RunCase(const LoadCase& c, const std::wstring& folder)
{
    const double roundTrip = ServerRoundTripMedian();
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring properties = folder + L"\\load.properties";
    if (!WriteText(properties, AppenderProperties("RollingFileAppender", "shared.log",
                                                  std::to_string(c.maxFileSize), kMaxBackups)) ||
        !RunWriters(c, folder, properties))
    {
        std::printf("%-44s writers failed\n", c.title);
        DeleteTree(folder);
        return;
    }
    const LineCount count = CountLines(folder);
    long long distinct = 0;
    for (const auto& thread : count.seen)
    {
        distinct += static_cast<long long>(thread.second.size());
    }
    const long long expected = static_cast<long long>(kProcesses) * kThreads * c.lines;
    std::vector<float> times;
    for (int p = 0; p < kProcesses; ++p)
    {
        const std::vector<float> some = ReadTimes(folder + L"\\times" + std::to_wstring(p) + L".bin");
        times.insert(times.end(), some.begin(), some.end());
    }
    std::sort(times.begin(), times.end());
    std::printf("%-44s %7llu %6lld %5lld %6lld %7lld %5d %6llu %7.1f %7.1f %8.1f %7.1f\n", c.title,
                c.maxFileSize / 1024, expected, expected - distinct, count.broken, count.doubled, count.rolls,
                count.largest / 1024, Percentile(times, 0.5), Percentile(times, 0.99),
                times.empty() ? 0.0 : times.back(), roundTrip);
    DeleteTree(folder);
}
} // namespace

void RunProcessLoads(const std::wstring& folder)
{
    const LoadCase cases[] = {
        {"full speed", 5000, 0, 256 * 1024, false},
        {"full speed, a viewer blocks rolls a while", 5000, 0, 256 * 1024, true},
        {"one line per ms and thread", 1000, 1, 256 * 1024, false},
        {"one line per 10 ms and thread", 300, 10, 256 * 1024, false},
    };
    std::printf(
        "\n%d processes x %d threads, RollingFileAppender of \"file KB\" x %d, shipped pattern; per call: "
        "Log4cxxGetLoggerW + Log4cxxDebugW; srv: median Wine server round trip (SetEvent) just before\n",
        kProcesses, kThreads, kMaxBackups);
    std::printf("%-44s %7s %6s %5s %6s %7s %5s %6s %7s %7s %8s %7s\n", "case", "file KB", "lines", "lost",
                "broken", "doubled", "rolls", "max KB", "p50 us", "p99 us", "max us", "srv us");
    // The machine is shared: one run per row, so the spread shows.
    int index = 0;
    for (const LoadCase& c : cases)
    {
        for (int round = 0; round < kRounds; ++round)
        {
            RunCase(c, folder + L"\\load" + std::to_wstring(index++));
        }
    }
}

int RunLoadWriter(int argc, wchar_t** argv)
{
    if (argc != 8)
    {
        return 1;
    }
    const int process = _wtoi(argv[3]);
    const int lines = _wtoi(argv[4]);
    const DWORD pauseMs = static_cast<DWORD>(_wtoi(argv[5]));
    Library library;
    if (!LoadLibraryApi(library) || library.configure(argv[2]) != 1)
    {
        return 2;
    }
    HANDLE start = OpenEventW(SYNCHRONIZE, FALSE, argv[6]);
    if (start == nullptr || WaitForSingleObject(start, 60000) != WAIT_OBJECT_0)
    {
        return 3;
    }
    CloseHandle(start);
    std::vector<std::vector<float>> times(kThreads);
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
    {
        workers.emplace_back(
            [&, t]()
            {
                times[t].reserve(static_cast<size_t>(lines));
                for (int i = 0; i < lines; ++i)
                {
                    const std::wstring text = kMessage + Tail(process, t, i);
                    const double begin = Seconds();
                    library.debug(library.getLogger(kLoggerName), text.c_str());
                    times[t].push_back(static_cast<float>((Seconds() - begin) * 1e6));
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
    std::string bytes;
    for (const std::vector<float>& some : times)
    {
        bytes.append(reinterpret_cast<const char*>(some.data()), some.size() * sizeof(float));
    }
    return WriteText(argv[7], bytes) ? 0 : 4;
}
} // namespace bench
