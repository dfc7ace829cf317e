// The fake's timer and files must behave like the real desktop's, or tests built on it mislead.
#include "tests/fake/fake_desktop.h"
#include "text/utf.h"

#include <gtest/gtest.h>

namespace quillrun {
namespace {

using namespace std::chrono_literals;

TEST(FakeDesktopTimer, TicksEveryIntervalOnlyWhileEnabledAndOnlyWhenEventsRun) {
    FakeDesktop desktop;
    std::vector<Milliseconds> ticks;
    desktop.onTick = [&] { ticks.push_back(desktop.Now()); };

    desktop.EnableTimer(1500ms);
    desktop.Advance(1499ms);
    EXPECT_TRUE(ticks.empty());
    desktop.Advance(1ms);
    EXPECT_EQ(ticks, std::vector<Milliseconds>{1500ms});
    desktop.Advance(3000ms);
    EXPECT_EQ(ticks, (std::vector<Milliseconds>{1500ms, 3000ms, 4500ms}));

    // Sleeping handles no events; the overdue tick fires at the next pump.
    desktop.Sleep(2000ms);
    EXPECT_EQ(ticks.size(), 3u);
    desktop.PumpEvents();
    EXPECT_EQ(ticks.size(), 4u);

    desktop.DisableTimer();
    desktop.Advance(10s);
    EXPECT_EQ(ticks.size(), 4u);
}

// The fake refuses keys as the real side does; one more lenient would let a run pass that
// types nothing on Windows.
TEST(FakeDesktopKeys, RefusesWhatTheRealSideRefuses) {
    FakeDesktop desktop;
    desktop.foregroundProcess = 7;
    EXPECT_EQ(desktop.SendKeyString(u"a", WindowId{7}).failure().code, FakeDesktop::kNotTypingCode)
        << "no run has begun";
    const struct {
        const char16_t* keys;
        bool keysOnly;
        bool sent;
    } cases[] = {
        {u"a", false, true},      {u"+{TAB}", false, true}, {u"\t", false, true},
        {u"\u00E9", false, true}, {u"\u00E9", true, false}, {u"ab", false, false},
        {u"\b", false, false},    {u"+\t", false, false},   {u"^\u65E5", false, false},
    };
    for (const auto& c : cases) {
        TypingOptions typing;
        typing.keyMode = c.keysOnly ? KeyMode::KeysOnly : KeyMode::UnicodeWhereNeeded;
        ASSERT_TRUE(desktop.BeginTyping(typing));
        EXPECT_EQ(static_cast<bool>(desktop.SendKeyString(c.keys, WindowId{7})), c.sent)
            << Utf16ToUtf8(c.keys);
        desktop.EndTyping();
    }
}

TEST(FakeDesktopTimer, EnablingAgainRestartsTheInterval) {
    FakeDesktop desktop;
    int ticks = 0;
    desktop.onTick = [&] { ++ticks; };
    desktop.EnableTimer(1500ms);
    desktop.Advance(1000ms);
    desktop.EnableTimer(1500ms);
    desktop.Advance(1000ms);
    EXPECT_EQ(ticks, 0);
    desktop.Advance(500ms);
    EXPECT_EQ(ticks, 1);
}

TEST(FakeDesktopFiles, OpensFilesByCaseInsensitivePathAndRefusesFoldersAndMissingOnes) {
    FakeDesktop desktop;
    desktop.workingFolder = u"C:\\Work";
    desktop.PutFile(u"C:\\Work\\Notes.txt", "hello");
    desktop.PutFolder(u"C:\\Work\\Sub");

    struct Case {
        std::u16string path;
        bool opens;
    };
    for (const Case& c : {Case{u"C:\\Work\\Notes.txt", true}, Case{u"c:\\work\\NOTES.TXT", true},
                          Case{u"Notes.txt", true}, Case{u"C:\\Work\\Sub", false},
                          Case{u"C:\\Work\\missing.txt", false}, Case{u"", false}}) {
        auto reader = desktop.OpenForReading(c.path);
        EXPECT_EQ(reader.ok(), c.opens) << Utf16ToUtf8(c.path);
        if (reader.ok()) {
            char buffer[16];
            auto got = reader.value()->Read(buffer);
            ASSERT_TRUE(got.ok());
            EXPECT_EQ(std::string(buffer, got.value()), "hello");
            EXPECT_EQ(reader.value()->Read(buffer).value(), 0u);
        }
    }
}

TEST(FakeDesktopFiles, ScriptedReplaceFailureLeavesOldContents) {
    FakeDesktop desktop;
    desktop.PutFile(u"C:\\a.ini", "old");
    desktop.FailNext("ReplaceFileContents",
                     Failure{"ReplaceFileContents", u"Access is denied.", 5});
    EXPECT_FALSE(desktop.ReplaceFileContents(u"C:\\a.ini", "new").ok());
    EXPECT_EQ(desktop.FileBytes(u"C:\\a.ini"), "old");
    EXPECT_TRUE(desktop.ReplaceFileContents(u"C:\\a.ini", "new").ok());
    EXPECT_EQ(desktop.FileBytes(u"C:\\a.ini"), "new");
}

}  // namespace
}  // namespace quillrun
