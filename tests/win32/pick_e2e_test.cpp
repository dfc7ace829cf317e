// Typing into a window that is already open, as a user does it: Start's menu opened by a click
// on its arrow (or from the keyboard), an item chosen with the keys, a real click on the window.
#include <gtest/gtest.h>

#include "tests/win32/e2e_expect.h"

namespace quillrun::testing {
namespace {

constexpr int kTypeIntoClickedWindow = 1;
constexpr int kTypeClipboardIntoClickedWindow = 2;

// Chooses Start's menu item `item` and waits until Quillrun waits for the click.
void Pick(const QuillrunSession& session, int item) {
    HWND menu = OpenStartMenu(session.window);
    ASSERT_NE(menu, nullptr) << "Start's menu did not open";
    ASSERT_TRUE(ChooseMenuItem(menu, item));
    ASSERT_TRUE(WaitUntil([&] { return Text(session.window) == kPickCaption; }))
        << Narrow(Text(session.window));
}

// A point of the desktop that no window covers.
POINT BareDesktop() {
    const POINT corner{::GetSystemMetrics(SM_CXVIRTUALSCREEN) - 10,
                       ::GetSystemMetrics(SM_CYVIRTUALSCREEN) - 10};
    EXPECT_EQ(::WindowFromPoint(corner), ::GetDesktopWindow());
    return corner;
}

TEST(PickedWindow, AWindowAlreadyOpenReceivesTheFileButTheDesktopIsNoChoice) {
    QuillrunSession session;
    ASSERT_NE(session.window, nullptr);
    TargetProgram open({}, L"Already open");
    ASSERT_NE(open.Start(), nullptr);
    session.file = session.work / L"text.txt";
    ASSERT_TRUE(WriteBytes(session.file, "picked {window} (50%)\r\nline two"));
    SetPathBox(session.window, session.file);
    Pick(session, kTypeIntoClickedWindow);

    ClickAt(BareDesktop());
    EXPECT_FALSE(WaitUntil([&] { return Text(session.window) != kPickCaption; }, 2s))
        << "a click on the desktop ended the wait";
    ClickWindow(open.window());
    EXPECT_TRUE(WaitUntil([&] { return Text(session.window) == kCaption; }));
    ExpectTyped(open, L"picked {window} (50%)\r\nline two\r\n");
    // Nothing was launched: the program named in quillrun.ini never started.
    EXPECT_TRUE(ChildProcesses(session.process.id()).empty());
    EXPECT_EQ(session.target.WaitForWindow(0s), nullptr);
    ExpectNoMessage(session);
}

TEST(PickedWindow, TheClipboardsTextArrivesExactlyWithNoEnterAdded) {
    QuillrunSession session;
    ASSERT_NE(session.window, nullptr);
    TargetProgram open({}, L"Clipboard target");
    ASSERT_NE(open.Start(), nullptr);
    const std::wstring text = L"p@ss+w0rd {x} ~^\r\nsecond\tline\nthird";
    ASSERT_TRUE(SetClipboardText(text));
    Pick(session, kTypeClipboardIntoClickedWindow);
    ClickWindow(open.window());
    const std::wstring typed = L"p@ss+w0rd {x} ~^\r\nsecond\tline\r\nthird";
    ExpectTyped(open, typed);
    EXPECT_FALSE(WaitUntil([&] { return open.CharCount() > CharacterMessages(typed); }, 1s))
        << "something followed the text: " << Narrow(open.Text());
    ExpectNoMessage(session);
}

TEST(PickedWindow, AnEmptyClipboardTypesNothingAndSaysSoWhenTheUserComesBack) {
    QuillrunSession session;
    ASSERT_NE(session.window, nullptr);
    TargetProgram open({}, L"Nothing to type");
    ASSERT_NE(open.Start(), nullptr);
    ASSERT_TRUE(SetClipboardText(std::nullopt));
    Pick(session, kTypeClipboardIntoClickedWindow);
    ClickWindow(open.window());
    EXPECT_FALSE(WaitUntil([&] { return open.CharCount() != 0; }, kNothingHappens));
    ASSERT_TRUE(BringToFront(session.window));
    EXPECT_NE(TakeTheOnlyMessage(session).find(L"The clipboard holds no text: nothing was typed."),
              std::wstring::npos);
}

TEST(PickedWindow, TheKeyboardOpensStartsMenuAndEscEndsTheWait) {
    QuillrunSession session;
    ASSERT_NE(session.window, nullptr);
    ASSERT_TRUE(BringToFront(session.window));
    HWND start = ::GetDlgItem(session.window, 103);
    PressKey(VK_TAB);  // to the browse button
    PressKey(VK_TAB);  // to Start
    ASSERT_TRUE(WaitUntil([&] { return FocusIn(session.window) == start; }));
    PressKey(VK_DOWN);
    HWND menu = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        const auto menus = VisibleTopLevelWindows([](HWND w) { return ClassName(w) == L"#32768"; });
        menu = menus.empty() ? nullptr : menus.front();
        return menu != nullptr;
    })) << "Down on Start did not open its menu";
    ASSERT_TRUE(ChooseMenuItem(menu, kTypeIntoClickedWindow));
    ASSERT_TRUE(WaitUntil([&] { return Text(session.window) == kPickCaption; }));
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(WaitUntil([&] { return Text(session.window) == kCaption; }));
    EXPECT_TRUE(ChildProcesses(session.process.id()).empty());
    ExpectNoMessage(session, kNothingHappens);
}

}  // namespace
}  // namespace quillrun::testing
