#include "win32/win32_keyboard.h"

#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <cwchar>

#include "win32/win32_desktop.h"
#include "win32/win32_text.h"

namespace quillrun::win32 {
namespace {

using Clock = std::chrono::steady_clock;

// Where Windows lists the keyboard layouts it has, each under its identifier.
constexpr wchar_t kKeyboardLayoutsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts";

// ToUnicodeEx: leave the keyboard's dead-key state as it was.
constexpr UINT kKeepKeyboardState = 0x4;

// How long a round trip may take before Quillrun starts serving its own window while it waits
// (ms): quick targets answer within it, and the plain blocking send is cheapest.
constexpr UINT kQuickAnswerMs = 25;
// How often Quillrun's own window is served between quick keystrokes (ms): often enough to
// repaint and react to its close button without a visible lag.
constexpr ULONGLONG kPumpIntervalMs = 30;

// Looks at the target's key state before each round trip. A look costs the system one request;
// a round trip several, a turn of the target's and, when the target is idle, its waking up. A
// quick target has read the keystroke within about as many looks as it makes requests for one
// (under Wine each look lets the target's requests before it through), a slow one is waited
// for by round trips, which bound the wait and serve Quillrun's window.
constexpr int kLooksPerRoundTrip = 10;

// The least time before each look (µs), the first one too. A look as soon as the processor is
// free again mostly finds the target still at the messages before the watched release, the more
// of them the more keys a character needs (Shift's press comes first); spaced out, the looks
// stop crowding the system's server that the target needs for those messages. Measured under
// Wine, against 20 µs between looks and none before the first: requests a character, the
// target's and Quillrun's together, from 1.86 to 1.68 times those of the same keys injected in
// one burst on lowercase text, and from 1.87 to 1.69 on a script.
constexpr std::chrono::microseconds kLookSpacing{50};

// How long a key state read by the look that saw a keystroke handled stands for the target's
// before the next keystroke (ms): between keystrokes typed one after another it is not worth
// a read of its own; after any pause it is read again.
constexpr ULONGLONG kKeyStateFreshMs = 20;

// The end of a paced gap that is waited out by yielding rather than by a timed wait.
constexpr std::chrono::milliseconds kFinalWait{1};

// How often a wait for a slow target looks whether another window has come to the front (ms):
// a stop by a click elsewhere should feel immediate.
constexpr std::chrono::milliseconds kFrontLookInterval{50};

// The modifier keys that leak into typed text when the user holds them: the key whose state
// covers either side (0 for the Windows keys, which have none), then each side as (key,
// extended). The either-side state is asked first, the sides only when it is down.
struct ModifierSide {
    BYTE key;
    bool extended;
};
struct HeldModifier {
    BYTE eitherSide;
    std::array<ModifierSide, 2> sides;
};
// The virtual-key macros are ints: each is made a BYTE here, where it is known to fit, rather
// than by a narrowing inside a library template.
constexpr BYTE Key(int virtualKey) {
    return static_cast<BYTE>(virtualKey);
}
constexpr std::array<HeldModifier, 4> kHeldModifiers = {{
    {Key(VK_SHIFT), {{{Key(VK_LSHIFT), false}, {Key(VK_RSHIFT), false}}}},
    {Key(VK_CONTROL), {{{Key(VK_LCONTROL), false}, {Key(VK_RCONTROL), true}}}},
    {Key(VK_MENU), {{{Key(VK_LMENU), false}, {Key(VK_RMENU), true}}}},
    {0, {{{Key(VK_LWIN), true}, {Key(VK_RWIN), true}}}},
}};

// The scan code of a modifier key, worked out once: modifiers sit in the same place on every
// layout, and asking the layout costs far more than a look-up.
WORD ModifierScanCode(BYTE key) {
    static const std::array<WORD, 256> scanCodes = [] {
        std::array<WORD, 256> codes{};
        for (const HeldModifier& modifier : kHeldModifiers) {
            for (const auto& side : modifier.sides) {
                codes[side.key] = static_cast<WORD>(::MapVirtualKeyW(side.key, MAPVK_VK_TO_VSC));
            }
        }
        return codes;
    }();
    return scanCodes[key];
}

// The latest round trip answered through RoundTripDone; tokens only grow.
std::uint64_t g_roundTripsAnswered = 0;
std::uint64_t g_roundTripsSent = 0;

INPUT KeyInput(WORD virtualKey, WORD scan, DWORD flags) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = scan;
    input.ki.dwFlags = flags;
    return input;
}

// Whether the user holds a modifier key down, as the system has it now.
bool AnyModifierHeld() {
    return std::any_of(kHeldModifiers.begin(), kHeldModifiers.end(), [](const HeldModifier& m) {
        return std::any_of(m.sides.begin(), m.sides.end(), [](const ModifierSide& side) {
            return (::GetAsyncKeyState(side.key) & 0x8000) != 0;
        });
    });
}

// Releases the modifier keys the user holds down, so that they do not turn the typed
// characters into shortcuts; the releases go ahead of the keystroke. `targetKeys`: the target's
// key state, when it can be trusted to show only the user's keys.
void ReleaseHeldModifiers(std::vector<INPUT>& inputs, const std::array<BYTE, 256>* targetKeys) {
    // Held as the system has it now, or as the target's key state has it, which is what shifts
    // the characters it makes: the two part when a release never reached the target's queue
    // (Wine forgets an injected press when it syncs the key state with the X server, say).
    const auto held = [&](BYTE key) {
        return (::GetAsyncKeyState(key) & 0x8000) != 0 ||
               (targetKeys != nullptr && ((*targetKeys)[key] & 0x80) != 0);
    };
    std::vector<INPUT> releases;
    bool menuOrStart = false;
    const auto release = [&](BYTE key, bool extended) {
        releases.push_back(KeyInput(key, ModifierScanCode(key),
                                    KEYEVENTF_KEYUP | (extended ? KEYEVENTF_EXTENDEDKEY : 0)));
        menuOrStart =
            menuOrStart || key == VK_LMENU || key == VK_RMENU || key == VK_LWIN || key == VK_RWIN;
    };
    for (const HeldModifier& modifier : kHeldModifiers) {
        if (modifier.eitherSide != 0 && !held(modifier.eitherSide)) {
            continue;
        }
        bool released = false;
        for (const auto& [key, extended] : modifier.sides) {
            if (held(key)) {
                release(key, extended);
                released = true;
            }
        }
        // Held, but neither side says so yet: the left key, the one a press of the
        // either-side key stands for, is released; a release of a key that is up does no harm.
        if (!released && modifier.eitherSide != 0) {
            release(modifier.sides[0].key, modifier.sides[0].extended);
        }
    }
    if (menuOrStart) {
        inputs.push_back(KeyInput(kUnassignedKey, 0, 0));
        inputs.push_back(KeyInput(kUnassignedKey, 0, KEYEVENTF_KEYUP));
    }
    inputs.insert(inputs.end(), releases.begin(), releases.end());
}

// Releases, in reverse order, every key that the first `sent` inputs left pressed.
void ReleaseAfterPartialSend(const std::vector<INPUT>& inputs, UINT sent) {
    std::vector<INPUT> releases;
    for (UINT i = sent; i-- > 0;) {
        const INPUT& input = inputs[i];
        if ((input.ki.dwFlags & KEYEVENTF_KEYUP) != 0) {
            continue;
        }
        const bool releasedLater =
            std::any_of(inputs.begin() + i + 1, inputs.begin() + sent, [&](const INPUT& later) {
                return (later.ki.dwFlags & KEYEVENTF_KEYUP) != 0 && later.ki.wVk == input.ki.wVk &&
                       later.ki.wScan == input.ki.wScan;
            });
        if (!releasedLater) {
            INPUT release = input;
            release.ki.dwFlags |= KEYEVENTF_KEYUP;
            releases.push_back(release);
        }
    }
    if (!releases.empty()) {
        ::SendInput(static_cast<UINT>(releases.size()), releases.data(), sizeof(INPUT));
    }
}

Failure Closing() {
    return Failure{"SendKeyString", u"Quillrun is closing.", ERROR_CANCELLED};
}

Failure MayNotHaveArrived() {
    return ErrorFailure("SendKeyString", kMayNotHaveArrivedCode);
}

Failure KeptElsewhereFailure() {
    return Failure{"SendKeyString",
                   u"The program in front never got the key: Windows or another program keeps it "
                   u"as a hot key.",
                   kHotKeyTakenCode};
}

Failure NotResponding() {
    return Failure{"SendKeyString",
                   u"The program in front did not take the keystroke in time; it may have "
                   u"stopped responding.",
                   kNotRespondingCode};
}

}  // namespace

