#pragma once

#include <windows.h>

// The keep-or-delete decision on a folder's owner: true for Administrators and
// LocalSystem only. A null owner is not trusted.
bool IsTrustedOwner(PSID owner);
