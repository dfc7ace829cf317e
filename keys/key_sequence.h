// Key sequences: a text written in the key-string notation, read as the keys it names. "+", "^"
// and "%" hold Shift, Ctrl and Alt for the next key or "(...)" group, "~" is Enter, "{NAME}"
// and "{NAME n}" press a named key once or n times, "{WAIT n}" waits n ms, and "{+}" and the
// like type the reserved characters. Line ends are not typed, so that a sequence can be laid
// out on lines.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "keys/key_string.h"

namespace quillrun {

// A place in a text: its line and column from 1, in characters (a surrogate pair is one).
struct TextPlace {
    std::uint64_t line = 1;
    std::uint64_t column = 1;

    friend bool operator==(const TextPlace&, const TextPlace&) = default;
    friend bool operator<(const TextPlace& a, const TextPlace& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    }
    friend bool operator<=(const TextPlace& a, const TextPlace& b) { return !(b < a); }
};

// The longest repeat and wait a sequence may ask for.
inline constexpr std::uint32_t kMaxKeyRepeat = 1000;
inline constexpr std::chrono::milliseconds kMaxSequenceWait{600000};

// One thing a sequence asks for: a key pressed `count` times, or a wait.
struct SequenceStep {
    std::optional<KeyChord> key;  // one key with its modifiers; none for a wait
    std::uint32_t count = 1;
    std::chrono::milliseconds wait{0};
    // Where the piece of the text it belongs to begins: its first modifier, or the modifier
    // of its group. A run that stops part way through a piece takes it up from there, never
    // in the middle of a "{...}" or a group.
    TextPlace at;

    // Enter alone ("~" or "{ENTER}"), after which the wait after each line comes.
    [[nodiscard]] bool IsEnter() const {
        return key && key->modifiers == 0 && key->key && key->key->name == u"ENTER";
    }

    friend bool operator==(const SequenceStep&, const SequenceStep&) = default;
};

enum class SequenceFault {
    UnknownKey,          // "{...}" names no key
    UnclosedBrace,       // "{" without "}" on its line
    UnopenedBrace,       // "}" that no "{" opened
    UnclosedGroup,       // "(" without ")" before the end of the text
    UnopenedGroup,       // ")" that no "(" opened
    NestedGroup,         // "(" inside a group
    Bracket,             // "[" or "]", reserved: "{[}" and "{]}" type them
    CountOutOfRange,     // "{NAME n}" with n not from 1 to kMaxKeyRepeat
    WaitOutOfRange,      // "{WAIT n}" with n not from 1 to kMaxSequenceWait
    ModifierWithoutKey,  // "+", "^" or "%" with no key or group after it on its line
    CtrlAltDelete,       // only Windows itself can send it
    ControlCharacter,    // a control character, which is never typed: "{BS}" and the like press
                         // those keys
};

struct SequenceError {
    SequenceFault fault = SequenceFault::UnknownKey;
    std::u16string piece;  // the text at fault, as written
    TextPlace at;

    friend bool operator==(const SequenceError&, const SequenceError&) = default;
};

// Reads a sequence part by part, as a text reader hands out a file, holding no more of it
// than one unfinished piece: the whole text is checked before anything is typed without
// being kept in memory.
class SequenceReader {
  public:
    // The next part of the text: units of the current line, and whether the line ends after
    // them. Appends the steps it completes to `steps`; the first fault ends the reading.
    [[nodiscard]] std::optional<SequenceError> Read(std::u16string_view units, bool endsLine,
                                                    std::vector<SequenceStep>& steps);
    // At the end of the text: a group, brace or modifier left open is a fault.
    [[nodiscard]] std::optional<SequenceError> Finish() const;
    // Where the next step's piece begins: where typing would be taken up again if it stopped
    // after the steps read so far.
    [[nodiscard]] TextPlace NextPlace() const;

  private:
    [[nodiscard]] std::optional<SequenceError> Take(char16_t c, std::vector<SequenceStep>& steps);
    [[nodiscard]] std::optional<SequenceError> TakeBrace(std::vector<SequenceStep>& steps);
    // A key as `written` at `writtenAt`, with the modifiers held for it.
    [[nodiscard]] std::optional<SequenceError> AddKey(std::u16string_view written,
                                                      TextPlace writtenAt, KeyChord chord,
                                                      std::uint32_t count,
                                                      std::vector<SequenceStep>& steps);

    TextPlace place_;  // of the next unit
    bool afterCarriageReturn_ = false;
    bool afterHighSurrogate_ = false;  // the next unit may be the second half of a character
    std::u16string brace_;             // an unfinished "{...}", as written so far
    TextPlace braceAt_;
    std::uint8_t modifiers_ = 0;  // held for the next key or group
    std::u16string modifierText_;
    TextPlace modifiersAt_;
    bool inGroup_ = false;
    bool groupHasKey_ = false;
    std::uint8_t groupModifiers_ = 0;
    std::u16string groupText_;  // its modifiers, as written
    TextPlace groupAt_;
};

// Reads a whole sequence held in memory: its steps, or its first fault.
struct SequenceReading {
    std::vector<SequenceStep> steps;
    std::optional<SequenceError> error;
};
SequenceReading ReadSequence(std::u16string_view text);

}  // namespace quillrun