INPUT KeyEventInput(const KeyEvent& event, HKL layout) {
    const DWORD up = event.up ? KEYEVENTF_KEYUP : 0;
    INPUT input{};
    if (event.kind == KeyEvent::Kind::Unicode) {
        input = KeyInput(0, event.code, KEYEVENTF_UNICODE | up);
    } else {
        // Remote and virtual-machine consoles read the scan code, so it goes with the key.
        const auto scan =
            event.scanCode != 0
                ? WORD{event.scanCode}
                : static_cast<WORD>(::MapVirtualKeyExW(event.code, MAPVK_VK_TO_VSC, layout));
        input = KeyInput(event.code, scan, up | (event.extended ? KEYEVENTF_EXTENDEDKEY : 0));
    }
    input.ki.dwExtraInfo = kTypedKeyMark;
    return input;
}

bool IsTypedKeyMessage(const MSG& message) {
    return message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST &&
           static_cast<ULONG_PTR>(::GetMessageExtraInfo()) == kTypedKeyMark;
}

std::optional<LayoutKey> SystemKeyboardLayout::KeyFor(char16_t c) const {
    const SHORT found = ::VkKeyScanExW(static_cast<WCHAR>(c), layout_);
    if (found == -1 || LOBYTE(found) == 0xFF) {
        return std::nullopt;
    }
    return LayoutKey{LOBYTE(found), HIBYTE(found)};
}

