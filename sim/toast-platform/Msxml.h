#pragma once

// MSXML 3, which both the XML document and the popup stand on.

#include "RuntimeObject.h"

#include <windows.h>
#include <msxml2.h>
#include <oleauto.h>

#include <string>

namespace Platform
{

// MSXML 3 is in every Windows and in Wine; its own headers come without these definitions.
constexpr CLSID kDomDocument30 = {
    0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
constexpr IID kIXMLDOMDocument2 = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
constexpr IID kIXMLDOMElement = {
    0x2933bf86, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

class Bstr
{
public:
    Bstr() = default;
    explicit Bstr(const std::wstring& text)
        : m_text(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
    {
    }
    ~Bstr() { SysFreeString(m_text); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    BSTR Get() const { return m_text; }
    BSTR* Put()
    {
        SysFreeString(m_text);
        m_text = nullptr;
        return &m_text;
    }
    std::wstring Text() const { return std::wstring(m_text, SysStringLen(m_text)); }

private:
    BSTR m_text = nullptr;
};

// A new, empty, synchronous document that selects by XPath and keeps the
// blanks between elements as text, as the runtime's XmlDocument does.
HRESULT CreateDomDocument(ComRef<IXMLDOMDocument2>& dom);

} // namespace Platform
