#pragma once

#include <string>

namespace Platform
{

// With VWN_TOAST_POPUP set to "1", shows the toast described by `xml` for
// about five seconds in the lower right corner of the screen, on a thread of
// its own: the logo from the first image's "src" cropped to a circle, the
// first text in bold, the second under it. Returns at once.
void ShowPopup(const std::wstring& appId, const std::wstring& xml);

} // namespace Platform
