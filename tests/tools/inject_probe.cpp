// Injects shifted characters into the test target with nothing but SendInput, to tell whether a
// Shift that goes missing is lost by the system or by the typist: no shared input state, no key
// state read, no modifier released ahead of a key.
//
//   qr_inject_probe ROUNDS [burst|split|focus]
//
// Each round starts a target as the keyboard test does, brings it to the front and types the
// same characters: Shift down, key down, key up, Shift up, in one SendInput (burst), or the two
// presses first and the two releases once the character has been handled (split, as the
// keyboard types a key whose toggle bit it does not trust yet). Each character is waited for by
// the target's count of handled characters. focus types as split does, and while Shift is down
// for each "(" moves the foreground to a window of its own and back to the target, as a target
// whose activation reaches it late has its window focused mid-run. Windows keeps an injected
// Shift down across that; Wine resets the modifiers to the X server's keyboard whenever one of
// its windows gets the X focus, and injected keys never show there.
//
// Prints one line per round that went wrong, with the target's keyboard messages, then the
// totals. Exit code 0 when every character came out as sent, 1 when one did not, 2 on bad usage
// or a target that did not start.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/win32/e2e_support.h"

using namespace quillrun::testing;

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: qr_inject_probe ROUNDS [burst|split|focus]\n");
        return 2;
    }
    const int rounds = std::max(1, _wtoi(argv[1]));
    const std::wstring mode = argc > 2 ? argv[2] : L"burst";
    const bool focus = mode == L"focus";
    const bool split = focus || mode == L"split";
    HWND elsewhere = nullptr;
    if (focus) {
        elsewhere =
            ::CreateWindowExW(0, L"STATIC", L"Probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 600, 400,
                              200, 100, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    }
    const auto pump = [] {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::DispatchMessageW(&message);
        }
    };
    long dropped = 0;  // Shift presses the system let go of by itself
    // The keyboard test's shifted characters, and a few more of the "(" that went missing.
    // Each character with its key on the US layout (Wine's listing of it misses "(" and ")")
    // and what the key types without Shift.
    struct Typed {
        wchar_t c;
        WORD key;
        bool shift;
        wchar_t unshifted;
    };
    const std::vector<Typed> keys = {
        {L'a', 'A', false, L'a'},     {L'Z', 'Z', true, L'z'},      {L'+', VK_OEM_PLUS, true, L'='},
        {L'{', VK_OEM_4, true, L'['}, {L'}', VK_OEM_6, true, L']'}, {L'(', '9', true, L'9'},
        {L'~', VK_OEM_3, true, L'`'}, {L')', '0', true, L'0'},      {L'%', '5', true, L'5'},
        {L'^', '6', true, L'6'},      {L'!', '1', true, L'1'},      {L'A', 'A', true, L'a'},
        {L'B', 'B', true, L'b'},      {L'(', '9', true, L'9'},      {L'(', '9', true, L'9'},
    };
    std::wstring text;
    for (const Typed& k : keys) {
        text += k.c;
    }
    long shifted = 0;
    long lost = 0;
    long otherwise = 0;
    for (int round = 0; round < rounds; ++round) {
        TargetProgram target(L"--key-delay-ms 10 --char-delay-ms 10");
        if (target.Start() == nullptr || !BringToFront(target.window())) {
            std::fprintf(stderr, "round %d: the target did not come up in front\n", round + 1);
            return 2;
        }
        long expected = 0;
        for (const Typed& k : keys) {
            const WORD virtualKey = k.key;
            const bool shift = k.shift;
            std::vector<INPUT> inputs;
            if (shift) {
                inputs.push_back(KeyInput(VK_LSHIFT, false));
                ++shifted;
            }
            inputs.push_back(KeyInput(virtualKey, false));
            std::vector<INPUT> releases{KeyInput(virtualKey, true)};
            if (shift) {
                releases.push_back(KeyInput(VK_LSHIFT, true));
            }
            if (!split) {
                inputs.insert(inputs.end(), releases.begin(), releases.end());
                releases.clear();
            }
            ++expected;
            if (focus && k.c == L'(') {
                // Shift alone first; then the target loses the foreground and gets it back.
                ::SendInput(1, inputs.data(), sizeof(INPUT));
                inputs.erase(inputs.begin());
                if (!BringToFront(elsewhere) || !BringToFront(target.window())) {
                    std::fprintf(stderr, "round %d: the foreground did not move\n", round + 1);
                    return 2;
                }
                // The target has had its turns at its activation once it answers.
                DWORD_PTR ignored = 0;
                ::SendMessageTimeoutW(target.window(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
                pump();
                if (WaitUntil(
                        [&] {
                            pump();
                            return (::GetAsyncKeyState(VK_SHIFT) & 0x8000) == 0;
                        },
                        std::chrono::milliseconds(500))) {
                    ++dropped;
                }
            }
            if (::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) !=
                inputs.size()) {
                std::fprintf(stderr, "SendInput failed: %lu\n", ::GetLastError());
                return 2;
            }
            const bool handled = WaitUntil([&] { return target.HandledCharsNow() >= expected; });
            if (!releases.empty()) {
                ::SendInput(static_cast<UINT>(releases.size()), releases.data(), sizeof(INPUT));
            }
            if (!handled) {
                std::fprintf(stderr, "round %d: character %ld never handled; got \"%ls\"\n%s\n",
                             round + 1, expected, target.Text().c_str(), target.Events().c_str());
                return 2;
            }
        }
        // The last releases are handled too before the text is read.
        const bool settled = WaitUntil([&] {
            const std::string events = target.Events();
            return events.rfind("KEYUP vk=10") != std::string::npos &&
                   events.rfind("KEYUP vk=10") > events.rfind("KEYDOWN vk=10");
        });
        const std::wstring got = target.Text();
        if (got != text || !settled) {
            for (std::size_t i = 0; i < text.size(); ++i) {
                if (i < got.size() && got[i] != text[i] && got[i] == keys[i].unshifted) {
                    ++lost;
                } else if (i >= got.size() || got[i] != text[i]) {
                    ++otherwise;
                }
            }
            std::printf("round %d: sent \"%ls\", got \"%ls\"\n%s\n", round + 1, text.c_str(),
                        got.c_str(), target.Events().c_str());
        }
    }
    std::printf("%d rounds, %ld shifted characters, %ld came without Shift, %ld otherwise wrong",
                rounds, shifted, lost, otherwise);
    if (focus) {
        std::printf(", %ld times the system let go of Shift on the change of focus", dropped);
    }
    std::printf("\n");
    return lost + otherwise == 0 ? 0 : 1;
}
