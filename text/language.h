// The languages Quillrun speaks, and its texts in each: a message is written once per language
// as a pattern with named blanks, so that each language keeps its own word order.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/desktop_services.h"

namespace quillrun {

// One text in each language. Blanks are written "{name}".
struct Localized {
    std::u16string_view english;
    std::u16string_view japanese;

    [[nodiscard]] constexpr std::u16string_view In(Language language) const {
        return language == Language::Japanese ? japanese : english;
    }
};

// What fills the blank `name`.
struct Blank {
    std::u16string_view name;
    std::u16string_view value;
};

// `pattern` with each blank filled. Values go in as they are, never read for blanks themselves
// (a program's path may hold braces); a blank without a value, and a brace that opens no blank,
// stay as written.
std::u16string FillIn(std::u16string_view pattern, std::initializer_list<Blank> blanks);

// The names of the blanks in `pattern`, in order.
std::vector<std::u16string_view> BlanksOf(std::u16string_view pattern);

}  // namespace quillrun
