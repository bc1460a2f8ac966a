#include "install/VersionNumber.h"
#include "support/ProgramUnderTest.h"
#include "support/RecordedLog.h"
#include "support/ScopedState.h"
#include "support/TestFolders.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Each lookup runs in a fresh version_probe process: the answer is cached per process.
// The registry entries are the prefix's real ones (the installer's place), so these
// tests run one at a time and remove them before and after each case.
namespace
{
const std::wstring kUninstallKey =
    std::wstring(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") +
    L"{6D2A41C8-3F07-4B95-A1E2-58C09D7B3E14}";
const std::wstring kDependencyKey =
    std::wstring(L"SOFTWARE\\Classes\\Installer\\Dependencies\\") + L"{6D2A41C8-3F07-4B95-A1E2-58C09D7B3E14}";

void DeleteKey(const std::wstring& path, REGSAM view)
{
    const size_t slash = path.rfind(L'\\');
    HKEY parent = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view, &parent) ==
        ERROR_SUCCESS)
    {
        RegDeleteTreeW(parent, path.substr(slash + 1).c_str());
        RegCloseKey(parent);
    }
}

void SetValue(const std::wstring& path, const wchar_t* name, DWORD type, const void* data, size_t bytes,
              REGSAM view = KEY_WOW64_32KEY)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                             KEY_SET_VALUE | view, nullptr, &key, nullptr));
    if (name != nullptr)
    {
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data),
                                                static_cast<DWORD>(bytes)));
    }
    RegCloseKey(key);
}

void SetString(const std::wstring& path, const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ,
               REGSAM view = KEY_WOW64_32KEY)
{
    SetValue(path, name, type, text.c_str(), (text.size() + 1) * sizeof(wchar_t), view);
}

struct ProbeResult
{
    std::vector<std::string> answers; // the first lookup, then the one after the registry changed
    std::vector<std::string> debuggerLines;
    std::vector<LogRecord> records;
};
} // namespace

class VersionNumberTest : public ::testing::Test
{
protected:
    void SetUp() override { DeleteKeys(); }
    void TearDown() override { DeleteKeys(); }

    static void DeleteKeys()
    {
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
        {
            DeleteKey(kUninstallKey, view);
            DeleteKey(kDependencyKey, view);
        }
    }

    ProbeResult RunProbe(const std::wstring& options = L"")
    {
        TempFolder folder(L"version");
        const std::wstring resultPath = folder.Path() + L"result.txt";
        const std::wstring recordPath = folder.Path() + L"records.txt";
        const std::wstring commandLine =
            L"\"" + BinFolder() + L"version_probe.exe\" \"" + resultPath + L"\" -rewrite " + options;
        {
            const ScopedEnvironment record(L"VWN_RECORDING_LOG", recordPath);
            EXPECT_EQ(0, RunChild(commandLine, kWaitMs));
        }
        ProbeResult result;

        const std::string bytes = ReadFileBytes(resultPath);
        size_t start = 0;
        for (size_t end = bytes.find('\n'); end != std::string::npos; end = bytes.find('\n', start))
        {
            const std::string line = bytes.substr(start, end - start);
            start = end + 1;
            if (line.compare(0, 6, "debug:") == 0)
            {
                result.debuggerLines.push_back(line.substr(6));
            }
            else
            {
                result.answers.push_back(line);
            }
        }
        result.records = ReadRecordedLog(recordPath);
        return result;
    }

    // The answer, the same again after the registry changed (it was cached), and no log line.
    ProbeResult ExpectTheSameAnswerTwice(const std::string& answer)
    {
        SCOPED_TRACE("answer " + answer);
        ProbeResult result = RunProbe();
        EXPECT_EQ((std::vector<std::string>{answer, answer}), result.answers);
        EXPECT_TRUE(result.records.empty());
        return result;
    }
};

