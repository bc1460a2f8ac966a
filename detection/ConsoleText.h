#pragma once

#include <string>

// What the tool console receives for a wide command: one byte per UTF-16
// code unit, its low byte (U+00E9 gives 0xE9, U+4E2D gives 0x2D).
std::string NarrowToLowBytes(const std::wstring& text);
