// Real keystrokes on Windows: what the target's keyboard layout can type, and typing into the
// window in front at the pace at which its thread takes the keys.
#pragma once

#include <windows.h>

#include <array>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "keys/keystrokes.h"
#include "desktop/result.h"

namespace quillrun::win32 {

// A thread's keyboard layout, as the system reports it.
class SystemKeyboardLayout final : public KeyboardLayout {
  public:
    explicit SystemKeyboardLayout(HKL layout) : layout_(layout) {}
    [[nodiscard]] std::optional<LayoutKey> KeyFor(char16_t c) const override;
    [[nodiscard]] std::optional<char16_t> CharacterFrom(LayoutKey key,
                                                        bool capsLock) const override;
    [[nodiscard]] bool IsDeadKey(LayoutKey key) const override;
    [[nodiscard]] std::optional<char16_t> ComposedFrom(LayoutKey dead,
                                                       LayoutKey base) const override;

  private:
    // What ToUnicodeEx makes of `key`: the number of characters, or -1 for a dead key.
    int Translate(LayoutKey key, bool capsLock, UINT flags, std::array<WCHAR, 8>& produced) const;

    HKL layout_;
};

// The identifier that names a keyboard layout across restarts (as "00000407", the key of its
// entry under Keyboard Layouts in the registry); the layout handle does not.
std::u16string KeyboardLayoutId(HKL layout);
// The layouts installed for the user, as the system lists them.
std::vector<HKL> InstalledLayouts();
// The name Windows shows for the layout `id`; `id` itself when none is known.
std::u16string KeyboardLayoutDisplayName(std::u16string_view id);

// A virtual key that no layout assigns and no program acts on. Pressed between a held Alt or
// Windows key and its release, it keeps that release from opening the target's menu or the
// Start menu.
inline constexpr WORD kUnassignedKey = 0xE8;

// Presses and releases kUnassignedKey: input of Quillrun's own, which makes it the process that
// received the last input event, as SetForegroundWindow requires of a process that may bring a
// window to the front.
void PressUnassignedKey();

// The window that has the keyboard in `window`'s program (GetGUIThreadInfo of its thread, whose
// focus is shared with the threads attached to it): in packaged programs and web views a
// control of another thread than the top-level window's, with a keyboard layout and input
// method of its own. `window` itself when no focus is reported.
HWND FocusWindowOf(HWND window);

// The input event that carries out `event` on `layout` (real keys with their scan codes),
// marked with kTypedKeyMark.
INPUT KeyEventInput(const KeyEvent& event, HKL layout);

// Carried by every key event Quillrun types (the system hands it back through
// GetMessageExtraInfo), so that one reaching Quillrun's own window can be told apart from the
// user's typing: "QRKY".
inline constexpr ULONG_PTR kTypedKeyMark = 0x51524B59;

// True for a keyboard message just taken from the queue that Quillrun itself typed.
bool IsTypedKeyMessage(const MSG& message);

// Types one character at a time into the foreground window and returns only once that
// window's thread has handled it.
//
// How it knows: for the length of a run, Quillrun's thread shares the input state of the
// target's thread (AttachThreadInput), and a thread's key state changes as it reads key
// messages from its queue. The character message that translating a key press produces is
// posted, and posted messages are read before the next key message; so once the target has
// read the release of the typing key, it has handled the character. The release shows in the
// key state as the typing key up with its toggle bit flipped by the press.
//
// Wine keeps the shared key state only while key messages wait in the target's queue; once it
// has read the last one, it copies the system's state over it, whose toggle bit may differ
// for a key whose state sharing reset. So a key's toggle bit is trusted only once it has been
// seen to follow a press and a release: until then the press and the release go out apart,
// and the wait watches the key go down and then up, which both states agree on.
//
// Where the input state cannot be shared (a console window on Windows), the keys are followed
// by a one-pixel repaint of the window that has the keyboard: a window is painted only once no
// sent, posted or input message waits for its thread ("GetMessage": messages are retrieved in
// that order, WM_PAINT after input), so once it has painted, it has read every key before.
// Round trips of WM_NULL to the target's thread give it the turns to get there and bound the
// wait; on their own they prove nothing, since one turn may answer several.
class KeyboardTypist {
  public:
    // How long the window in front may take to handle one character before typing ends.
    static constexpr std::chrono::milliseconds kDefaultResponseTimeout{5000};

    KeyboardTypist() = default;
    ~KeyboardTypist();
    KeyboardTypist(const KeyboardTypist&) = delete;
    KeyboardTypist& operator=(const KeyboardTypist&) = delete;

