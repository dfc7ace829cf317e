// Typing into a window that is already open, as a user does it: Start's menu opened by a click
// on its arrow (or from the keyboard), an item chosen with the keys, a real click on the window.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "app/form_layout.h"
#include "app/start_menu.h"
#include "tests/win32/e2e_expect.h"
#include "win32/win32_handles.h"
#include "win32/win32_hot_key_dialog.h"
#include "win32/win32_text.h"

namespace quillrun::testing {
namespace {

const int kTypeIntoClickedWindow = StartMenuIndexOf(202);
const int kTypeClipboardIntoClickedWindow = StartMenuIndexOf(203);
const int kTypeTheRest = StartMenuIndexOf(204);

// Quillrun, set up to launch the test target it names in quillrun.ini, and another test target
// that is open already.
class PickedWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(session.window, nullptr);
        ASSERT_NE(open.Start(), nullptr);
        // A program just started takes the front a moment after its window shows; were that to
        // happen while Start's menu is open, the menu would close with nothing chosen.
        ASSERT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == open.window(); }));
    }

    // Chooses Start's menu item `item` (the menu opened by a click on the arrow, or from the
    // keyboard when `menu` is already open) and waits until Quillrun waits for the click.
    void Pick(int item, HWND menu = nullptr) {
        if (menu == nullptr) {
            menu = OpenStartMenu(session.window);
        }
        ASSERT_NE(menu, nullptr) << "Start's menu did not open" << Pointer();
        ASSERT_TRUE(ChooseMenuItem(menu, item));
        ASSERT_TRUE(WaitUntil([&] { return Text(session.window) == kPickCaption; }))
            << Narrow(Text(session.window)) << "; in front: \""
            << Narrow(Text(::GetForegroundWindow()))
            << "\"; started by Quillrun: " << ChildProcesses(session.process.id()).size()
            << Pointer();
    }

    // Clicks the open target and waits until Quillrun has taken it as the window to type into.
    void ClickTheTarget() {
        ASSERT_TRUE(ClickWindow(open.window()));
        ASSERT_TRUE(WaitUntil([&] { return Text(session.window) == kCaption; }))
            << "the click chose no window; in front: \"" << Narrow(Text(::GetForegroundWindow()))
            << "\"; held:" << (::GetAsyncKeyState(VK_LBUTTON) < 0 ? " left button" : "")
            << (::GetAsyncKeyState(VK_RBUTTON) < 0 ? " right button" : "")
            << (::GetAsyncKeyState(VK_MENU) < 0 ? " Alt" : "") << Pointer();
    }

    // Where the pointer is, and whose window is under it.
    static std::string Pointer() {
        POINT cursor{};
        ::GetCursorPos(&cursor);
        return "; pointer at " + std::to_string(cursor.x) + "," + std::to_string(cursor.y) +
               ", over \"" + Narrow(Text(::GetAncestor(::WindowFromPoint(cursor), GA_ROOT))) + "\"";
    }

    // Start's menu ends with the hot key's item, reading `text`; the menu is closed again.
    void ExpectHotKeyItem(const std::wstring& text) {
        HWND menu = OpenStartMenu(session.window);
        ASSERT_NE(menu, nullptr);
        const std::vector<std::wstring> items = MenuItemTexts(menu);
        PressKey(VK_ESCAPE);
        ASSERT_FALSE(items.empty());
        EXPECT_EQ(items.back(), text);
    }

    void PickAndClick(int item) {
        ASSERT_NO_FATAL_FAILURE(Pick(item));
        ASSERT_NO_FATAL_FAILURE(ClickTheTarget());
    }

    QuillrunSession session;
    TargetProgram open{{}, L"Already open"};
};

// A point of the desktop that no window covers.
POINT BareDesktop() {
    const POINT corner{::GetSystemMetrics(SM_CXVIRTUALSCREEN) - 10,
                       ::GetSystemMetrics(SM_CYVIRTUALSCREEN) - 10};
    EXPECT_EQ(::WindowFromPoint(corner), ::GetDesktopWindow());
    return corner;
}

