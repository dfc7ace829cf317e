#include "text/language.h"

#include <algorithm>

namespace quillrun {
namespace {

// A blank's name is a lower-case word: "{" followed by anything else is text.
bool IsNameUnit(char16_t c) {
    return c >= u'a' && c <= u'z';
}

// The length of the blank that starts at `pattern[at]` (a "{"), or 0 if none starts there.
std::size_t BlankLength(std::u16string_view pattern, std::size_t at) {
    std::size_t end = at + 1;
    while (end < pattern.size() && IsNameUnit(pattern[end])) {
        ++end;
    }
    if (end == at + 1 || end == pattern.size() || pattern[end] != u'}') {
        return 0;
    }
    return end + 1 - at;
}

// Calls `text` for each run of plain text and `blank` for each blank's name, in order.
template <typename Text, typename OnBlank>
void Scan(std::u16string_view pattern, Text text, OnBlank blank) {
    std::size_t from = 0;
    for (std::size_t at = pattern.find(u'{'); at != std::u16string_view::npos;
         at = pattern.find(u'{', at + 1)) {
        const std::size_t length = BlankLength(pattern, at);
        if (length == 0) {
            continue;
        }
        text(pattern.substr(from, at - from));
        blank(pattern.substr(at + 1, length - 2));
        from = at + length;
        at = from - 1;
    }
    text(pattern.substr(from));
}

}  // namespace

std::u16string FillIn(std::u16string_view pattern, std::initializer_list<Blank> blanks) {
    std::u16string filled;
    filled.reserve(pattern.size());
    Scan(
        pattern, [&](std::u16string_view text) { filled += text; },
        [&](std::u16string_view name) {
            const auto* found = std::find_if(blanks.begin(), blanks.end(), [&](const Blank& blank) {
                return blank.name == name;
            });
            if (found != blanks.end()) {
                filled += found->value;
            } else {
                filled.append(u"{").append(name).append(u"}");
            }
        });
    return filled;
}

std::vector<std::u16string_view> BlanksOf(std::u16string_view pattern) {
    std::vector<std::u16string_view> names;
    Scan(
        pattern, [](std::u16string_view) {},
        [&](std::u16string_view name) { names.push_back(name); });
    return names;
}

}  // namespace quillrun