    // Quillrun's window: its messages are dispatched (with dialog keys) while typing waits.
    void AttachWindow(HWND window) { window_ = window; }
    // Wipes and forgets the plans made for characters, which tell which ones were typed (a
    // secret's); the next keystrokes plan anew.
    void ForgetPlans();
    void SetResponseTimeout(std::chrono::milliseconds timeout) { responseTimeout_ = timeout; }
    // Whether the target's input state may be shared; tests turn it off to type as into a
    // console window, whose input state cannot be.
    void AllowSharingInput(bool allowed) { sharingAllowed_ = allowed; }

    // Begins a run: each key event at least half of `pace` after the one before (0: as fast as
    // the target takes them), with `mode`, keys chosen from `layout` (null: the target's; a
    // layout named here is typed with keys only).
    // `waitWhileKeysHeld`: a modifier the user holds makes Type fail with kKeysHeldCode,
    // sending nothing, instead of being released ahead of the keys.
    void Begin(std::chrono::milliseconds pace, KeyMode mode, HKL layout,
               bool waitWhileKeysHeld = false);
    // Where the first character of `text` is that the run's layout has no keys for.
    [[nodiscard]] std::optional<std::size_t> FirstNotTypableAsKeys(std::u16string_view text);
    // Whether the run's rules give keys for `chord` (what Type would refuse, planned empty).
    [[nodiscard]] bool CanPlan(const KeyChord& chord);
    // Types `chord` (a character, or a key with modifiers) into `window` if it is the window in
    // front; fails with kNoWindowInFrontCode, sending nothing, if another one is (of another
    // program or of the same), with kMayNotHaveArrivedCode when another window takes the front
    // or the keyboard before the keys are seen handled, and with kNotRespondingCode when
    // `window` does not take them within the response timeout. `beforeSending`, when given, is
    // shown the keystroke's key events right before the first goes out (the window in front
    // checked), once for each keystroke that is sent.
    [[nodiscard]] Status Type(
        const KeyChord& chord, HWND window,
        const std::function<void(std::span<const KeyEvent>)>& beforeSending = nullptr);
    // Ends a run: stops sharing the target's input state.
    void End();

  private:
    static VOID CALLBACK RoundTripDone(HWND window, UINT message, ULONG_PTR token, LRESULT);

    // A window typed into, and whose it is (a window's thread never changes).
    struct Target {
        HWND window = nullptr;
        DWORD thread = 0;
        DWORD process = 0;
        HWND focus = nullptr;      // its window that has the keyboard
        DWORD keyboardThread = 0;  // the thread of that window, whose layout types
    };
    // What typing a character on a layout takes, kept per layout and Caps Lock state.
    struct PlannedKeys {
        std::vector<KeyEvent> events;
        std::vector<INPUT> inputs;    // the events as input, with the layout's scan codes
        BYTE watchedKey = 0;          // the key whose release shows the character handled
        std::size_t typingPress = 0;  // where in `events` the press that types is

        // Its events and inputs carry the character's key or the character itself.
        void Wipe() {
            WipeBytes(events.data(), events.size() * sizeof(KeyEvent));
            WipeBytes(inputs.data(), inputs.size() * sizeof(INPUT));
            watchedKey = 0;
        }
    };
    // One character's keystroke, worked out for the target.
    struct Keystroke {
        const PlannedKeys* planned = nullptr;
        // Releases of held modifiers first, then the planned inputs.
        std::vector<INPUT> inputs;
        std::size_t ahead = 0;     // inputs ahead of the planned ones
        std::size_t pressEnd = 0;  // inputs up to and with the press that types
        std::size_t behind = 0;    // messages of the inputs after the typing key's release
        BYTE keyBefore = 0;        // the watched key's state before the keystroke
        bool mayBeHotKey = false;  // a shortcut or a named key, which a hot key may keep
    };
    // What a look at the shared key state waits for the watched key to show.
    enum class Watch : std::uint8_t {
        Pressed,   // down: its press was read
        Lifted,    // up again after it was seen down: its release was read
        Released,  // up, with its toggle bit flipped by a press: press and release were read
    };

