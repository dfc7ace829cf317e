#include "playback/text_playback.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "desktop/fake_desktop.h"

namespace quillrun {
namespace {

constexpr std::u16string_view kFile = u"C:\\Work\\text.txt";
constexpr std::uint32_t kOtherProcess = 77;

class Playback : public ::testing::Test {
  protected:
    Playback() {
        task = desktop.LaunchProgram(u"target.exe").value();
        desktop.foregroundProcess = kOtherProcess;
    }

    PlaybackResult PlayResult(std::u16string_view path = kFile) {
        return PlayTextFile(desktop, path, task, hooks);
    }
    PlaybackEnd Play(std::u16string_view path = kFile) { return PlayResult(path).end; }

    // Everything after the launch, with each key string shown as its argument.
    std::vector<std::u16string> Trace() const {
        std::vector<std::u16string> trace;
        for (const auto& call : desktop.calls()) {
            if (call.operation == "SendKeyString") {
                trace.push_back(call.argument);
            } else if (call.operation != "LaunchProgram") {
                trace.push_back(std::u16string(call.operation.begin(), call.operation.end()));
            }
        }
        return trace;
    }

    std::vector<std::u16string> Keys() const {
        std::vector<std::u16string> keys;
        for (const auto& call : desktop.CallsOf("SendKeyString")) {
            keys.push_back(call.argument);
        }
        return keys;
    }

