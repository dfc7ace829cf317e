// Key sequences, as a user writes them for a login form, a boot loader or a console: the keys
// they name reach the target, each key where a keyboard would send it, and a sequence that
// cannot be typed types nothing.
#include <gtest/gtest.h>

#include "tests/win32/e2e_expect.h"

namespace quillrun::testing {
namespace {

constexpr char kSequences[] = "keysequences=1\r\n";

TEST(KeySequences, FillBothFieldsOfAFormAndPressEnterOnce) {
    QuillrunSession session(L"--form", kSequences);
    ASSERT_NE(session.window, nullptr);
    session.TypeFile("user{TAB}secret{ENTER}\r\n");
    ASSERT_NE(session.target.WaitForWindow(), nullptr);
    // The fields' text, not characters the target counted: Tab and Enter type none.
    const std::wstring filled = L"user\nsecret\nsubmitted=1";
    WaitUntil([&] { return session.target.Text() == filled; });
    EXPECT_EQ(session.target.Text(), filled);
    ExpectNoMessage(session);
}

// The arrows and the editing keys come with the E0 prefix a keyboard gives them (0x100 in the
// target's scan codes), so that a far side with Num Lock on does not read the keypad's digits;
// Shift is held around its key. {WAIT 1000} keeps the keys on either side of it a second apart.
// Caps Lock pressed by the sequence turns it on and off: the letters between come out as written.
TEST(KeySequences, NamedKeysArriveAsAKeyboardSendsThemAndAWaitKeepsTheKeysApart) {
    QuillrunSession session({}, kSequences);
    ASSERT_NE(session.window, nullptr);
    session.TypeFile("a{LEFT}{HOME}{END}{WAIT 1000}+{TAB}x{CAPSLOCK}Yz{CAPSLOCK}");
    ExpectTyped(session.target, L"a\txYz");
    const std::string events = session.target.Events();
    std::vector<SeenKey> presses;
    for (const SeenKey& key : KeyEvents(events)) {
        if (key.name == "KEYDOWN") {
            presses.push_back(key);
        }
    }
    ASSERT_GE(presses.size(), 7u) << events;
    const struct {
        unsigned virtualKey;
        unsigned scan;
    } expected[] = {{'A', 0x1E},      {VK_LEFT, 0x14B}, {VK_HOME, 0x147}, {VK_END, 0x14F},
                    {VK_SHIFT, 0x2A}, {VK_TAB, 0x0F},   {'X', 0x2D}};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(presses[i].virtualKey, expected[i].virtualKey) << i << "\n" << events;
        EXPECT_EQ(presses[i].scan, expected[i].scan) << i << "\n" << events;
    }
    // From End's release, which the wait followed once it was handled, to Shift's press.
    const std::vector<SeenKey> keys = KeyEvents(events);
    const auto endUp = std::find_if(keys.begin(), keys.end(), [](const SeenKey& key) {
        return key.name == "KEYUP" && key.virtualKey == VK_END;
    });
    ASSERT_NE(endUp, keys.end()) << events;
    EXPECT_GE(presses[4].sentMs - endUp->sentMs, 1000) << events;
    EXPECT_GE(presses[4].handledMs - endUp->handledMs, 1000.0) << events;
    ExpectNoMessage(session);
}

// Quillrun's own hot key (Ctrl+Shift+Alt+V, which Windows would take from the keys Quillrun
// sends as from the keyboard's) pressed by a sequence reaches the target, and the run goes on.
TEST(KeySequences, ASequenceThatPressesQuillrunsHotKeyTypesItAndGoesOn) {
    QuillrunSession session({}, kSequences);
    ASSERT_NE(session.window, nullptr);
    session.TypeFile("a^+%vb");
    ExpectTyped(session.target, L"ab");  // the chord types no character
    const std::string events = session.target.Events();
    const std::vector<SeenKey> keys = KeyEvents(events);
    const auto pressed = [&](unsigned virtualKey) {
        return std::find_if(keys.begin(), keys.end(), [&](const SeenKey& key) {
            return key.name == "KEYDOWN" && key.virtualKey == virtualKey;
        });
    };
    EXPECT_LT(pressed('A'), pressed('V')) << events;
    EXPECT_LT(pressed('V'), pressed('B')) << events;
    EXPECT_NE(pressed('B'), keys.end()) << events;
    // A finished run says nothing; one stopped by the hot key would, once the user is back.
    ASSERT_TRUE(ComeBackToQuillrun(session));
    ExpectNoMessage(session);
}

TEST(KeySequences, ASequenceThatCannotBeTypedTypesNothingAndSaysWhere) {
    if (DisplayIsJapanese()) {
        GTEST_SKIP() << "the display language is Japanese";
    }
    QuillrunSession session({}, kSequences);
    ASSERT_NE(session.window, nullptr);
    session.TypeFile("ok{TAB}\r\n  {TABB}~\r\n");
    ASSERT_NE(session.target.WaitForWindow(), nullptr);
    EXPECT_FALSE(WaitUntil([&] { return session.target.CharCount() != 0; }, kNothingHappens));
    ASSERT_TRUE(ComeBackToQuillrun(session));
    const std::wstring message = TakeTheOnlyMessage(session);
    EXPECT_NE(
        message.find(L"At line 2, column 3 of the file, \"{TABB}\" is not the name of a key."),
        std::wstring::npos)
        << Narrow(message);
    EXPECT_EQ(KeyEvents(session.target.Events()).size(), 0u) << session.target.Events();
}

}  // namespace
}  // namespace quillrun::testing