int SystemKeyboardLayout::Translate(LayoutKey key, bool capsLock, UINT flags,
                                    std::array<WCHAR, 8>& produced) const {
    std::array<BYTE, 256> state{};
    const auto hold = [&](BYTE virtualKey) { state[virtualKey] = 0x80; };
    if ((key.modifiers & kShiftBit) != 0) {
        hold(VK_SHIFT);
        hold(VK_LSHIFT);
    }
    if ((key.modifiers & kControlBit) != 0) {
        hold(VK_CONTROL);
        hold(VK_LCONTROL);
    }
    if ((key.modifiers & kAltBit) != 0) {
        hold(VK_MENU);
        hold(VK_LMENU);
    }
    state[VK_CAPITAL] = capsLock ? 0x01 : 0x00;
    const UINT scan = ::MapVirtualKeyExW(key.virtualKey, MAPVK_VK_TO_VSC, layout_);
    return ::ToUnicodeEx(key.virtualKey, scan, state.data(), produced.data(),
                         static_cast<int>(produced.size()), flags, layout_);
}

std::optional<char16_t> SystemKeyboardLayout::CharacterFrom(LayoutKey key, bool capsLock) const {
    std::array<WCHAR, 8> produced{};
    if (Translate(key, capsLock, kKeepKeyboardState, produced) != 1) {
        return std::nullopt;  // a dead key (negative), nothing, or several characters
    }
    return static_cast<char16_t>(produced[0]);
}

bool SystemKeyboardLayout::IsDeadKey(LayoutKey key) const {
    std::array<WCHAR, 8> produced{};
    return Translate(key, false, kKeepKeyboardState, produced) < 0;
}

std::optional<char16_t> SystemKeyboardLayout::ComposedFrom(LayoutKey dead, LayoutKey base) const {
    // The accent waits in the keyboard state between the two keys, so these two calls change
    // it; the second takes it out again, whether or not the two compose.
    std::array<WCHAR, 8> produced{};
    if (Translate(dead, false, 0, produced) >= 0) {
        return std::nullopt;
    }
    if (Translate(base, false, 0, produced) != 1) {
        return std::nullopt;  // no composition: the accent and the key's own character
    }
    return static_cast<char16_t>(produced[0]);
}

std::u16string KeyboardLayoutId(HKL layout) {
    const auto value = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(layout));
    const WORD device = HIWORD(value);
    wchar_t id[KL_NAMELENGTH] = {};
    if ((device & 0xF000) == 0xE000) {
        ::swprintf(id, KL_NAMELENGTH, L"%08X", value);  // an input method's keyboard
        return FromWide(id);
    }
    if ((device & 0xF000) != 0xF000) {
        ::swprintf(id, KL_NAMELENGTH, L"0000%04X", device);
        return FromWide(id);
    }
    // A variant (Dvorak, say): the entry in the registry whose "Layout Id" is its number.
    wchar_t wanted[8] = {};
    ::swprintf(wanted, 8, L"%04X", device & 0x0FFFu);
    const UniqueRegistryKey layouts = OpenMachineKey(kKeyboardLayoutsKey);
    std::array<wchar_t, 256> name{};
    for (DWORD i = 0; layouts; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        const LSTATUS listed = ::RegEnumKeyExW(layouts.get(), i, name.data(), &length, nullptr,
                                               nullptr, nullptr, nullptr);
        if (listed == ERROR_NO_MORE_ITEMS) {
            break;
        }
        wchar_t number[8] = {};
        DWORD size = sizeof(number) - sizeof(wchar_t);
        if (listed == ERROR_SUCCESS &&
            ::RegGetValueW(layouts.get(), name.data(), L"Layout Id", RRF_RT_REG_SZ, nullptr, number,
                           &size) == ERROR_SUCCESS &&
            ::_wcsicmp(number, wanted) == 0) {
            return FromWide(name.data());
        }
    }
    return {};  // unknown: not offered
}

std::vector<HKL> InstalledLayouts() {
    std::vector<HKL> layouts(
        static_cast<std::size_t>(std::max(::GetKeyboardLayoutList(0, nullptr), 0)));
    const int count = ::GetKeyboardLayoutList(static_cast<int>(layouts.size()), layouts.data());
    layouts.resize(static_cast<std::size_t>(std::max(count, 0)));
    return layouts;
}

std::u16string KeyboardLayoutDisplayName(std::u16string_view id) {
    const std::wstring path = std::wstring(kKeyboardLayoutsKey) + L"\\" + ToWide(id);
    std::array<wchar_t, 256> name{};
    if (const UniqueRegistryKey entry = OpenMachineKey(path.c_str())) {
        // The name in the user's language, else the English one.
        DWORD size = static_cast<DWORD>(sizeof(name) - sizeof(wchar_t));
        bool found = ::RegLoadMUIStringW(entry.get(), L"Layout Display Name", name.data(), size,
                                         nullptr, 0, nullptr) == ERROR_SUCCESS;
        if (!found) {
            size = static_cast<DWORD>(sizeof(name) - sizeof(wchar_t));
            found = ::RegGetValueW(entry.get(), nullptr, L"Layout Text", RRF_RT_REG_SZ, nullptr,
                                   name.data(), &size) == ERROR_SUCCESS;
        }
        if (found && name[0] != L'\0') {
            return FromWide(name.data());
        }
    }
    // No entry (Wine has none): the name of the layout's language.
    const std::wstring wide = ToWide(id);
    const auto language = static_cast<LANGID>(std::wcstoul(wide.c_str(), nullptr, 16) & 0xFFFF);
    if (::GetLocaleInfoW(MAKELCID(language, SORT_DEFAULT), LOCALE_SLOCALIZEDDISPLAYNAME,
                         name.data(), static_cast<int>(name.size())) > 0) {
        return FromWide(name.data());
    }
    return std::u16string(id);
}

