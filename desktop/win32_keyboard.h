// Real keystrokes on Windows: what the target's keyboard layout can type, and typing into the
// window in front at the pace at which its thread takes the keys.
#pragma once

#include <windows.h>

#include <bitset>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "desktop/result.h"
#include "desktop/win32_handles.h"
#include "playback/keystrokes.h"

namespace quillrun::win32 {

// A thread's keyboard layout, as the system reports it.
class SystemKeyboardLayout final : public KeyboardLayout {
  public:
    explicit SystemKeyboardLayout(HKL layout) : layout_(layout) {}
    [[nodiscard]] std::optional<LayoutKey> KeyFor(char16_t c) const override;
    [[nodiscard]] std::optional<char16_t> CharacterFrom(LayoutKey key,
                                                        bool capsLock) const override;

  private:
    HKL layout_;
};

// Types one character at a time into the foreground window and returns only once that
// window's thread has handled it.
//
// How it knows: injected input first passes the low-level keyboard hook this object installs
// on its own thread, which tells when the events have left the system's input queue for the
// target's. The target's thread then handles messages sent to it before its posted and input
// messages, one batch per message-loop turn; so after N + 1 round trips of WM_NULL, the N
// messages that the keys put in its queue have all been handled. One more round trip covers
// the moment between the hook and the event reaching that queue.
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
    void SetResponseTimeout(std::chrono::milliseconds timeout) { responseTimeout_ = timeout; }

    // Types `c` into the window in front. Fails with kNotRespondingCode when that window does
    // not take it within the response timeout.
    [[nodiscard]] Status Type(char16_t c);
    // Removes the keyboard hook until the next Type.
    void End();

  private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    static VOID CALLBACK RoundTripDone(HWND window, UINT message, ULONG_PTR token, LRESULT);

    void EnsureHook();
    void ReleaseHeldModifiers(std::vector<INPUT>& inputs, ULONG_PTR tag);
    [[nodiscard]] Status AwaitHandled(HWND target, ULONG_PTR tag, std::size_t messages);
    // Waits for `done`, handling Quillrun's own messages; false when the deadline passed or
    // the program is quitting (then `quitting_` is set).
    template <class Done>
    bool PumpUntil(Done done, std::chrono::steady_clock::time_point deadline);

    HWND window_ = nullptr;
    UniqueHook hook_;
    std::chrono::milliseconds responseTimeout_ = kDefaultResponseTimeout;
    std::uint32_t nextSequence_ = 0;
    std::uint32_t hookSeen_ = 0;        // the sequence number of our last event the hook saw
    std::uint64_t roundTripsDone_ = 0;  // tokens of finished round trips arrive in order
    std::uint64_t nextRoundTrip_ = 0;
    ULONGLONG lastPump_ = 0;       // GetTickCount64 when Quillrun's window was last served
    std::bitset<256> heldByUser_;  // modifier keys the user holds, as the hook saw them
    bool quitting_ = false;
};

}  // namespace quillrun::win32
