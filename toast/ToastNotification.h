#pragma once

#include <string>

// Builds a toast from the fixed template and shows it under the registered
// identity. Raises WinRtError with the platform's HRESULT on any failure.
void ShowToastNotification(const std::wstring& title, const std::wstring& body,
                           const std::wstring& imagePath);
