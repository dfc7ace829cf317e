// From one character to the key events that type it. Pure rules: the desktop supplies what the
// target's keyboard layout says and carries the events out.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

#include "desktop/desktop_services.h"
#include "keys/key_string.h"

namespace quillrun {

// Windows virtual-key codes the rules need by name.
namespace vk {
inline constexpr std::uint8_t kTab = 0x09;
inline constexpr std::uint8_t kReturn = 0x0D;
inline constexpr std::uint8_t kShift = 0x10;
inline constexpr std::uint8_t kControl = 0x11;
inline constexpr std::uint8_t kAlt = 0x12;
// The right Alt key, AltGr on the layouts that have one; pressed with its scan code and E0.
inline constexpr std::uint8_t kRightAlt = 0xA5;
inline constexpr std::uint8_t kRightAltScanCode = 0x38;
}  // namespace vk

// A key on the layout and the modifiers held with it.
struct LayoutKey {
    std::uint8_t virtualKey = 0;
    std::uint8_t modifiers = 0;

    friend bool operator==(const LayoutKey&, const LayoutKey&) = default;
};

class LayoutKeys;

// What the target's keyboard layout says; the Win32 desktop asks the system.
class KeyboardLayout {
  public:
    KeyboardLayout();
    virtual ~KeyboardLayout();
    KeyboardLayout(const KeyboardLayout&) = delete;
    KeyboardLayout& operator=(const KeyboardLayout&) = delete;

    // The key (and modifiers) that the layout lists for `c`, if any.
    [[nodiscard]] virtual std::optional<LayoutKey> KeyFor(char16_t c) const = 0;
    // The one character that pressing `key` produces with Caps Lock as given; nothing for a
    // dead key, a key that produces no character, or several characters.
    [[nodiscard]] virtual std::optional<char16_t> CharacterFrom(LayoutKey key,
                                                                bool capsLock) const = 0;
    // Whether `key` is a dead key: one that types nothing itself but changes the next key's
    // character (an accent).
    [[nodiscard]] virtual bool IsDeadKey(LayoutKey key) const = 0;
    // The one character that `base` produces right after the dead key `dead` (Caps Lock off).
    [[nodiscard]] virtual std::optional<char16_t> ComposedFrom(LayoutKey dead,
                                                               LayoutKey base) const = 0;

    // Every character the layout's keys type, found by pressing them all: worked out on first
    // use and kept, since it takes hundreds of questions to the layout.
    [[nodiscard]] const LayoutKeys& AllKeys() const;

  private:
    mutable std::unique_ptr<LayoutKeys> allKeys_;
};

// A dead key and the key pressed after it, which together type one character.
struct ComposedKeys {
    LayoutKey dead;
    LayoutKey base;

    friend bool operator==(const ComposedKeys&, const ComposedKeys&) = default;
};

// The characters a layout types, from the keys themselves: the keys that type text, each alone,
// with Shift, with AltGr and with both, and each dead key followed by any of those. Where
// several keys type a character, the one with fewer modifiers wins, then the lower key code.
class LayoutKeys {
  public:
    explicit LayoutKeys(const KeyboardLayout& layout);
    // A key that types `c` by itself (Caps Lock off).
    [[nodiscard]] std::optional<LayoutKey> KeyFor(char16_t c) const;
    // A dead key and a key after it that type `c` (Caps Lock off).
    [[nodiscard]] std::optional<ComposedKeys> ComposedKeysFor(char16_t c) const;

  private:
    std::unordered_map<char16_t, LayoutKey> keys_;
    std::unordered_map<char16_t, ComposedKeys> composed_;
};

struct KeyEvent {
    enum class Kind : std::uint8_t {
        VirtualKey,  // a real key: `code` is its virtual-key code
        Unicode,     // a character the system delivers without a key: `code` is the UTF-16 unit
    };
    Kind kind = Kind::VirtualKey;
    std::uint16_t code = 0;
    bool up = false;
    // The press that makes the target's message loop produce the typed character; for a named
    // key, which may produce none, its own press: the one the keystroke is waited for.
    bool typesCharacter = false;
    // The press of a dead key: translating it posts a dead-character message behind it.
    bool deadKey = false;
    // A named key's scan code and E0 prefix; 0: the layout's scan code for `code`.
    std::uint8_t scanCode = 0;
    bool extended = false;

