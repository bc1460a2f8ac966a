#include "DllApi.h"
#include "LogTestSupport.h"
#include "support/ScopedState.h"

#include <gtest/gtest.h>

using logtest::SimpleFile;

namespace
{
// The DLL stays loaded for the whole run, as in the program; each test
// configures it afresh into a folder of its own.
class DllTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_api.Load(BinFolder(), s_missing); }

    void SetUp() override
    {
        // Every entry point must be there under its plain name.
        ASSERT_TRUE(s_missing.empty()) << "missing: " << s_missing;
        ASSERT_TRUE(m_debugger.Ready());
    }

    void TearDown() override
    {
        // Closes this test's files so its folder can go.
        const std::wstring off = m_folder / L"off.properties";
        WriteFileBytes(off, "log4j.rootLogger=OFF\n");
        if (s_missing.empty())
        {
            s_api.PropertyConfigureW(off.c_str());
        }
    }

    int Configure(const std::string& text)
    {
        const std::wstring path = m_folder / L"test.properties";
        EXPECT_TRUE(WriteFileBytes(path, logtest::WithFolder(text, m_folder)));
        return s_api.PropertyConfigureW(path.c_str());
    }

    std::string File(const wchar_t* name) { return ReadFileBytes(m_folder / name); }

    Log4cxxLogger Logger() { return s_api.GetLoggerW(L"vwn_1.0.0"); }

    static inline logtest::DllApi s_api;
    static inline std::string s_missing;

    logtest::DebuggerOutput m_debugger;
    TempFolder m_folder{L"vwn-logtest"};
};

const char* const kPlainFile = "log4j.rootLogger=TRACE, F\n"
                               "log4j.appender.F=FileAppender\n"
                               "log4j.appender.F.File=$FOLDER\\f.log\n"
                               "log4j.appender.F.layout=PatternLayout\n"
                               "log4j.appender.F.layout.ConversionPattern=%-5p %c - %m%n\n";

TEST_F(DllTest, File_EveryLevelWideAndNarrowExactBytesInUtf8)
{
    // Configured through the narrow entry point; the other tests use the wide one.
    const std::wstring path = m_folder / L"narrow.properties";
    ASSERT_TRUE(WriteFileBytes(
        path, logtest::WithFolder(std::string(kPlainFile) + "log4j.logger.vwn_2=WARN\n", m_folder)));
    ASSERT_EQ(1, s_api.PropertyConfigureA(ToUtf8(path).c_str()));
    const Log4cxxLogger logger = Logger();
    s_api.TraceW(logger, L"t");
    s_api.DebugW(logger, L"d");
    s_api.InfoA(logger, "i");
    s_api.WarnW(logger, L"w");
    s_api.ErrorA(logger, "e");
    s_api.FatalW(logger, L"f");
    s_api.DebugA(logger, "message that ends in a line feed\n");
    s_api.InfoW(logger, L"Gr\u00fc\u00dfe \u20ac \U0001F50B");
    // vwn_2.0.0 takes WARN from vwn_2; vwn_20 is no child of vwn_2.
    const Log4cxxLogger quiet = s_api.GetLoggerA("vwn_2.0.0");
    s_api.TraceA(quiet, "t");
    s_api.InfoW(quiet, L"i");
    s_api.WarnA(quiet, "w");
    s_api.InfoW(s_api.GetLoggerW(L"vwn_20"), L"sibling, not child");
    EXPECT_EQ("TRACE vwn_1.0.0 - t\r\n"
              "DEBUG vwn_1.0.0 - d\r\n"
              "INFO  vwn_1.0.0 - i\r\n"
              "WARN  vwn_1.0.0 - w\r\n"
              "ERROR vwn_1.0.0 - e\r\n"
              "FATAL vwn_1.0.0 - f\r\n"
              "DEBUG vwn_1.0.0 - message that ends in a line feed\n\r\n"
              "INFO  vwn_1.0.0 - Gr\xC3\xBC\xC3\x9F"
              "e \xE2\x82\xAC \xF0\x9F\x94\x8B\r\n"
              "WARN  vwn_2.0.0 - w\r\n"
              "INFO  vwn_20 - sibling, not child\r\n",
              File(L"f.log"));
    EXPECT_TRUE(m_debugger.Lines().empty());
}

