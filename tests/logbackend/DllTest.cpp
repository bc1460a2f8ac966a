#include "DllApi.h"
#include "LogTestSupport.h"

#include <gtest/gtest.h>

using logtest::ReadBytes;

namespace
{
// The DLL stays loaded for the whole run, as in the program; each test
// configures it afresh into a folder of its own.
class DllTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        std::string missing;
        s_loaded = s_api.Load(logtest::ExeFolder(), missing);
        s_missing = missing;
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_loaded) << "missing: " << s_missing;
        ASSERT_TRUE(m_debugger.Ready());
    }

    void TearDown() override
    {
        // Closes this test's files so its folder can go.
        const std::wstring off = m_folder / L"off.properties";
        logtest::WriteBytes(off, "log4j.rootLogger=OFF\n");
        if (s_loaded)
        {
            s_api.propertyConfigureW(off.c_str());
        }
    }

    int Configure(const std::string& text)
    {
        const std::wstring path = m_folder / L"test.properties";
        EXPECT_TRUE(logtest::WriteBytes(path, logtest::WithFolder(text, m_folder.Path())));
        return s_api.propertyConfigureW(path.c_str());
    }

    std::string File(const wchar_t* name) { return ReadBytes(m_folder / name); }

    Log4cxxLogger Logger() { return s_api.getLoggerW(L"vwn_1.0.0"); }

    static logtest::DllApi s_api;
    static bool s_loaded;
    static std::string s_missing;

    logtest::DebuggerOutput m_debugger;
    logtest::TempFolder m_folder;
};

logtest::DllApi DllTest::s_api;
bool DllTest::s_loaded = false;
std::string DllTest::s_missing;

const char* const kPlainFile = "log4j.rootLogger=TRACE, F\n"
                               "log4j.appender.F=FileAppender\n"
                               "log4j.appender.F.File=$FOLDER\\f.log\n"
                               "log4j.appender.F.layout=PatternLayout\n"
                               "log4j.appender.F.layout.ConversionPattern=%-5p %c - %m%n\n";

TEST_F(DllTest, Exports_AllEntryPointsUnderPlainNames)
{
    // Load() already looked each one up by its undecorated name.
    EXPECT_TRUE(s_missing.empty()) << s_missing;
}

TEST_F(DllTest, File_EveryLevelWideAndNarrowExactBytes)
{
    ASSERT_EQ(1, Configure(kPlainFile));
    const Log4cxxLogger logger = Logger();
    s_api.traceW(logger, L"t");
    s_api.debugW(logger, L"d");
    s_api.infoA(logger, "i");
    s_api.warnW(logger, L"w");
    s_api.errorA(logger, "e");
    s_api.fatalW(logger, L"f");
    s_api.debugA(logger, "message that ends in a line feed\n");
    EXPECT_EQ("TRACE vwn_1.0.0 - t\r\n"
              "DEBUG vwn_1.0.0 - d\r\n"
              "INFO  vwn_1.0.0 - i\r\n"
              "WARN  vwn_1.0.0 - w\r\n"
              "ERROR vwn_1.0.0 - e\r\n"
              "FATAL vwn_1.0.0 - f\r\n"
              "DEBUG vwn_1.0.0 - message that ends in a line feed\n\r\n",
              File(L"f.log"));
    EXPECT_TRUE(m_debugger.Lines().empty());
}

TEST_F(DllTest, Levels_BelowLoggerLevelAreDropped)
{
    ASSERT_EQ(1, Configure(std::string(kPlainFile) + "log4j.logger.vwn_1=WARN\n"));
    const Log4cxxLogger logger = Logger();
    s_api.traceA(logger, "t");
    s_api.debugW(logger, L"d");
    s_api.infoW(logger, L"i");
    s_api.warnA(logger, "w");
    s_api.infoW(s_api.getLoggerW(L"vwn_10"), L"sibling, not child");
    EXPECT_EQ("WARN  vwn_1.0.0 - w\r\nINFO  vwn_10 - sibling, not child\r\n", File(L"f.log"));
}

