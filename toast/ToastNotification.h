#pragma once

#include <windows.h>

#include <shellapi.h>

#include <string>

// Builds a toast from the fixed template and shows it under the registered
// identity. Raises WinRtError with the platform's HRESULT on any failure.
// Shows it also when Windows will not display it, may hold it back (Windows 11's
// notification modes) or shows it only to the notification centre, and then logs
// one line that says why.
void ShowToastNotification(const std::wstring& title, const std::wstring& body,
                           const std::wstring& imagePath);

// How the user's notification state is asked before each toast: the system's
// SHQueryUserNotificationState unless replaced (tests); null restores it.
using UserNotificationStateQuery = HRESULT(WINAPI*)(QUERY_USER_NOTIFICATION_STATE* state);
void SetUserNotificationStateQuery(UserNotificationStateQuery query);
