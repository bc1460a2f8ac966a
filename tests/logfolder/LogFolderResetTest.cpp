#include "logfolder/DebuggerLines.h"
#include "logging/LogFolderReset.h"
#include "support/TestFolders.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <filesystem>

namespace
{
// A self-relative security descriptor made from SDDL, as the platform hands them out.
class SddlDescriptor
{
public:
    explicit SddlDescriptor(const std::wstring& sddl)
    {
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                  &m_descriptor, nullptr))
        {
            ADD_FAILURE() << "SDDL not accepted: " << ToUtf8(sddl) << " error " << GetLastError();
            m_descriptor = nullptr;
        }
    }
    ~SddlDescriptor() { LocalFree(m_descriptor); }
    SddlDescriptor(const SddlDescriptor&) = delete;
    SddlDescriptor& operator=(const SddlDescriptor&) = delete;

    PSECURITY_DESCRIPTOR Get() const { return m_descriptor; }
    PSID Owner() const
    {
        PSID owner = nullptr;
        BOOL defaulted = FALSE;
        GetSecurityDescriptorOwner(m_descriptor, &owner, &defaulted);
        return owner;
    }
    std::wstring Text() const
    {
        wchar_t* text = nullptr;
        if (m_descriptor == nullptr ||
            !ConvertSecurityDescriptorToStringSecurityDescriptorW(
                m_descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text,
                nullptr))
        {
            return L"(none)";
        }
        const std::wstring result(text);
        LocalFree(text);
        return result;
    }

private:
    PSECURITY_DESCRIPTOR m_descriptor = nullptr;
};

// SDDL as the platform itself writes it back, so both sides of a comparison share one spelling.
std::wstring Normalised(const std::wstring& sddl)
{
    return SddlDescriptor(sddl).Text();
}
} // namespace

class LogFolderResetTest : public ::testing::Test
{
protected:
    std::wstring Path() const { return m_scratch.Path() + L"Voltwren"; }

