#include "logfolder/DebuggerLines.h"
#include "logging/LogFolderReset.h"
#include "support/TestFolders.h"
#include "support/WineGaps.h"

#include <gtest/gtest.h>

#include <filesystem>

// Runs on links that with-links.sh made from the Linux side, in the folder named
// by VWN_LINK_SCRATCH; it checks the targets again once this process has ended.
namespace
{
constexpr int kStoppedOnSymlink = 681;
} // namespace

class LinkSafetyTest : public ::testing::Test
{
protected:
    void SetUp() override { m_scratch = ScriptFolder(L"VWN_LINK_SCRATCH", "tests/logfolder/with-links.sh"); }

    // Windows opens a link itself and removes it as such.
    void ResetAndExpectTheLinkNotFollowed(const std::wstring& path, const std::wstring& link)
    {
        if (!WineGap("Wine 8 opens a link's target whatever the flags: refusing is the only safe outcome"))
        {
            ASSERT_NO_THROW(ResetLogFolderAt(path));
            EXPECT_FALSE(Exists(path));
            EXPECT_EQ(2u, m_debugger.Lines().size());
            return;
        }
        try
        {
            ResetLogFolderAt(path);
            ADD_FAILURE() << "a link that only opens as its target was not refused";
        }
        catch (const std::filesystem::filesystem_error& error)
        {
            EXPECT_EQ(std::error_code(kStoppedOnSymlink, std::system_category()), error.code())
                << error.what();
            EXPECT_EQ(std::filesystem::path(path), error.path1());
        }
        EXPECT_TRUE(Exists(link));
        EXPECT_EQ(std::vector<std::wstring>{kRemoveAllLine}, m_debugger.Lines());
    }

    std::wstring m_scratch;
    DebuggerLines m_debugger;
};

TEST_F(LinkSafetyTest, ResetLogFolderAt_NeverEntersALinkAtThePath)
{
    ResetAndExpectTheLinkNotFollowed(m_scratch + L"at-path", m_scratch + L"at-path");

    EXPECT_EQ("letter from the user\r\n", ReadFileBytes(m_scratch + L"documents-a\\letter.txt"));
    EXPECT_EQ(std::string(3000, 'p'), ReadFileBytes(m_scratch + L"documents-a\\photos\\holiday.jpg"));
}

TEST_F(LinkSafetyTest, ResetLogFolderAt_NeverEntersAFolderLinkInsideTheFolder)
{
    ResetAndExpectTheLinkNotFollowed(m_scratch + L"folder-b", m_scratch + L"folder-b\\docs");

    EXPECT_EQ("taxes 2024\r\n", ReadFileBytes(m_scratch + L"documents-b\\taxes.txt"));
    EXPECT_TRUE(Exists(m_scratch + L"documents-b\\empty"));
}

TEST_F(LinkSafetyTest, ResetLogFolderAt_NeverDeletesTheTargetOfAFileLinkInsideTheFolder)
{
    ResetAndExpectTheLinkNotFollowed(m_scratch + L"folder-c", m_scratch + L"folder-c\\doc.txt");

    EXPECT_EQ("report\r\n", ReadFileBytes(m_scratch + L"document.txt"));
}

TEST_F(LinkSafetyTest, ResetLogFolderAt_NeverRemovesTheEmptyTargetOfAFolderLink)
{
    ResetAndExpectTheLinkNotFollowed(m_scratch + L"folder-d", m_scratch + L"folder-d\\spare");

    EXPECT_TRUE(Exists(m_scratch + L"spare-folder"));
}

// A link between the user-creatable root and the folder: nothing is deleted anywhere.
TEST_F(LinkSafetyTest, ResetLogFolderAt_TrustsNoLinkAboveTheFolder)
{
    try
    {
        ResetLogFolderAt(m_scratch + L"above\\Tessaly\\Voltwren", m_scratch + L"above");
        ADD_FAILURE() << "a link above the folder was trusted";
    }
    catch (const std::filesystem::filesystem_error& error)
    {
        EXPECT_EQ(std::error_code(kStoppedOnSymlink, std::system_category()), error.code()) << error.what();
    }
    EXPECT_EQ("not ours\r\n", ReadFileBytes(m_scratch + L"elsewhere\\Voltwren\\keep.txt"));
    EXPECT_TRUE(m_debugger.Lines().empty());
}
