#include "desktop/win32_keyboard.h"

#include <algorithm>
#include <array>

#include "desktop/win32_desktop.h"
#include "desktop/win32_text.h"

namespace quillrun::win32 {
namespace {

using Clock = std::chrono::steady_clock;

// Marks the events Quillrun injects (in dwExtraInfo), with a 24-bit sequence number below it,
// so that the hook can tell them from the user's keys and from other programs' input.
constexpr ULONG_PTR kTagMark = 0x51000000;
constexpr ULONG_PTR kTagMask = 0xFF000000;
constexpr std::uint32_t kSequenceMask = 0x00FFFFFF;

// How long injected events may take to pass the hook before the round trips start anyway: the
// system skips a hook it considers slow, and typing must not stop on that.
constexpr std::chrono::milliseconds kHookWait{1000};

// A virtual key that no layout assigns. Pressed between a held Alt or Windows key and its
// release, it keeps that release from opening the target's menu or the Start menu.
constexpr WORD kUnassignedKey = 0xE8;

// How long a round trip may take before the target counts as slow and Quillrun starts serving
// its own window while it waits (ms).
constexpr UINT kQuickAnswerMs = 25;
// How often Quillrun's own window is served between quick keystrokes (ms): often enough to
// repaint and react to its close button without a visible lag.
constexpr ULONGLONG kPumpIntervalMs = 30;

// ToUnicodeEx: leave the keyboard's dead-key state as it was.
constexpr UINT kKeepKeyboardState = 0x4;

// The modifier keys that leak into typed text when the user holds them: (key, extended).
constexpr std::array<std::pair<BYTE, bool>, 8> kModifierKeys = {{{VK_LSHIFT, false},
                                                                 {VK_RSHIFT, false},
                                                                 {VK_LCONTROL, false},
                                                                 {VK_RCONTROL, true},
                                                                 {VK_LMENU, false},
                                                                 {VK_RMENU, true},
                                                                 {VK_LWIN, true},
                                                                 {VK_RWIN, true}}};

KeyboardTypist* g_hookOwner = nullptr;

bool IsOurs(const KBDLLHOOKSTRUCT& event) {
    return (event.flags & LLKHF_INJECTED) != 0 && (event.dwExtraInfo & kTagMask) == kTagMark;
}

// True when sequence number `a` is `b` or later, across the wrap of the 24-bit counter.
bool AtOrAfter(std::uint32_t a, std::uint32_t b) {
    return ((a - b) & kSequenceMask) < (kSequenceMask / 2);
}

INPUT KeyInput(WORD virtualKey, WORD scan, DWORD flags, ULONG_PTR tag) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = scan;
    input.ki.dwFlags = flags;
    input.ki.dwExtraInfo = tag;
    return input;
}

INPUT ToInput(const KeyEvent& event, HKL layout, ULONG_PTR tag) {
    const DWORD up = event.up ? KEYEVENTF_KEYUP : 0;
    if (event.kind == KeyEvent::Kind::Unicode) {
        return KeyInput(0, event.code, KEYEVENTF_UNICODE | up, tag);
    }
    // Remote and virtual-machine consoles read the scan code, so it goes with the key.
    const auto scan = static_cast<WORD>(::MapVirtualKeyExW(event.code, MAPVK_VK_TO_VSC, layout));
    return KeyInput(event.code, scan, up, tag);
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

Failure NotResponding() {
    return Failure{"SendKeyString",
                   u"The program in front did not take the keystroke in time; it may have "
                   u"stopped responding.",
                   kNotRespondingCode};
}

}  // namespace

std::optional<LayoutKey> SystemKeyboardLayout::KeyFor(char16_t c) const {
    const SHORT found = ::VkKeyScanExW(static_cast<WCHAR>(c), layout_);
    if (found == -1 || LOBYTE(found) == 0xFF) {
        return std::nullopt;
    }
    return LayoutKey{LOBYTE(found), HIBYTE(found)};
}

std::optional<char16_t> SystemKeyboardLayout::CharacterFrom(LayoutKey key, bool capsLock) const {
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
    std::array<WCHAR, 8> produced{};
    const int count = ::ToUnicodeEx(key.virtualKey, scan, state.data(), produced.data(),
                                    static_cast<int>(produced.size()), kKeepKeyboardState, layout_);
    if (count != 1) {
        return std::nullopt;  // a dead key (negative), nothing, or several characters
    }
    return static_cast<char16_t>(produced[0]);
}

KeyboardTypist::~KeyboardTypist() {
    End();
}

void KeyboardTypist::End() {
    hook_.reset();
    if (g_hookOwner == this) {
        g_hookOwner = nullptr;
    }
}

void KeyboardTypist::EnsureHook() {
    if (hook_) {
        return;
    }
    // What the user holds right now; from here on the hook follows the physical keys.
    heldByUser_.reset();
    for (const auto& [key, extended] : kModifierKeys) {
        if ((::GetAsyncKeyState(key) & 0x8000) != 0) {
            heldByUser_.set(key);
        }
    }
    g_hookOwner = this;
    hook_.reset(::SetWindowsHookExW(WH_KEYBOARD_LL, &KeyboardTypist::HookProc,
                                    ::GetModuleHandleW(nullptr), 0));
    // Without the hook, typing still works; the round trips alone then pace it.
}

LRESULT CALLBACK KeyboardTypist::HookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && g_hookOwner != nullptr) {
        const auto& event = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        if (IsOurs(event)) {
            g_hookOwner->hookSeen_ = static_cast<std::uint32_t>(event.dwExtraInfo) & kSequenceMask;
        } else if (event.vkCode < 256) {
            const bool down = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
            g_hookOwner->heldByUser_.set(event.vkCode, down);
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void KeyboardTypist::ReleaseHeldModifiers(std::vector<INPUT>& inputs, ULONG_PTR tag) {
    const bool menuOrStart = heldByUser_[VK_LMENU] || heldByUser_[VK_RMENU] ||
                             heldByUser_[VK_LWIN] || heldByUser_[VK_RWIN];
    if (menuOrStart) {
        inputs.push_back(KeyInput(kUnassignedKey, 0, 0, tag));
        inputs.push_back(KeyInput(kUnassignedKey, 0, KEYEVENTF_KEYUP, tag));
    }
    for (const auto& [key, extended] : kModifierKeys) {
        if (heldByUser_[key]) {
            const auto scan = static_cast<WORD>(::MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
            inputs.push_back(
                KeyInput(key, scan, KEYEVENTF_KEYUP | (extended ? KEYEVENTF_EXTENDEDKEY : 0), tag));
            heldByUser_.reset(key);
        }
    }
}

Status KeyboardTypist::Type(char16_t c) {
    if (quitting_) {
        return Failure{"SendKeyString", u"Quillrun is closing.", ERROR_CANCELLED};
    }
    const HWND front = ::GetForegroundWindow();
    if (front == nullptr) {
        return ErrorFailure("SendKeyString", ERROR_INVALID_WINDOW_HANDLE);
    }
    // The target's own layout decides which keys make the character, not Quillrun's.
    const HKL layout = ::GetKeyboardLayout(::GetWindowThreadProcessId(front, nullptr));
    const bool capsLock = (::GetKeyState(VK_CAPITAL) & 0x0001) != 0;
    const std::vector<KeyEvent> plan = PlanKeystrokes(c, SystemKeyboardLayout(layout), capsLock);

    EnsureHook();
    nextSequence_ = (nextSequence_ + 1) & kSequenceMask;
    const ULONG_PTR tag = kTagMark | nextSequence_;
    std::vector<INPUT> inputs;
    ReleaseHeldModifiers(inputs, tag);
    const std::size_t releases = inputs.size();
    for (const KeyEvent& event : plan) {
        inputs.push_back(ToInput(event, layout, tag));
    }
    const UINT sent = ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    if (sent != inputs.size()) {
        // Blocked part way (by a higher-integrity window in front, say): nothing stays down.
        Failure failure = LastErrorFailure("SendKeyString");
        ReleaseAfterPartialSend(inputs, sent);
        return failure;
    }
    return AwaitHandled(front, tag, releases + MessagesUntilTyped(plan));
}

template <class Done>
bool KeyboardTypist::PumpUntil(Done done, Clock::time_point deadline) {
    for (;;) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // The main loop must still see it; typing ends here.
                ::PostQuitMessage(static_cast<int>(message.wParam));
                quitting_ = true;
                return false;
            }
            DispatchWindowMessage(window_, message);
        }
        if (done()) {
            return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left.count()), QS_ALLINPUT,
                                      MWMO_INPUTAVAILABLE);
    }
}