void PressUnassignedKey() {
    INPUT inputs[2] = {KeyInput(kUnassignedKey, 0, 0),
                       KeyInput(kUnassignedKey, 0, KEYEVENTF_KEYUP)};
    ::SendInput(2, inputs, sizeof(INPUT));
}

HWND FocusWindowOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    const DWORD thread = window != nullptr ? ::GetWindowThreadProcessId(window, nullptr) : 0;
    if (thread != 0 && ::GetGUIThreadInfo(thread, &info) && info.hwndFocus != nullptr) {
        return info.hwndFocus;
    }
    return window;
}

KeyboardTypist::~KeyboardTypist() {
    End();
}

void KeyboardTypist::Begin(std::chrono::milliseconds pace, KeyMode mode, HKL layout,
                           bool waitWhileKeysHeld) {
    waitWhileKeysHeld_ = waitWhileKeysHeld;
    // The other computer's layout is chosen for a far side that reads scan codes (a virtual
    // machine's or a remote console) and drops Unicode input: its characters go as keys only.
    if (layout != nullptr) {
        mode = KeyMode::KeysOnly;
    }
    if (mode != keyMode_) {
        plans_.Wipe();  // worked out under the other mode
        unknownLayoutPlans_.Wipe();
    }
    pace_ = pace;
    keyMode_ = mode;
    layout_ = layout;
    capsLockKnown_.reset();
    // "Key state ... is reset after a call to AttachThreadInput" (its documentation): the
    // shared key state cannot be trusted with the toggle, so it is read before any sharing,
    // from Quillrun's own, which its last input (the click that began the run) brought up to
    // date.
    capsLock_ = (::GetKeyState(VK_CAPITAL) & 0x01) != 0;
    lastEvent_ = {};
    // Windows rounds waits up to its timer's period, 15.6 ms unless a program asks for a finer
    // one (timeBeginPeriod), which would stretch 10 ms between key events to 15.6.
    if (pace_.count() > 0 && !finerTimer_) {
        finerTimer_ = ::timeBeginPeriod(1) == TIMERR_NOERROR;
    }
}

std::optional<std::size_t> KeyboardTypist::FirstNotTypableAsKeys(std::u16string_view text) {
    if (layout_ == nullptr) {
        Follow(::GetForegroundWindow());
    }
    const HKL layout = ChosenRules().layout;
    const SystemKeyboardLayout& keys = LayoutOf(layout);
    for (std::size_t i = 0; i < text.size(); ++i) {
        // Caps Lock only decides which of a key's characters comes out, never whether one does.
        const bool typable = typable_.For(
            text[i], reinterpret_cast<std::uintptr_t>(layout), false,
            [&] { return !PlanKeystrokes(text[i], keys, false, KeyMode::KeysOnly).empty(); });
        if (!typable) {
            return i;
        }
    }
    return std::nullopt;
}

bool KeyboardTypist::CanPlan(const KeyChord& chord) {
    if (layout_ == nullptr) {
        Follow(::GetForegroundWindow());
    }
    const KeyRules rules = ChosenRules();
    // Caps Lock only decides which of a key's characters comes out, never whether one does.
    return !PlanChord(chord, LayoutOf(rules.layout), false, rules.mode).empty();
}

const SystemKeyboardLayout& KeyboardTypist::LayoutOf(HKL layout) {
    std::unique_ptr<SystemKeyboardLayout>& kept = layouts_[layout];
    if (!kept) {
        kept = std::make_unique<SystemKeyboardLayout>(layout);
    }
    return *kept;
}

KeyboardTypist::KeyRules KeyboardTypist::ChosenRules() {
    if (layout_ != nullptr) {
        return {layout_, keyMode_, &plans_};
    }
    if (const HKL targets = ::GetKeyboardLayout(target_.keyboardThread); targets != nullptr) {
        return {targets, keyMode_, &plans_};
    }
    // Enter and Tab, the only keys of Unicode-for-text, sit in the same place on every layout.
    return {::GetKeyboardLayout(0), ModeForUnknownLayout(keyMode_), &unknownLayoutPlans_};
}

