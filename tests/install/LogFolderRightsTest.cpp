#include "packaging/setup-actions/LogFolderRights.h"
#include "support/TestFolders.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

// Both setups make the log folder through MakeLogFolder. Wine keeps neither the owner nor
// the DACL on disk (it folds them onto mode bits), so the owner and the DACL are read back
// from the descriptor the code hands to the platform; on disk, what Wine does show is
// checked: a made folder grants Everyone nothing, a kept one keeps what it had.
namespace
{
const wchar_t* const kExpectedSddl =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200ab;;;BU)(A;OIIO;0x12008d;;;BU)(A;OIIO;FA;;;CO)";
constexpr SECURITY_INFORMATION kOwnerAndDacl = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

std::wstring ToSddl(PSECURITY_DESCRIPTOR descriptor)
{
    LPWSTR text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, kOwnerAndDacl,
                                                              &text, nullptr))
    {
        return L"(not convertible)";
    }
    UniqueLocalMemory owned(text);
    return text;
}

std::wstring DaclOnDisk(const std::wstring& path)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
    {
        return L"(unreadable)";
    }
    UniqueLocalMemory owned(descriptor);
    return ToSddl(descriptor);
}

bool GrantsEveryone(const std::wstring& sddl)
{
    return sddl.find(L";;;WD)") != std::wstring::npos;
}
} // namespace

TEST(LogFolderRightsTest, BuildLogFolderDescriptor_OwnedByAdministratorsWithAProtectedDacl)
{
    UniqueLocalMemory descriptor = BuildLogFolderDescriptor();
    ASSERT_TRUE(descriptor);

    EXPECT_EQ(std::wstring(kExpectedSddl), ToSddl(descriptor.Get()));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.Get(), &control, &revision));
    EXPECT_EQ(SE_DACL_PRESENT | SE_DACL_PROTECTED, control & (SE_DACL_PRESENT | SE_DACL_PROTECTED));
}

TEST(LogFolderRightsTest, MakeLogFolder_MakesTheFolderAndItsParentWithoutEveryone)
{
    TempFolder root(L"rights");
    const std::wstring folder = root.Path() + L"Tessaly\\Voltwren";
    DWORD error = 0xdeadbeef;

    EXPECT_EQ(LogFolderResult::Made, MakeLogFolder(folder, error));

    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), error);
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_NE(0u, attributes & FILE_ATTRIBUTE_DIRECTORY);
    const std::wstring dacl = DaclOnDisk(folder);
    EXPECT_FALSE(GrantsEveryone(dacl)) << ToUtf8(dacl);
}

TEST(LogFolderRightsTest, MakeLogFolder_KeepsAnExistingFolderAsItIsAndRefusesAFile)
{
    TempFolder root(L"rights");
    const std::wstring folder = root.Path() + L"Voltwren";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\Voltwren.log", "earlier run\r\n"));
    const std::wstring before = DaclOnDisk(folder);
    DWORD error = 0xdeadbeef;

    EXPECT_EQ(LogFolderResult::Kept, MakeLogFolder(folder, error));

    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), error);
    EXPECT_EQ(before, DaclOnDisk(folder));
    EXPECT_EQ("earlier run\r\n", ReadFileBytes(folder + L"\\Voltwren.log"));

    const std::wstring file = root.Path() + L"NotAFolder";
    ASSERT_TRUE(WriteFileBytes(file, "in the way"));
    EXPECT_EQ(LogFolderResult::Failed, MakeLogFolder(file, error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), error);
}
