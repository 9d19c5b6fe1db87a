// The one conversion between the programs' UTF-8 text and the UTF-16 of the Windows "W"
// calls, for the Win32 sources only (the platform layer, the dialog, the console).
#pragma once

#include <string>
#include <string_view>

// The UTF-16 form of UTF-8 text; false when the text is not valid UTF-8 (such a name names
// nothing on Windows, so the call it was meant for fails).
bool utf8_to_wide(std::string_view text, std::wstring *out);

// The UTF-8 form of UTF-16 text; an unpaired surrogate becomes U+FFFD.
std::string wide_to_utf8(std::wstring_view text);