TEST_F(DllTest, Utf16_ByteOrderMarkOnlyAtFileStartAndNotForLittleEndian)
{
    const std::string properties = "log4j.rootLogger=DEBUG, F, L\n"
                                   "log4j.appender.F=FileAppender\n"
                                   "log4j.appender.F.File=$FOLDER\\w.log\n"
                                   "log4j.appender.F.Encoding=UTF-16\n"
                                   "log4j.appender.F.layout=PatternLayout\n"
                                   "log4j.appender.F.layout.ConversionPattern=%m%n\n"
                                   "log4j.appender.L=FileAppender\n"
                                   "log4j.appender.L.File=$FOLDER\\le.log\n"
                                   "log4j.appender.L.Encoding=utf-16le\n"
                                   "log4j.appender.L.layout=PatternLayout\n"
                                   "log4j.appender.L.layout.ConversionPattern=%m%n\n";
    ASSERT_EQ(1, Configure(properties));
    s_api.DebugW(Logger(), L"\u00e9\u20ac");
    // Configuring again reopens the file; it must not get a second mark.
    ASSERT_EQ(1, Configure(properties));
    s_api.DebugA(Logger(), "a");
    const std::string lines("\xE9\x00\xAC\x20\r\x00\n\x00"
                            "a\x00\r\x00\n\x00",
                            14);
    EXPECT_EQ("\xFF\xFE" + lines, File(L"w.log"));
    EXPECT_EQ(lines, File(L"le.log"));
}

TEST_F(DllTest, Narrow_TextIsConvertedFromAnsiCodePage)
{
    if (GetACP() != 1252)
    {
        GTEST_SKIP() << "needs the Western European ANSI code page";
    }
    ASSERT_EQ(1, Configure(kPlainFile));
    s_api.InfoA(s_api.GetLoggerA("caf\xE9"), "na\xEFve \x80");
    EXPECT_EQ("INFO  caf\xC3\xA9 - na\xC3\xAFve \xE2\x82\xAC\r\n", File(L"f.log"));
}

