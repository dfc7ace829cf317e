// Fuzzes the key-string rules and the keystroke plans made from them.
//
// Every character of a line, escaped, must parse back to itself; any other text given to the
// parser must either be refused or be one key, which written again reads the same. The plan for
// each character, on a layout the input makes up, must press and release in pairs and type the
// character once; with keys only, it must use keys alone, or be empty. The text read as a key
// sequence must never crash the reader, and a sequence it accepts must give keys that parse and
// plan, pressed and released in pairs.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "keys/key_sequence.h"
#include "keys/key_string.h"
#include "keys/keystrokes.h"
#include "tests/fuzz/fuzz_input.h"

namespace quillrun::fuzz {
namespace {

// A layout whose answers come from the fuzzer: any key for any character, true or not.
class ArbitraryLayout final : public KeyboardLayout {
  public:
    explicit ArbitraryLayout(FuzzInput& input) {
        for (std::uint8_t& b : table_) {
            b = input.Byte();
        }
    }
    [[nodiscard]] std::optional<LayoutKey> KeyFor(char16_t c) const override {
        const std::uint8_t b = At(c);
        if ((b & 0x80) != 0) {
            return std::nullopt;
        }
        return LayoutKey{static_cast<std::uint8_t>(0x30 + (b & 0x1F)),
                         static_cast<std::uint8_t>((b >> 5) & 0x07)};
    }
    [[nodiscard]] std::optional<char16_t> CharacterFrom(LayoutKey key,
                                                        bool capsLock) const override {
        const std::uint8_t b = At(static_cast<char16_t>(key.virtualKey * 8 + key.modifiers));
        if ((b & 0x01) != 0) {
            return std::nullopt;
        }
        // Sometimes the character asked for, sometimes another.
        return static_cast<char16_t>(capsLock ? b ^ 0x20 : b);
    }
    [[nodiscard]] bool IsDeadKey(LayoutKey key) const override {
        return (At(static_cast<char16_t>(key.virtualKey + key.modifiers)) & 0x06) == 0x06;
    }
    [[nodiscard]] std::optional<char16_t> ComposedFrom(LayoutKey dead,
                                                       LayoutKey base) const override {
        const std::uint8_t b = At(static_cast<char16_t>(dead.virtualKey ^ base.virtualKey));
        if ((b & 0x08) != 0) {
            return std::nullopt;
        }
        return static_cast<char16_t>(b + base.modifiers);
    }

  private:
    [[nodiscard]] std::uint8_t At(char16_t c) const { return table_[c % table_.size()]; }
    std::array<std::uint8_t, 16> table_{};
};

void CheckEscapeRoundTrip(char16_t c) {
    const std::u16string keys = EscapeKeyChar(c);
    auto parsed = ParseKeyString(keys);
    Require(parsed.ok() && parsed.value() == KeyChord::Typing(c));
}

void CheckParse(std::u16string_view keys) {
    auto parsed = ParseKeyString(keys);
    if (!parsed) {
        return;
    }
    auto again = ParseKeyString(KeyStringOf(parsed.value()));
    Require(again.ok() && again.value() == parsed.value());
}

// Presses and releases pair up, the releases in the reverse order of the presses.
void RequirePaired(const std::vector<KeyEvent>& events) {
    std::vector<KeyEvent> held;
    for (const KeyEvent& event : events) {
        if (!event.up) {
            held.push_back(event);
            continue;
        }
        Require(!held.empty() && held.back().kind == event.kind && held.back().code == event.code);
        held.pop_back();
    }
    Require(held.empty());
}

void CheckSequence(std::u16string_view text, const KeyboardLayout& layout) {
    const SequenceReading reading = ReadSequence(text);
    if (reading.error) {
        Require(reading.error->at.line >= 1 && reading.error->at.column >= 1);
        Require(!reading.error->piece.empty());
        return;
    }
    for (const SequenceStep& step : reading.steps) {
        Require(step.count >= 1 && step.count <= kMaxKeyRepeat);
        if (!step.key) {
            Require(step.wait.count() >= 1 && step.wait <= kMaxSequenceWait);
            continue;
        }
        // What is sent is the key string of the step's key, which must read back as that key.
        auto chord = ParseKeyString(KeyStringOf(*step.key));
        Require(chord.ok() && chord.value() == *step.key);
        const std::vector<KeyEvent> events = PlanChord(chord.value(), layout, false);
        // Only a shortcut needs a key the layout may lack.
        Require(!events.empty() || (chord.value().modifiers != 0 && !chord.value().key));
        RequirePaired(events);
    }
}

void CheckPlan(char16_t c, const KeyboardLayout& layout, bool capsLock, KeyMode mode) {
    const std::vector<KeyEvent> events = PlanKeystrokes(c, layout, capsLock, mode);
    if (events.empty()) {
        // No keys for it on this layout, or a control character, which is never typed.
        Require(mode == KeyMode::KeysOnly || IsNeverTypedControl(c));
        return;
    }
    Require(!IsNeverTypedControl(c));
    int typing = 0;
    for (const KeyEvent& event : events) {
        if (event.typesCharacter) {
            ++typing;
            Require(!event.up);
            if (event.kind == KeyEvent::Kind::Unicode) {
                Require(event.code == c);
            }
        }
        // Keys only means keys only; a dead key comes before the key that types.
        Require(mode == KeyMode::UnicodeWhereNeeded || event.kind == KeyEvent::Kind::VirtualKey);
        Require(!event.deadKey || (!event.up && !event.typesCharacter && typing == 0));
    }
    Require(typing == 1);
    RequirePaired(events);
    const RoundTrips trips = RoundTripsToHandle(events, 0);
    Require(trips.count >= 2 && trips.leftOver <= events.size() + 1);
}

}  // namespace
}  // namespace quillrun::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillrun;
    using namespace quillrun::fuzz;
    FuzzInput input(data, size);
    const bool capsLock = (input.Byte() & 1) != 0;
    const ArbitraryLayout layout(input);
    const std::u16string text = input.RestAsUtf16();
    for (const char16_t c : text) {
        CheckEscapeRoundTrip(c);
        CheckPlan(c, layout, capsLock, KeyMode::UnicodeWhereNeeded);
        CheckPlan(c, layout, capsLock, KeyMode::KeysOnly);
    }
    CheckParse(text);
    CheckSequence(text, layout);
    return 0;
}
