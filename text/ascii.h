// Small rules for text that people write by hand (settings lines, key names, a program line),
// where only ASCII letters have a case and only spaces and tabs are blanks.
#pragma once

#include <string_view>

namespace quillrun {

// Whether `a` and `b` are the same but for the case of ASCII letters.
bool SameIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);

// `text` without the spaces and tabs at either end.
std::u16string_view TrimBlanks(std::u16string_view text);

}  // namespace quillrun
