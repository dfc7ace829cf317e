// Expectations that end-to-end tests share (the helpers themselves need no GoogleTest).
#pragma once

#include <gtest/gtest.h>

#include <optional>

#include "tests/win32/e2e_support.h"

namespace quillrun::testing {

// Waits until the target holds `expected` (it must start first); then it must hold exactly that.
inline void ExpectTyped(TargetProgram& target, const std::wstring& expected,
                        Clock::duration timeout = kUiTimeout) {
    ASSERT_NE(target.WaitForWindow(), nullptr) << "the target did not start";
    EXPECT_EQ(WaitForTyped(target, expected, timeout), expected);
}

// The one message Quillrun shows about how its run ended: its text, after which it is closed.
// There must be exactly one, and no other may follow it.
inline std::wstring TakeTheOnlyMessage(const QuillrunSession& session) {
    HWND box = FindMessageBox(session.process.id(), session.window);
    if (box == nullptr) {
        ADD_FAILURE() << "Quillrun showed no message";
        return {};
    }
    EXPECT_EQ(MessageBoxes(session.process.id(), session.window).size(), 1u);
    const std::wstring text = AllChildText(box);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(box); }));
    EXPECT_FALSE(
        WaitUntil([&] { return !MessageBoxes(session.process.id(), session.window).empty(); }, 1s))
        << "a second message followed";
    return text;
}

// Once `target` has handled 20 characters, clicks a part of Quillrun's window that no other
// window covers, as a user who stops a run does; the message that then comes at once.
inline std::wstring StopByClickingQuillrun(const QuillrunSession& session,
                                           const TargetProgram& target) {
    // Looked for before the run types: the look asks Quillrun's window at each point, which
    // takes a keystroke's time while it types, and the run could end meanwhile.
    const auto findBarePoint = [&] {
        std::optional<POINT> bare;
        WaitUntil([&] { return (bare = BarePointOf(session.window)).has_value(); });
        return bare;
    };
    std::optional<POINT> bare = findBarePoint();
    EXPECT_TRUE(WaitUntil([&] { return target.CharCount() >= 20; }));
    if (bare && ::WindowFromPoint(*bare) != session.window) {
        bare = findBarePoint();  // covered since
    }
    if (!bare) {
        ADD_FAILURE() << "the target covers Quillrun";
        return {};
    }
    ClickAt(*bare);
    // Shown over Quillrun's window, which the click brought to the front.
    return TakeTheOnlyMessage(session);
}

// Quillrun shows no message within `wait`.
inline void ExpectNoMessage(const QuillrunSession& session, Clock::duration wait = 1s) {
    EXPECT_EQ(FindMessageBox(session.process.id(), session.window, wait), nullptr)
        << Narrow(AllChildText(FindMessageBox(session.process.id(), session.window, 0s)));
}

// Types a long file into the session's target and, once some of it has arrived, brings `other`
// to the front, as a user who clicks another window does.
inline void SwitchAwayWhileTyping(QuillrunSession& session, TargetProgram& other) {
    session.TypeFile(LongText());
    ASSERT_NE(session.target.WaitForWindow(), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return session.target.CharCount() >= 20; }));
    ASSERT_TRUE(BringToFront(other.window()));
}

// The open menu's items (MenuItemTexts) begin with `expected`, item by item.
inline void ExpectMenuBeginsWith(HWND menu, const std::vector<std::wstring>& expected) {
    const std::vector<std::wstring> items = MenuItemTexts(menu);
    ASSERT_GT(items.size(), expected.size()) << "the menu's items could not be read";
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(items[i], expected[i]) << Utf8(items[i]);
    }
}

// A file and what the test target must hold once Quillrun has typed it (every Enter as CR LF).
// The test that types it is defined once; suites of files instantiate it where they belong.
struct CorpusCase {
    const char* name;
    std::string bytes;
    std::wstring typed;
};

class TypesTheFile : public ::testing::TestWithParam<CorpusCase> {};

}  // namespace quillrun::testing
