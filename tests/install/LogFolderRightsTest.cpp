#include "packaging/setup-actions/LogFolderRights.h"
#include "support/TestFolders.h"
#include "support/WineGaps.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

// Both setups make the log folder and its parent through MakeLogFolder. Wine keeps neither
// the owner nor the DACL on disk (it folds them onto mode bits), so the owner and the DACL
// are read back from the descriptors the code hands to the platform; on disk, what Wine does
// show is checked: a made or kept folder grants Everyone nothing, a kept one keeps its logs.
namespace
{
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

UniqueLocalMemory FromSddl(const std::wstring& sddl)
{
    UniqueLocalMemory descriptor;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, descriptor.Put(),
                                                         nullptr);
    return descriptor;
}

// What a file made in the folder by `owner` gets: the entries that files inherit.
// AccessCheck wants a primary group, which Windows gives every object.
std::wstring FileSddl(const std::wstring& folderSddl, const std::wstring& owner = L"S-1-5-21-1-2-3-1001")
{
    std::wstring file = L"O:" + owner + L"G:SYD:";
    for (size_t open = folderSddl.find(L'('); open != std::wstring::npos;
         open = folderSddl.find(L'(', open + 1))
    {
        const std::wstring entry = folderSddl.substr(open + 1, folderSddl.find(L')', open) - open - 1);
        const size_t flagsEnd = entry.find(L';', 2);
        if (entry.substr(2, flagsEnd - 2).find(L"OI") != std::wstring::npos)
        {
            file += L"(A;ID" + entry.substr(flagsEnd) + L")";
        }
    }
    return file;
}

// The signed-in user's token, as a member of Users: Administrators only denies in it.
UniqueHandle UsersToken()
{
    UniqueHandle process;
    UniqueHandle restricted;
    UniqueHandle impersonation;
    PSID administrators = nullptr;
    ConvertStringSidToSidW(L"BA", &administrators);
    UniqueLocalMemory ownedSid(administrators);
    SID_AND_ATTRIBUTES denyOnly = {administrators, 0};
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, process.Put()) &&
        CreateRestrictedToken(process.Get(), 0, 1, &denyOnly, 0, nullptr, 0, nullptr, restricted.Put()))
    {
        DuplicateToken(restricted.Get(), SecurityImpersonation, impersonation.Put());
    }
    return impersonation;
}

// MakeLogFolder with the lines it reports; `whileParentHeld` runs once the parent is judged.
struct SetupRun
{
    DWORD error = 0xdeadbeef;
    std::vector<std::wstring> lines;

    explicit SetupRun(
        const std::wstring& folder, OwnerRule trusted = IsTrustedOwner,
        const std::function<void()>& whileParentHeld = [] {})
    {
        error = MakeLogFolder(
            folder,
            [&](const std::wstring& path, const FolderOutcome& outcome)
            {
                lines.push_back(FolderLine(path, outcome));
                if (lines.size() == 1)
                {
                    whileParentHeld();
                }
            },
            trusted);
    }
};

bool ServiceOwned(const wchar_t* sid)
{
    PSID built = nullptr;
    if (!ConvertStringSidToSidW(sid, &built))
    {
        return false;
    }
    const UniqueLocalMemory owned(built);
    return IsServiceAccount(built);
}

// Tessaly\Voltwren made beforehand in a fresh folder, as an earlier setup or someone else
// left them, with one file planted at a path below the fresh folder.
struct FoundFolders
{
    FoundFolders(const std::wstring& planted, const std::string& bytes)
    {
        made = CreateDirectoryW(parent.c_str(), nullptr) && CreateDirectoryW(folder.c_str(), nullptr) &&
               WriteFileBytes(root.Path() + planted, bytes);
    }

    TempFolder root{L"rights"};
    const std::wstring parent = root.Path() + L"Tessaly";
    const std::wstring folder = parent + L"\\Voltwren";
    bool made = false;
};

std::wstring UserOf(HANDLE token)
{
    BYTE buffer[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)] = {};
    DWORD size = 0;
    LPWSTR text = nullptr;
    if (!GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text))
    {
        return L"(unknown)";
    }
    const UniqueLocalMemory owned(text);
    return text;
}

bool Allows(PSECURITY_DESCRIPTOR descriptor, HANDLE token, DWORD wanted)
{
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    MapGenericMask(&wanted, &mapping);
    PRIVILEGE_SET privileges = {};
    DWORD size = sizeof(privileges);
    DWORD granted = 0;
    BOOL allowed = FALSE;
    return AccessCheck(descriptor, token, wanted, &mapping, &privileges, &size, &granted, &allowed) &&
           allowed;
}
} // namespace

