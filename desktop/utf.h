// Conversions between UTF-8 and UTF-16 that need no system call.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillrun {

// Strict decoding: overlong forms, surrogates encoded in UTF-8, code points past U+10FFFF and
// truncated sequences make the whole input invalid (nullopt).
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);

// A lone surrogate has no UTF-8 form and becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace quillrun