Status KeyboardTypist::Send(std::vector<INPUT>& inputs, std::size_t from, std::size_t to) {
    if (pace_.count() == 0) {
        const auto count = static_cast<UINT>(to - from);
        if (const UINT sent = ::SendInput(count, inputs.data() + from, sizeof(INPUT));
            sent != count) {
            // Blocked part way (by a higher-integrity window in front, say): nothing stays down.
            Failure failure = LastErrorFailure("SendKeyString");
            ReleaseAfterPartialSend(inputs, static_cast<UINT>(from + sent));
            return failure;
        }
        return {};
    }
    const auto gap = pace_ / 2;
    for (std::size_t next = from; next < to; ++next) {
        // Quillrun's window is served during the gap, so it stays responsive at any pace; the
        // last millisecond is waited out by yielding, since a timed wait ends up to a timer
        // period late, which at 10 ms a gap would cost a tenth of the pace.
        const auto due = lastEvent_ + gap;
        if (!PumpMessagesUntil(
                window_, [] { return false; }, due - kFinalWait, quitting_) &&
            quitting_) {
            ReleaseAfterPartialSend(inputs, static_cast<UINT>(next));
            return Closing();
        }
        while (Clock::now() < due) {
            ::SwitchToThread();
        }
        // A click elsewhere during a gap: the keystroke's other events would go to that window
        // (a Shift, an Enter into a chat). What went out is let go, and the run ends there.
        if (::GetForegroundWindow() != target_.window) {
            ReleaseAfterPartialSend(inputs, static_cast<UINT>(next));
            return next == 0 ? ErrorFailure("SendKeyString", kNoWindowInFrontCode)
                             : MayNotHaveArrived();
        }
        if (::SendInput(1, &inputs[next], sizeof(INPUT)) != 1) {
            Failure failure = LastErrorFailure("SendKeyString");
            ReleaseAfterPartialSend(inputs, static_cast<UINT>(next));
            return failure;
        }
        lastEvent_ = Clock::now();
    }
    return {};
}

void KeyboardTypist::End() {
    if (finerTimer_) {
        ::timeEndPeriod(1);
        finerTimer_ = false;
    }
    // The plans stay for the next run: Begin forgets them if it types under another mode.
    pace_ = {};
    layout_ = nullptr;
    capsLockKnown_.reset();
    static_cast<void>(ShareInputWith(0));
    unshareable_ = 0;
    trustedToggles_.reset();
    leftOver_ = 0;
    keysSeenHandled_ = 0;
    target_ = {};
}

void KeyboardTypist::ForgetPlans() {
    plans_.Wipe();
    unknownLayoutPlans_.Wipe();
    typable_.Wipe();
}

void KeyboardTypist::Follow(HWND front) {
    if (front == target_.window) {
        return;
    }
    // Messages left from the keystroke before matter only in the same window's queue.
    leftOver_ = 0;
    keysSeenHandled_ = 0;
    target_ = {front};
    if (front != nullptr) {
        target_.thread = ::GetWindowThreadProcessId(front, &target_.process);
        target_.focus = FocusWindowOf(front);
        target_.keyboardThread = ::GetWindowThreadProcessId(target_.focus, nullptr);
    }
}

void KeyboardTypist::StopSharingInput() {
    const DWORD thread = sharedInput_;
    if (thread != 0) {
        static_cast<void>(ShareInputWith(0));
        unshareable_ = thread;
    }
}

bool KeyboardTypist::ShareInputWith(DWORD thread) {
    // A thread that refused once (a console's, one of higher integrity) refuses again.
    if (thread == sharedInput_ || (thread != 0 && thread == unshareable_)) {
        return false;
    }
    const DWORD self = ::GetCurrentThreadId();
    if (sharedInput_ != 0) {
        // The user may have clicked Quillrun's window meanwhile (to stop the run): it is then
        // the active window of the input state the two shared, which stays the target's. Wine
        // leaves no window in front once the sharing ends; Quillrun's is brought back there.
        const HWND front = ::GetForegroundWindow();
        DWORD frontProcess = 0;
        ::GetWindowThreadProcessId(front, &frontProcess);
        ::AttachThreadInput(self, sharedInput_, FALSE);
        sharedInput_ = 0;
        if (front != nullptr && frontProcess == ::GetCurrentProcessId() &&
            ::GetForegroundWindow() != front) {
            ::SetForegroundWindow(front);
        }
    }
    // Never with Quillrun's own thread; refused for a target on another desktop or of higher
    // integrity, which then is paced by the round trips alone.
    if (thread != 0 && thread != self && sharingAllowed_ &&
        ::AttachThreadInput(self, thread, TRUE)) {
        sharedInput_ = thread;
        // Sharing resets the key state (AttachThreadInput's documentation; Wine zeroes it).
        trustedToggles_.reset();
        return true;
    }
    unshareable_ = thread;
    return false;
}