TEST_F(PickedWindow, AWindowAlreadyOpenReceivesTheFileButTheDesktopIsNoChoice) {
    session.file = session.work / L"text.txt";
    ASSERT_TRUE(WriteBytes(session.file, "picked {window} (50%)\r\nline two"));
    SetPathBox(session.window, session.file);
    ASSERT_NO_FATAL_FAILURE(Pick(kTypeIntoClickedWindow));

    ClickAt(BareDesktop());
    EXPECT_FALSE(WaitUntil([&] { return Text(session.window) != kPickCaption; }, 2s))
        << "a click on the desktop ended the wait";
    ASSERT_NO_FATAL_FAILURE(ClickTheTarget());
    ExpectTyped(open, L"picked {window} (50%)\r\nline two\r\n");
    // Nothing was launched: the program named in quillrun.ini never started.
    EXPECT_TRUE(ChildProcesses(session.process.id()).empty());
    EXPECT_EQ(session.target.WaitForWindow(0s), nullptr);
    ExpectNoMessage(session);
}

TEST_F(PickedWindow, TheClipboardsTextArrivesExactlyWithNoEnterAdded) {
    ASSERT_TRUE(SetClipboardText(L"p@ss+w0rd {x} ~^\r\nsecond\tline\nthird"));
    ASSERT_NO_FATAL_FAILURE(PickAndClick(kTypeClipboardIntoClickedWindow));
    const std::wstring typed = L"p@ss+w0rd {x} ~^\r\nsecond\tline\r\nthird";
    ExpectTyped(open, typed);
    EXPECT_FALSE(WaitUntil([&] { return open.CharCount() > CharacterMessages(typed); }, 1s))
        << "something followed the text: " << Narrow(open.Text());
    ExpectNoMessage(session);
}

TEST_F(PickedWindow, AnEmptyClipboardTypesNothingAndSaysSoWhenTheUserComesBack) {
    ASSERT_TRUE(SetClipboardText(std::nullopt));
    ASSERT_NO_FATAL_FAILURE(PickAndClick(kTypeClipboardIntoClickedWindow));
    EXPECT_FALSE(WaitUntil([&] { return open.CharCount() != 0; }, kNothingHappens));
    ASSERT_TRUE(ComeBackToQuillrun(session));
    EXPECT_NE(TakeTheOnlyMessage(session).find(L"The clipboard holds no text: nothing was typed."),
              std::wstring::npos);
}

// A run stopped by a click on Quillrun goes on from where it stopped, into the window clicked
// next: the target then holds the whole file once.
TEST_F(PickedWindow, TheRestOfARunStoppedByAClickCompletesTheTextOnce) {
    // Five times the long text: the open target takes the keys as fast as they come, and the
    // run must still be typing when the click comes, also on a loaded machine.
    const std::string bytes = LongText() + LongText() + LongText() + LongText() + LongText();
    const std::wstring text(bytes.begin(), bytes.end());  // ASCII
    session.file = session.work / L"long.txt";
    ASSERT_TRUE(WriteBytes(session.file, bytes));
    SetPathBox(session.window, session.file);
    ASSERT_NO_FATAL_FAILURE(PickAndClick(kTypeIntoClickedWindow));
    const std::wstring message = StopByClickingQuillrun(session, open);
    ASSERT_NE(message.find(L"Quillrun stopped typing"), std::wstring::npos) << Narrow(message);
    ASSERT_LT(open.Text().size(), text.size());

    ASSERT_NO_FATAL_FAILURE(PickAndClick(kTypeTheRest));
    WaitForTyped(open, text, 60s);
    ExpectNoMessage(session);  // a run that finished says nothing: it is over
    const std::wstring typed = open.Text();
    // When the stop said the next character may have arrived, the rest began with it: the
    // target may hold that one (an Enter: CR LF) twice in a row.
    const auto withOneCharacterTwice = [&] {
        const std::size_t extra = typed.size() - text.size();
        const std::size_t at = static_cast<std::size_t>(
            std::mismatch(text.begin(), text.end(), typed.begin(), typed.end()).first -
            text.begin());
        return typed.size() > text.size() && extra <= 2 && at >= extra &&
               typed.substr(0, at) + typed.substr(at + extra) == text &&
               typed.substr(at, extra) == typed.substr(at - extra, extra);
    };
    EXPECT_TRUE(typed == text ||
                (message.find(L"The next one may have arrived") != std::wstring::npos &&
                 withOneCharacterTwice()))
        << Narrow(typed);
}