    friend bool operator==(const KeyEvent&, const KeyEvent&) = default;
};

// Caps Lock as the target's key state has it; nullopt when that state cannot be read (a console
// window, whose input Quillrun cannot share), in which case no key whose character Caps Lock
// changes is used.
using CapsLock = std::optional<bool>;

// How to type into a window whose thread's keyboard layout the system does not report.
// For a classic console window GetKeyboardLayout of the thread that GetWindowThreadProcessId
// names (the console program's) returns 0, and the layout functions then answer for US English:
// a French console would get "&" for "1". The console takes a Unicode event as the character
// itself on any layout (its input record carries the character, with VK_PACKET as the key), so
// everything but Enter and Tab goes so. With keys only there is no Unicode event to fall back
// on: the keys come from Quillrun's own layout, which is the user's current one wherever
// Windows keeps one input language for all windows (its default since Windows 8). Returns the
// mode to plan with; the layout is Quillrun's own either way.
KeyMode ModeForUnknownLayout(KeyMode chosen);

// The layout key that really produces `c` with Caps Lock as it is, or nothing when `c` must go
// as a Unicode event: not on the layout, a dead key, or modifiers other than Shift and AltGr
// (Ctrl+Alt); Ctrl or Alt alone would reach programs as shortcuts, not text.
std::optional<LayoutKey> ChooseLayoutKey(char16_t c, const KeyboardLayout& layout,
                                         CapsLock capsLock);

// The events that type `c`: Enter for a carriage return or line feed, Tab for a tab, the layout
// key with its modifiers pressed around it (AltGr as the right Alt key), or a Unicode event.
// Other control characters get no events in any mode: programs take them as editing commands
// (a backspace deletes, Ctrl+Z undoes). Every key pressed is released again in the same plan.
// With KeysOnly, a character that only a dead key and the key after it type goes as those two;
// and a character the layout cannot type as keys gets no events at all.
std::vector<KeyEvent> PlanKeystrokes(char16_t c, const KeyboardLayout& layout, CapsLock capsLock,
                                     KeyMode mode = KeyMode::UnicodeWhereNeeded);

// The events that type `chord`: a character alone as PlanKeystrokes plans it; a character with
// modifiers as the layout key that types it (Caps Lock aside) with them added, since a
// shortcut is a key and cannot go as a Unicode event; a named key as itself, with its scan
// code, in any mode. The modifiers are pressed before the key and let go after it, in reverse.
// A shortcut's Ctrl and Alt are the left keys, a real Ctrl+Alt; only the layout's AltGr level
// is the right Alt key.
// Empty when the layout has no key for a character that needs one.
std::vector<KeyEvent> PlanChord(const KeyChord& chord, const KeyboardLayout& layout,
                                CapsLock capsLock, KeyMode mode = KeyMode::UnicodeWhereNeeded);

// Pacing by round trips: a message sent to the target's thread is answered at that thread's
// next message-loop turn, before it takes its next queued message. So the k-th of a series of
// round trips, each sent once the one before is answered, is answered no earlier than the turn
// that takes the k-th queued message, and R round trips prove the first R - 1 messages handled.
struct RoundTrips {
    std::size_t count = 0;     // round trips that prove the character handled
    std::size_t leftOver = 0;  // messages of these events that may then still be queued