    void MakeUserFolderWithContents()
    {
        ASSERT_TRUE(CreateDirectoryW(Path().c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((Path() + L"\\logs").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((Path() + L"\\logs\\old").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((Path() + L"\\empty").c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(Path() + L"\\vwn.log", "first line\r\n"));
        ASSERT_TRUE(WriteFileBytes(Path() + L"\\logs\\vwn.1.log", "rolled\r\n"));
        ASSERT_TRUE(WriteFileBytes(Path() + L"\\logs\\old\\vwn.2.log", std::string(70000, 'x')));
        ASSERT_TRUE(WriteFileBytes(Path() + L"\\read-only.txt", "keep out"));
        ASSERT_TRUE(SetFileAttributesW((Path() + L"\\read-only.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    }

    TempFolder m_scratch{L"logreset"};
    DebuggerLines m_debugger;
};

TEST_F(LogFolderResetTest, ResetLogFolderAt_LeavesAnAbsentPathAbsentAndSaysNothing)
{
    ResetLogFolderAt(Path());

    EXPECT_FALSE(Exists(Path()));
    EXPECT_TRUE(Exists(m_scratch.Path()));
    EXPECT_TRUE(m_debugger.Lines().empty());
}

TEST_F(LogFolderResetTest, ResetLogFolderAt_DeletesAUserOwnedFolderWithAllItsContents)
{
    MakeUserFolderWithContents();

    ResetLogFolderAt(Path());

    EXPECT_FALSE(Exists(Path()));
    EXPECT_TRUE(Exists(m_scratch.Path()));
    const std::vector<std::wstring> expected = {L"[ApacheLogger][Init] remove_all() ...",
                                                L"[ApacheLogger][Init] remove_all() ... Done."};
    EXPECT_EQ(expected, m_debugger.Lines());
}

TEST_F(LogFolderResetTest, ResetLogFolderAt_DeletesAPlainFileAtThePath)
{
    ASSERT_TRUE(WriteFileBytes(Path(), "not a folder"));

    ResetLogFolderAt(Path());

    EXPECT_FALSE(Exists(Path()));
    EXPECT_EQ(2u, m_debugger.Lines().size());
}

TEST_F(LogFolderResetTest, ResetLogFolderAt_FileInUseEndsWithRemoveAllError)
{
    MakeUserFolderWithContents();
    const std::wstring busy = Path() + L"\\logs\\busy.log";
    HANDLE held = CreateFileW(busy.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);

    try
    {
        ResetLogFolderAt(Path());
        ADD_FAILURE() << "no error for a file in use";
    }
    catch (const std::filesystem::filesystem_error& error)
    {
        EXPECT_EQ(std::error_code(ERROR_SHARING_VIOLATION, std::system_category()), error.code());
        EXPECT_EQ(std::filesystem::path(Path()), error.path1());
        EXPECT_NE(std::string::npos, std::string(error.what()).find("remove_all")) << error.what();
    }
    CloseHandle(held);

    EXPECT_TRUE(Exists(busy));
    EXPECT_EQ(std::vector<std::wstring>{L"[ApacheLogger][Init] remove_all() ..."}, m_debugger.Lines());
}

TEST(OwnerDecisionTest, IsTrustedOwner_KeepsAdministratorsAndLocalSystemOnly)
{
    EXPECT_TRUE(IsTrustedOwner(SddlDescriptor(L"O:BA").Owner()));
    EXPECT_TRUE(IsTrustedOwner(SddlDescriptor(L"O:SY").Owner()));
    EXPECT_TRUE(IsTrustedOwner(SddlDescriptor(L"O:S-1-5-32-544").Owner()));

    EXPECT_FALSE(IsTrustedOwner(SddlDescriptor(L"O:S-1-5-21-0-0-0-1000").Owner()));
    EXPECT_FALSE(IsTrustedOwner(SddlDescriptor(L"O:BU").Owner()));
    EXPECT_FALSE(IsTrustedOwner(SddlDescriptor(L"O:WD").Owner()));
    EXPECT_FALSE(IsTrustedOwner(SddlDescriptor(L"O:LS").Owner()));
    EXPECT_FALSE(IsTrustedOwner(SddlDescriptor(L"O:S-1-5-32-545").Owner()));
    // Administrators' RID in another authority is not Administrators.
    EXPECT_FALSE(IsTrustedOwner(SddlDescriptor(L"O:S-1-1-32-544").Owner()));
    EXPECT_FALSE(IsTrustedOwner(nullptr));
}

TEST(DaclEditTest, ProtectDaclWithoutEveryone_RemovesAdjacentEveryoneEntriesAndKeepsTheOthersInOrder)
{
    SddlDescriptor descriptor(
        L"O:BAD:(A;;FA;;;SY)(A;;FR;;;WD)(D;;FW;;;WD)(A;;FA;;;BA)(A;OICIID;0x1200a9;;;BU)(A;OICIID;FR;;;WD)");

    EXPECT_TRUE(ProtectDaclWithoutEveryone(descriptor.Get()));

    EXPECT_EQ(Normalised(L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;OICIID;0x1200a9;;;BU)"), descriptor.Text());
}

TEST(DaclEditTest, ProtectDaclWithoutEveryone_OnlyProtectsADaclWithoutEveryone)
{
    SddlDescriptor descriptor(L"O:SYD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200ab;;;BU)");

    EXPECT_TRUE(ProtectDaclWithoutEveryone(descriptor.Get()));

    EXPECT_EQ(Normalised(L"O:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200ab;;;BU)"), descriptor.Text());
}

TEST(DaclEditTest, ProtectDaclWithoutEveryone_EmptiesADaclOfEveryoneOnly)
{
    SddlDescriptor descriptor(L"O:BAD:(A;;FA;;;WD)(A;;FA;;;WD)(D;;FA;;;WD)");

    EXPECT_TRUE(ProtectDaclWithoutEveryone(descriptor.Get()));

    EXPECT_EQ(Normalised(L"O:BAD:P"), descriptor.Text());
}

TEST(DaclEditTest, ProtectDaclWithoutEveryone_LeavesANullDaclAlone)
{
    // Built by hand: Wine reads "D:NO_ACCESS_CONTROL" as an empty DACL, not a null one.
    SECURITY_DESCRIPTOR descriptor = {};
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));

    EXPECT_FALSE(ProtectDaclWithoutEveryone(&descriptor));

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(&descriptor, &control, &revision));
    EXPECT_EQ(SE_DACL_PRESENT, control);
}
