// Keystroke synthesis on a real (Wine) desktop: which keys the layout gives, that typing waits
// for the target, and that a target which stops responding ends the wait.
#include <windows.h>
#include <imm.h>

#include <gtest/gtest.h>

#include "win32/win32_desktop.h"
#include "win32/win32_keyboard.h"
#include "keys/key_string.h"
#include "tests/key_events.h"
#include "tests/target/test_target_protocol.h"
#include "tests/win32/e2e_support.h"

namespace quillrun::testing {
namespace {

using namespace key_events;

struct LayoutCase {
    char16_t c;
    CapsLock capsLock;
    std::vector<KeyEvent> events;
};

TEST(UsLayout, RealKeysWithTheirModifiersAndUnicodeForTheRest) {
    const win32::SystemKeyboardLayout layout(::GetKeyboardLayout(0));
    const LayoutCase cases[] = {
        {u'a', false, {Down('A', true), Up('A')}},
        {u'A', false, {Down(VK_SHIFT), Down('A', true), Up('A'), Up(VK_SHIFT)}},
        {u'A', true, {Down('A', true), Up('A')}},
        {u'a', true, {Down(VK_SHIFT), Down('A', true), Up('A'), Up(VK_SHIFT)}},
        {u'7', true, {Down('7', true), Up('7')}},
        // Caps Lock unknown (a console's input cannot be shared): letters go as Unicode.
        {u'a', std::nullopt, {Down(u'a', true, K::Unicode), Up(u'a', K::Unicode)}},
        {u'7', std::nullopt, {Down('7', true), Up('7')}},
        {u'+', false, {Down(VK_SHIFT), Down(VK_OEM_PLUS, true), Up(VK_OEM_PLUS), Up(VK_SHIFT)}},
        {u'{', false, {Down(VK_SHIFT), Down(VK_OEM_4, true), Up(VK_OEM_4), Up(VK_SHIFT)}},
        // Keys Wine's own listing of the US layout misses.
        {u'(', false, {Down(VK_SHIFT), Down('9', true), Up('9'), Up(VK_SHIFT)}},
        {u')', std::nullopt, {Down(VK_SHIFT), Down('0', true), Up('0'), Up(VK_SHIFT)}},
        {u' ', false, {Down(VK_SPACE, true), Up(VK_SPACE)}},
        {u'\t', false, {Down(VK_TAB, true), Up(VK_TAB)}},
        {u'\n', false, {Down(VK_RETURN, true), Up(VK_RETURN)}},
        {u'\u00E9', false, {Down(0xE9, true, K::Unicode), Up(0xE9, K::Unicode)}},
        {u'\u65E5', false, {Down(0x65E5, true, K::Unicode), Up(0x65E5, K::Unicode)}},
        {u'\xD83D', false, {Down(0xD83D, true, K::Unicode), Up(0xD83D, K::Unicode)}},
        {u'\x01', false, {}},
    };
    for (const LayoutCase& c : cases) {
        EXPECT_EQ(PlanKeystrokes(c.c, layout, c.capsLock), c.events)
            << "character " << static_cast<int>(c.c)
            << (!c.capsLock   ? " with Caps Lock unknown"
                : *c.capsLock ? " with Caps Lock"
                              : "");
    }
}

// A keystroke Quillrun typed that comes back to its own window (its input was shared with a
// target that went away mid-keystroke) is dropped; the user's own typing is not.
TEST(OwnWindow, KeystrokesQuillrunTypedAreDroppedTheUsersAreNot) {
    HWND edit = ::CreateWindowExW(0, L"EDIT", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300,
                                  100, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(edit, nullptr);
    ASSERT_TRUE(BringToFront(edit));
    ::SetFocus(edit);
    const auto type = [](wchar_t c, ULONG_PTR mark) {
        INPUT inputs[2] = {};
        for (INPUT& input : inputs) {
            input.type = INPUT_KEYBOARD;
            input.ki.wScan = c;
            input.ki.dwFlags = KEYEVENTF_UNICODE;
            input.ki.dwExtraInfo = mark;
        }
        inputs[1].ki.dwFlags |= KEYEVENTF_KEYUP;
        ::SendInput(2, inputs, sizeof(INPUT));
    };
    const auto pumpUntilText = [&](const std::wstring& wanted) {
        return WaitUntil([&] {
            MSG message;
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                win32::DispatchWindowMessage(nullptr, message);
            }
            return Text(edit) == wanted;
        });
    };
    type(L'q', win32::kTypedKeyMark);
    type(L'u', 0);  // the user's: it arrives after Quillrun's, which is gone by then
    EXPECT_TRUE(pumpUntilText(L"u")) << Narrow(Text(edit));
    type(L'x', win32::kTypedKeyMark);
    type(L'y', 0);
    EXPECT_TRUE(pumpUntilText(L"uy")) << Narrow(Text(edit));
    ::DestroyWindow(edit);
}

class Typing : public ::testing::Test {
  protected:
    void StartTarget(const std::wstring& arguments) {
        target = std::make_unique<TargetProgram>(arguments);
        ASSERT_NE(target->Start(), nullptr);
        ASSERT_TRUE(BringToFront(target->window()));
    }

