// Text that may be a secret (a password copied or piped in) is overwritten before its memory
// goes back: a plain release leaves the bytes for whoever gets the memory next.
#pragma once

#include <cstddef>

namespace quillrun {

// Overwrites every unit of `text` with zeros in a way the compiler cannot drop as a dead store.
template <class Text>
void Wipe(Text& text) {
    volatile auto* units = text.data();
    for (std::size_t i = 0; i < text.size(); ++i) {
        units[i] = 0;
    }
}

}  // namespace quillrun
