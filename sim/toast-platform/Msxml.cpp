#include "Msxml.h"

namespace Platform
{

HRESULT CreateDomDocument(ComRef<IXMLDOMDocument2>& dom)
{
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
        dom.Reset();
        return hr;
    }
    dom->put_preserveWhiteSpace(VARIANT_TRUE);
    dom->put_resolveExternals(VARIANT_FALSE);
    dom->put_validateOnParse(VARIANT_FALSE);
    dom->put_async(VARIANT_FALSE);
    return S_OK;
}

} // namespace Platform
