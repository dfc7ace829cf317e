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

// Wipes a text when it goes out of scope, if it holds a secret.
template <class Text>
class WipedOnExit {
  public:
    explicit WipedOnExit(Text& text, bool secret = true) : text_(text), secret_(secret) {}
    WipedOnExit(const WipedOnExit&) = delete;
    WipedOnExit& operator=(const WipedOnExit&) = delete;
    ~WipedOnExit() {
        if (secret_) {
            Wipe(text_);
        }
    }

  private:
    Text& text_;
    bool secret_;
};

// Appends `more` to `text`. A text that must grow moves into a buffer of its own and the old
// one is wiped: a string growing by itself would let go of its old buffer as it stands.
template <class Text, class View>
void AppendWiping(Text& text, View more) {
    if (text.size() + more.size() > text.capacity()) {
        Text larger;
        larger.reserve(2 * (text.size() + more.size()));
        larger.append(text);
        Wipe(text);
        text.swap(larger);
    }
    text.append(more);
}

}  // namespace quillrun