TEST(LogFolderRightsTest, BuildLogFolderDescriptor_OwnedByAdministratorsWithAProtectedDacl)
{
    UniqueLocalMemory descriptor = BuildLogFolderDescriptor();
    ASSERT_TRUE(descriptor);

    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor.Get(), &owner, &defaulted));
    EXPECT_TRUE(owner != nullptr && IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.Get(), &control, &revision));
    EXPECT_EQ(SE_DACL_PRESENT | SE_DACL_PROTECTED, control & (SE_DACL_PRESENT | SE_DACL_PROTECTED));
}

TEST(LogFolderRightsTest, AccessCheck_UsersRollEveryFileButCannotChangeTheFolders)
{
    UniqueLocalMemory built = BuildLogFolderDescriptor();
    ASSERT_TRUE(built);
    std::wstring folderSddl = ToSddl(built.Get());
    const UniqueLocalMemory folder =
        FromSddl(std::wstring(folderSddl).insert(folderSddl.find(L"D:"), L"G:SY"));
    const UniqueLocalMemory file = FromSddl(FileSddl(folderSddl));
    const UniqueHandle token = UsersToken();
    ASSERT_TRUE(folder && file && token) << ToUtf8(FileSddl(folderSddl));

    EXPECT_TRUE(Allows(folder.Get(), token.Get(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_ADD_FILE));
    for (DWORD right : std::initializer_list<DWORD>{WRITE_DAC, WRITE_OWNER, DELETE, FILE_ADD_SUBDIRECTORY,
                                                    FILE_DELETE_CHILD, FILE_WRITE_ATTRIBUTES})
    {
        EXPECT_FALSE(Allows(folder.Get(), token.Get(), right)) << std::hex << right;
    }
    // Another account's log: copied, emptied, renamed to a backup, deleted as the oldest one.
    EXPECT_TRUE(Allows(file.Get(), token.Get(), GENERIC_READ | GENERIC_WRITE | DELETE));
    EXPECT_FALSE(Allows(file.Get(), token.Get(), WRITE_DAC) || Allows(file.Get(), token.Get(), WRITE_OWNER));

    // Above it, nothing may be added, re-pointed or taken away.
    const UniqueLocalMemory parent = FromSddl(
        std::wstring(kParentFolderSddl).insert(std::wstring(kParentFolderSddl).find(L"D:"), L"G:SY"));
    ASSERT_TRUE(parent);
    EXPECT_TRUE(Allows(parent.Get(), token.Get(), FILE_GENERIC_READ | FILE_TRAVERSE));
    for (DWORD right :
         std::initializer_list<DWORD>{FILE_ADD_FILE, FILE_ADD_SUBDIRECTORY, FILE_WRITE_EA,
                                      FILE_WRITE_ATTRIBUTES, FILE_DELETE_CHILD, DELETE, WRITE_DAC})
    {
        EXPECT_FALSE(Allows(parent.Get(), token.Get(), right)) << std::hex << right;
    }
}

// The user who made a log may roll it, never hand it to others.
TEST(LogFolderRightsTest, AccessCheck_TheOwnerOfALogUsesItButCannotChangeItsRights)
{
    UniqueLocalMemory built = BuildLogFolderDescriptor();
    ASSERT_TRUE(built);
    const UniqueHandle token = UsersToken();
    ASSERT_TRUE(token);
    const UniqueLocalMemory file = FromSddl(FileSddl(ToSddl(built.Get()), UserOf(token.Get())));
    ASSERT_TRUE(file);

    EXPECT_TRUE(Allows(file.Get(), token.Get(), GENERIC_READ | GENERIC_WRITE | DELETE));
    SKIP_ON_WINE("AccessCheck gives an owner WRITE_DAC whatever an OWNER RIGHTS entry says");
    EXPECT_FALSE(Allows(file.Get(), token.Get(), WRITE_DAC));
    EXPECT_FALSE(Allows(file.Get(), token.Get(), WRITE_OWNER));
}

TEST(LogFolderRightsTest, JudgeFoundFolder_KeepsFoldersOfAdministratorsOrSystemOnlyAndNeverALink)
{
    const auto judge = [](DWORD attributes, const wchar_t* owner)
    {
        const UniqueLocalMemory descriptor = FromSddl(std::wstring(L"O:") + owner);
        PSID sid = nullptr;
        BOOL defaulted = FALSE;
        return GetSecurityDescriptorOwner(descriptor.Get(), &sid, &defaulted)
                   ? JudgeFoundFolder(attributes, sid)
                   : FoundFolder::NotAFolder;
    };
    EXPECT_EQ(FoundFolder::Trusted, judge(FILE_ATTRIBUTE_DIRECTORY, L"BA"));
    EXPECT_EQ(FoundFolder::Trusted, judge(FILE_ATTRIBUTE_DIRECTORY, L"SY"));
    EXPECT_EQ(FoundFolder::Distrusted, judge(FILE_ATTRIBUTE_DIRECTORY, L"S-1-5-21-0-0-0-1000"));
    EXPECT_EQ(FoundFolder::Distrusted, JudgeFoundFolder(FILE_ATTRIBUTE_DIRECTORY, nullptr));
    EXPECT_EQ(FoundFolder::Distrusted, judge(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, L"BA"));
    EXPECT_EQ(FoundFolder::NotAFolder, judge(FILE_ATTRIBUTE_NORMAL, L"SY"));
}

// A Tessaly that a service made is kept as it is; no other account of NT AUTHORITY counts as one.
TEST(LogFolderRightsTest, IsServiceAccount_LocalServiceNetworkServiceAndServiceSidsOnly)
{
    for (const wchar_t* service :
         {L"S-1-5-19", L"S-1-5-20", L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"})
    {
        EXPECT_TRUE(ServiceOwned(service)) << ToUtf8(service);
    }
    for (const wchar_t* other :
         {L"S-1-5-18", L"S-1-5-80-0", L"S-1-5-19-1", L"S-1-16-19", L"S-1-5-21-1-2-3-1001"})
    {
        EXPECT_FALSE(ServiceOwned(other)) << ToUtf8(other);
    }
}

TEST(LogFolderRightsTest, MakeLogFolder_MakesTheFolderAndItsParentWithoutEveryone)
{
    TempFolder root(L"rights");
    const std::wstring folder = root.Path() + L"Tessaly\\Voltwren";

    const SetupRun setup(folder);

    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), setup.error);
    EXPECT_EQ((std::vector<std::wstring>{L"Made " + root.Path() + L"Tessaly with its owner and rights",
                                         L"Made " + folder + L" with its owner and rights"}),
              setup.lines);
    for (const std::wstring& made : {root.Path() + L"Tessaly", folder})
    {
        const DWORD attributes = GetFileAttributesW(made.c_str());
        EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
        EXPECT_FALSE(GrantsEveryone(DaclOnDisk(made))) << ToUtf8(DaclOnDisk(made));
    }
}

// Wine shows every folder as the user's: a folder found there is one of another owner. The
// maker's folder is taken, with what other products keep in it; only the log folder is replaced.
TEST(LogFolderRightsTest, MakeLogFolder_TakesTessalyWithWhatItHoldsReplacesTheLogFolderAndRefusesAFile)
{
    const FoundFolders found(L"Tessaly\\planted.txt", "beside the log folder");
    ASSERT_TRUE(found.made);
    const std::wstring& parent = found.parent;
    const std::wstring& folder = found.folder;

    const SetupRun replaced(folder);

    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), replaced.error);
    EXPECT_EQ((std::vector<std::wstring>{L"Took " + parent +
                                             L" from another owner: owner Administrators, with rights of its "
                                             L"own; what it holds keeps its rights",
                                         L"Replaced " + folder + L": a folder of another owner was there"}),
              replaced.lines);
    EXPECT_EQ("beside the log folder", ReadFileBytes(parent + L"\\planted.txt"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(folder.c_str()));

    RemoveTree(parent);
    ASSERT_TRUE(WriteFileBytes(parent, "in the way"));
    const SetupRun refused(folder);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), refused.error);
    EXPECT_EQ(std::vector<std::wstring>{L"Refused " + parent +
                                        L" (error 183): something other than a folder is there"},
              refused.lines);
    EXPECT_EQ("in the way", ReadFileBytes(parent));
}