    // The layout `layout` stands for, kept so that what was learnt of its keys is kept too.
    const SystemKeyboardLayout& LayoutOf(HKL layout);
    // The layout the keys are chosen from and how: the run's layout, or else the target's; or,
    // where the system does not tell the target's (a console), as ModeForUnknownLayout says.
    struct KeyRules {
        HKL layout;
        KeyMode mode;
        PlanCache<PlannedKeys>* plans;  // where the plans made under these rules are kept
    };
    KeyRules ChosenRules();
    // Sends inputs [from, to): at once, or one at a time, each half the pace after the one
    // before. What it pressed stays down only if all of them were sent.
    [[nodiscard]] Status Send(std::vector<INPUT>& inputs, std::size_t from, std::size_t to);
    // Makes `front` the target, learning its thread and process unless it already is.
    void Follow(HWND front);
    [[nodiscard]] Status Prepare(const KeyChord& chord, Keystroke& keystroke);
    // The plan for `chord` on `layout` under `rules`: a character's from the cache, anything
    // else worked out anew into chordPlan_ (shortcuts and named keys are few).
    const PlannedKeys& PlanFor(const KeyChord& chord, const KeyRules& rules, CapsLock capsLock);
    // Shares the input state of `thread` (0: of none); true when it newly does.
    bool ShareInputWith(DWORD thread);
    // Stops sharing for good with the thread shared now, for the rest of the run.
    void StopSharingInput();
    // Waits until the shared key state shows `watch` of the keystroke's watched key; should a
    // slow target end the sharing meanwhile, as AwaitRepaint does.
    [[nodiscard]] Status AwaitKeyState(const Keystroke& keystroke, Watch watch,
                                       std::chrono::steady_clock::time_point deadline);
    // Waits until the window that has the keyboard has painted the pixel invalidated after the
    // keys; where no repaint can be asked for, for as many round trips as RoundTripsToHandle
    // counts for `keystroke`.
    [[nodiscard]] Status AwaitRepaint(const Keystroke& keystroke,
                                      std::chrono::steady_clock::time_point deadline);
    // After a keystroke was seen handled: whether the target still has the keyboard, and
    // Quillrun's window served now and then.
    [[nodiscard]] Status Handled();
    // Serves Quillrun's window if it has not been for a moment.
    [[nodiscard]] Status ServeOwnWindow();
    // One WM_NULL round trip to the target's thread: returns once the thread has answered.
    // A slow target ends the sharing of input, and Quillrun's window is served while it waits.
    [[nodiscard]] Status RoundTrip(std::chrono::steady_clock::time_point deadline);
    // One turn of a wait for a keystroke: gives up at the deadline, else gives the target a
    // round trip and Quillrun's window its turn.
    [[nodiscard]] Status WaitTurn(std::chrono::steady_clock::time_point deadline);

    HWND window_ = nullptr;
    std::chrono::milliseconds responseTimeout_ = kDefaultResponseTimeout;
    DWORD sharedInput_ = 0;  // the thread whose input state this thread shares, if any
    DWORD unshareable_ = 0;  // the thread that last refused to share it
    bool sharingAllowed_ = true;
    // Keys whose toggle bit in the shared state is seen to follow the target's reads.
    std::bitset<256> trustedToggles_;

    Target target_;  // the window the last keystroke went to
    PlanCache<PlannedKeys> plans_;
    PlanCache<PlannedKeys> unknownLayoutPlans_;  // made for a window whose layout is unknown
    PlannedKeys chordPlan_;                      // the last shortcut's or named key's
    PlanCache<bool> typable_;  // whether a character has keys, for the check before a run
    std::map<HKL, std::unique_ptr<SystemKeyboardLayout>> layouts_;
    // The run's choices.
    std::chrono::milliseconds pace_{0};
    KeyMode keyMode_ = KeyMode::UnicodeWhereNeeded;
    bool waitWhileKeysHeld_ = false;
    HKL layout_ = nullptr;
    bool finerTimer_ = false;  // timeBeginPeriod is in force for the paced run
    // Caps Lock as the run began, before sharing any input, and as the run's own presses of it
    // (a key sequence's {CAPSLOCK}) have turned it since.
    bool capsLock_ = false;
    // Whether capsLock_ counts for the run: settled at its first keystroke by whether the
    // target's input could be shared then; nullopt before it.
    std::optional<bool> capsLockKnown_;
    // When the last key event went out at a pace.
    std::chrono::steady_clock::time_point lastEvent_{};
    std::array<BYTE, 256> keys_{};  // the target's key state as last read
    // GetTickCount64 when a look read keys_ and saw the last keystroke handled; 0 if none did.
    ULONGLONG keysSeenHandled_ = 0;
    std::size_t leftOver_ = 0;  // its messages that may still wait in that window's queue
    ULONGLONG lastPump_ = 0;    // GetTickCount64 when Quillrun's window was last served
    bool quitting_ = false;
};

}  // namespace quillrun::win32
