#include "XmlDom.h"

#include "RuntimeObject.h"

#include <msxml2.h>
#include <oleauto.h>

#include <new>

namespace Platform
{
namespace
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

HRESULT BstrToHString(const Bstr& text, HSTRING* out)
{
    return MakeHString(text.Text(), out);
}

HRESULT WrapNode(IXMLDOMNode* dom, IXmlDocument* owner, IXmlNode** out);

// IXmlNode, IXmlNodeSerializer and IXmlNodeSelector over one MSXML node,
// shared by the document and the nodes taken from it.
template <typename... Interfaces> class XmlNodeBase : public RuntimeObject<Interfaces...>
{
public:
    // IXmlNodeSelector
    HRESULT STDMETHODCALLTYPE SelectSingleNode(HSTRING xpath, IXmlNode** node) override
    {
        if (node == nullptr)
        {
            return E_POINTER;
        }
        *node = nullptr;
        const Bstr query(TextOf(xpath));
        ComRef<IXMLDOMNode> found;
        const HRESULT hr = Dom()->selectSingleNode(query.Get(), found.Put());
        if (FAILED(hr))
        {
            return hr;
        }
        // Nothing found is a success with no node, as on Windows.
        return WrapNode(found.Get(), Owner(), node);
    }
    HRESULT STDMETHODCALLTYPE SelectNodes(HSTRING, IInspectable**) override
    {
        return NotProvided(L"IXmlNodeSelector::SelectNodes");
    }
    HRESULT STDMETHODCALLTYPE SelectSingleNodeNS(HSTRING, IInspectable*, IXmlNode**) override
    {
        return NotProvided(L"IXmlNodeSelector::SelectSingleNodeNS");
    }
    HRESULT STDMETHODCALLTYPE SelectNodesNS(HSTRING, IInspectable*, IInspectable**) override
    {
        return NotProvided(L"IXmlNodeSelector::SelectNodesNS");
    }

    // IXmlNodeSerializer
    HRESULT STDMETHODCALLTYPE GetXml(HSTRING* outerXml) override
    {
        Bstr xml;
        const HRESULT hr = Dom()->get_xml(xml.Put());
        if (FAILED(hr))
        {
            return hr;
        }
        // MSXML ends a whole document with a line break that Windows' GetXml does not give.
        std::wstring text = xml.Text();
        while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r'))
        {
            text.pop_back();
        }
        return MakeHString(text, outerXml);
    }
    HRESULT STDMETHODCALLTYPE get_InnerText(HSTRING* value) override
    {
        Bstr text;
        const HRESULT hr = Dom()->get_text(text.Put());
        return FAILED(hr) ? hr : BstrToHString(text, value);
    }
    HRESULT STDMETHODCALLTYPE put_InnerText(HSTRING value) override
    {
        const Bstr text(TextOf(value));
        return Dom()->put_text(text.Get());
    }

    // IXmlNode
    HRESULT STDMETHODCALLTYPE get_NodeValue(IInspectable**) override
    {
        return NotProvided(L"IXmlNode::get_NodeValue");
    }
    HRESULT STDMETHODCALLTYPE put_NodeValue(IInspectable*) override
    {
        return NotProvided(L"IXmlNode::put_NodeValue");
    }
    HRESULT STDMETHODCALLTYPE get_NodeType(NodeType* value) override
    {
        if (value == nullptr)
        {
            return E_POINTER;
        }
        DOMNodeType type = NODE_INVALID;
        const HRESULT hr = Dom()->get_nodeType(&type);
        // The runtime's NodeType numbers the kinds as the DOM does.
        *value = static_cast<NodeType>(type);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE get_NodeName(HSTRING* value) override
    {
        Bstr name;
        const HRESULT hr = Dom()->get_nodeName(name.Put());
        return FAILED(hr) ? hr : BstrToHString(name, value);
    }
    HRESULT STDMETHODCALLTYPE get_ParentNode(IXmlNode** value) override
    {
        return Related(&IXMLDOMNode::get_parentNode, value);
    }
    HRESULT STDMETHODCALLTYPE get_ChildNodes(IInspectable**) override
    {
        return NotProvided(L"IXmlNode::get_ChildNodes");
    }
    HRESULT STDMETHODCALLTYPE get_FirstChild(IXmlNode** value) override
    {
        return Related(&IXMLDOMNode::get_firstChild, value);
    }
    HRESULT STDMETHODCALLTYPE get_LastChild(IXmlNode** value) override
    {
        return Related(&IXMLDOMNode::get_lastChild, value);
    }
    HRESULT STDMETHODCALLTYPE get_PreviousSibling(IXmlNode** value) override
    {
        return Related(&IXMLDOMNode::get_previousSibling, value);
    }
    HRESULT STDMETHODCALLTYPE get_NextSibling(IXmlNode** value) override
    {
        return Related(&IXMLDOMNode::get_nextSibling, value);
    }
    HRESULT STDMETHODCALLTYPE get_Attributes(IInspectable**) override
    {
        return NotProvided(L"IXmlNode::get_Attributes");
    }
    HRESULT STDMETHODCALLTYPE HasChildNodes(boolean* value) override
    {
        if (value == nullptr)
        {
            return E_POINTER;
        }
        VARIANT_BOOL has = VARIANT_FALSE;
        const HRESULT hr = Dom()->hasChildNodes(&has);
        *value = has != VARIANT_FALSE;
        return FAILED(hr) ? hr : S_OK;
    }
    HRESULT STDMETHODCALLTYPE InsertBefore(IXmlNode*, IXmlNode*, IXmlNode**) override
    {
        return NotProvided(L"IXmlNode::InsertBefore");
    }
    HRESULT STDMETHODCALLTYPE ReplaceChild(IXmlNode*, IXmlNode*, IXmlNode**) override
    {
        return NotProvided(L"IXmlNode::ReplaceChild");
    }
    HRESULT STDMETHODCALLTYPE RemoveChild(IXmlNode*, IXmlNode**) override
    {
        return NotProvided(L"IXmlNode::RemoveChild");
    }
    HRESULT STDMETHODCALLTYPE AppendChild(IXmlNode*, IXmlNode**) override
    {
        return NotProvided(L"IXmlNode::AppendChild");
    }
    HRESULT STDMETHODCALLTYPE CloneNode(boolean, IXmlNode**) override
    {
        return NotProvided(L"IXmlNode::CloneNode");
    }
    HRESULT STDMETHODCALLTYPE get_NamespaceUri(IInspectable**) override
    {
        return NotProvided(L"IXmlNode::get_NamespaceUri");
    }
    HRESULT STDMETHODCALLTYPE get_LocalName(IInspectable**) override
    {
        return NotProvided(L"IXmlNode::get_LocalName");
    }
    HRESULT STDMETHODCALLTYPE get_Prefix(IInspectable**) override
    {
        return NotProvided(L"IXmlNode::get_Prefix");
    }
    HRESULT STDMETHODCALLTYPE Normalize() override { return NotProvided(L"IXmlNode::Normalize"); }
    HRESULT STDMETHODCALLTYPE put_Prefix(IInspectable*) override
    {
        return NotProvided(L"IXmlNode::put_Prefix");
    }

protected:
    virtual IXMLDOMNode* Dom() const = 0;
    // The document that nodes handed out from here belong to.
    virtual IXmlDocument* Owner() = 0;

private:
    HRESULT Related(HRESULT (STDMETHODCALLTYPE IXMLDOMNode::*get)(IXMLDOMNode**), IXmlNode** value)
    {
        if (value == nullptr)
        {
            return E_POINTER;
        }
        *value = nullptr;
        ComRef<IXMLDOMNode> related;
        const HRESULT hr = (Dom()->*get)(related.Put());
        return FAILED(hr) ? hr : WrapNode(related.Get(), Owner(), value);
    }
};

class XmlNode final : public XmlNodeBase<IXmlNode, IXmlNodeSerializer, IXmlNodeSelector, IXmlElement>
{
public:
    XmlNode(IXMLDOMNode* dom, IXmlDocument* owner) : m_dom(dom), m_owner(owner)
    {
        m_dom->QueryInterface(kIXMLDOMElement, reinterpret_cast<void**>(m_element.Put()));
    }

    // IXmlNode
    HRESULT STDMETHODCALLTYPE get_OwnerDocument(IXmlDocument** value) override
    {
        if (value == nullptr)
        {
            return E_POINTER;
        }
        m_owner.CopyTo(value);
        return S_OK;
    }

    // IXmlElement
    HRESULT STDMETHODCALLTYPE get_TagName(HSTRING* value) override
    {
        Bstr name;
        const HRESULT hr = m_element->get_tagName(name.Put());
        return FAILED(hr) ? hr : BstrToHString(name, value);
    }
    HRESULT STDMETHODCALLTYPE GetAttribute(HSTRING attributeName, HSTRING* attributeValue) override
    {
        const Bstr name(TextOf(attributeName));
        VARIANT value;
        VariantInit(&value);
        const HRESULT hr = m_element->getAttribute(name.Get(), &value);
        if (FAILED(hr))
        {
            return hr;
        }
        // A missing attribute reads as an empty text.
        const std::wstring text =
            value.vt == VT_BSTR ? std::wstring(value.bstrVal, SysStringLen(value.bstrVal)) : L"";
        VariantClear(&value);
        return MakeHString(text, attributeValue);
    }
    HRESULT STDMETHODCALLTYPE SetAttribute(HSTRING attributeName, HSTRING attributeValue) override
    {
        const Bstr name(TextOf(attributeName));
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocStringLen(WindowsGetStringRawBuffer(attributeValue, nullptr),
                                          WindowsGetStringLen(attributeValue));
        const HRESULT hr = m_element->setAttribute(name.Get(), value);
        VariantClear(&value);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE RemoveAttribute(HSTRING attributeName) override
    {
        const Bstr name(TextOf(attributeName));
        return m_element->removeAttribute(name.Get());
    }
    HRESULT STDMETHODCALLTYPE GetAttributeNode(HSTRING, IInspectable**) override
    {
        return NotProvided(L"IXmlElement::GetAttributeNode");
    }
    HRESULT STDMETHODCALLTYPE SetAttributeNode(IInspectable*, IInspectable**) override
    {
        return NotProvided(L"IXmlElement::SetAttributeNode");
    }
    HRESULT STDMETHODCALLTYPE RemoveAttributeNode(IInspectable*, IInspectable**) override
    {
        return NotProvided(L"IXmlElement::RemoveAttributeNode");
    }
    HRESULT STDMETHODCALLTYPE GetElementsByTagName(HSTRING, IInspectable**) override
    {
        return NotProvided(L"IXmlElement::GetElementsByTagName");
    }
    HRESULT STDMETHODCALLTYPE SetAttributeNS(IInspectable*, HSTRING, HSTRING) override
    {
        return NotProvided(L"IXmlElement::SetAttributeNS");
    }
    HRESULT STDMETHODCALLTYPE GetAttributeNS(IInspectable*, HSTRING, HSTRING*) override
    {
        return NotProvided(L"IXmlElement::GetAttributeNS");
    }
    HRESULT STDMETHODCALLTYPE RemoveAttributeNS(IInspectable*, HSTRING) override
    {
        return NotProvided(L"IXmlElement::RemoveAttributeNS");
    }
    HRESULT STDMETHODCALLTYPE SetAttributeNodeNS(IInspectable*, IInspectable**) override
    {
        return NotProvided(L"IXmlElement::SetAttributeNodeNS");
    }
    HRESULT STDMETHODCALLTYPE GetAttributeNodeNS(IInspectable*, HSTRING, IInspectable**) override
    {
        return NotProvided(L"IXmlElement::GetAttributeNodeNS");
    }

private:
    const wchar_t* RuntimeClassName() const override
    {
        DOMNodeType type = NODE_INVALID;
        m_dom->get_nodeType(&type);
        switch (type)
        {
        case NODE_ELEMENT:
            return L"Windows.Data.Xml.Dom.XmlElement";
        case NODE_ATTRIBUTE:
            return L"Windows.Data.Xml.Dom.XmlAttribute";
        case NODE_TEXT:
            return L"Windows.Data.Xml.Dom.XmlText";
        case NODE_CDATA_SECTION:
            return L"Windows.Data.Xml.Dom.XmlCDataSection";
        case NODE_COMMENT:
            return L"Windows.Data.Xml.Dom.XmlComment";
        case NODE_PROCESSING_INSTRUCTION:
            return L"Windows.Data.Xml.Dom.XmlProcessingInstruction";
        default:
            return L"Windows.Data.Xml.Dom.IXmlNode";
        }
    }
    // Only element nodes are XmlElements.
    bool Answers(REFIID iid) const override { return iid != __uuidof(IXmlElement) || m_element; }
    IXMLDOMNode* Dom() const override { return m_dom.Get(); }
    IXmlDocument* Owner() override { return m_owner.Get(); }

    ComRef<IXMLDOMNode> m_dom;
    ComRef<IXMLDOMElement> m_element;
    ComRef<IXmlDocument> m_owner;
};

class XmlDocument final
    : public XmlNodeBase<IXmlDocument, IXmlNode, IXmlNodeSerializer, IXmlNodeSelector, IXmlDocumentIO>
{
public:
    static HRESULT Create(IInspectable** instance)
    {
        if (instance == nullptr)
        {
            return E_POINTER;
        }
        *instance = nullptr;
        ComRef<IXMLDOMDocument2> dom;
        HRESULT hr = CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER, kIXMLDOMDocument2,
                                      reinterpret_cast<void**>(dom.Put()));
        if (FAILED(hr))
        {
            return hr;
        }
        VARIANT language;
        VariantInit(&language);
        language.vt = VT_BSTR;
        language.bstrVal = SysAllocString(L"XPath");
        const Bstr property(L"SelectionLanguage");
        hr = dom->setProperty(property.Get(), language);
        VariantClear(&language);
        if (FAILED(hr))
        {
            return hr;
        }
        dom->put_preserveWhiteSpace(VARIANT_TRUE);
        dom->put_resolveExternals(VARIANT_FALSE);
        dom->put_validateOnParse(VARIANT_FALSE);
        dom->put_async(VARIANT_FALSE);
        XmlDocument* document = new (std::nothrow) XmlDocument(dom);
        if (document == nullptr)
        {
            return E_OUTOFMEMORY;
        }
        *instance = document->AsInspectable();
        return S_OK;
    }

    // IXmlNode
    HRESULT STDMETHODCALLTYPE get_OwnerDocument(IXmlDocument** value) override
    {
        if (value == nullptr)
        {
            return E_POINTER;
        }
        *value = nullptr;
        return S_OK;
    }

    // IXmlDocument
    HRESULT STDMETHODCALLTYPE get_Doctype(IInspectable**) override
    {
        return NotProvided(L"IXmlDocument::get_Doctype");
    }
    HRESULT STDMETHODCALLTYPE get_Implementation(IInspectable**) override
    {
        return NotProvided(L"IXmlDocument::get_Implementation");
    }
    HRESULT STDMETHODCALLTYPE get_DocumentElement(IXmlElement** value) override
    {
        if (value == nullptr)
        {
            return E_POINTER;
        }
        *value = nullptr;
        ComRef<IXMLDOMElement> root;
        HRESULT hr = m_dom->get_documentElement(root.Put());
        if (FAILED(hr) || !root)
        {
            return FAILED(hr) ? hr : S_OK;
        }
        ComRef<IXmlNode> node;
        hr = WrapNode(root.Get(), this, node.Put());
        return FAILED(hr) ? hr : node->QueryInterface(__uuidof(IXmlElement), reinterpret_cast<void**>(value));
    }
    HRESULT STDMETHODCALLTYPE CreateElement(HSTRING, IXmlElement**) override
    {
        return NotProvided(L"IXmlDocument::CreateElement");
    }
    HRESULT STDMETHODCALLTYPE CreateDocumentFragment(IInspectable**) override
    {
        return NotProvided(L"IXmlDocument::CreateDocumentFragment");
    }
    HRESULT STDMETHODCALLTYPE CreateTextNode(HSTRING, IInspectable**) override
    {
        return NotProvided(L"IXmlDocument::CreateTextNode");
    }
    HRESULT STDMETHODCALLTYPE CreateComment(HSTRING, IInspectable**) override
    {
        return NotProvided(L"IXmlDocument::CreateComment");
    }
    HRESULT STDMETHODCALLTYPE CreateProcessingInstruction(HSTRING, HSTRING, IInspectable**) override
    {
        return NotProvided(L"IXmlDocument::CreateProcessingInstruction");
    }
    HRESULT STDMETHODCALLTYPE CreateAttribute(HSTRING, IInspectable**) override
    {
        return NotProvided(L"IXmlDocument::CreateAttribute");
    }
    HRESULT STDMETHODCALLTYPE CreateEntityReference(HSTRING, IInspectable**) override
    {
        return NotProvided(L"IXmlDocument::CreateEntityReference");
    }
    HRESULT STDMETHODCALLTYPE GetElementsByTagName(HSTRING, IInspectable**) override
    {
        return NotProvided(L"IXmlDocument::GetElementsByTagName");
    }
    HRESULT STDMETHODCALLTYPE CreateCDataSection(HSTRING, IInspectable**) override
    {
        return NotProvided(L"IXmlDocument::CreateCDataSection");
    }
    HRESULT STDMETHODCALLTYPE get_DocumentUri(HSTRING* value) override
    {
        // Loaded from text, not from a location.
        return MakeHString(L"", value);
    }
    HRESULT STDMETHODCALLTYPE CreateAttributeNS(IInspectable*, HSTRING, IInspectable**) override
    {
        return NotProvided(L"IXmlDocument::CreateAttributeNS");
    }
    HRESULT STDMETHODCALLTYPE CreateElementNS(IInspectable*, HSTRING, IXmlElement**) override
    {
        return NotProvided(L"IXmlDocument::CreateElementNS");
    }
    HRESULT STDMETHODCALLTYPE GetElementById(HSTRING, IXmlElement**) override
    {
        return NotProvided(L"IXmlDocument::GetElementById");
    }
    HRESULT STDMETHODCALLTYPE ImportNode(IXmlNode*, boolean, IXmlNode**) override
    {
        return NotProvided(L"IXmlDocument::ImportNode");
    }

    // IXmlDocumentIO
    HRESULT STDMETHODCALLTYPE LoadXml(HSTRING xml) override
    {
        const Bstr text(TextOf(xml));
        VARIANT_BOOL loaded = VARIANT_FALSE;
        const HRESULT hr = m_dom->loadXML(text.Get(), &loaded);
        if (FAILED(hr))
        {
            return hr;
        }
        return loaded != VARIANT_FALSE ? S_OK : ParseErrorCode();
    }
    HRESULT STDMETHODCALLTYPE LoadXmlWithSettings(HSTRING, IInspectable*) override
    {
        return NotProvided(L"IXmlDocumentIO::LoadXmlWithSettings");
    }
    HRESULT STDMETHODCALLTYPE SaveToFileAsync(IInspectable*, IInspectable**) override
    {
        return NotProvided(L"IXmlDocumentIO::SaveToFileAsync");
    }

private:
    explicit XmlDocument(const ComRef<IXMLDOMDocument2>& dom) : m_dom(dom) {}

    // Malformed XML fails with MSXML's own parse error code, as the runtime's loader does.
    HRESULT ParseErrorCode() const
    {
        ComRef<IXMLDOMParseError> error;
        long code = 0;
        if (SUCCEEDED(m_dom->get_parseError(error.Put())) && error &&
            SUCCEEDED(error->get_errorCode(&code)) && FAILED(code))
        {
            return code;
        }
        return E_FAIL;
    }

    const wchar_t* RuntimeClassName() const override { return L"Windows.Data.Xml.Dom.XmlDocument"; }
    IXMLDOMNode* Dom() const override { return m_dom.Get(); }
    IXmlDocument* Owner() override { return this; }

    ComRef<IXMLDOMDocument2> m_dom;
};

HRESULT WrapNode(IXMLDOMNode* dom, IXmlDocument* owner, IXmlNode** out)
{
    *out = nullptr;
    if (dom == nullptr)
    {
        return S_OK;
    }
    DOMNodeType type = NODE_INVALID;
    dom->get_nodeType(&type);
    if (type == NODE_DOCUMENT)
    {
        // The document node is the XmlDocument object itself.
        return owner->QueryInterface(__uuidof(IXmlNode), reinterpret_cast<void**>(out));
    }
    XmlNode* node = new (std::nothrow) XmlNode(dom, owner);
    if (node == nullptr)
    {
        return E_OUTOFMEMORY;
    }
    *out = node;
    return S_OK;
}

} // namespace

HRESULT CreateXmlDocument(IInspectable** instance)
{
    return XmlDocument::Create(instance);
}

HRESULT DocumentXml(IXmlDocument* document, std::wstring& xml)
{
    if (document == nullptr)
    {
        return E_POINTER;
    }
    ComRef<IXmlNodeSerializer> serializer;
    HRESULT hr = ComRef<IXmlDocument>(document).As(serializer);
    if (FAILED(hr))
    {
        return hr;
    }
    HSTRING text = nullptr;
    hr = serializer->GetXml(&text);
    if (SUCCEEDED(hr))
    {
        xml = TextOf(text);
    }
    WindowsDeleteString(text);
    return hr;
}

} // namespace Platform
