// Text that may be a secret (a password copied or piped in) is overwritten before its memory
// goes back: a plain release leaves the bytes for whoever gets the memory next.
#pragma once

#include <cstddef>

namespace quillrun {

// Tests watch what is wiped: called with each text's bytes just before they are overwritten.
inline void (*wipeWatcher)(const void* data, std::size_t bytes) = nullptr;

// Overwrites every unit of `text` with zeros in a way the compiler cannot drop as a dead store.
template <class Text>
void Wipe(Text& text) {
    if (wipeWatcher != nullptr) {
        wipeWatcher(text.data(), text.size() * sizeof(*text.data()));
    }
    volatile auto* units = text.data();
    for (std::size_t i = 0; i < text.size(); ++i) {
        units[i] = 0;
    }
}

}  // namespace quillrun
