// UTF-8 and UTF-16 text for the Windows side of the platform layer (platform_win.cpp,
// replace_file_win.cpp): the programs name files in UTF-8, Windows in UTF-16.
#pragma once

#include <string>

// The UTF-16 form of the UTF-8 `text` in *out; false (and *out empty) when `text` is
// not valid UTF-8, which no file name converted from Windows ever is.
bool utf8_to_wide(const char* text, std::wstring* out);

// The UTF-8 form of the UTF-16 `text`. A lone surrogate, which Windows allows in file
// names, becomes U+FFFD: such a name cannot be written in UTF-8 at all.
std::string wide_to_utf8(const wchar_t* text);
