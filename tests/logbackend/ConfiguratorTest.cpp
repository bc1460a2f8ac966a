#include "logbackend/core/Configurator.h"
#include "logbackend/core/FileAppender.h"
#include "logbackend/core/Text.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

using namespace vwnlog;
using logtest::ReadBytes;

namespace
{
typedef std::vector<std::wstring> Names;

class ConfiguratorTest : public logtest::RepositoryTest
{
};

TEST_F(ConfiguratorTest, Hierarchy_LevelsInheritAlongDottedNames)
{
    Apply("log4j.rootLogger=INFO\n"
          "log4j.logger.vwn_1=DEBUG\n"
          "log4j.logger.vwn_1.0.0.x=error\n"
          "log4j.logger.vwn_1.0.0.x.y=INHERITED\n");
    EXPECT_EQ(Level::Debug, m_repository.EffectiveLevel(m_repository.GetLogger(L"vwn_1.0.0")));
    EXPECT_EQ(Level::Info, m_repository.EffectiveLevel(m_repository.GetLogger(L"vwn_10")));
    EXPECT_EQ(Level::Error, m_repository.EffectiveLevel(m_repository.GetLogger(L"vwn_1.0.0.x.y.z")));
    EXPECT_EQ(Level::Info, m_repository.EffectiveLevel(m_repository.GetLogger(L"")));
    EXPECT_TRUE(m_diagnostics.Lines().empty());
}

TEST_F(ConfiguratorTest, Hierarchy_AppendersAddUpUntilAdditivityIsFalse)
{
    Apply("log4j.rootLogger=DEBUG, A\n"
          "log4j.logger.a=, B\n"
          "log4j.logger.a.b=, C\n"
          "log4j.additivity.a.b=false\n"
          "log4j.additivity.a.x=false\n"
          "log4j.appender.A=OutputDebugStringAppender\n"
          "log4j.appender.A.layout=SimpleLayout\n"
          "log4j.appender.B=OutputDebugStringAppender\n"
          "log4j.appender.B.layout=SimpleLayout\n"
          "log4j.appender.C=OutputDebugStringAppender\n"
          "log4j.appender.C.layout=SimpleLayout\n");
    EXPECT_EQ((Names{L"C"}), m_repository.EffectiveAppenders(m_repository.GetLogger(L"a.b.c")));
    EXPECT_EQ((Names{L"B", L"A"}), m_repository.EffectiveAppenders(m_repository.GetLogger(L"a.c")));
    EXPECT_EQ((Names{L"A"}), m_repository.EffectiveAppenders(m_repository.GetLogger(L"ab")));
    // A logger with additivity off but no appenders of its own stops its subtree.
    EXPECT_EQ((Names{}), m_repository.EffectiveAppenders(m_repository.GetLogger(L"a.x.y")));
}

TEST_F(ConfiguratorTest, Hierarchy_CategoryKeysAreAliases)
{
    Apply("log4j.rootCategory=WARN\nlog4j.category.vwn=TRACE\n");
    EXPECT_EQ(Level::Warn, m_repository.EffectiveLevel(m_repository.GetLogger(L"other")));
    EXPECT_EQ(Level::Trace, m_repository.EffectiveLevel(m_repository.GetLogger(L"vwn.x")));
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

TEST_F(ConfiguratorTest, Threshold_DropsLinesBelowItEverywhere)
{
    Apply("log4j.threshold=WARN\n"
          "log4j.rootLogger=ALL, F\n"
          "log4j.appender.F=FileAppender\n"
          "log4j.appender.F.File=$FOLDER\\t.log\n"
          "log4j.appender.F.layout=SimpleLayout\n");
    Log(L"x", Level::Info, L"info");
    Log(L"x", Level::Warn, L"warn");
    Log(L"x", Level::Fatal, L"fatal");
    EXPECT_EQ("WARN - warn\r\nFATAL - fatal\r\n", ReadBytes(m_folder / L"t.log"));
}

TEST_F(ConfiguratorTest, AppenderThreshold_AppliesToThatAppenderOnly)
{
    Apply("log4j.rootLogger=DEBUG, ALLF, ERRF\n"
          "log4j.appender.ALLF=FileAppender\n"
          "log4j.appender.ALLF.File=$FOLDER\\all.log\n"
          "log4j.appender.ALLF.layout=SimpleLayout\n"
          "log4j.appender.ERRF=FileAppender\n"
          "log4j.appender.ERRF.File=$FOLDER\\err.log\n"
          "log4j.appender.ERRF.threshold=error\n"
          "log4j.appender.ERRF.layout=SimpleLayout\n");
    Log(L"x", Level::Trace, L"dropped by the root level");
    Log(L"x", Level::Info, L"one");
    Log(L"x", Level::Error, L"two");
    EXPECT_EQ("INFO - one\r\nERROR - two\r\n", ReadBytes(m_folder / L"all.log"));
    EXPECT_EQ("ERROR - two\r\n", ReadBytes(m_folder / L"err.log"));
}

TEST_F(ConfiguratorTest, AppenderClass_MatchedByLastPartWithoutCase)
{
    Apply("log4j.rootLogger=DEBUG, R\n"
          "log4j.appender.R=org.apache.log4j.rollingfileappender\n"
          "log4j.appender.R.File=$FOLDER\\r.log\n"
          "log4j.appender.R.layout=org.apache.log4j.PatternLayout\n"
          "log4j.appender.R.layout.ConversionPattern=%p %m%n\n");
    Log(L"x", Level::Debug, L"rolled");
    EXPECT_EQ("DEBUG rolled\r\n", ReadBytes(m_folder / L"r.log"));
    EXPECT_TRUE(m_diagnostics.Lines().empty());
}

TEST_F(ConfiguratorTest, UnknownAppenderClass_ReportedAndOthersWork)
{
    Apply("log4j.rootLogger=DEBUG, bad, good\n"
          "log4j.appender.bad=org.apache.log4j.net.SMTPAppender\n"
          "log4j.appender.good=FileAppender\n"
          "log4j.appender.good.File=$FOLDER\\good.log\n"
          "log4j.appender.good.layout=SimpleLayout\n");
    Log(L"x", Level::Info, L"still here");
    EXPECT_EQ("INFO - still here\r\n", ReadBytes(m_folder / L"good.log"));
    ASSERT_EQ(1u, m_diagnostics.Lines().size());
    EXPECT_EQ(
        L"Log4cxxWrapper: ERROR appender \"bad\" has the class \"org.apache.log4j.net.SMTPAppender\", which "
        L"is not supported; its lines go nowhere",
        Line(0));
}

TEST_F(ConfiguratorTest, UndefinedAppender_Reported)
{
    Apply("log4j.rootLogger=DEBUG, ghost\n");
    ASSERT_EQ(1u, m_diagnostics.Lines().size());
    EXPECT_EQ(L"Log4cxxWrapper: ERROR appender \"ghost\" is named by a logger but has no class "
              L"(log4j.appender.ghost=...); its lines go nowhere",
              Line(0));
}

TEST_F(ConfiguratorTest, BadLevels_ReportedWithWhatIsUsedInstead)
{
    Apply("log4j.rootLogger=LOUD\nlog4j.logger.a=QUIET\nlog4j.threshold=SOME\n");
    EXPECT_EQ(Level::Debug, m_repository.EffectiveLevel(m_repository.GetLogger(L"a")));
    const std::vector<std::wstring> lines = m_diagnostics.Lines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(L"Log4cxxWrapper: ERROR log4j.threshold \"SOME\" is not a level; ALL is used", lines[0]);
    EXPECT_EQ(L"Log4cxxWrapper: ERROR logger \"root\" has the unknown level \"LOUD\"; DEBUG is used",
              lines[1]);
    EXPECT_EQ(
        L"Log4cxxWrapper: ERROR logger \"a\" has the unknown level \"QUIET\"; it takes its parent's level",
        lines[2]);
}

TEST_F(ConfiguratorTest, BadOptionValues_ReportedAndDefaultsUsed)
{
    Apply("log4j.rootLogger=DEBUG, R\n"
          "log4j.appender.R=RollingFileAppender\n"
          "log4j.appender.R.File=$FOLDER\\r.log\n"
          "log4j.appender.R.MaxFileSize=10XB\n"
          "log4j.appender.R.MaxBackupIndex=-1\n"
          "log4j.appender.R.Append=sometimes\n"
          "log4j.appender.R.Encoding=EBCDIC\n"
          "log4j.appender.R.Colour=blue\n"
          "log4j.appender.R.layout=SimpleLayout\n");
    const std::vector<std::wstring> lines = m_diagnostics.Lines();
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ(
        L"Log4cxxWrapper: ERROR appender \"R\": MaxFileSize \"10XB\" is not a size such as 10MB; 10485760 "
        L"bytes are used",
        lines[0]);
    EXPECT_EQ(
        L"Log4cxxWrapper: ERROR appender \"R\": MaxBackupIndex \"-1\" is not a number from 0 to 999999; 1 is "
        L"used",
        lines[1]);
    EXPECT_EQ(
        L"Log4cxxWrapper: ERROR appender \"R\": Append \"sometimes\" is neither true nor false; true is used",
        lines[2]);
    EXPECT_EQ(L"Log4cxxWrapper: ERROR appender \"R\": Encoding \"EBCDIC\" is not supported; UTF-8 is used",
              lines[3]);
    EXPECT_EQ(L"Log4cxxWrapper: WARN appender \"R\" has no option \"Colour\"; ignored", lines[4]);
    Log(L"x", Level::Info, L"works anyway");
    EXPECT_EQ("INFO - works anyway\r\n", ReadBytes(m_folder / L"r.log"));
}

TEST_F(ConfiguratorTest, MissingLayout_WarnsAndWritesMessageOnly)
{
    Apply("log4j.rootLogger=DEBUG, F\n"
          "log4j.appender.F=FileAppender\n"
          "log4j.appender.F.File=$FOLDER\\f.log\n");
    Log(L"x", Level::Info, L"bare");
    EXPECT_EQ("bare\r\n", ReadBytes(m_folder / L"f.log"));
    EXPECT_EQ(L"Log4cxxWrapper: WARN appender \"F\" has no layout; %m%n is used", Line(0));
}

TEST_F(ConfiguratorTest, MissingFileOption_Reported)
{
    Apply("log4j.rootLogger=DEBUG, F\n"
          "log4j.appender.F=FileAppender\n"
          "log4j.appender.F.layout=SimpleLayout\n");
    EXPECT_EQ(L"Log4cxxWrapper: ERROR appender \"F\" has no File option; it writes nothing", Line(0));
    EXPECT_EQ((Names{}), m_repository.EffectiveAppenders(m_repository.GetLogger(L"x")));
}

TEST_F(ConfiguratorTest, UnsupportedKeys_Warned)
{
    Apply("log4j.rootLogger=DEBUG\n"
          "log4j.loggerFactory=x\n"
          "log4j.appender.D=OutputDebugStringAppender\n"
          "log4j.appender.D.filter.1=org.apache.log4j.varia.LevelMatchFilter\n"
          "log4j.logger.a=DEBUG, D\n"
          "my.own.key=not reported\n");
    const std::vector<std::wstring> lines = m_diagnostics.Lines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(L"Log4cxxWrapper: WARN key \"log4j.loggerFactory\" is not supported; ignored", lines[0]);
    EXPECT_EQ(
        L"Log4cxxWrapper: WARN key \"log4j.appender.D.filter.1\" is not supported (layout options other than "
        L"ConversionPattern, filters, error handlers); ignored",
        lines[1]);
    EXPECT_EQ(L"Log4cxxWrapper: WARN appender \"D\" has no layout; %m%n is used", lines[2]);
}

TEST_F(ConfiguratorTest, RelativeFile_ResolvesAgainstConfigurationFolderAndFoldersAreMade)
{
    logtest::TempFolder elsewhere;
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(elsewhere.Path().c_str());
    Apply("log4j.rootLogger=DEBUG, F\n"
          "log4j.appender.F=FileAppender\n"
          "log4j.appender.F.File=logs/deeper\\app.log\n"
          "log4j.appender.F.layout=SimpleLayout\n");
    Log(L"x", Level::Info, L"here");
    SetCurrentDirectoryW(previous);
    EXPECT_EQ("INFO - here\r\n", ReadBytes(m_folder / L"logs\\deeper\\app.log"));
    EXPECT_FALSE(logtest::Exists(elsewhere / L"logs"));
}

TEST_F(ConfiguratorTest, FileName_TakesEnvironmentVariable)
{
    SetEnvironmentVariableW(L"VWN_LOGTEST_DIR", m_folder.Path().c_str());
    Apply("log4j.rootLogger=DEBUG, F\n"
          "log4j.appender.F=FileAppender\n"
          "log4j.appender.F.File=${VWN_LOGTEST_DIR}\\from-env.log\n"
          "log4j.appender.F.layout=SimpleLayout\n");
    SetEnvironmentVariableW(L"VWN_LOGTEST_DIR", nullptr);
    Log(L"x", Level::Info, L"env");
    EXPECT_EQ("INFO - env\r\n", ReadBytes(m_folder / L"from-env.log"));
}

TEST_F(ConfiguratorTest, AppendFalse_EmptiesFileAtStart)
{
    ASSERT_TRUE(logtest::WriteBytes(m_folder / L"f.log", "old content\r\n"));
    Apply("log4j.rootLogger=DEBUG, F\n"
          "log4j.appender.F=FileAppender\n"
          "log4j.appender.F.File=$FOLDER\\f.log\n"
          "log4j.appender.F.Append=false\n"
          "log4j.appender.F.layout=SimpleLayout\n");
    Log(L"x", Level::Info, L"new");
    EXPECT_EQ("INFO - new\r\n", ReadBytes(m_folder / L"f.log"));
}

TEST_F(ConfiguratorTest, DebugSwitch_AddsLibraryDiagnostics)
{
    Apply("log4j.rootLogger=DEBUG, D\n"
          "log4j.appender.D=OutputDebugStringAppender\n"
          "log4j.appender.D.layout=SimpleLayout\n");
    EXPECT_TRUE(m_diagnostics.Lines().empty());
    Apply("log4j.debug=true\n"
          "log4j.rootLogger=DEBUG, D\n"
          "log4j.appender.D=OutputDebugStringAppender\n"
          "log4j.appender.D.layout=SimpleLayout\n");
    const std::vector<std::wstring> lines = m_diagnostics.Lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(L"Log4cxxWrapper: DEBUG appender \"D\" of class \"OutputDebugStringAppender\" is ready",
              lines[0]);
    EXPECT_EQ(L"Log4cxxWrapper: DEBUG configured from \"" + (m_folder / L"test.properties") + L"\"",
              lines[1]);
}

TEST_F(ConfiguratorTest, MissingConfigurationFile_ReportedAndPreviousConfigurationStays)
{
    Apply("log4j.rootLogger=WARN\n");
    const std::wstring missing = m_folder / L"missing.properties";
    EXPECT_FALSE(ConfigureFromFile(m_repository, missing));
    EXPECT_EQ(Level::Warn, m_repository.EffectiveLevel(m_repository.GetLogger(L"x")));
    ASSERT_EQ(1u, m_diagnostics.Lines().size());
    EXPECT_EQ(0u, Line(0).find(L"Log4cxxWrapper: ERROR cannot read configuration file \"" + missing +
                               L"\" (error 2"))
        << Line(0);
    EXPECT_NE(std::wstring::npos, Line(0).find(L"); the previous configuration stays"));
}

TEST_F(ConfiguratorTest, ShippedProperties_HaveTheAgreedSettings)
{
    const std::wstring shipped = std::wstring(L"" VWN_SHIPPED_PROPERTIES);
    const Properties p = Properties::Parse(DecodeConfigurationBytes(ReadBytes(shipped)));
    ASSERT_FALSE(p.Entries().empty()) << "cannot read " << logtest::Utf8(shipped);
    EXPECT_EQ(L"DEBUG, file, debugger", *p.Get(L"log4j.rootLogger"));
    EXPECT_EQ(L"org.apache.log4j.RollingFileAppender", *p.Get(L"log4j.appender.file"));
    EXPECT_EQ(L"C:\\ProgramData\\Tessaly\\Voltwren\\Voltwren.log", *p.Get(L"log4j.appender.file.File"));
    EXPECT_EQ(L"1MB", *p.Get(L"log4j.appender.file.MaxFileSize"));
    EXPECT_EQ(L"5", *p.Get(L"log4j.appender.file.MaxBackupIndex"));
    EXPECT_EQ(L"%d{ISO8601} [%t] %-5p %c - %m%n", *p.Get(L"log4j.appender.file.layout.ConversionPattern"));
    EXPECT_EQ(L"org.apache.log4j.nt.OutputDebugStringAppender", *p.Get(L"log4j.appender.debugger"));
    EXPECT_EQ(L"%d{ISO8601} [%t] %-5p %c - %m%n",
              *p.Get(L"log4j.appender.debugger.layout.ConversionPattern"));
}

TEST(FileSizeTest, Parse_UnitsAndBadValues)
{
    unsigned long long bytes = 0;
    ASSERT_TRUE(ParseFileSize(L"10MB", bytes));
    EXPECT_EQ(10485760ULL, bytes);
    ASSERT_TRUE(ParseFileSize(L" 512 kb ", bytes));
    EXPECT_EQ(524288ULL, bytes);
    ASSERT_TRUE(ParseFileSize(L"1GB", bytes));
    EXPECT_EQ(1073741824ULL, bytes);
    ASSERT_TRUE(ParseFileSize(L"4096", bytes));
    EXPECT_EQ(4096ULL, bytes);
    for (const wchar_t* bad :
         {L"", L"MB", L"0", L"-1", L"1.5MB", L"10XB", L"99999999999999999999", L"9999999999GB"})
    {
        EXPECT_FALSE(ParseFileSize(bad, bytes)) << logtest::Utf8(bad);
    }
}
} // namespace
