#include "XmlDom.h"

#include "Msxml.h"

#include <new>

namespace Platform
{
namespace
{

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
    VWN_NOT_PROVIDED(IXmlNodeSelector, SelectNodes, (HSTRING, IInspectable**));
    VWN_NOT_PROVIDED(IXmlNodeSelector, SelectSingleNodeNS, (HSTRING, IInspectable*, IXmlNode**));
    VWN_NOT_PROVIDED(IXmlNodeSelector, SelectNodesNS, (HSTRING, IInspectable*, IInspectable**));

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
    VWN_NOT_PROVIDED(IXmlNode, get_NodeValue, (IInspectable**));
    VWN_NOT_PROVIDED(IXmlNode, put_NodeValue, (IInspectable*));
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
    VWN_NOT_PROVIDED(IXmlNode, get_ChildNodes, (IInspectable**));
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
    VWN_NOT_PROVIDED(IXmlNode, get_Attributes, (IInspectable**));
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
    VWN_NOT_PROVIDED(IXmlNode, InsertBefore, (IXmlNode*, IXmlNode*, IXmlNode**));
    VWN_NOT_PROVIDED(IXmlNode, ReplaceChild, (IXmlNode*, IXmlNode*, IXmlNode**));
    VWN_NOT_PROVIDED(IXmlNode, RemoveChild, (IXmlNode*, IXmlNode**));
    VWN_NOT_PROVIDED(IXmlNode, AppendChild, (IXmlNode*, IXmlNode**));
    VWN_NOT_PROVIDED(IXmlNode, CloneNode, (boolean, IXmlNode**));
    VWN_NOT_PROVIDED(IXmlNode, get_NamespaceUri, (IInspectable**));
    VWN_NOT_PROVIDED(IXmlNode, get_LocalName, (IInspectable**));
    VWN_NOT_PROVIDED(IXmlNode, get_Prefix, (IInspectable**));
    VWN_NOT_PROVIDED(IXmlNode, Normalize, ());
    VWN_NOT_PROVIDED(IXmlNode, put_Prefix, (IInspectable*));

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
        return m_owner.CopyTo(value);
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
    VWN_NOT_PROVIDED(IXmlElement, GetAttributeNode, (HSTRING, IInspectable**));
    VWN_NOT_PROVIDED(IXmlElement, SetAttributeNode, (IInspectable*, IInspectable**));
    VWN_NOT_PROVIDED(IXmlElement, RemoveAttributeNode, (IInspectable*, IInspectable**));
    VWN_NOT_PROVIDED(IXmlElement, GetElementsByTagName, (HSTRING, IInspectable**));
    VWN_NOT_PROVIDED(IXmlElement, SetAttributeNS, (IInspectable*, HSTRING, HSTRING));
    VWN_NOT_PROVIDED(IXmlElement, GetAttributeNS, (IInspectable*, HSTRING, HSTRING*));
    VWN_NOT_PROVIDED(IXmlElement, RemoveAttributeNS, (IInspectable*, HSTRING));
    VWN_NOT_PROVIDED(IXmlElement, SetAttributeNodeNS, (IInspectable*, IInspectable**));
    VWN_NOT_PROVIDED(IXmlElement, GetAttributeNodeNS, (IInspectable*, HSTRING, IInspectable**));

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
        const HRESULT hr = CreateDomDocument(dom);
        if (FAILED(hr))
        {
            return hr;
        }
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
    VWN_NOT_PROVIDED(IXmlDocument, get_Doctype, (IInspectable**));
    VWN_NOT_PROVIDED(IXmlDocument, get_Implementation, (IInspectable**));
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
    VWN_NOT_PROVIDED(IXmlDocument, CreateElement, (HSTRING, IXmlElement**));
    VWN_NOT_PROVIDED(IXmlDocument, CreateDocumentFragment, (IInspectable**));
    VWN_NOT_PROVIDED(IXmlDocument, CreateTextNode, (HSTRING, IInspectable**));
    VWN_NOT_PROVIDED(IXmlDocument, CreateComment, (HSTRING, IInspectable**));
    VWN_NOT_PROVIDED(IXmlDocument, CreateProcessingInstruction, (HSTRING, HSTRING, IInspectable**));
    VWN_NOT_PROVIDED(IXmlDocument, CreateAttribute, (HSTRING, IInspectable**));
    VWN_NOT_PROVIDED(IXmlDocument, CreateEntityReference, (HSTRING, IInspectable**));
    VWN_NOT_PROVIDED(IXmlDocument, GetElementsByTagName, (HSTRING, IInspectable**));
    VWN_NOT_PROVIDED(IXmlDocument, CreateCDataSection, (HSTRING, IInspectable**));
    HRESULT STDMETHODCALLTYPE get_DocumentUri(HSTRING* value) override
    {
        // Loaded from text, not from a location.
        return MakeHString(L"", value);
    }
    VWN_NOT_PROVIDED(IXmlDocument, CreateAttributeNS, (IInspectable*, HSTRING, IInspectable**));
    VWN_NOT_PROVIDED(IXmlDocument, CreateElementNS, (IInspectable*, HSTRING, IXmlElement**));
    VWN_NOT_PROVIDED(IXmlDocument, GetElementById, (HSTRING, IXmlElement**));
    VWN_NOT_PROVIDED(IXmlDocument, ImportNode, (IXmlNode*, boolean, IXmlNode**));

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
    VWN_NOT_PROVIDED(IXmlDocumentIO, LoadXmlWithSettings, (HSTRING, IInspectable*));
    VWN_NOT_PROVIDED(IXmlDocumentIO, SaveToFileAsync, (IInspectable*, IInspectable**));

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