// The upgrade on Windows: both folders are the setups' own and stay, with what they hold, but for
// a second name of a file elsewhere that a user planted in the log folder. Wine keeps no DACL set
// on a folder that exists (its mode bits stay): what is set is the descriptor checked above.
TEST(LogFolderRightsTest, MakeLogFolder_KeepsTrustedFoldersWithTheirLogsButNoSecondNames)
{
    const FoundFolders found(L"Tessaly\\Voltwren\\Voltwren.log", "earlier run\r\n");
    const std::wstring outside = found.root.Path() + L"outside.txt";
    ASSERT_TRUE(found.made && WriteFileBytes(outside, "not ours") &&
                SetFileAttributesW(outside.c_str(), FILE_ATTRIBUTE_READONLY) &&
                CreateHardLinkW((found.folder + L"\\planted.log").c_str(), outside.c_str(), nullptr));
    const std::wstring& parent = found.parent;
    const std::wstring& folder = found.folder;

    // Wine shows every folder as the user's: any owner that can be read stands in for Administrators.
    const SetupRun kept(folder, [](PSID owner) { return owner != nullptr; });

    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), kept.error);
    EXPECT_EQ(
        (std::vector<std::wstring>{
            L"Kept " + parent + L" as it is: Administrators, SYSTEM or a service own it",
            L"Kept " + folder + L", its owner and rights set again; removed links from it: planted.log"}),
        kept.lines);
    EXPECT_EQ("earlier run\r\n", ReadFileBytes(folder + L"\\Voltwren.log"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((folder + L"\\planted.log").c_str()));
    EXPECT_EQ("not ours", ReadFileBytes(outside));
    EXPECT_NE(0u, GetFileAttributesW(outside.c_str()) & FILE_ATTRIBUTE_READONLY);
}