// Ctrl+Shift+Alt+V, in the order fingers press it.
const std::vector<WORD> kHotKeyKeys = {VK_CONTROL, VK_SHIFT, VK_MENU, 'V'};

// The hot key, pressed in the window already open, types the clipboard's text into it without a
// trip to Quillrun, and only once every key is let go: none of them reaches the text.
TEST_F(PickedWindow, TheHotKeyTypesTheClipboardIntoTheWindowInFrontOnceItsKeysAreLetGo) {
    const std::wstring text = L"hot {key} ~^%+ \r\nsecond line";
    ASSERT_TRUE(SetClipboardText(text));
    HoldKeys(kHotKeyKeys);
    EXPECT_FALSE(WaitUntil([&] { return open.CharCount() != 0; }, kNothingHappens))
        << "typed while the keys were held: " << Narrow(open.Text());
    LetGoOfKeys(kHotKeyKeys);
    ExpectTyped(open, text);
    EXPECT_EQ(::GetForegroundWindow(), open.window());
    EXPECT_TRUE(ChildProcesses(session.process.id()).empty());
    ExpectNoMessage(session);

    ExpectHotKeyItem(L"Hot key: Ctrl+Shift+Alt+V...");
}

// Pressed again while its run types, the hot key stops the run: nothing is typed while the
// keys are held, nothing after they are let go, and the stop says so.
TEST_F(PickedWindow, TheHotKeyPressedAgainStopsItsRun) {
    const std::string bytes = LongText() + LongText() + LongText() + LongText() + LongText();
    const std::wstring text(bytes.begin(), bytes.end());  // ASCII
    ASSERT_TRUE(SetClipboardText(text));
    HoldKeys(kHotKeyKeys);
    LetGoOfKeys(kHotKeyKeys);
    ASSERT_TRUE(WaitUntil([&] { return open.CharCount() >= 20; }));
    HoldKeys(kHotKeyKeys);
    const auto stillFor = [&](Clock::duration quiet) {
        const long count = open.CharCount();
        return !WaitUntil([&] { return open.CharCount() != count; }, quiet);
    };
    // Wine answers a key's state from a copy up to 50 ms old (GetAsyncKeyState in its win32u),
    // so the keystrokes of that moment can take the held keys, as a person's own would; after
    // it, nothing.
    ASSERT_TRUE(WaitUntil([&] { return stillFor(300ms); }));
    EXPECT_TRUE(stillFor(kNothingHappens)) << "typed while the keys were held";
    LetGoOfKeys(kHotKeyKeys);
    EXPECT_TRUE(stillFor(kNothingHappens)) << "typing went on after the second press";
    const std::wstring typed = open.Text();
    ASSERT_LT(typed.size(), text.size());
    const auto same = std::mismatch(typed.begin(), typed.end(), text.begin()).first;
    EXPECT_LE(typed.end() - same, 10) << "more than the moment's keystrokes differ";
    ASSERT_TRUE(ComeBackToQuillrun(session));
    const std::wstring message = TakeTheOnlyMessage(session);
    EXPECT_NE(message.find(L"Quillrun stopped typing because the hot key was pressed again."),
              std::wstring::npos)
        << Narrow(message);
}