Status KeyboardTypist::Type(const KeyChord& chord, HWND window,
                            const std::function<void(std::span<const KeyEvent>)>& beforeSending) {
    if (quitting_) {
        return Closing();
    }
    if (window == nullptr) {
        return ErrorFailure("SendKeyString", kNoWindowInFrontCode);
    }
    // The keys are worked out for the run's window; one look right before sending confirms that
    // it is in front, since input goes to whichever window is in front when the system takes
    // it. Another window of the same program (a dialog of the target's, say) is not the target:
    // typed on into, a dialog's buttons would be pressed.
    Follow(window);
    Keystroke keystroke;
    if (Status prepared = Prepare(chord, keystroke); !prepared) {
        return prepared;
    }
    // At a pace, the gap before the keystroke's first key is waited out before the look, so that
    // a click elsewhere during it stops the run before that key goes out.
    if (pace_.count() > 0 &&
        !PumpMessagesUntil(
            window_, [] { return false; }, lastEvent_ + pace_ / 2 - kFinalWait, quitting_) &&
        quitting_) {
        return Closing();
    }
    if (::GetForegroundWindow() != window) {
        return ErrorFailure("SendKeyString", kNoWindowInFrontCode);
    }
    if (waitWhileKeysHeld_ && AnyModifierHeld()) {
        return ErrorFailure("SendKeyString", kKeysHeldCode);
    }
    if (beforeSending) {
        beforeSending(keystroke.planned->events);
    }
    std::vector<INPUT>& inputs = keystroke.inputs;
    const BYTE key = keystroke.planned->watchedKey;
    Status typed;
    if (sharedInput_ == 0) {
        typed = Send(inputs, 0, inputs.size());
        if (typed) {
            typed = AwaitRepaint(keystroke, Clock::now() + responseTimeout_);
        }
    } else if (trustedToggles_.test(key)) {
        typed = Send(inputs, 0, inputs.size());
        if (typed) {
            typed = AwaitKeyState(keystroke, Watch::Released, Clock::now() + responseTimeout_);
        }
    } else {
        // The press first, seen read, then the rest, seen read: that key's toggle bit is
        // trusted from then on.
        typed = Send(inputs, 0, keystroke.pressEnd);
        if (typed) {
            typed = AwaitKeyState(keystroke, Watch::Pressed, Clock::now() + responseTimeout_);
            if (!typed) {
                ReleaseAfterPartialSend(inputs, static_cast<UINT>(keystroke.pressEnd));
            }
        }
        if (typed) {
            typed = Send(inputs, keystroke.pressEnd, inputs.size());
        }
        if (typed) {
            typed = AwaitKeyState(keystroke, Watch::Lifted, Clock::now() + responseTimeout_);
        }
        if (typed && sharedInput_ != 0) {
            trustedToggles_.set(key);
        }
    }
    if (!typed) {
        // The keys went out: a window that went away while they were waited for (the round
        // trip's ERROR_INVALID_WINDOW_HANDLE) must not read as "nothing was sent", which would
        // have the rest of the run type them again.
        if (typed.failure().code == kNoWindowInFrontCode) {
            return MayNotHaveArrived();
        }
        return typed;
    }
    // The characters after it are typed as written: letters are planned for Caps Lock as it is.
    if (chord.key && chord.key->virtualKey == VK_CAPITAL) {
        capsLock_ = !capsLock_;
    }
    if (sharedInput_ != 0) {
        leftOver_ = keystroke.behind;  // what follows the watched release may still wait
    }
    return Handled();
}

Status KeyboardTypist::Prepare(const KeyChord& chord, Keystroke& keystroke) {
    // The target's own layout decides which keys make the character, not Quillrun's; read for
    // every keystroke, so that a switch of layouts during a run is followed. A remote computer's
    // layout, when the user named one, decides instead: the far side reads the scan codes.
    const KeyRules rules = ChosenRules();
    const bool newlyShared = ShareInputWith(target_.thread);
    if (!capsLockKnown_) {
        capsLockKnown_ = sharedInput_ != 0;
    }
    if (newlyShared) {
        // The shared key state settles once the target has taken a turn with it; read
        // before that, it could make a release look read that is not.
        keysSeenHandled_ = 0;
        if (Status answered = RoundTrip(Clock::now() + responseTimeout_); !answered) {
            return answered;
        }
    }
    // The key state as the target has read it so far (while its input is shared).
    // The look that saw the last keystroke handled read it a moment ago; otherwise it is read.
    if (::GetTickCount64() - keysSeenHandled_ > kKeyStateFreshMs) {
        ::GetKeyboardState(keys_.data());
    }
    keysSeenHandled_ = 0;
    // Without shared input at the first keystroke (a console window: its process and thread own
    // no message queue) the key state read here is Quillrun's own, which stops following the
    // keyboard once Quillrun is no longer in front; Caps Lock then counts as unknown for the
    // run. A slow target that ends the sharing later only changes how each keystroke is seen
    // handled, never which keys type it: letters planned anew as unknown would go as Unicode
    // input, which virtual-machine and VNC consoles drop.
    const CapsLock capsLock = *capsLockKnown_ ? CapsLock(capsLock_) : std::nullopt;
    const PlannedKeys& planned = PlanFor(chord, rules, capsLock);
    if (planned.events.empty()) {
        return ErrorFailure("SendKeyString", ERROR_NO_UNICODE_TRANSLATION);
    }
    keystroke.planned = &planned;
    keystroke.keyBefore = keys_[planned.watchedKey];
    keystroke.mayBeHotKey = chord.modifiers != 0 || chord.key.has_value();

    keystroke.inputs.clear();
    // While releases of Quillrun's own may still wait in the target's queue, the target's key
    // state shows those modifiers down for a little longer; only the system's state counts then.
    ReleaseHeldModifiers(keystroke.inputs, sharedInput_ != 0 && leftOver_ == 0 ? &keys_ : nullptr);
    keystroke.ahead = keystroke.inputs.size();
    keystroke.inputs.insert(keystroke.inputs.end(), planned.inputs.begin(), planned.inputs.end());
    keystroke.pressEnd = keystroke.ahead + planned.typingPress + 1;
    // The typing key's release comes right after its press; what follows it may still wait
    // (with the left Ctrl that Windows lets go with AltGr).
    keystroke.behind = QueuedMessages(std::span(planned.events).subspan(planned.typingPress + 2));
    return {};
}

