#include "keys/key_sequence.h"

#include <utility>

#include "keys/key_string.h"

namespace quillrun {
namespace {

// The longest "{...}" worth reading on: a key's name, a space and a count, or a wait.
constexpr std::size_t kMaxBraceUnits = 32;

std::uint8_t ModifierBit(char16_t c) {
    switch (c) {
        case u'+':
            return kShiftBit;
        case u'^':
            return kControlBit;
        case u'%':
            return kAltBit;
        default:
            return 0;
    }
}

// A count of 1 to 7 decimal digits; nothing for anything else.
std::optional<std::uint32_t> Count(std::u16string_view digits) {
    if (digits.empty() || digits.size() > 7) {
        return std::nullopt;
    }
    std::uint32_t count = 0;
    for (const char16_t c : digits) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        count = count * 10 + static_cast<std::uint32_t>(c - u'0');
    }
    return count;
}

bool IsWait(std::u16string_view name) {
    return name.size() == 4 && (name[0] | 0x20) == u'w' && (name[1] | 0x20) == u'a' &&
           (name[2] | 0x20) == u'i' && (name[3] | 0x20) == u't';
}

SequenceError Fault(SequenceFault fault, std::u16string piece, TextPlace at) {
    return SequenceError{.fault = fault, .piece = std::move(piece), .at = at};
}

}  // namespace

std::optional<SequenceError> SequenceReader::Read(std::u16string_view units, bool endsLine,
                                                  std::vector<SequenceStep>& steps) {
    for (const char16_t c : units) {
        if (auto error = Take(c, steps)) {
            return error;
        }
    }
    if (endsLine) {
        return Take(u'\n', steps);
    }
    return std::nullopt;
}

std::optional<SequenceError> SequenceReader::Take(char16_t c, std::vector<SequenceStep>& steps) {
    TextPlace at = place_;
    // A line feed after a carriage return ends the same line.
    if (std::exchange(afterCarriageReturn_, c == u'\r') && c == u'\n') {
        return std::nullopt;
    }
    const bool lineEnd = c == u'\r' || c == u'\n';
    // The second half of a surrogate pair is in the column of its first.
    const bool secondHalf = std::exchange(afterHighSurrogate_, c >= 0xD800 && c <= 0xDBFF) &&
                            c >= 0xDC00 && c <= 0xDFFF;
    if (lineEnd) {
        ++place_.line;
        place_.column = 1;
    } else if (secondHalf) {
        --at.column;
    } else {
        ++place_.column;
    }
    if (!brace_.empty()) {
        // The first character after "{" is a name of its own, whatever it is: "{}}".
        if (lineEnd || brace_.size() > kMaxBraceUnits) {
            return Fault(SequenceFault::UnclosedBrace, brace_, braceAt_);
        }
        brace_ += c;
        if (c == u'}' && brace_.size() > 2) {
            return TakeBrace(steps);
        }
        return std::nullopt;
    }
    if (lineEnd) {
        if (modifiers_ != 0) {
            return Fault(SequenceFault::ModifierWithoutKey, modifierText_, modifiersAt_);
        }
        return std::nullopt;
    }
    if (const std::uint8_t bit = ModifierBit(c); bit != 0) {
        if (modifiers_ == 0) {
            modifiersAt_ = at;
            modifierText_.clear();
        }
        modifiers_ |= bit;
        modifierText_ += c;
        return std::nullopt;
    }
    switch (c) {
        case u'{':
            brace_ = u"{";
            braceAt_ = at;
            return std::nullopt;
        case u'(':
            if (inGroup_) {
                return Fault(SequenceFault::NestedGroup, u"(", at);
            }
            inGroup_ = true;
            groupHasKey_ = false;
            groupModifiers_ = modifiers_;
            groupText_ = modifierText_;
            groupAt_ = modifiers_ != 0 ? modifiersAt_ : at;
            modifiers_ = 0;
            return std::nullopt;
        case u')':
            if (!inGroup_) {
                return Fault(SequenceFault::UnopenedGroup, u")", at);
            }
            if (modifiers_ != 0) {
                return Fault(SequenceFault::ModifierWithoutKey, modifierText_, modifiersAt_);
            }
            if (groupModifiers_ != 0 && !groupHasKey_) {
                return Fault(SequenceFault::ModifierWithoutKey, groupText_ + u"()", groupAt_);
            }
            inGroup_ = false;
            groupModifiers_ = 0;
            return std::nullopt;
        case u'}':
            return Fault(SequenceFault::UnopenedBrace, u"}", at);
        case u'[':
        case u']':
            return Fault(SequenceFault::Bracket, std::u16string(1, c), at);
        case u'~':
            return AddKey(u"~", at, KeyChord::Pressing(*FindNamedKey(u"ENTER")), 1, steps);
        case u'\t':
            break;  // the Tab key
        default:
            if (IsNeverTypedControl(c)) {
                return Fault(SequenceFault::ControlCharacter, std::u16string(1, c), at);
            }
            break;
    }
    return AddKey(std::u16string_view(&c, 1), at, KeyChord::Typing(c), 1, steps);
}

