#pragma once

#include <string>

// The program reads its installed version in the 32-bit registry view. Windows 7 and later
// share the dependency key between the views; where the views are kept apart (Wine does),
// the 32-bit one needs its own copy of "Version", which these write and remove.
bool WriteVersionIn32BitView(const std::wstring& version);
// Removes the value, and the key once it holds nothing else. Missing ones are fine.
bool RemoveVersionFrom32BitView();
