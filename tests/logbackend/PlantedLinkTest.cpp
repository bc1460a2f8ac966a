#include "base/UniqueHandle.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

#include <cwchar>

using namespace vwnlog;

// Runs on links that with-planted-links.sh made from the Linux side in the log folder of
// the scratch folder named by VWN_PLANTED_SCRATCH: a link at a.log and at c.log.1, and
// b.log as a second name of another file. Wine reaches the file behind a link whatever
// the flags, so there a.log and c.log.1 can only be left alone.
namespace
{
// Nine-byte lines ("line 01\r\n"), three to a full file.
std::string RollingAppender(const std::string& name, const std::wstring& folder)
{
    const std::string key = "log4j.appender." + name;
    return key + "=RollingFileAppender\n" + key + ".File=" + ToUtf8(folder) + name + ".log\n" + key +
           ".MaxFileSize=30\n" + key + ".MaxBackupIndex=2\n" + key + ".layout=PatternLayout\n" + key +
           ".layout.ConversionPattern=%m%n\n";
}

DWORD NamesOf(const std::wstring& path)
{
    const UniqueFile file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION info = {};
    return file && GetFileInformationByHandle(file.Get(), &info) ? info.nNumberOfLinks : 0;
}
} // namespace

TEST(PlantedLinkTest, Rolling_NeverTouchesAFileBehindAPlantedName)
{
    const std::wstring scratch =
        ScriptFolder(L"VWN_PLANTED_SCRATCH", "tests/logbackend/with-planted-links.sh");
    ASSERT_FALSE(scratch.empty());
    const std::wstring log = scratch + L"log\\";
    const logtest::DiagnosticCapture diagnostics;
    {
        const std::string text = "log4j.rootLogger=DEBUG, a, b, c\n" + RollingAppender("a", log) +
                                 RollingAppender("b", log) + RollingAppender("c", log);
        ASSERT_TRUE(WriteFileBytes(scratch + L"test.properties", text));
        Repository repository;
        ASSERT_TRUE(ConfigureFromFile(repository, scratch + L"test.properties"));
        for (int i = 1; i <= 10; ++i)
        {
            wchar_t line[16];
            swprintf(line, 16, L"line %02d", i);
            repository.Log(repository.GetLogger(L"x"), Level::Info, line);
        }
    }

    for (const char* name : {"a", "b", "c"})
    {
        EXPECT_EQ(std::string(name) + " belongs to someone else\r\n",
                  ReadFileBytes(scratch + L"outside\\" + std::wstring(name, name + 1) + L".txt"))
            << name;
    }
    // The second name went, and the log went on in a fresh file of its own.
    EXPECT_EQ(1u, NamesOf(log + L"b.log"));
    EXPECT_EQ(1u, NamesOf(scratch + L"outside\\b.txt"));
    EXPECT_EQ(logtest::NumberedLines(10, 10), ReadFileBytes(log + L"b.log"));
    EXPECT_EQ(logtest::NumberedLines(7, 9), ReadFileBytes(log + L"b.log.1"));
    // The backup's name stays taken, so the log does not roll.
    EXPECT_EQ(logtest::NumberedLines(1, 10), ReadFileBytes(log + L"c.log"));
    EXPECT_FALSE(logtest::Exists(log + L"c.log.2"));

    const std::wstring leftAlone =
        L"\" is a link that this system follows to another file; both are left alone";
    EXPECT_EQ(
        (std::vector<std::wstring>{
            L"Log4cxxWrapper: ERROR cannot open log file \"" + log + L"a.log\" of appender \"a\" (\"" + log +
                L"a.log" + leftAlone + L"); its lines are lost until it opens, tried again every 5 s",
            L"Log4cxxWrapper: WARN appender \"b\" (\"" + log + L"b.log\") found \"" + log +
                L"b.log\" to be a link or a second name of another file; that name alone was removed, and "
                L"the file behind it is untouched",
            L"Log4cxxWrapper: ERROR appender \"c\" (\"" + log + L"c.log\") cannot roll over (\"" + log +
                L"c.log.1" + leftAlone + L"); writing on to the current file and trying again every 60 s",
        }),
        diagnostics.Lines());
}