    FakeDesktop desktop;
    TaskId task;
    bool stop = false;
    PlaybackHooks hooks{.stopRequested = [this] { return stop; }, .progress = {}};
};

struct KeysCase {
    const char* name;
    std::string bytes;
    std::vector<std::u16string> keys;
};

class PlaybackKeys : public Playback, public ::testing::WithParamInterface<KeysCase> {};

TEST_P(PlaybackKeys, SendsOneKeyStringPerCharacterAndALineEndPerLine) {
    desktop.PutFile(kFile, GetParam().bytes);
    EXPECT_EQ(Play(), PlaybackEnd::Finished);
    EXPECT_EQ(Keys(), GetParam().keys);
}

const std::u16string E = u"\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, PlaybackKeys,
    ::testing::Values(
        KeysCase{"PlusSign", "a+b", {u"a", u"{+}", u"b", E}},
        KeysCase{"Braces", "{x}", {u"{{}", u"x", u"{}}", E}},
        KeysCase{"Percent", "(50%)", {u"{(}", u"5", u"0", u"{%}", u"{)}", E}},
        KeysCase{"EmptyBraces", "{}", {u"{{}", u"{}}", E}},
        KeysCase{"AllSpecials",
                 "+^%~()[]",
                 {u"{+}", u"{^}", u"{%}", u"{~}", u"{(}", u"{)}", u"{[}", u"{]}", E}},
        KeysCase{"EmptyFile", "", {}}, KeysCase{"NoTerminator", "abc", {u"a", u"b", u"c", E}},
        KeysCase{"CrLfLines", "a\r\nb\r\n", {u"a", E, u"b", E}},
        KeysCase{"CrOnlyLines", "a\rb\r", {u"a", E, u"b", E}},
        KeysCase{"LfOnlyIsOneLine", "a\nb\n", {u"a", u"\n", u"b", u"\n", E}},
        KeysCase{"BlankLines", "\r\n\r\nx", {E, E, u"x", E}},
        KeysCase{"TabAndControls", "\t\x01 ", {u"\t", u"\x01", u" ", E}},
        KeysCase{"Utf8Japanese", "\xEF\xBB\xBF\xE6\x97\xA5\xE6\x9C\xAC", {u"\u65E5", u"\u672C", E}},
        KeysCase{"SurrogatePairAsTwoUnits", "\xF0\x9F\x98\x80", {u"\xD83D", u"\xDE00", E}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(Playback, LongLinesAreTypedInFullWithOneLineEndAndOnePump) {
    // Past the 16-bit limit of a line length, and past the 64 KiB pieces a line is read in.
    const std::size_t length = 150000;
    desktop.PutFile(kFile, std::string(length, 'x') + "\r\ny");
    EXPECT_EQ(Play(), PlaybackEnd::Finished);
    const auto keys = Keys();
    ASSERT_EQ(keys.size(), length + 3);
    EXPECT_EQ(std::count(keys.begin(), keys.end(), E), 2);
    EXPECT_EQ(keys[length], E);
    EXPECT_EQ(keys[length + 1], u"y");
    EXPECT_EQ(desktop.CallsOf("PumpEvents").size(), 2u);
}

TEST_F(Playback, ActivatesOnceBeforeTheFirstLineAndPumpsAfterEachLine) {
    desktop.PutFile(kFile, "ab\r\nc");
    EXPECT_EQ(Play(), PlaybackEnd::Finished);
    const std::vector<std::u16string> expected = {
        u"OpenForReading", u"ActivateTask", u"a", u"b", E, u"PumpEvents", u"c", E,
        u"PumpEvents",     u"EndTyping"};
    EXPECT_EQ(Trace(), expected);
}

TEST_F(Playback, NothingHappensWhenThePathNamesNoReadableFile) {
    desktop.PutFolder(u"C:\\Tools\\Quillrun");
    desktop.FailNext("OpenForReading", Failure{"OpenForReading", u"Access is denied.", 5});
    for (const std::u16string_view path :
         {std::u16string_view(kFile), std::u16string_view(u"C:\\Tools\\Quillrun"),
          std::u16string_view(u""), std::u16string_view(u"C:\\missing.txt")}) {
        desktop.PutFile(kFile, "abc");
        EXPECT_EQ(Play(path), PlaybackEnd::NotOpened) << std::string(path.begin(), path.end());
    }
    EXPECT_TRUE(desktop.CallsOf("ActivateTask").empty());
    EXPECT_TRUE(Keys().empty());
}

TEST_F(Playback, PathIsOpenedExactlyAsWritten) {
    desktop.PutFile(kFile, "abc");
    const std::u16string quoted = u" \"C:\\Work\\text.txt\" ";
    EXPECT_EQ(Play(quoted), PlaybackEnd::NotOpened);
    EXPECT_EQ(desktop.CallsOf("OpenForReading").at(0).argument, quoted);
}

TEST_F(Playback, FailedActivationTypesIntoTheWindowInFront) {
    desktop.PutFile(kFile, "ab");
    desktop.FailNext("ActivateTask", Failure{"ActivateTask", u"The task has ended.", 1067});
    EXPECT_EQ(Play(), PlaybackEnd::Finished);
    EXPECT_EQ(desktop.foregroundProcess, kOtherProcess);
    EXPECT_EQ(Keys(), (std::vector<std::u16string>{u"a", u"b", E}));
}

TEST_F(Playback, NeverTypesIntoQuillrunItselfOrIntoNothing) {
    desktop.PutFile(kFile, "ab");
    for (const std::uint32_t inFront : {desktop.ownProcess, 0u}) {
        desktop.FailNext("ActivateTask", Failure{"ActivateTask", u"The task has ended.", 1067});
        desktop.foregroundProcess = inFront;
        EXPECT_EQ(Play(), PlaybackEnd::NoTarget);
    }
    EXPECT_TRUE(Keys().empty());
    EXPECT_EQ(desktop.CallsOf("EndTyping").size(), 2u);
}

TEST_F(Playback, StopsBeforeTheFirstKeystrokeThatWouldGoElsewhere) {
    desktop.PutFile(kFile, "abc\r\ndef");
    desktop.onKeys = [&](std::u16string_view keys) {
        if (keys == u"b") {
            desktop.foregroundProcess = kOtherProcess;  // the user clicked another window
        }
    };
    EXPECT_EQ(Play(), PlaybackEnd::FocusMoved);
    EXPECT_EQ(Keys(), (std::vector<std::u16string>{u"a", u"b"}));
    EXPECT_EQ(desktop.calls().back().operation, "EndTyping");
}

TEST_F(Playback, ClosingTheWindowStopsTheRun) {
    desktop.PutFile(kFile, "ab\r\ncd\r\nef");
    // Closed while a keystroke waits, and closed while events are pumped after a line.
    desktop.onKeys = [&](std::u16string_view keys) { stop = keys == u"d"; };
    EXPECT_EQ(Play(), PlaybackEnd::Stopped);
    EXPECT_EQ(Keys(), (std::vector<std::u16string>{u"a", u"b", E, u"c", u"d"}));

    desktop.onKeys = nullptr;
    stop = false;
    desktop.onPump = [&] { stop = true; };
    EXPECT_EQ(Play(), PlaybackEnd::Stopped);
    EXPECT_EQ(Keys().size(), 5u + 3u);
}

TEST_F(Playback, AFailedKeystrokeIsPassedOverButAHungTargetEndsTheRun) {
    desktop.PutFile(kFile, "abc");
    desktop.FailNext("SendKeyString", Failure{"SendKeyString", u"Blocked.", 5});
    EXPECT_EQ(Play(), PlaybackEnd::Finished);
    EXPECT_EQ(Keys().size(), 4u);

    desktop.FailNext("SendKeyString", Failure{"SendKeyString", u"ok", 0});
    desktop.FailNext("SendKeyString",
                     Failure{"SendKeyString", u"Not responding.", kNotRespondingCode});
    EXPECT_EQ(Play(), PlaybackEnd::NotResponding);
    EXPECT_EQ(Keys().size(), 4u + 2u);
}

}  // namespace
}  // namespace quillrun