// Pressed while a run is on its way (the count-down after the click), the hot key stops it and
// types nothing: the clipboard, which may hold a password, never takes the run's place. On a
// machine so busy that typing began first, the press stops the typing instead.
TEST_F(PickedWindow, TheHotKeyStopsARunOnItsWayAndNeverTypesTheClipboardInstead) {
    ASSERT_TRUE(SetClipboardText(L"CLIPBOARD SECRET"));
    ASSERT_TRUE(WriteBytes(session.work / L"file.txt", "file text"));
    SetPathBox(session.window, session.work / L"file.txt");
    ASSERT_NO_FATAL_FAILURE(Pick(kTypeIntoClickedWindow));
    ASSERT_NO_FATAL_FAILURE(ClickTheTarget());
    HoldKeys(kHotKeyKeys);
    LetGoOfKeys(kHotKeyKeys);
    EXPECT_FALSE(WaitUntil([&] { return open.Text().find(L"CLIPBOARD") != std::wstring::npos; },
                           kNothingHappens))
        << Narrow(open.Text());
    ASSERT_TRUE(ComeBackToQuillrun(session));
    const std::wstring message = TakeTheOnlyMessage(session);
    if (message.find(L"the hot key was pressed before typing began") != std::wstring::npos) {
        EXPECT_EQ(open.CharCount(), 0) << Narrow(open.Text());
    } else {
        EXPECT_NE(message.find(L"stopped typing because the hot key was pressed again"),
                  std::wstring::npos)
            << Narrow(message);
    }
}