    friend bool operator==(const RoundTrips&, const RoundTrips&) = default;
};

// The messages `events` put in the target's queue: one for each key event, one more for the
// character message that translating the typing press (or a dead key's) posts behind it, and
// one more for the left Ctrl press or release that Windows adds to the right Alt's on a layout
// with AltGr. Where the layout has none (a far side's AltGr key typed on this computer's US
// layout), that one is too many, which only costs a round trip.
std::size_t QueuedMessages(std::span<const KeyEvent> events);

// The round trips that prove the character typed by `events` handled. `queuedBefore` messages
// may wait ahead of them (left over from the keystroke before, or keys released first). The
// messages are those QueuedMessages counts. One more covers events still on their way from the
// system's input queue to the target's.
RoundTrips RoundTripsToHandle(std::span<const KeyEvent> events, std::size_t queuedBefore);

// How long after a shortcut or a named key went out, with the target answering all the while,
// it may be taken as kept by Windows or another program: a hot key's press is not passed on to
// the window in front (RegisterHotKey: the system posts WM_HOTKEY to the registering thread
// instead; Windows keeps Print Screen so), and so the target never reads it. Long enough that
// a key still on its way from the system's input queue on a busy computer has arrived.
inline constexpr std::chrono::milliseconds kKeptElsewhereAfter{1000};

// Whether a shortcut or named key (`mayBeHotKey`) whose `events` the target has not been seen
// to read was kept elsewhere: the target answered more round trips than reading it takes
// (see RoundTripsToHandle, `queuedBefore` messages ahead of it), and kKeptElsewhereAfter has
// passed. A character alone is never a hot key worth the wait: it is waited for to the end.
bool KeptElsewhere(std::span<const KeyEvent> events, std::size_t queuedBefore, bool mayBeHotKey,
                   std::size_t roundTripsAnswered, std::chrono::milliseconds sinceSent);

// Overwrites `bytes` bytes at `block` with zeros in a way the compiler cannot drop as a dead
// store: memory that told which keys were typed (a secret's) is wiped before it goes back.
inline void WipeBytes(void* block, std::size_t bytes) {
    volatile auto* units = static_cast<unsigned char*>(block);
    for (std::size_t i = 0; i < bytes; ++i) {
        units[i] = 0;
    }
}

// The standard allocator, but every block is wiped as it goes back.
template <class T>
struct WipingAllocator {
    using value_type = T;

    WipingAllocator() = default;
    template <class U>
    WipingAllocator(const WipingAllocator<U>& /*other*/) noexcept {}  // rebinding

    T* allocate(std::size_t count) { return std::allocator<T>{}.allocate(count); }
    void deallocate(T* block, std::size_t count) noexcept {
        WipeBytes(block, count * sizeof(T));
        std::allocator<T>{}.deallocate(block, count);
    }
    friend bool operator==(const WipingAllocator&, const WipingAllocator&) = default;
};

// What typing a character takes (a `Plan`: its key events and what carrying them out needs),
// worked out once per character, keyboard layout and Caps Lock state. A layout's tables do not
// change while its handle stays the same, and asking them costs far more than a look-up; the
// typist still reads the handle and Caps Lock for every keystroke, so that a switch of either
// is followed at once.
template <class Plan>
class PlanCache {
  public:
    // Plans kept at most: a few layouts' worth of the characters of a text. Past that (a text
    // of thousands of different ideographs, say) the cache starts afresh rather than grow.
    static constexpr std::size_t kMaxPlans = 4096;

    // The plan for `c` on the layout whose handle is `layout`; `make()` works it out when it is
    // not kept yet. The reference stays valid until the next call.
    template <class Make>
    const Plan& For(char16_t c, std::uintptr_t layout, CapsLock capsLock, Make&& make) {
        const Key key{
            layout, static_cast<std::uint32_t>(c | (capsLock ? (*capsLock ? 2u : 1u) : 0u) << 16)};
        if (const auto found = plans_.find(key); found != plans_.end()) {
            return found->second;
        }
        if (plans_.size() >= kMaxPlans) {
            Wipe();
        }
        return plans_.emplace(key, make()).first->second;
    }
    [[nodiscard]] std::size_t size() const { return plans_.size(); }
    // Forgets every plan, wiped, as the cache does when it starts afresh: together they tell
    // which characters were typed (a secret's). A plan wipes what it holds in memory of its own
    // in a Wipe() of its own; the cache's own blocks are wiped as they go back.
    void Wipe() {
        if constexpr (requires { std::declval<Plan&>().Wipe(); }) {
            for (auto& entry : plans_) {
                entry.second.Wipe();
            }
        }
        plans_.clear();
    }

  private:
    struct Key {
        std::uintptr_t layout;
        std::uint32_t characterAndCapsLock;

        friend bool operator==(const Key&, const Key&) = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const {
            return std::hash<std::uintptr_t>{}(key.layout) * 31 + key.characterAndCapsLock;
        }
    };
    std::unordered_map<Key, Plan, KeyHash, std::equal_to<>,
                       WipingAllocator<std::pair<const Key, Plan>>>
        plans_;
};

}  // namespace quillrun