TEST_F(VersionNumberTest, GetVersionNumber_ReadsDisplayVersionOnceAndIgnoresTheDependencyEntry)
{
    SetString(kUninstallKey, L"DisplayVersion", L"1.2.3.4");
    SetString(kDependencyKey, L"Version", L"9.9.9");

    EXPECT_TRUE(ExpectTheSameAnswerTwice("1.2.3.4").debuggerLines.empty());
}

TEST_F(VersionNumberTest, GetVersionNumber_FallsBackToTheDependencyEntry)
{
    SetString(kDependencyKey, L"Version", L"2.0.1");

    ExpectTheSameAnswerTwice("2.0.1");
}

TEST_F(VersionNumberTest, GetVersionNumber_KeepsAnExpandSzTextUnexpanded)
{
    SetString(kUninstallKey, L"DisplayVersion", L"%SystemRoot%\\1.5", REG_EXPAND_SZ);

    ExpectTheSameAnswerTwice("%SystemRoot%\\1.5");
}

TEST_F(VersionNumberTest, GetVersionNumber_TakesTheFirstStringOfAMultiSz)
{
    const wchar_t strings[] = L"3.1.0\0second\0";
    SetValue(kUninstallKey, L"DisplayVersion", REG_MULTI_SZ, strings, sizeof(strings));

    ExpectTheSameAnswerTwice("3.1.0");
}

TEST_F(VersionNumberTest, GetVersionNumber_CountsADwordAsNoVersionWithoutALogLine)
{
    const DWORD number = 0x01020304;
    SetValue(kUninstallKey, L"DisplayVersion", REG_DWORD, &number, sizeof(number));

    ExpectTheSameAnswerTwice("NaN");
}

TEST_F(VersionNumberTest, GetVersionNumber_DoesNotFallBackWhenTheUninstallEntryLacksItsValue)
{
    SetString(kUninstallKey, L"DisplayName", L"Tessaly Voltwren");
    SetString(kDependencyKey, L"Version", L"2.0.1");

    ExpectTheSameAnswerTwice("NaN");
}

TEST_F(VersionNumberTest, GetVersionNumber_LogsOneLineAndNeverLooksAgainWhenNeitherKeyOpens)
{
    const ProbeResult result = RunProbe();

    // The second answer comes after both entries were written: the cache held "NaN".
    EXPECT_EQ((std::vector<std::string>{"NaN", "NaN"}), result.answers);
    ASSERT_EQ(1u, result.records.size());
    EXPECT_EQ('W', result.records[0].kind);
    EXPECT_EQ(L"vwn_NaN", result.records[0].logger);
    const std::wstring expected = L"[Voltwren][getVersionNumber] {LastErrorCode : 2(0x2)} ";
    EXPECT_EQ(expected, result.records[0].text.substr(0, expected.size())) << ToUtf8(result.records[0].text);
}

TEST_F(VersionNumberTest, GetVersionNumber_ReadsAgainAfterAnEmptyValue)
{
    SetString(kUninstallKey, L"DisplayVersion", L"");

    EXPECT_EQ((std::vector<std::string>{"", "rewritten"}), RunProbe().answers);
}

TEST_F(VersionNumberTest, GetVersionNumber_ReadsTheInstallersRegistryViewOnly)
{
    // The installer is 32-bit: an entry in the 64-bit view is not its entry.
    SetString(kUninstallKey, L"DisplayVersion", L"6.4.0", REG_SZ, KEY_WOW64_64KEY);

    const ProbeResult result = RunProbe();

    EXPECT_EQ("NaN", result.answers.at(0));
    EXPECT_EQ(1u, result.records.size());
}

TEST_F(VersionNumberTest, GetVersionNumber_SendsTheOpenedKeyToTheDebuggerInDetailedMode)
{
    SetString(kDependencyKey, L"Version", L"2.0.1");

    const ProbeResult result = RunProbe(L"-showconsole");

    EXPECT_EQ(
        std::vector<std::string>{
            "SOFTWARE\\Classes\\Installer\\Dependencies\\{6D2A41C8-3F07-4B95-A1E2-58C09D7B3E14}"},
        result.debuggerLines);
}