// The refusal under the key's control reads `text`, whole within its box, above OK and Cancel;
// and OK can be chosen only when it is empty.
void ExpectRefusal(HWND dialog, const std::wstring& text) {
    const HWND note = ::GetDlgItem(dialog, win32::kHotKeyRefusalId);
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(Text(note), text);
    EXPECT_EQ(::IsWindowEnabled(::GetDlgItem(dialog, IDOK)) != FALSE, text.empty());
    RECT box{};
    ::GetClientRect(note, &box);
    RECT needed{0, 0, box.right, 0};
    const win32::WindowDc dc(note);
    // The dialog's font, as the dialog manager makes it for DS_SHELLFONT (a font handle is
    // Quillrun's own, of no use in this process).
    const win32::UniqueGdiObject font(
        ::CreateFontW(-::MulDiv(9, ::GetDeviceCaps(dc.get(), LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL,
                      FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, L"MS Shell Dlg 2"));
    const HGDIOBJ before = ::SelectObject(dc.get(), font.get());
    ::DrawTextW(dc.get(), text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    ::SelectObject(dc.get(), before);
    EXPECT_LE(needed.bottom, box.bottom) << "the sentence does not fit its box";
    RECT noteOnScreen{};
    RECT ok{};
    RECT client{};
    ::GetWindowRect(note, &noteOnScreen);
    ::GetWindowRect(::GetDlgItem(dialog, IDOK), &ok);
    ::GetClientRect(dialog, &client);
    ::MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&client), 2);
    EXPECT_GE(ok.top, noteOnScreen.bottom) << "OK covers the sentence";
    EXPECT_LE(ok.bottom, client.bottom) << "OK is cut off";
}

// The hot key's dialog, opened from the end of Start's menu: the key pressed into its control
// becomes the hot key at once, and its button leaves none. A key that may not be the hot key
// stays as pressed and says why, and OK cannot be chosen for it.
TEST_F(PickedWindow, TheHotKeyDialogSetsAnotherKeyOrNone) {
    const auto openTheDialog = [&] {
        HWND menu = OpenStartMenu(session.window);
        EXPECT_NE(menu, nullptr);
        PressKey(VK_END);
        PressKey(VK_RETURN);
        return FindMessageBox(session.process.id(), session.window);
    };
    const auto control = [](HWND dialog) {
        for (HWND child : Children(dialog)) {
            if (ClassName(child) == L"msctls_hotkey32") {
                return child;
            }
        }
        return HWND{};
    };
    HWND dialog = openTheDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_NE(control(dialog), nullptr) << Narrow(AllChildText(dialog));
    EXPECT_EQ(::SendMessageW(control(dialog), HKM_GETHOTKEY, 0, 0),
              MAKEWORD('V', HOTKEYF_CONTROL | HOTKEYF_SHIFT | HOTKEYF_ALT));
    ExpectRefusal(dialog, L"");
    const auto press = [&](const std::vector<WORD>& keys, WORD shown) {
        HoldKeys(keys);
        LetGoOfKeys(keys);
        return WaitUntil([&] {
            return ::IsWindow(dialog) && ::SendMessageW(control(dialog), HKM_GETHOTKEY, 0, 0) ==
                                             MAKEWORD(keys.back(), shown);
        });
    };
    ASSERT_TRUE(press({VK_CONTROL, VK_MENU, 'E'}, HOTKEYF_CONTROL | HOTKEYF_ALT));
    ExpectRefusal(
        dialog, win32::ToWide(HotKeyRefusalText(HotKeyRefusal::AltGrCharacter, Language::English)));
    PressKey(VK_RETURN);  // OK, which cannot be chosen: the dialog stays, and reads the next keys
    const std::vector<WORD> ctrlAltF9 = {VK_CONTROL, VK_MENU, VK_F9};
    ASSERT_TRUE(press(ctrlAltF9, HOTKEYF_CONTROL | HOTKEYF_ALT)) << "Enter chose a refused key";
    ExpectRefusal(dialog, L"");
    PressKey(VK_RETURN);  // OK
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));

    // The new key types; the old one no longer does.
    ASSERT_TRUE(SetClipboardText(L"by F9"));
    ASSERT_TRUE(BringToFront(open.window()));
    HoldKeys(kHotKeyKeys);
    LetGoOfKeys(kHotKeyKeys);
    HoldKeys(ctrlAltF9);
    LetGoOfKeys(ctrlAltF9);
    ExpectTyped(open, L"by F9");
    EXPECT_FALSE(WaitUntil([&] { return open.CharCount() > 5; }, kNothingHappens))
        << Narrow(open.Text());

    dialog = openTheDialog();
    ASSERT_NE(dialog, nullptr);
    HWND none = nullptr;
    for (HWND child : Children(dialog)) {
        if (Text(child) == L"No hot key") {
            none = child;
        }
    }
    ASSERT_NE(none, nullptr) << Narrow(AllChildText(dialog));
    ::PostMessageW(none, BM_CLICK, 0, 0);
    ASSERT_TRUE(
        WaitUntil([&] { return ::SendMessageW(control(dialog), HKM_GETHOTKEY, 0, 0) == 0; }));
    PressKey(VK_RETURN);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
    ExpectHotKeyItem(L"Hot key: none...");
}

TEST_F(PickedWindow, TheKeyboardOpensStartsMenuAndEscEndsTheWait) {
    ASSERT_TRUE(BringToFront(session.window));
    HWND start = ::GetDlgItem(session.window, static_cast<int>(ControlId::Start));
    PressKey(VK_TAB);  // to the browse button
    PressKey(VK_TAB);  // to Start
    ASSERT_TRUE(WaitUntil([&] { return FocusIn(session.window) == start; }));
    PressKey(VK_DOWN);
    HWND menu = WaitForOpenMenu();
    ASSERT_NE(menu, nullptr) << "Down on Start did not open its menu";
    ASSERT_NO_FATAL_FAILURE(Pick(kTypeIntoClickedWindow, menu));
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(WaitUntil([&] { return Text(session.window) == kCaption; }));
    EXPECT_TRUE(ChildProcesses(session.process.id()).empty());
    ExpectNoMessage(session, kNothingHappens);
    EXPECT_EQ(open.CharCount(), 0);
}

}  // namespace
}  // namespace quillrun::testing