VOID CALLBACK KeyboardTypist::RoundTripDone(HWND, UINT, ULONG_PTR token, LRESULT) {
    if (g_hookOwner != nullptr) {
        g_hookOwner->roundTripsDone_ = std::max<std::uint64_t>(g_hookOwner->roundTripsDone_, token);
    }
}

Status KeyboardTypist::AwaitHandled(HWND target, ULONG_PTR tag, std::size_t messages) {
    const auto sequence = static_cast<std::uint32_t>(tag) & kSequenceMask;
    if (hook_) {
        const bool passed =
            PumpUntil([&] { return AtOrAfter(hookSeen_, sequence); }, Clock::now() + kHookWait);
        if (quitting_) {
            return Failure{"SendKeyString", u"Quillrun is closing.", ERROR_CANCELLED};
        }
        static_cast<void>(passed);  // a skipped hook: the round trips still pace the typing
    }
    const auto deadline = Clock::now() + responseTimeout_;
    // One round trip per message, one for the turn the target is in, one for the hand-over
    // from the hook to the target's queue.
    const std::size_t roundTrips = messages + 2;
    for (std::size_t i = 0; i < roundTrips; ++i) {
        // Quick targets answer within the slice, and the plain blocking send is cheapest.
        DWORD_PTR ignored = 0;
        if (::SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_NORMAL, kQuickAnswerMs, &ignored)) {
            continue;
        }
        if (::GetLastError() != ERROR_TIMEOUT) {
            // The window went away; whatever comes to the front next is the run's affair.
            return LastErrorFailure("SendKeyString");
        }
        // A slow target: the unanswered message is still queued there, so a new one, answered
        // no earlier, takes its place, and Quillrun's window is served while it waits.
        const std::uint64_t token = ++nextRoundTrip_;
        g_hookOwner = this;
        if (!::SendMessageCallbackW(target, WM_NULL, 0, 0, &KeyboardTypist::RoundTripDone,
                                    static_cast<ULONG_PTR>(token))) {
            return LastErrorFailure("SendKeyString");
        }
        if (!PumpUntil([&] { return roundTripsDone_ >= token; }, deadline)) {
            if (quitting_) {
                return Failure{"SendKeyString", u"Quillrun is closing.", ERROR_CANCELLED};
            }
            return NotResponding();
        }
    }
    // Between quick keystrokes Quillrun's window still gets its turn now and then.
    const ULONGLONG now = ::GetTickCount64();
    if (now - lastPump_ >= kPumpIntervalMs) {
        lastPump_ = now;
        if (!PumpUntil([] { return true; }, Clock::now()) && quitting_) {
            return Failure{"SendKeyString", u"Quillrun is closing.", ERROR_CANCELLED};
        }
    }
    return {};
}

}  // namespace quillrun::win32
