// Typing for a remote desktop or a virtual machine, as a user sets it up: a pace, keys only,
// chosen in Start's menu and kept in quillrun.ini for the next start.
#include <gtest/gtest.h>

#include "app/start_menu.h"
#include "tests/win32/e2e_expect.h"

namespace quillrun::testing {
namespace {

// Start's menu items, counted from 0 as the keyboard reaches them (separators are skipped):
// its commands, then the paces and the rest.
constexpr int kPaces = static_cast<int>(kStartCommands.size());
constexpr int kPace20 = kPaces + 1;
constexpr int kPace50 = kPaces + 2;
constexpr int kKeysOnly = kPaces + 4;
constexpr int kKeySequences = kPaces + 5;

class RemoteTyping : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(session.window, nullptr); }

    void Choose(int item) {
        HWND menu = OpenStartMenu(session.window);
        ASSERT_NE(menu, nullptr) << "Start's menu did not open";
        ASSERT_TRUE(ChooseMenuItem(menu, item));
    }

    QuillrunSession session;
};

// Where the display language is not Japanese, the menu is English (its Japanese is tested in
// the Japanese locale).
TEST_F(RemoteTyping, StartsMenuOffersTheChoicesInEnglish) {
    if (DisplayIsJapanese()) {
        GTEST_SKIP() << "the display language is Japanese";
    }
    HWND menu = OpenStartMenu(session.window);
    ASSERT_NE(menu, nullptr) << "Start's menu did not open";
    ExpectMenuBeginsWith(menu, {
                                   L"Start",
                                   L"Type into the window I click next",
                                   L"Type the clipboard into the window I click next",
                                   L"Type a secret into the window I click next...",
                                   L"(grayed) Type the rest into the window I click next",
                                   L"-",
                                   L"Pace: as fast as the program takes the keys",
                                   L"Pace: 20 ms a key (remote desktops)",
                                   L"Pace: 50 ms a key (virtual machines)",
                                   L"Pace: 100 ms a key (web and KVM consoles)",
                                   L"Keys only (for consoles that ignore Unicode input)",
                                   L"Key sequences: read {TAB}, {ENTER}, {WAIT 500} as keys",
                                   L"Keyboard layout of the other computer",
                                   L"    Same as this computer",
                               });
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(menu); }));
}

TEST_F(RemoteTyping, AtFiftyMsAKeyEachKeyEventArrivesOnItsOwnAndTheTextWhole) {
    ASSERT_NO_FATAL_FAILURE(Choose(kPace50));
    const std::wstring text = L"Ab (x)\r\n";
    session.TypeFile("Ab (x)");
    ASSERT_NE(session.target.WaitForWindow(), nullptr);
    EXPECT_EQ(WaitForTyped(session.target, text, 20s), text);
    const std::string events = session.target.Events();
    const std::vector<SeenKey> keys = KeyEvents(events);
    ASSERT_GE(keys.size(), 16u) << events;
    for (std::size_t i = 1; i < keys.size(); ++i) {
        // Half the pace between any two, so Shift never comes in the instant of its key.
        EXPECT_GE(keys[i].sentMs - keys[i - 1].sentMs, 25) << "event " << i << "\n" << events;
    }
    // The parentheses are on the US layout (Shift+9, Shift+0): keys, not Unicode input.
    EXPECT_EQ(events.find("vk=E7"), std::string::npos) << events;
}

TEST_F(RemoteTyping, KeysOnlyTypesNothingOfATextWithACharacterTheLayoutLacksAndSaysWhich) {
    ASSERT_NO_FATAL_FAILURE(Choose(kKeysOnly));
    session.TypeFile("ok\r\ncaf\xC3\xA9 {x} + 1\r\n");
    ASSERT_NE(session.target.WaitForWindow(), nullptr);
    EXPECT_FALSE(WaitUntil([&] { return session.target.CharCount() != 0; }, kNothingHappens));
    ASSERT_TRUE(ComeBackToQuillrun(session));
    const std::wstring message = TakeTheOnlyMessage(session);
    EXPECT_NE(message.find(L"U+00E9 \u00E9 at line 2, column 4 of the file"), std::wstring::npos)
        << Narrow(message);

    // Without it, every character goes as keys of the layout: none as Unicode input.
    session.target.Close();
    const std::wstring text = L"ok\r\n{x} + (1) ~%^\tA\r\n";
    session.TypeFile("ok\r\n{x} + (1) ~%^\tA");
    ASSERT_NE(session.target.WaitForWindow(), nullptr);
    EXPECT_EQ(WaitForTyped(session.target, text), text);
    const std::string events = session.target.Events();
    EXPECT_EQ(events.find("vk=E7"), std::string::npos) << events;
}

// For a serial console or a boot loader: a second after each line's Enter was handled, the
// next line's first key goes; the text arrives whole.
TEST(LineWait, EachLineBeginsASecondAfterTheEnterBeforeItWasHandled) {
    QuillrunSession session({}, "linewait=1000\r\n");
    ASSERT_NE(session.window, nullptr);
    const std::wstring text = L"one\r\n\r\nthree\r\n";
    session.TypeFile("one\r\n\r\nthree");
    ExpectTyped(session.target, text, 20s);
    const std::string events = session.target.Events();
    const std::vector<SeenKey> keys = KeyEvents(events, true);
    const SeenKey* lineEnd = nullptr;  // handled, and no key pressed since
    int lineEnds = 0;
    for (const SeenKey& key : keys) {
        if (key.name == "CHAR" && key.virtualKey == '\r') {
            lineEnd = &key;
        } else if (key.name == "KEYDOWN" && lineEnd != nullptr) {
            ++lineEnds;
            EXPECT_GE(key.handledMs - lineEnd->handledMs, 1000.0) << lineEnds << "\n" << events;
            EXPECT_GE(key.sentMs - lineEnd->sentMs, 1000) << "line end " << lineEnds;
            lineEnd = nullptr;
        }
    }
    EXPECT_EQ(lineEnds, 2) << events;
    ExpectNoMessage(session);
}

TEST_F(RemoteTyping, ChoicesAreKeptInQuillrunIniAndInForceAfterARestart) {
    const std::string target = Narrow(session.target.commandLine());
    const auto restart = [&] {
        ::PostMessageW(session.window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(session.process.WaitForExit());
        std::tie(session.process, session.window) = session.install.Launch();
        ASSERT_NE(session.window, nullptr);
    };
    // Nothing chosen: the file stays the one line it was.
    ASSERT_NO_FATAL_FAILURE(restart());
    EXPECT_EQ(ReadBytes(session.install.settingsFile()), target + "\r\n");

    ASSERT_NO_FATAL_FAILURE(Choose(kPace20));
    ASSERT_NO_FATAL_FAILURE(Choose(kKeysOnly));
    ASSERT_NO_FATAL_FAILURE(Choose(kKeySequences));
    ASSERT_NO_FATAL_FAILURE(restart());
    EXPECT_EQ(ReadBytes(session.install.settingsFile()),
              target + "\r\npace=20\r\nkeysonly=1\r\nkeysequences=1\r\n");

    // The menu, made from the file after the restart, has keys only in force: choosing it
    // again turns it off, on the line that set it. (Another process cannot read a menu's
    // check marks under Wine.)
    ASSERT_NO_FATAL_FAILURE(Choose(kKeysOnly));
    ASSERT_NO_FATAL_FAILURE(restart());
    EXPECT_EQ(ReadBytes(session.install.settingsFile()),
              target + "\r\npace=20\r\nkeysonly=0\r\nkeysequences=1\r\n");
}

}  // namespace
}  // namespace quillrun::testing
