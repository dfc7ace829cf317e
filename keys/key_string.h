// Key strings: what SendKeyString is asked to type. Ten characters are reserved by the syntax
// (modifiers, Enter, grouping, key names); any character in braces types itself.
#pragma once

#include <string>
#include <string_view>

#include "desktop/result.h"

namespace quillrun {

inline constexpr std::u16string_view kKeySpecials = u"+^%~(){}[]";
// Sent after every line of the file.
inline constexpr std::u16string_view kLineEndKeys = u"\r\n";

// The key string that types `c` literally.
std::u16string EscapeKeyChar(char16_t c);

// The one character a key string types: a plain character, any character in braces, or the
// line end (returned as a carriage return). Quillrun never builds anything else, so anything
// else is refused rather than guessed at.
Result<char16_t> ParseKeyString(std::u16string_view keys);

}  // namespace quillrun
