#include "text/case_fold.h"

#include <algorithm>

namespace quillrun {

char16_t FoldCase(char16_t c) {
    const auto plus = [c](int offset) { return static_cast<char16_t>(c + offset); };
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||  // Latin-1
        (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||                           // Greek
        (c >= 0x410 && c <= 0x42F) || (c >= 0xFF21 && c <= 0xFF3A)) {         // Cyrillic, full width
        return plus(0x20);
    }
    if (c >= 0x400 && c <= 0x40F) {
        return plus(0x50);  // Cyrillic Ё, Ђ ... Џ
    }
    // Latin Extended-A: capital and small side by side, the capital even until ı, odd from Ĺ
    // to ň, even again until ŷ, odd from Ź.
    const bool evenCapital = (c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) ||
                             (c >= 0x14A && c <= 0x177);
    const bool oddCapital = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((evenCapital && c % 2 == 0) || (oddCapital && c % 2 == 1)) {
        return plus(1);
    }
    if (c == 0x178) {
        return 0xFF;  // Ÿ
    }
    return c;
}

bool ContainsIgnoringCase(std::u16string_view text, std::u16string_view part) {
    const auto same = [](char16_t a, char16_t b) { return FoldCase(a) == FoldCase(b); };
    return std::search(text.begin(), text.end(), part.begin(), part.end(), same) != text.end();
}

}  // namespace quillrun
