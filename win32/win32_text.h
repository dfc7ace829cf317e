// The UTF-16 boundary: Quillrun's portable code holds char16_t text, Win32 takes wchar_t.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "desktop/result.h"

namespace quillrun::win32 {

inline std::wstring ToWide(std::u16string_view text) {
    return {text.begin(), text.end()};
}
inline std::u16string FromWide(std::wstring_view text) {
    return {text.begin(), text.end()};
}

// The system's message text for an error code, without the trailing line break.
std::u16string SystemMessage(DWORD code);

// A Failure for `operation` carrying GetLastError() and its message; call right after the
// failing API so that nothing in between overwrites the error code.
Failure LastErrorFailure(std::string operation);
Failure ErrorFailure(std::string operation, DWORD code);

// Text in a code page to UTF-16. Strict: bytes that are not valid there fail; otherwise every
// byte maps to some character, as the ANSI code pages of text files need.
Result<std::u16string> DecodeCodePageText(std::uint32_t codePage, std::string_view bytes,
                                          bool strict);
// UTF-16 to a code page; fails when a character has no representation there.
Result<std::string> EncodeCodePageText(std::uint32_t codePage, std::u16string_view text);

// A window's text of any length.
std::wstring WindowText(HWND window);

}  // namespace quillrun::win32
