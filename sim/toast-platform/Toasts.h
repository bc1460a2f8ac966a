#pragma once

#include <windows.h>
#include <activation.h>

namespace Platform
{

// The activation factories of the three runtime classes this DLL provides;
// each lives until the process ends. Null for any other class name.
IActivationFactory* XmlDocumentFactory();
IActivationFactory* ToastNotificationFactory();
IActivationFactory* ToastNotificationManagerFactory();

} // namespace Platform