const KeyboardTypist::PlannedKeys& KeyboardTypist::PlanFor(const KeyChord& chord,
                                                           const KeyRules& rules,
                                                           CapsLock capsLock) {
    const HKL layout = rules.layout;
    const auto plan = [&] {
        PlannedKeys worked;
        worked.events = PlanChord(chord, LayoutOf(layout), capsLock, rules.mode);
        if (worked.events.empty()) {
            return worked;  // keys only, and the layout has none for it
        }
        // Room for all at once: a buffer outgrown would go back unwiped (see ForgetPlans).
        worked.inputs.reserve(worked.events.size());
        for (const KeyEvent& event : worked.events) {
            worked.inputs.push_back(KeyEventInput(event, layout));
        }
        // The key whose release the target reads right after handling the character.
        const auto typing =
            std::find_if(worked.events.begin(), worked.events.end(),
                         [](const KeyEvent& event) { return event.typesCharacter; });
        worked.watchedKey = typing->kind == KeyEvent::Kind::VirtualKey
                                ? static_cast<BYTE>(typing->code)
                                : Key(VK_PACKET);
        worked.typingPress = static_cast<std::size_t>(typing - worked.events.begin());
        return worked;
    };
    if (chord.modifiers == 0 && !chord.key) {
        return rules.plans->For(chord.character, reinterpret_cast<std::uintptr_t>(layout), capsLock,
                                plan);
    }
    chordPlan_ = plan();
    return chordPlan_;
}

VOID CALLBACK KeyboardTypist::RoundTripDone(HWND, UINT, ULONG_PTR token, LRESULT) {
    g_roundTripsAnswered = std::max<std::uint64_t>(g_roundTripsAnswered, token);
}

Status KeyboardTypist::RoundTrip(Clock::time_point deadline) {
    const HWND target = target_.window;
    DWORD_PTR ignored = 0;
    if (::SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_NORMAL, kQuickAnswerMs, &ignored)) {
        return {};
    }
    if (::GetLastError() != ERROR_TIMEOUT) {
        // The window went away; whatever comes to the front next is the run's affair.
        return LastErrorFailure("SendKeyString");
    }
    // Threads that share input take it in one order: a click on Quillrun's window (its close
    // box too) would wait behind a keystroke the slow target has not read, and stay in the
    // target's queue even once the sharing ends. From here on the target is typed into as
    // into a window whose input is not shared.
    StopSharingInput();
    // A slow target: the unanswered message is still queued there, so a new one, answered no
    // earlier, takes its place, and Quillrun's window is served while it waits.
    const std::uint64_t token = ++g_roundTripsSent;
    if (!::SendMessageCallbackW(target, WM_NULL, 0, 0, &KeyboardTypist::RoundTripDone,
                                static_cast<ULONG_PTR>(token))) {
        return LastErrorFailure("SendKeyString");
    }
    // A click elsewhere during the wait (on Quillrun's window, a button of it, or another
    // window) ends it at once: the run stops there, before another key, instead of waiting on
    // a stalled target and then going on or ending as not responding. A window of another
    // program coming to the front sends Quillrun nothing, so the front is looked at now and then.
    const auto frontLeft = [&] {
        const HWND front = ::GetForegroundWindow();
        return front != nullptr && front != target;
    };
    for (;;) {
        const auto until = std::min(deadline, Clock::now() + kFrontLookInterval);
        if (PumpMessagesUntil(
                window_, [&] { return g_roundTripsAnswered >= token || frontLeft(); }, until,
                quitting_)) {
            break;
        }
        if (quitting_) {
            return Closing();
        }
        if (Clock::now() >= deadline) {
            return NotResponding();
        }
    }
    if (g_roundTripsAnswered < token) {
        return ErrorFailure("SendKeyString", kNoWindowInFrontCode);
    }
    return {};
}

Status KeyboardTypist::WaitTurn(Clock::time_point deadline) {
    if (Clock::now() >= deadline) {
        return NotResponding();
    }
    if (Status answered = RoundTrip(deadline); !answered) {
        return answered;
    }
    // Another window in front while the target answers quickly: the keys still unread go to
    // that window (one of the same thread reads them as its own), and the target may never
    // show them handled (a covered pixel is not repainted), so the wait ends here.
    if (const HWND front = ::GetForegroundWindow(); front != nullptr && front != target_.window) {
        return ErrorFailure("SendKeyString", kNoWindowInFrontCode);
    }
    // A click on Quillrun's window waits in the shared input ahead of the target's next key,
    // and holds the target back until Quillrun takes it.
    return ServeOwnWindow();
}