std::optional<SequenceError> SequenceReader::TakeBrace(std::vector<SequenceStep>& steps) {
    const std::u16string written = std::move(brace_);
    brace_.clear();
    std::u16string_view inside = std::u16string_view(written).substr(1, written.size() - 2);
    std::uint32_t count = 1;
    bool counted = false;
    // "{NAME n}": the count after the last space; a space of its own is "{ }".
    if (const std::size_t space = inside.rfind(u' ');
        space != std::u16string_view::npos && space > 0 && space + 1 < inside.size()) {
        if (const auto n = Count(inside.substr(space + 1))) {
            count = *n;
            counted = true;
            inside = inside.substr(0, space);
        }
    }
    if (IsWait(inside)) {
        if (!counted || count == 0 || count > kMaxSequenceWait.count()) {
            return Fault(SequenceFault::WaitOutOfRange, written, braceAt_);
        }
        if (modifiers_ != 0) {
            return Fault(SequenceFault::ModifierWithoutKey, modifierText_, modifiersAt_);
        }
        steps.push_back(SequenceStep{.key = std::nullopt,
                                     .count = 1,
                                     .wait = std::chrono::milliseconds(count),
                                     .at = inGroup_ ? groupAt_ : braceAt_});
        return std::nullopt;
    }
    if (counted && (count == 0 || count > kMaxKeyRepeat)) {
        return Fault(SequenceFault::CountOutOfRange, written, braceAt_);
    }
    if (inside.size() == 1) {
        if (IsNeverTypedControl(inside[0])) {
            return Fault(SequenceFault::ControlCharacter, std::u16string(1, inside[0]), braceAt_);
        }
        return AddKey(written, braceAt_, KeyChord::Typing(inside[0]), count, steps);
    }
    const std::optional<NamedKey> key = FindNamedKey(inside);
    if (!key) {
        return Fault(SequenceFault::UnknownKey, written, braceAt_);
    }
    return AddKey(written, braceAt_, KeyChord::Pressing(*key), count, steps);
}

std::optional<SequenceError> SequenceReader::AddKey(std::u16string_view written,
                                                    TextPlace writtenAt, KeyChord chord,
                                                    std::uint32_t count,
                                                    std::vector<SequenceStep>& steps) {
    const bool ownModifiers = modifiers_ != 0;
    chord.modifiers = static_cast<std::uint8_t>(modifiers_ | groupModifiers_);
    modifiers_ = 0;
    groupHasKey_ = true;
    constexpr std::uint8_t kCtrlAlt = kControlBit | kAltBit;
    if (chord.key && chord.key->name == u"DELETE" && (chord.modifiers & kCtrlAlt) == kCtrlAlt) {
        return ownModifiers
                   ? Fault(SequenceFault::CtrlAltDelete, modifierText_ + std::u16string(written),
                           modifiersAt_)
                   : Fault(SequenceFault::CtrlAltDelete, std::u16string(written), writtenAt);
    }
    const TextPlace at = inGroup_ ? groupAt_ : ownModifiers ? modifiersAt_ : writtenAt;
    steps.push_back(SequenceStep{.key = chord, .count = count, .wait = {}, .at = at});
    return std::nullopt;
}

std::optional<SequenceError> SequenceReader::Finish() const {
    if (!brace_.empty()) {
        return Fault(SequenceFault::UnclosedBrace, brace_, braceAt_);
    }
    if (modifiers_ != 0) {
        return Fault(SequenceFault::ModifierWithoutKey, modifierText_, modifiersAt_);
    }
    if (inGroup_) {
        return Fault(SequenceFault::UnclosedGroup, u"(", groupAt_);
    }
    return std::nullopt;
}

TextPlace SequenceReader::NextPlace() const {
    if (inGroup_) {
        return groupAt_;
    }
    if (modifiers_ != 0) {
        return modifiersAt_;
    }
    return brace_.empty() ? place_ : braceAt_;
}

SequenceReading ReadSequence(std::u16string_view text) {
    SequenceReading reading;
    SequenceReader reader;
    reading.error = reader.Read(text, false, reading.steps);
    if (!reading.error) {
        reading.error = reader.Finish();
    }
    return reading;
}

}  // namespace quillrun