TEST_F(DllTest, Utf8_IsTheDefaultEncoding)
{
    ASSERT_EQ(1, Configure(kPlainFile));
    s_api.infoW(Logger(), L"Gr\u00fc\u00dfe \u20ac \U0001F50B");
    EXPECT_EQ("INFO  vwn_1.0.0 - Gr\xC3\xBC\xC3\x9F"
              "e \xE2\x82\xAC \xF0\x9F\x94\x8B\r\n",
              File(L"f.log"));
}

TEST_F(DllTest, Utf16_HasOneByteOrderMarkAtFileStart)
{
    const std::string properties = "log4j.rootLogger=DEBUG, F\n"
                                   "log4j.appender.F=FileAppender\n"
                                   "log4j.appender.F.File=$FOLDER\\w.log\n"
                                   "log4j.appender.F.Encoding=UTF-16\n"
                                   "log4j.appender.F.layout=PatternLayout\n"
                                   "log4j.appender.F.layout.ConversionPattern=%m%n\n";
    ASSERT_EQ(1, Configure(properties));
    s_api.debugW(Logger(), L"\u00e9\u20ac");
    // Configuring again reopens the file; it must not get a second mark.
    ASSERT_EQ(1, Configure(properties));
    s_api.debugA(Logger(), "a");
    EXPECT_EQ(std::string("\xFF\xFE"
                          "\xE9\x00"
                          "\xAC\x20"
                          "\r\x00\n\x00"
                          "a\x00"
                          "\r\x00\n\x00",
                          16),
              File(L"w.log"));
}

TEST_F(DllTest, Utf16LittleEndian_HasNoByteOrderMark)
{
    ASSERT_EQ(1, Configure("log4j.rootLogger=DEBUG, F\n"
                           "log4j.appender.F=FileAppender\n"
                           "log4j.appender.F.File=$FOLDER\\w.log\n"
                           "log4j.appender.F.Encoding=utf-16le\n"
                           "log4j.appender.F.layout=PatternLayout\n"
                           "log4j.appender.F.layout.ConversionPattern=%m%n\n"));
    s_api.debugW(Logger(), L"ok");
    EXPECT_EQ(std::string("o\x00k\x00\r\x00\n\x00", 8), File(L"w.log"));
}

TEST_F(DllTest, Narrow_TextIsConvertedFromAnsiCodePage)
{
    if (GetACP() != 1252)
    {
        GTEST_SKIP() << "needs the Western European ANSI code page";
    }
    ASSERT_EQ(1, Configure(kPlainFile));
    s_api.infoA(s_api.getLoggerA("caf\xE9"), "na\xEFve \x80");
    EXPECT_EQ("INFO  caf\xC3\xA9 - na\xC3\xAFve \xE2\x82\xAC\r\n", File(L"f.log"));
}

TEST_F(DllTest, Rolling_KeepsNewestBackupsByteForByte)
{
    ASSERT_EQ(1, Configure("log4j.rootLogger=DEBUG, R\n"
                           "log4j.appender.R=org.apache.log4j.RollingFileAppender\n"
                           "log4j.appender.R.File=$FOLDER\\r.log\n"
                           "log4j.appender.R.MaxFileSize=30\n"
                           "log4j.appender.R.MaxBackupIndex=2\n"
                           "log4j.appender.R.layout=PatternLayout\n"
                           "log4j.appender.R.layout.ConversionPattern=%m%n\n"));
    const Log4cxxLogger logger = Logger();
    for (int i = 1; i <= 10; ++i)
    {
        s_api.debugA(logger, ("line " + std::string(i < 10 ? "0" : "") + std::to_string(i)).c_str());
    }
    EXPECT_EQ("line 10\r\n", File(L"r.log"));
    EXPECT_EQ("line 07\r\nline 08\r\nline 09\r\n", File(L"r.log.1"));
    EXPECT_EQ("line 04\r\nline 05\r\nline 06\r\n", File(L"r.log.2"));
    EXPECT_FALSE(logtest::Exists(m_folder / L"r.log.3"));
}

TEST_F(DllTest, MissingFolders_AreMade)
{
    ASSERT_EQ(1, Configure("log4j.rootLogger=DEBUG, F\n"
                           "log4j.appender.F=FileAppender\n"
                           "log4j.appender.F.File=$FOLDER\\one\\two\\three\\f.log\n"
                           "log4j.appender.F.layout=SimpleLayout\n"));
    s_api.debugW(Logger(), L"deep");
    EXPECT_EQ("DEBUG - deep\r\n", File(L"one\\two\\three\\f.log"));
}

