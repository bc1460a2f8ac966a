// The tool's two files read on real files, in process: no console, no registry.
#include "base/UniqueHandle.h"
#include "detection/ChargerReading.h"
#include "detection/ValueFile.h"
#include "support/BoundRecordingLog.h"

#include <gtest/gtest.h>

namespace
{
const std::wstring kIniFailure =
    L"[ChipAccessHelper][ChipAccessHelper::GetValueFilePath] @@@@@ Unable to open the INI file !!! @@@@@";
const std::wstring kValueFailure =
    L"[ChipAccessHelper][ChipAccessHelper::ReadQcPdPresenceStatusFromFile] @@@@@ Unable to open the target file !!! @@@@@";
} // namespace

class ValueFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CreateDirectoryW(ToolFolder().c_str(), nullptr);
        state.workingDir = folder.Path();
    }

    std::wstring ToolFolder() const { return folder.Path() + L"ITE inboxI2C Flash\\"; }

    // Writes OutputPath.ini with these bytes and reads it the program's way.
    bool ReadIni(const std::string& bytes, std::wstring& path)
    {
        WriteFileBytes(ToolFolder() + L"OutputPath.ini", bytes);
        return GetValueFileFolder(ToolFolder(), false, path);
    }

    BoundRecordingLog log;
    TempFolder folder{L"valuefile"};
    DetectionState state;
};

TEST_F(ValueFileTest, OutputPath_IsTakenWholeAndUntrimmed)
{
    const struct
    {
        std::string bytes;
        std::wstring path;
    } cases[] = {
        {"C:\\Out\\", L"C:\\Out\\"},
        {"C:\\Out\\\r\n", L"C:\\Out\\\r\n"}, // the line break stays
        {"C:\\Out", L"C:\\Out"},             // no backslash added
        {"", L""},                           // empty is a success
        {"\xEF\xBB\xBF"
         "C:\\Out\\",
         L"\xFEFF"
         L"C:\\Out\\"}, // the mark becomes U+FEFF
        {"C:\\Donn\xC3\xA9"
         "es\\\xE4\xB8\xAD\\",
         L"C:\\Donn\xE9"
         L"es\\\x4E2D\\"},                                 // UTF-8 folder names
        {std::string("C:\\A\\\0C:\\B\\", 12), L"C:\\A\\"}, // bytes after a zero byte are ignored
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.bytes);
        std::wstring path = L"unchanged";
        EXPECT_TRUE(ReadIni(c.bytes, path));
        EXPECT_EQ(c.path, path);
    }
    EXPECT_EQ(0u, CountLine(log.Texts(), kIniFailure));
}

TEST_F(ValueFileTest, OutputPath_MissingOrOver64KiBFailsAndKeepsThePath)
{
    std::wstring path = L"unchanged";
    EXPECT_FALSE(GetValueFileFolder(ToolFolder(), false, path));
    EXPECT_EQ(L"unchanged", path);

    EXPECT_TRUE(ReadIni(std::string(64 * 1024, 'x'), path));
    EXPECT_FALSE(ReadIni(std::string(64 * 1024 + 1, 'x'), path));
    EXPECT_EQ(std::wstring(64 * 1024, L'x'), path);
    EXPECT_EQ(2u, CountLine(log.Texts(), kIniFailure));
}

TEST_F(ValueFileTest, Preprocessing_AppendsTheValueFileName)
{
    std::wstring unused;
    StopSignal none;
    ReadIni("", unused);
    EXPECT_TRUE(Preprocessing(state, none));
    EXPECT_EQ(L"ManualRead.bin", state.resultFilename);

    ReadIni("C:\\Out\\", unused);
    EXPECT_TRUE(Preprocessing(state, none));
    EXPECT_EQ(L"C:\\Out\\ManualRead.bin", state.resultFilename);

    // A failed search keeps the last value file.
    DeleteFileW((ToolFolder() + L"OutputPath.ini").c_str());
    EXPECT_FALSE(Preprocessing(state, none));
    EXPECT_EQ(L"C:\\Out\\ManualRead.bin", state.resultFilename);
    EXPECT_EQ(
        1u,
        CountLine(
            log.Texts(),
            L"[ChipAccessHelper][ChipAccessHelper::Preprocessing] Unable to get the value file path !!!"));
}

TEST_F(ValueFileTest, ValueFile_FirstByteOrAFailedRead)
{
    const std::wstring file = folder.Path() + L"ManualRead.bin";
    BYTE value = 0xAA;
    WriteFileBytes(file, "");
    EXPECT_TRUE(ReadQcPdPresenceStatusFromFile(file, value));
    EXPECT_EQ(0, value);

    WriteFileBytes(file, "\x02\x01\x07");
    EXPECT_TRUE(ReadQcPdPresenceStatusFromFile(file, value));
    EXPECT_EQ(2, value);

    // Held by the tool without read sharing: a failed read at once, not a wait.
    UniqueFile held(
        CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    value = 0xAA;
    EXPECT_FALSE(ReadQcPdPresenceStatusFromFile(file, value));
    EXPECT_EQ(0, value);
    held.Reset();

    DeleteFileW(file.c_str());
    value = 0xAA;
    EXPECT_FALSE(ReadQcPdPresenceStatusFromFile(file, value));
    EXPECT_EQ(0, value);
    EXPECT_EQ(2u, CountLine(log.Texts(), kValueFailure));
}
