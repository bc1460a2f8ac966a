// The manifest as Windows reads it: from the built executable's resources.
#include "support/TestFolders.h"

#include <gtest/gtest.h>

namespace
{
std::string EmbeddedManifest(const std::wstring& path)
{
    HMODULE image = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (image == nullptr)
    {
        return "";
    }
    std::string text;
    // CREATEPROCESS_MANIFEST_RESOURCE_ID in the program's own language.
    HRSRC resource = FindResourceExW(image, RT_MANIFEST, MAKEINTRESOURCEW(1),
                                     MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL));
    HGLOBAL loaded = resource != nullptr ? LoadResource(image, resource) : nullptr;
    if (loaded != nullptr)
    {
        text.assign(static_cast<const char*>(LockResource(loaded)), SizeofResource(image, resource));
    }
    FreeLibrary(image);
    return text;
}
} // namespace

TEST(ManifestTest, DeclaresWindows10And11PerMonitorV2AsInvokerAndCommonControls6)
{
    const std::string manifest = EmbeddedManifest(BinFolder() + L"Voltwren.exe");
    ASSERT_FALSE(manifest.empty());
    for (const char* expected : {
             "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",
             ">PerMonitorV2, PerMonitor</dpiAwareness>",
             ">true/pm</dpiAware>",
             "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
             "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
         })
    {
        EXPECT_NE(std::string::npos, manifest.find(expected)) << expected;
    }
}
