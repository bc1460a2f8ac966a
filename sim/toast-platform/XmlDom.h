#pragma once

#include "PlatformInterfaces.h"

#include <string>

namespace Platform
{

// A new, empty Windows.Data.Xml.Dom.XmlDocument built on MSXML 3 (XPath
// selection, blanks between elements kept as text, as the runtime keeps them).
HRESULT CreateXmlDocument(IInspectable** instance);

// The document's XML as IXmlNodeSerializer::GetXml gives it.
HRESULT DocumentXml(IXmlDocument* document, std::wstring& xml);

} // namespace Platform
