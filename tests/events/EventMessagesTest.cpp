#include "base/EventLog.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace
{
constexpr WORD kEnglish = 0x0409;
constexpr WORD kChineseTaiwan = 0x0404;

std::wstring BesideTest(const wchar_t* name)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring self(path);
    return self.substr(0, self.rfind(L'\\') + 1) + name;
}

// The message with inserts "<1>", "<2>", ... and one more than the event has, "<extra>",
// which a message that names too many would show.
std::wstring Format(HMODULE messages, const EventKind& kind, WORD language)
{
    std::vector<std::wstring> inserts;
    for (size_t i = 1; i <= kind.inserts; ++i)
    {
        inserts.push_back(L"<" + std::to_wstring(i) + L">");
    }
    inserts.push_back(L"<extra>");
    std::vector<DWORD_PTR> arguments;
    for (const std::wstring& insert : inserts)
    {
        arguments.push_back(reinterpret_cast<DWORD_PTR>(insert.c_str()));
    }
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                                            FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                        messages, kind.id, language, reinterpret_cast<wchar_t*>(&text), 0,
                                        reinterpret_cast<va_list*>(arguments.data()));
    const UniqueLocalMemory owned(text);
    return length == 0 ? std::wstring() : std::wstring(text, length);
}
} // namespace

// Event Viewer loads the DLL as data, in either word size, and formats each id of the
// catalogue in the reader's language with the inserts the program reported.
TEST(EventMessages_Catalogue, EveryEventHasItsMessageInBothLanguagesWithItsInserts)
{
    const HMODULE messages = LoadLibraryExW(BesideTest(L"VoltwrenEvents.dll").c_str(), nullptr,
                                            LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(messages, nullptr) << "error " << GetLastError();
    for (const EventKind& kind : VoltwrenEvent::kCatalogue)
    {
        for (const WORD language : {kEnglish, kChineseTaiwan})
        {
            SCOPED_TRACE(testing::Message()
                         << "event " << kind.id << ", language 0x" << std::hex << language);
            const std::wstring text = Format(messages, kind, language);
            ASSERT_FALSE(text.empty()) << "error " << GetLastError();
            for (size_t i = 1; i <= kind.inserts; ++i)
            {
                EXPECT_NE(text.find(L"<" + std::to_wstring(i) + L">"), std::wstring::npos) << "insert " << i;
            }
            EXPECT_EQ(text.find(L"<extra>"), std::wstring::npos);
            // Every Chinese message ends with a full stop of its own, U+3002.
            const bool chinese = text.find(L'\u3002') != std::wstring::npos;
            EXPECT_EQ(chinese, language == kChineseTaiwan);
        }
    }
    FreeLibrary(messages);
}
