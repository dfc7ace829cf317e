// Case-blind search in text people read (window titles), where letters beyond ASCII have a case
// too: "Über" is found by "über".
#pragma once

#include <string_view>

namespace quillrun {

// The small letter of `c` for the Latin, Greek and Cyrillic alphabets and full-width Latin
// letters; any other character as it is.
[[nodiscard]] char16_t FoldCase(char16_t c);

// Whether `part` occurs in `text`, letters compared by FoldCase. An empty part occurs anywhere.
[[nodiscard]] bool ContainsIgnoringCase(std::u16string_view text, std::u16string_view part);

}  // namespace quillrun