// Read-only entries do not stop a setup, and a file with a name elsewhere keeps its attribute
// there. Wine 8 keeps no read-only attribute on a folder; it does on a file.
TEST(LogFolderRightsTest, MakeLogFolder_ReplacesAUserMadeLogFolderWithReadOnlyEntries)
{
    const FoundFolders found(L"outside.txt", "not ours");
    const std::wstring outside = found.root.Path() + L"outside.txt";
    const std::wstring old = found.folder + L"\\old";
    ASSERT_TRUE(found.made && CreateDirectoryW(old.c_str(), nullptr) &&
                WriteFileBytes(old + L"\\Voltwren.log", "old run") &&
                CreateHardLinkW((found.folder + L"\\link.log").c_str(), outside.c_str(), nullptr));
    for (const std::wstring& readOnly : {outside, old + L"\\Voltwren.log", old})
    {
        ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY)) << ToUtf8(readOnly);
    }

    const SetupRun replaced(found.folder);

    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), replaced.error);
    EXPECT_EQ(L"Replaced " + found.folder + L": a folder of another owner was there", replaced.lines.at(1));
    EXPECT_FALSE(Exists(old));
    EXPECT_FALSE(Exists(found.folder + L"\\link.log"));
    EXPECT_EQ("not ours", ReadFileBytes(outside));
    EXPECT_NE(0u, GetFileAttributesW(outside.c_str()) & FILE_ATTRIBUTE_READONLY);
}

// Windows renames neither the held parent nor a folder above it, which holds an open folder. Wine 8
// renames the folder above: the log folder is made in the held parent all the same, not at the
// path, and not reported "Made" at a path that names another folder by then.
TEST(LogFolderRightsTest, MakeLogFolder_MakesTheLogFolderInTheHeldParentWhateverItsPathNames)
{
    TempFolder root(L"rights");
    const std::wstring above = root.Path() + L"above";
    const std::wstring folder = above + L"\\Tessaly\\Voltwren";
    DWORD parentRenamed = ERROR_SUCCESS;
    bool aboveSwapped = false;
    ASSERT_TRUE(CreateDirectoryW(above.c_str(), nullptr));

    const SetupRun run(folder, IsTrustedOwner,
                       [&]
                       {
                           parentRenamed =
                               MoveFileExW((above + L"\\Tessaly").c_str(), (above + L"\\Other").c_str(), 0)
                                   ? ERROR_SUCCESS
                                   : GetLastError();
                           aboveSwapped = MoveFileExW(above.c_str(), (root.Path() + L"moved").c_str(), 0) &&
                                          CreateDirectoryW(above.c_str(), nullptr) &&
                                          CreateDirectoryW((above + L"\\Tessaly").c_str(), nullptr);
                       });

    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), parentRenamed);
    ASSERT_TRUE(aboveSwapped);
    EXPECT_TRUE(Exists(root.Path() + L"moved\\Tessaly\\Voltwren"));
    EXPECT_FALSE(Exists(folder));
    EXPECT_EQ(L"Refused " + folder + L" (error 6): the folder it made is no longer at this path",
              run.lines.at(1));
}