Status KeyboardTypist::AwaitKeyState(const Keystroke& keystroke, Watch watch,
                                     Clock::time_point deadline) {
    const BYTE key = keystroke.planned->watchedKey;
    const BYTE keyBefore = keystroke.keyBefore;
    const auto shows = [&] {
        const BYTE state = keys_[key];
        const bool down = (state & 0x80) != 0;
        switch (watch) {
            case Watch::Pressed:
                return down;
            case Watch::Lifted:
                return !down;
            case Watch::Released:
                return !down && ((state ^ keyBefore) & 0x01) != 0;
        }
        return false;
    };
    const auto looksShow = [&] {
        for (int look = 0; look < kLooksPerRoundTrip; ++look) {
            // The target and the system's server may be waiting for this processor; a look
            // right after the keys went out, before either has run, would only cost a request.
            const auto until = Clock::now() + kLookSpacing;
            do {
                ::SwitchToThread();
            } while (Clock::now() < until);
            ::GetKeyboardState(keys_.data());
            if (shows()) {
                return true;
            }
        }
        return false;
    };
    const Clock::time_point sent = Clock::now();
    for (std::size_t turns = 0;; ++turns) {
        if (sharedInput_ == 0) {
            // A slow target ended the sharing: the keys sent so far are waited for as into a
            // window whose input is not shared.
            return AwaitRepaint(keystroke, deadline);
        }
        if (looksShow()) {
            break;
        }
        // A hot key's press never reaches the target's queue, and so never its key state: the
        // target, answering all the while, has had its turns to read it.
        if (KeptElsewhere(
                keystroke.planned->events, leftOver_ + keystroke.ahead, keystroke.mayBeHotKey,
                turns,
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent))) {
            return KeptElsewhereFailure();
        }
        if (Status waited = WaitTurn(deadline); !waited) {
            return waited;
        }
    }
    // What the last look read is the key state the next keystroke starts from.
    keysSeenHandled_ = ::GetTickCount64();
    return {};
}

Status KeyboardTypist::AwaitRepaint(const Keystroke& keystroke, Clock::time_point deadline) {
    const HWND painted = target_.focus != nullptr ? target_.focus : target_.window;
    const RECT pixel{0, 0, 1, 1};
    // Nothing to paint (a window of no size, or one that is not shown): the round trips alone.
    if (::InvalidateRect(painted, &pixel, FALSE) && ::GetUpdateRect(painted, nullptr, FALSE)) {
        leftOver_ = 0;
        do {
            // A window that answers but never paints (one that leaves its update region as it
            // is) is bounded as a hung one.
            if (Status waited = WaitTurn(deadline); !waited) {
                return waited;
            }
        } while (::GetUpdateRect(painted, nullptr, FALSE));
        return {};
    }
    const RoundTrips counted =
        RoundTripsToHandle(keystroke.planned->events, leftOver_ + keystroke.ahead);
    for (std::size_t turn = 0; turn <= counted.count; ++turn) {
        if (Status answered = RoundTrip(deadline); !answered) {
            return answered;
        }
    }
    leftOver_ = counted.leftOver;
    return {};
}

Status KeyboardTypist::Handled() {
    // Keyboard input that finds no focus window when the target reads it can be dropped (Wine's
    // server drops it), and yet the key state shows it read. Once another window has taken the
    // keyboard, whether this keystroke arrived cannot be told; while the target still has it,
    // it did. The shared input's focus shows as soon as the target has let go of the keyboard,
    // which the window in front shows too early: the target reads its queue in order.
    // A click on Quillrun's window moves the shared focus there, and the keys still unread go
    // to that window instead.
    const HWND keyboard = sharedInput_ != 0 ? ::GetFocus() : ::GetForegroundWindow();
    // Which window it is in, asked only when it is not the one that had the keyboard before: a
    // control inside the target's window may take it (the next field of a form), another
    // top-level window may not, the target program's own (a dialog, a second document) neither.
    if (keyboard != target_.focus && keyboard != target_.window) {
        if (keyboard == nullptr || ::GetAncestor(keyboard, GA_ROOT) != target_.window) {
            return MayNotHaveArrived();
        }
        target_.focus = keyboard;
    }
    return ServeOwnWindow();
}

Status KeyboardTypist::ServeOwnWindow() {
    // Between quick keystrokes, and during a long wait, Quillrun's window gets its turn now
    // and then.
    const ULONGLONG now = ::GetTickCount64();
    if (now - lastPump_ >= kPumpIntervalMs) {
        lastPump_ = now;
        if (!PumpMessagesUntil(
                window_, [] { return true; }, Clock::now(), quitting_)) {
            return Closing();
        }
    }
    return {};
}

}  // namespace quillrun::win32