TEST_F(DllTest, UnwritableFile_ReportedOnceAndOtherAppendersGoOn)
{
    // Another program holds the file without sharing it.
    UniqueFile holder(CreateFileW((m_folder / L"locked.log").c_str(), GENERIC_READ, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    ASSERT_EQ(1, Configure("log4j.rootLogger=DEBUG, locked, folder, good\n" +
                           SimpleFile("locked", "$FOLDER\\locked.log") + SimpleFile("folder", "$FOLDER") +
                           SimpleFile("good", "$FOLDER\\good.log")));
    s_api.DebugW(Logger(), L"one");
    s_api.DebugW(Logger(), L"two");
    holder.Reset();
    EXPECT_EQ("DEBUG - one\r\nDEBUG - two\r\n", File(L"good.log"));
    EXPECT_EQ("", File(L"locked.log"));
    const std::vector<std::string> lines = m_debugger.Lines();
    ASSERT_EQ(2u, lines.size());
    const std::string locked = ToUtf8(m_folder / L"locked.log");
    EXPECT_EQ(0u, lines[0].find("Log4cxxWrapper: ERROR cannot open log file \"" + locked +
                                "\" of appender \"locked\" (error 32"))
        << lines[0];
    EXPECT_EQ(0u, lines[1].find("Log4cxxWrapper: ERROR cannot open log file \"" +
                                ToUtf8(logtest::Bare(m_folder)) + "\" of appender \"folder\" (error 5"))
        << lines[1];
    EXPECT_NE(std::string::npos,
              lines[0].find("); its lines are lost until it opens, tried again every 5 s"));
}

TEST_F(DllTest, Configurators_ReturnZeroAndReportMissingFileOrXml)
{
    ASSERT_EQ(1, Configure(kPlainFile));
    const std::wstring missing = m_folder / L"absent.properties";
    EXPECT_EQ(0, s_api.PropertyConfigureW(missing.c_str()));
    s_api.InfoW(Logger(), L"previous configuration");
    EXPECT_EQ("INFO  vwn_1.0.0 - previous configuration\r\n", File(L"f.log"));
    EXPECT_EQ(0, s_api.DOMConfigureW(L"C:\\x\\log4j.xml"));
    EXPECT_EQ(0, s_api.DOMConfigureA("log4j.xml"));
    EXPECT_EQ(0, s_api.DOMConfigureA(nullptr));
    const std::vector<std::string> lines = m_debugger.Lines();
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ(0u, lines[0].find("Log4cxxWrapper: ERROR cannot read configuration file \"" + ToUtf8(missing) +
                                "\" (error 2"))
        << lines[0];
    for (int i : {1, 2})
    {
        EXPECT_EQ(std::string("Log4cxxWrapper: ERROR XML configuration is not supported; \"") +
                      (i == 1 ? "C:\\x\\log4j.xml" : "log4j.xml") +
                      "\" is ignored. Use a properties file with Log4cxxPropertyConfigure.",
                  lines[i]);
    }
}

TEST_F(DllTest, GetLogger_SameHandleForSameNameAndNullArgumentsDoNothing)
{
    const Log4cxxLogger logger = Logger();
    EXPECT_NE(nullptr, logger);
    EXPECT_EQ(logger, s_api.GetLoggerW(L"vwn_1.0.0"));
    EXPECT_EQ(logger, s_api.GetLoggerA("vwn_1.0.0"));
    EXPECT_NE(logger, s_api.GetLoggerW(L"VWN_1.0.0"));
    EXPECT_NE(nullptr, s_api.GetLoggerW(L""));
    EXPECT_EQ(nullptr, s_api.GetLoggerW(nullptr));
    EXPECT_EQ(nullptr, s_api.GetLoggerA(nullptr));
    EXPECT_EQ(0, s_api.PropertyConfigureW(nullptr));
    EXPECT_EQ(0, s_api.PropertyConfigureA(nullptr));
    ASSERT_EQ(1, Configure(kPlainFile));
    s_api.DebugW(nullptr, L"null logger");
    s_api.DebugA(nullptr, "null logger");
    s_api.DebugW(logger, nullptr);
    s_api.FatalA(logger, nullptr);
    // A handle the library never gave out is ignored too.
    s_api.DebugW(reinterpret_cast<Log4cxxLogger>(static_cast<uintptr_t>(0x7fffff)), L"stray");
    s_api.InfoW(logger, L"still fine");
    EXPECT_EQ("INFO  vwn_1.0.0 - still fine\r\n", File(L"f.log"));
    EXPECT_TRUE(m_debugger.Lines().empty());
}

TEST_F(DllTest, DebuggerAppender_SendsEachLine)
{
    ASSERT_EQ(1, Configure("log4j.rootLogger=DEBUG, D\n"
                           "log4j.appender.D=org.apache.log4j.nt.OutputDebugStringAppender\n"
                           "log4j.appender.D.layout=PatternLayout\n"
                           "log4j.appender.D.layout.ConversionPattern=[%c] %m%n\n"));
    s_api.DebugW(Logger(), L"to the debugger");
    const std::vector<std::string> lines = m_debugger.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("[vwn_1.0.0] to the debugger", lines[0]);
}

TEST_F(DllTest, BasicConfigure_WritesToStandardOutput)
{
    const std::wstring path = m_folder / L"stdout.txt";
    int configured = 0;
    {
        const ScopedStandardOutput capture(path);
        configured = s_api.BasicConfigure();
        s_api.WarnW(s_api.GetLoggerW(L"basic"), L"hello");
    }
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
