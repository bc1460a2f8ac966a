#include "logbackend/core/Configurator.h"
#include "logbackend/core/FileAppender.h"
#include "logbackend/core/Text.h"

#include "logging/LogFolderReset.h"

#include "CoreTestSupport.h"
#include "support/ScopedState.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

using namespace vwnlog;
using logtest::SimpleFile;

namespace
{
typedef std::vector<std::wstring> Names;

class ConfiguratorTest : public logtest::RepositoryTest
{
protected:
    Names NewReports(size_t before)
    {
        const Names all = Reports();
        return Names(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    }
};

TEST_F(ConfiguratorTest, Hierarchy_LevelsInheritAlongDottedNamesAndCategoryKeysAreAliases)
{
    Apply("log4j.rootCategory=INFO\n"
          "log4j.logger.vwn_1=DEBUG\n"
          "log4j.category.vwn_1.0.0.x=error\n"
          "log4j.logger.vwn_1.0.0.x.y=INHERITED\n");
    EXPECT_EQ(Level::Debug, LevelOf(L"vwn_1.0.0"));
    EXPECT_EQ(Level::Info, LevelOf(L"vwn_10"));
    EXPECT_EQ(Level::Error, LevelOf(L"vwn_1.0.0.x.y.z"));
    EXPECT_EQ(Level::Info, LevelOf(L""));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(ConfiguratorTest, Hierarchy_AppendersAddUpUntilAdditivityIsFalse)
{
    std::string text = "log4j.rootLogger=DEBUG, A\n"
                       "log4j.logger.a=, B\n"
                       "log4j.logger.a.b=, C\n"
                       "log4j.additivity.a.b=false\n"
                       "log4j.additivity.a.x=false\n";
    for (const char* name : {"A", "B", "C"})
    {
        text += std::string("log4j.appender.") + name + "=OutputDebugStringAppender\nlog4j.appender." + name +
                ".layout=SimpleLayout\n";
    }
    Apply(text);
    EXPECT_EQ((Names{L"C"}), m_repository.EffectiveAppenders(m_repository.GetLogger(L"a.b.c")));
    EXPECT_EQ((Names{L"B", L"A"}), m_repository.EffectiveAppenders(m_repository.GetLogger(L"a.c")));
    EXPECT_EQ((Names{L"A"}), m_repository.EffectiveAppenders(m_repository.GetLogger(L"ab")));
    // A logger with additivity off but no appenders of its own stops its subtree.
    EXPECT_EQ((Names{}), m_repository.EffectiveAppenders(m_repository.GetLogger(L"a.x.y")));
}

TEST_F(ConfiguratorTest, Hierarchy_ReconfigurationReachesExistingLoggers)
{
    const size_t id = m_repository.GetLogger(L"vwn_1.0.0");
    Apply("log4j.rootLogger=ERROR\n");
    EXPECT_EQ(Level::Error, m_repository.EffectiveLevel(id));
    Apply("log4j.rootLogger=TRACE\n");
    EXPECT_EQ(Level::Trace, m_repository.EffectiveLevel(id));
    EXPECT_EQ(id, m_repository.GetLogger(L"vwn_1.0.0"));
}

TEST_F(ConfiguratorTest, Thresholds_GlobalOneDropsEverywhereAppenderOneOnlyThere)
{
    Apply("log4j.threshold=INFO\n"
          "log4j.rootLogger=ALL, ALLF, ERRF\n" +
          SimpleFile("ALLF", "$FOLDER\\all.log") + SimpleFile("ERRF", "$FOLDER\\err.log") +
          "log4j.appender.ERRF.threshold=error\n");
    Log(L"x", Level::Debug, L"dropped by the threshold");
    Log(L"x", Level::Info, L"one");
    Log(L"x", Level::Error, L"two");
    EXPECT_EQ("INFO - one\r\nERROR - two\r\n", File(L"all.log"));
    EXPECT_EQ("ERROR - two\r\n", File(L"err.log"));
}

// A case with a file logs TRACE and DEBUG through logger "a" and expects
// these bytes in it; every case expects exactly these reports.
TEST_F(ConfiguratorTest, Problems_ReportedAndTheRestWorks)
{
    const struct
    {
        std::string properties;
        const wchar_t* file;
        const char* bytes;
        Names reports;
    } cases[] = {
        {"log4j.rootLogger=DEBUG, R\n"
         "log4j.appender.R=org.apache.log4j.rollingfileappender\n"
         "log4j.appender.R.File=$FOLDER\\class.log\n"
         "log4j.appender.R.layout=org.apache.log4j.PatternLayout\n"
         "log4j.appender.R.layout.ConversionPattern=%p %m%n\n",
         L"class.log",
         "DEBUG works\r\n",
         {}},
        {"log4j.rootLogger=DEBUG, bad, good\n"
         "log4j.appender.bad=org.apache.log4j.net.SMTPAppender\n" +
             SimpleFile("good", "$FOLDER\\good.log"),
         L"good.log",
         "DEBUG - works\r\n",
         {L"Log4cxxWrapper: ERROR appender \"bad\" has the class \"org.apache.log4j.net.SMTPAppender\", which is not supported; its lines go nowhere"}},
        {"log4j.rootLogger=DEBUG, ghost\n",
         nullptr,
         "",
         {L"Log4cxxWrapper: ERROR appender \"ghost\" is named by a logger but has no class (log4j.appender.ghost=...); its lines go nowhere"}},
        {"log4j.rootLogger=LOUD, F\nlog4j.logger.a=QUIET\nlog4j.threshold=SOME\n" +
             SimpleFile("F", "$FOLDER\\levels.log"),
         L"levels.log",
         "DEBUG - works\r\n",
         {L"Log4cxxWrapper: ERROR log4j.threshold \"SOME\" is not a level; ALL is used",
          L"Log4cxxWrapper: ERROR logger \"root\" has the unknown level \"LOUD\"; DEBUG is used",
          L"Log4cxxWrapper: ERROR logger \"a\" has the unknown level \"QUIET\"; it takes its parent's level"}},
        {"log4j.rootLogger=DEBUG, R\n" + SimpleFile("R", "$FOLDER\\options.log") +
             "log4j.appender.R=RollingFileAppender\n"
             "log4j.appender.R.MaxFileSize=10XB\n"
             "log4j.appender.R.MaxBackupIndex=-1\n"
             "log4j.appender.R.Append=sometimes\n"
             "log4j.appender.R.Encoding=EBCDIC\n"
             "log4j.appender.R.Colour=blue\n",
         L"options.log",
         "DEBUG - works\r\n",
         {L"Log4cxxWrapper: ERROR appender \"R\": MaxFileSize \"10XB\" is not a size such as 10MB; 10485760 bytes are used",
          L"Log4cxxWrapper: ERROR appender \"R\": MaxBackupIndex \"-1\" is not a number from 0 to 999999; 1 is used",
          L"Log4cxxWrapper: ERROR appender \"R\": Append \"sometimes\" is neither true nor false; true is used",
          L"Log4cxxWrapper: ERROR appender \"R\": Encoding \"EBCDIC\" is not supported; UTF-8 is used",
          L"Log4cxxWrapper: WARN appender \"R\" has no option \"Colour\"; ignored"}},
        {"log4j.rootLogger=DEBUG, F\n"
         "log4j.appender.F=FileAppender\n"
         "log4j.appender.F.File=$FOLDER\\bare.log\n",
         L"bare.log",
         "works\r\n",
         {L"Log4cxxWrapper: WARN appender \"F\" has no layout; %m%n is used"}},
        {"log4j.rootLogger=DEBUG, F\n"
         "log4j.appender.F=FileAppender\n"
         "log4j.appender.F.layout=SimpleLayout\n",
         nullptr,
         "",
         {L"Log4cxxWrapper: ERROR appender \"F\" has no File option; it writes nothing"}},
        {"log4j.rootLogger=DEBUG\n"
         "log4j.loggerFactory=x\n"
         "log4j.appender.D=OutputDebugStringAppender\n"
         "log4j.appender.D.filter.1=org.apache.log4j.varia.LevelMatchFilter\n"
         "log4j.logger.a=DEBUG, D\n"
         "my.own.key=not reported\n",
         nullptr,
         "",
         {L"Log4cxxWrapper: WARN key \"log4j.loggerFactory\" is not supported; ignored",
          L"Log4cxxWrapper: WARN key \"log4j.appender.D.filter.1\" is not supported (layout options other than ConversionPattern, filters, error handlers); ignored",
          L"Log4cxxWrapper: WARN appender \"D\" has no layout; %m%n is used"}},
        {"log4j.rootLogger=DEBUG, D\n" + SimpleFile("D", "$FOLDER\\daily.log") +
             "log4j.appender.D=DailyRollingFileAppender\n"
             "log4j.appender.D.DatePattern='.old'\n",
         L"daily.log",
         "DEBUG - works\r\n",
         {L"Log4cxxWrapper: ERROR appender \"D\": DatePattern \"'.old'\" shows no date or time; it rolls daily"}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.properties);
        const size_t before = Reports().size();
        Apply(c.properties);
        if (c.file != nullptr)
        {
            Log(L"a", Level::Trace, L"dropped");
            Log(L"a", Level::Debug, L"works");
            EXPECT_EQ(c.bytes, File(c.file));
        }
        EXPECT_EQ(c.reports, NewReports(before));
    }
}

TEST_F(ConfiguratorTest, RelativeFile_ResolvesAgainstConfigurationFolderAndFoldersAreMade)
{
    TempFolder elsewhere(L"vwn-logtest");
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(elsewhere.Path().c_str());
    Apply("log4j.rootLogger=DEBUG, F\n" + SimpleFile("F", "logs/deeper\\app.log"));
    Log(L"x", Level::Info, L"here");
    SetCurrentDirectoryW(previous);
    EXPECT_EQ("INFO - here\r\n", File(L"logs\\deeper\\app.log"));
    EXPECT_FALSE(logtest::Exists(elsewhere / L"logs"));
}

TEST_F(ConfiguratorTest, FileOptions_EnvironmentVariableInNameAndAppendFalseEmptiesFile)
{
    ASSERT_TRUE(WriteFileBytes(m_folder / L"f.log", "old content\r\n"));
    {
        const ScopedEnvironment dir(L"VWN_LOGTEST_DIR", m_folder.Path());
        Apply("log4j.rootLogger=DEBUG, E, F\nlog4j.appender.F.Append=false\n" +
              SimpleFile("E", "${VWN_LOGTEST_DIR}from-env.log") + SimpleFile("F", "$FOLDER\\f.log"));
    }
    Log(L"x", Level::Info, L"new");
    EXPECT_EQ("INFO - new\r\n", File(L"from-env.log"));
    EXPECT_EQ("INFO - new\r\n", File(L"f.log"));
}

TEST_F(ConfiguratorTest, DebugSwitch_AddsLibraryDiagnostics)
{
    const std::string text = "log4j.rootLogger=DEBUG, D\n"
                             "log4j.appender.D=OutputDebugStringAppender\n"
                             "log4j.appender.D.layout=SimpleLayout\n";
    Apply(text);
    EXPECT_TRUE(Reports().empty());
    Apply("log4j.debug=true\n" + text);
    EXPECT_EQ((Names{L"Log4cxxWrapper: DEBUG appender \"D\" of class \"OutputDebugStringAppender\" is ready",
                     L"Log4cxxWrapper: DEBUG configured from \"" + (m_folder / L"test.properties") + L"\""}),
              Reports());
}

TEST_F(ConfiguratorTest, MissingConfigurationFile_ReportedAndPreviousConfigurationStays)
{
    Apply("log4j.rootLogger=WARN\n");
    const std::wstring missing = m_folder / L"missing.properties";
    EXPECT_FALSE(ConfigureFromFile(m_repository, missing));
    EXPECT_EQ(Level::Warn, LevelOf(L"x"));
    const Names reports = Reports();
    ASSERT_EQ(1u, reports.size());
    EXPECT_EQ(0u, reports[0].find(L"Log4cxxWrapper: ERROR cannot read configuration file \"" + missing +
                                  L"\" (error 2"))
        << ::ToUtf8(reports[0]);
    EXPECT_NE(std::wstring::npos, reports[0].find(L"); the previous configuration stays"));
}

// The shipped file as the library loads it, with only its log file moved into the test folder.
TEST_F(ConfiguratorTest, ShippedProperties_WriteTheProgramsLogFolderInTheAgreedLinesAndRollAt1MB)
{
    const wchar_t* named = _wgetenv(L"VWN_SHIPPED_PROPERTIES");
    ASSERT_NE(nullptr, named) << "run through tests/logbackend/with-shipped-properties.sh";
    const std::wstring shipped = named;
    std::string text = ReadFileBytes(shipped);
    const Properties p = Properties::Parse(DecodeConfigurationBytes(text));
    const std::wstring logFile = p.Get(L"log4j.appender.file.File").value_or(L"<absent>");
    EXPECT_EQ(std::wstring(kLogFolderPath) + L"\\Voltwren.log", logFile)
        << "not the folder the program prepares";
    const size_t at = text.find(::ToUtf8(logFile));
    ASSERT_NE(std::string::npos, at) << "cannot read " << ::ToUtf8(shipped);
    text.replace(at, logFile.size(), "$FOLDER\\Voltwren.log");
    Apply(text);
    EXPECT_EQ((Names{L"file", L"debugger"}),
              m_repository.EffectiveAppenders(m_repository.GetLogger(L"vwn_1.0")));
    EXPECT_EQ(p.Get(L"log4j.appender.file.layout.ConversionPattern"),
              p.Get(L"log4j.appender.debugger.layout.ConversionPattern"))
        << "the debugger gets other lines than the file";

    Log(L"vwn_1.0.0", Level::Debug, L"first line");
    const std::regex line(
        R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d,\d{3} \[0x[0-9a-f]{8}\] DEBUG vwn_1\.0\.0 - first line\r\n)");
    EXPECT_TRUE(std::regex_match(File(L"Voltwren.log"), line)) << File(L"Voltwren.log");

    const std::wstring filler(200, L'x');
    const size_t first = File(L"Voltwren.log").size();
    Log(L"vwn_1.0.0", Level::Debug, filler.c_str());
    const size_t lineBytes = File(L"Voltwren.log").size() - first;
    for (size_t written = first + lineBytes; written <= 1024 * 1024; written += lineBytes)
    {
        Log(L"vwn_1.0.0", Level::Debug, filler.c_str());
    }
    const size_t rolled = File(L"Voltwren.log.1").size();
    EXPECT_GT(rolled + lineBytes, 1024u * 1024u);
    EXPECT_LE(rolled, 1024u * 1024u);
    EXPECT_LT(File(L"Voltwren.log").size(), 1024u);
    EXPECT_TRUE(Reports().empty()) << ::ToUtf8(Reports().front());
}

TEST(FileSizeTest, Parse_UnitsAndBadValues)
{
    const std::pair<const wchar_t*, unsigned long long> good[] = {
        {L"10MB", 10485760ULL}, {L" 512 kb ", 524288ULL}, {L"1GB", 1073741824ULL}, {L"4096", 4096ULL}};
    for (const auto& c : good)
    {
        unsigned long long bytes = 0;
        EXPECT_TRUE(ParseFileSize(c.first, bytes)) << ::ToUtf8(c.first);
        EXPECT_EQ(c.second, bytes) << ::ToUtf8(c.first);
    }
    unsigned long long bytes = 0;
    for (const wchar_t* bad :
         {L"", L"MB", L"0", L"-1", L"1.5MB", L"10XB", L"99999999999999999999", L"9999999999GB"})
    {
        EXPECT_FALSE(ParseFileSize(bad, bytes)) << ::ToUtf8(bad);
    }
}
} // namespace