TEST_F(DllTest, UnwritableFile_ReportedOnceAndOtherAppendersGoOn)
{
    // Another program holds the file without sharing it.
    HANDLE holder = CreateFileW((m_folder / L"locked.log").c_str(), GENERIC_READ, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    ASSERT_EQ(1, Configure("log4j.rootLogger=DEBUG, locked, folder, good\n"
                           "log4j.appender.locked=FileAppender\n"
                           "log4j.appender.locked.File=$FOLDER\\locked.log\n"
                           "log4j.appender.locked.layout=SimpleLayout\n"
                           "log4j.appender.folder=FileAppender\n"
                           "log4j.appender.folder.File=$FOLDER\n"
                           "log4j.appender.folder.layout=SimpleLayout\n"
                           "log4j.appender.good=FileAppender\n"
                           "log4j.appender.good.File=$FOLDER\\good.log\n"
                           "log4j.appender.good.layout=SimpleLayout\n"));
    s_api.debugW(Logger(), L"one");
    s_api.debugW(Logger(), L"two");
    CloseHandle(holder);
    EXPECT_EQ("DEBUG - one\r\nDEBUG - two\r\n", File(L"good.log"));
    EXPECT_EQ("", File(L"locked.log"));
    const std::vector<std::string> lines = m_debugger.Lines();
    ASSERT_EQ(2u, lines.size());
    const std::string locked = logtest::Utf8(m_folder / L"locked.log");
    EXPECT_EQ(0u, lines[0].find("Log4cxxWrapper: ERROR cannot open log file \"" + locked +
                                "\" of appender \"locked\" (error 32"))
        << lines[0];
    EXPECT_EQ(0u, lines[1].find("Log4cxxWrapper: ERROR cannot open log file \"" +
                                logtest::Utf8(m_folder.Path()) + "\" of appender \"folder\" (error 5"))
        << lines[1];
    EXPECT_NE(std::string::npos,
              lines[0].find("); its lines are lost until it opens, tried again every 5 s"));
}

TEST_F(DllTest, MissingConfigurationFile_ReportedAndLoggingStillSafe)
{
    ASSERT_EQ(1, Configure(kPlainFile));
    const std::wstring missing = m_folder / L"absent.properties";
    EXPECT_EQ(0, s_api.propertyConfigureW(missing.c_str()));
    s_api.infoW(Logger(), L"previous configuration");
    EXPECT_EQ("INFO  vwn_1.0.0 - previous configuration\r\n", File(L"f.log"));
    const std::vector<std::string> lines = m_debugger.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(0u, lines[0].find("Log4cxxWrapper: ERROR cannot read configuration file \"" +
                                logtest::Utf8(missing) + "\" (error 2"))
        << lines[0];
}

TEST_F(DllTest, NarrowConfigure_ReadsTheSameFile)
{
    const std::wstring path = m_folder / L"narrow.properties";
    ASSERT_TRUE(logtest::WriteBytes(path, logtest::WithFolder(kPlainFile, m_folder.Path())));
    EXPECT_EQ(1, s_api.propertyConfigureA(logtest::Utf8(path).c_str()));
    s_api.infoW(Logger(), L"narrow");
    EXPECT_EQ("INFO  vwn_1.0.0 - narrow\r\n", File(L"f.log"));
}

TEST_F(DllTest, DomConfigurators_SayXmlIsNotSupported)
{
    EXPECT_EQ(0, s_api.domConfigureW(L"C:\\x\\log4j.xml"));
    EXPECT_EQ(0, s_api.domConfigureA("log4j.xml"));
    EXPECT_EQ(0, s_api.domConfigureA(nullptr));
    const std::vector<std::string> lines = m_debugger.Lines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(
        "Log4cxxWrapper: ERROR XML configuration is not supported; \"C:\\x\\log4j.xml\" is ignored. Use a "
        "properties file with Log4cxxPropertyConfigure.",
        lines[0]);
    EXPECT_EQ("Log4cxxWrapper: ERROR XML configuration is not supported; \"log4j.xml\" is ignored. Use a "
              "properties file with Log4cxxPropertyConfigure.",
              lines[1]);
}

TEST_F(DllTest, NullArguments_DoNothing)
{
    ASSERT_EQ(1, Configure(kPlainFile));
    EXPECT_EQ(nullptr, s_api.getLoggerW(nullptr));
    EXPECT_EQ(nullptr, s_api.getLoggerA(nullptr));
    EXPECT_EQ(0, s_api.propertyConfigureW(nullptr));
    EXPECT_EQ(0, s_api.propertyConfigureA(nullptr));
    s_api.debugW(nullptr, L"null logger");
    s_api.debugA(nullptr, "null logger");
    s_api.debugW(Logger(), nullptr);
    s_api.fatalA(Logger(), nullptr);
    // A handle the library never gave out is ignored too.
    s_api.debugW(reinterpret_cast<Log4cxxLogger>(static_cast<uintptr_t>(0x7fffff)), L"stray");
    s_api.infoW(Logger(), L"still fine");
    EXPECT_EQ("INFO  vwn_1.0.0 - still fine\r\n", File(L"f.log"));
    EXPECT_TRUE(m_debugger.Lines().empty());
}

TEST_F(DllTest, GetLogger_SameNameSameHandleAndNeverNull)
{
    const Log4cxxLogger first = s_api.getLoggerW(L"vwn_1.0.0");
    EXPECT_NE(nullptr, first);
    EXPECT_EQ(first, s_api.getLoggerW(L"vwn_1.0.0"));
    EXPECT_EQ(first, s_api.getLoggerA("vwn_1.0.0"));
    EXPECT_NE(first, s_api.getLoggerW(L"VWN_1.0.0"));
    EXPECT_NE(nullptr, s_api.getLoggerW(L""));
}

TEST_F(DllTest, RelativeFile_FollowsThePropertiesFileNotTheCurrentFolder)
{
    logtest::TempFolder elsewhere;
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(elsewhere.Path().c_str());
    const int configured = Configure("log4j.rootLogger=DEBUG, F\n"
                                     "log4j.appender.F=FileAppender\n"
                                     "log4j.appender.F.File=logs\\rel.log\n"
                                     "log4j.appender.F.layout=SimpleLayout\n");
    s_api.debugW(Logger(), L"relative");
    SetCurrentDirectoryW(previous);
    ASSERT_EQ(1, configured);
    EXPECT_EQ("DEBUG - relative\r\n", File(L"logs\\rel.log"));
    EXPECT_FALSE(logtest::Exists(elsewhere / L"logs"));
}

TEST_F(DllTest, DebuggerAppender_SendsEachLine)
{
    ASSERT_EQ(1, Configure("log4j.rootLogger=DEBUG, D\n"
                           "log4j.appender.D=org.apache.log4j.nt.OutputDebugStringAppender\n"
                           "log4j.appender.D.layout=PatternLayout\n"
                           "log4j.appender.D.layout.ConversionPattern=[%c] %m%n\n"));
    s_api.debugW(Logger(), L"to the debugger");
    const std::vector<std::string> lines = m_debugger.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("[vwn_1.0.0] to the debugger", lines[0]);
}

TEST_F(DllTest, BasicConfigure_WritesToStandardOutput)
{
    const std::wstring path = m_folder / L"stdout.txt";
    HANDLE capture = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, capture);
    HANDLE previous = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, capture);
    const int configured = s_api.basicConfigure();
    s_api.warnW(s_api.getLoggerW(L"basic"), L"hello");
    SetStdHandle(STD_OUTPUT_HANDLE, previous);
    CloseHandle(capture);
    ASSERT_EQ(1, configured);
    const std::string text = File(L"stdout.txt");
    // "<ms> [0x<thread>] WARN basic  - hello": the empty %x leaves two blanks, as in log4j.
    char expectedThread[32];
    snprintf(expectedThread, sizeof(expectedThread), " [0x%08lx] ", GetCurrentThreadId());
    const size_t thread = text.find(expectedThread);
    ASSERT_NE(std::string::npos, thread) << text;
    EXPECT_EQ(std::string::npos, text.substr(0, thread).find_first_not_of("0123456789")) << text;
    EXPECT_EQ("WARN basic  - hello\r\n", text.substr(thread + strlen(expectedThread))) << text;
}
} // namespace