    // Types into the target, which must be in front.
    Status Send(std::u16string_view keys) {
        return desktop.SendKeyString(keys, Id(target->window()));
    }

    static WindowId Id(HWND window) { return WindowId{reinterpret_cast<std::uintptr_t>(window)}; }

    win32::Win32Desktop desktop;
    std::unique_ptr<TargetProgram> target;
};

TEST_F(Typing, EachKeyStringReturnsOnlyOnceTheTargetHasHandledIt) {
    // Every key press, release and character costs the target 10 ms: a typist that did not
    // wait would be far ahead. The count is read from the target's memory at once, so a return
    // while the character is still being handled shows too. Each keystroke arrives while the
    // target still handles the release before it, so the target takes the first round trip
    // as late as it can: the worst case. Into a target whose input state is shared, and into
    // one typed as a console window is, whose input state cannot be.
    const std::u16string text = u"aZ+{}(~)%^ \t\u00E9\u65E5\xD83D\xDE00!AB";
    for (const bool shared : {true, false}) {
        SCOPED_TRACE(shared ? "input shared" : "input not shared");
        StartTarget(L"--key-delay-ms 10 --char-delay-ms 10");
        desktop.AllowSharingInput(shared);
        long expected = 0;
        for (const char16_t c : text) {
            const Status sent = Send(EscapeKeyChar(c));
            ASSERT_TRUE(sent.ok())
                << "character " << expected + 1 << " failed with code " << sent.failure().code
                << ": "
                << Utf8(std::wstring(sent.failure().reason.begin(), sent.failure().reason.end()));
            EXPECT_EQ(target->HandledCharsNow(), ++expected) << "after character " << expected;
        }
        ASSERT_TRUE(Send(kLineEndKeys).ok());
        EXPECT_EQ(target->HandledCharsNow(), ++expected);
        desktop.EndTyping();
        EXPECT_EQ(target->Text(), std::wstring(text.begin(), text.end()) + L"\r\n");
        for (const int key : {VK_SHIFT, VK_CONTROL, VK_MENU}) {
            EXPECT_EQ(::GetAsyncKeyState(key) & 0x8000, 0) << "key left down: " << key;
        }
    }
}

TEST_F(Typing, RealKeysCarryScanCodesAndEnterIsOneKey) {
    StartTarget(L"");
    for (const std::u16string_view keys : {u"q", u"Q", u"\r\n", u"\n"}) {
        ASSERT_TRUE(Send(keys).ok());
    }
    desktop.EndTyping();
    EXPECT_EQ(target->Text(), L"qQ\r\n\r\n");
    const std::string events = target->Events();
    EXPECT_NE(events.find("KEYDOWN vk=51 scan=010"), std::string::npos) << events;
    EXPECT_NE(events.find("KEYDOWN vk=10 scan=02A"), std::string::npos) << events;
    EXPECT_NE(events.find("KEYDOWN vk=0D scan=01C"), std::string::npos) << events;
}

TEST_F(Typing, ModifiersTheUserHoldsDoNotLeakIntoTheText) {
    StartTarget(L"");
    INPUT shift{};
    shift.type = INPUT_KEYBOARD;
    shift.ki.wVk = VK_LSHIFT;
    shift.ki.wScan = 0x2A;
    ASSERT_EQ(::SendInput(1, &shift, sizeof(shift)), 1u);  // "held" since before typing began
    ASSERT_TRUE(WaitUntil([] { return (::GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0; }));
    // A user's press long before typing has reached the target too. Without this wait the
    // press may still be queued there when the first key is planned, while Wine has already
    // dropped it from the system's state on syncing with the X server: a race no real
    // keyboard has.
    ASSERT_TRUE(
        WaitUntil([&] { return target->Events().find("KEYDOWN vk=10") != std::string::npos; }));
    for (const std::u16string_view keys : {u"a", u"b"}) {
        ASSERT_TRUE(Send(keys).ok());
    }
    desktop.EndTyping();
    EXPECT_EQ(target->Text(), L"ab") << target->Events();
    EXPECT_EQ(::GetAsyncKeyState(VK_SHIFT) & 0x8000, 0);
}

TEST_F(Typing, ATargetThatStopsRespondingEndsTheWaitWithinTheBound) {
    StartTarget(L"--stall-at 2 --stall-ms 3000");
    desktop.SetResponseTimeout(std::chrono::milliseconds(800));
    ASSERT_TRUE(Send(u"a").ok());
    const auto start = Clock::now();
    const Status stalled = Send(u"b");
    const auto waited = Clock::now() - start;
    desktop.EndTyping();
    ASSERT_FALSE(stalled.ok());
    EXPECT_EQ(stalled.failure().code, kNotRespondingCode);
    EXPECT_GE(waited, 700ms);
    EXPECT_LT(waited, 2500ms);
}

// A target that stops for a moment answers no round trip quickly, which ends the sharing of its
// input state; from then on each key is seen handled by repaints and round trips. The keys are
// still chosen as at the start: letters stay keys, never Unicode input (VK_PACKET), which
// virtual-machine and VNC consoles drop.
TEST_F(Typing, AStallChangesHowKeysAreSeenHandledNeverWhichKeysTypeThem) {
    StartTarget(L"--stall-at 30 --stall-ms 300");
    ASSERT_TRUE(desktop.BeginTyping({}).ok());
    std::u16string text;
    while (text.size() < 200) {
        text += u"pack my box with 5 dozen liquor jugs 0123456789 ";
    }
    text.resize(200);
    for (const char16_t c : text) {
        const Status sent = Send(EscapeKeyChar(c));
        ASSERT_TRUE(sent.ok()) << "failed with code " << sent.failure().code;
    }
    desktop.EndTyping();
    EXPECT_EQ(target->Text(), std::wstring(text.begin(), text.end()));
    const std::string events = target->Events();
    EXPECT_EQ(events.find("vk=E7"), std::string::npos) << events;
}

// With the other computer's layout chosen every character goes as keys of it: a character it
// has no keys for is named before the first key and refused, never sent as Unicode input.
TEST_F(Typing, AChosenLayoutTypesKeysOnly) {
    StartTarget(L"");
    const std::vector<std::u16string> layouts = desktop.InstalledKeyboardLayouts();
    ASSERT_FALSE(layouts.empty());
    TypingOptions options;
    options.layout = layouts.front();
    ASSERT_TRUE(desktop.BeginTyping(options).ok());
    EXPECT_EQ(desktop.FirstNotTypableAsKeys(u"1 日"), std::optional<std::size_t>(2));
    EXPECT_TRUE(Send(u"1").ok());
    const Status refused = Send(u"日");
    desktop.EndTyping();
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.failure().code, std::uint32_t{ERROR_NO_UNICODE_TRANSLATION});
    EXPECT_EQ(target->Text(), L"1");
    EXPECT_EQ(target->Events().find("vk=E7"), std::string::npos);
}

// Typing closes an open input method of the target's window and opens it again afterwards,
// through the input method window of the target's thread, which answers other processes.
TEST_F(Typing, TheInputMethodOfAnotherProgramsWindowIsReadClosedAndOpened) {
    StartTarget(L"--input-method-open");
    const WindowId window{reinterpret_cast<std::uintptr_t>(target->window())};
    const auto targetSays = [&] {
        DWORD_PTR open = 0;
        ::SendMessageTimeoutW(target->window(), kInputMethodOpenMessage, 0, 0, SMTO_NORMAL, 5000,
                              &open);
        return open != 0;
    };
    ASSERT_TRUE(targetSays()) << "the target could not open its input method";
    if (::ImmGetDefaultIMEWnd(target->window()) == nullptr) {
        // Wine's input method windows do not answer other processes; Windows' do.
        GTEST_SKIP() << "this system gives no input method window of another process";
    }
    const std::optional<InputMethodState> state = desktop.InputMethodStatus(window);
    ASSERT_TRUE(state.has_value());
    EXPECT_TRUE(state->open);
    EXPECT_TRUE(desktop.SetInputMethodStatus(window, state->Latin()));
    EXPECT_TRUE(WaitUntil([&] { return !targetSays(); }));
    EXPECT_TRUE(desktop.SetInputMethodStatus(window, *state));
    EXPECT_TRUE(WaitUntil([&] { return targetSays(); }));
}

TEST_F(Typing, KeyStringsQuillrunNeverSendsAreRefused) {
    StartTarget(L"--second-window");
    for (const std::u16string_view keys : {u"", u"+", u"ab", u"+(ab)", u"{TAB 2}", u"{WAIT 5}"}) {
        EXPECT_FALSE(Send(keys).ok());
    }
    // Nor is a key sent while another window than the one named is in front, though of the same
    // program: its second document, or a dialog it opened, whose buttons the keys would press.
    const auto seconds = WindowsWithCaption(target->title() + L" - second");
    ASSERT_EQ(seconds.size(), 1u);
    const HWND second = seconds.front();
    const auto secondChars = [&] {
        DWORD_PTR count = 0;
        ::SendMessageTimeoutW(second, kCharCountMessage, 0, 0, SMTO_NORMAL, 5000, &count);
        return static_cast<long>(count);
    };
    for (const auto& [front, named] :
         {std::pair{target->window(), second}, std::pair{second, target->window()}}) {
        ASSERT_TRUE(BringToFront(front));
        const Status elsewhere = desktop.SendKeyString(u"a", Id(named));
        ASSERT_FALSE(elsewhere.ok());
        EXPECT_EQ(elsewhere.failure().code, kNoWindowInFrontCode);
    }
    desktop.EndTyping();
    EXPECT_EQ(target->CharCount(), 0);
    EXPECT_EQ(secondChars(), 0);
}

}  // namespace
}  // namespace quillrun::testing
