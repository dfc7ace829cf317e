#include "playback/text_playback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "tests/fake/fake_desktop.h"
#include "text/language.h"
#include "text/utf.h"
#include "keys/key_string.h"
#include "playback/playback_report.h"

#if defined(__GNUC__) && !defined(__clang__)
// GCC 12 at -O3 (the Windows build) takes the strings of the report table's rows, copied into
// each test's name, for uninitialized: a false alarm on large aggregates of strings.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

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
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    PlaybackHooks hooks{
        .stopRequested = [this] { return stop; },
        .progress = [this](std::uint64_t done,
                           std::uint64_t total) { progress.emplace_back(done, total); }};
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
        KeysCase{"LfAloneEndsALine", "a\nb\n", {u"a", E, u"b", E}},
        KeysCase{"MixedLineEndsEachCountOnce",
                 "a\r\nb\nc\rd\n\r",
                 {u"a", E, u"b", E, u"c", E, u"d", E, E}},
        // A DOS end-of-file mark ends the file, on a line of its own too; elsewhere it is a
        // control character like any other.
        KeysCase{"EndOfFileMark", "a\r\nb\x1A", {u"a", E, u"b", E}},
        KeysCase{"EndOfFileMarksPaddingTheLastBlock", "a\r\n\x1A\x1A\x1A", {u"a", E}},
        KeysCase{"EndOfFileMarkInsideIsPassedOver", "a\x1A\nb", {u"a", E, u"b", E}},
        KeysCase{"BlankLines", "\r\n\r\nx", {E, E, u"x", E}},
        KeysCase{"ControlCharactersAreNeverTyped", "\t\x01\b \x7F", {u"\t", u" ", E}},
        KeysCase{"Utf8Japanese", "\xEF\xBB\xBF\xE6\x97\xA5\xE6\x9C\xAC", {u"\u65E5", u"\u672C", E}},
        KeysCase{"SurrogatePairAsTwoUnits", "\xF0\x9F\x98\x80", {u"\xD83D", u"\xDE00", E}}),
    [](const auto& p) { return std::string(p.param.name); });

// The clipboard's text, typed into the window in front exactly as it stands.
struct ClipboardCase {
    const char* name;
    std::u16string text;
    std::vector<std::u16string> keys;
};

class ClipboardKeys : public Playback, public ::testing::WithParamInterface<ClipboardCase> {};

TEST_P(ClipboardKeys, TypeEachLineEndAsOneEnterAndAddNone) {
    desktop.clipboard = GetParam().text;
    const PlaybackResult result = PlayClipboard(desktop, hooks);
    EXPECT_EQ(result.end, PlaybackEnd::Finished);
    EXPECT_EQ(Keys(), GetParam().keys);
    EXPECT_EQ(desktop.foregroundProcess, kOtherProcess);
    EXPECT_TRUE(desktop.CallsOf("ActivateTask").empty()) << "the window in front is typed into";
    EXPECT_TRUE(desktop.CallsOf("OpenForReading").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClipboardKeys,
    ::testing::Values(
        ClipboardCase{"APasswordGetsNoEnter",
                      u"p@ss+w0rd",
                      {u"p", u"@", u"s", u"s", u"{+}", u"w", u"0", u"r", u"d"}},
        ClipboardCase{"EachKindOfLineEnd", u"a\r\nb\rc\nd", {u"a", E, u"b", E, u"c", E, u"d"}},
        ClipboardCase{"ACopiedLineEndIsTyped", u"exit\r\n", {u"e", u"x", u"i", u"t", E}},
        ClipboardCase{"BlankLines", u"\n\r\r\n\r\n", {E, E, E, E}},
        ClipboardCase{"ControlCharactersAreNeverTyped", u"\tx\x01\x1A", {u"\t", u"x"}},
        ClipboardCase{"SurrogatePairAsTwoUnits", u"\xD83D\xDE00", {u"\xD83D", u"\xDE00"}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(Playback, TheClipboardWithoutTextTypesNothingAndOneHeldOpenIsAskedAgainForAMoment) {
    const Failure busy{"ClipboardText", u"Access is denied.", kClipboardBusyCode};
    for (const std::optional<std::u16string>& none :
         {std::optional<std::u16string>(), std::optional<std::u16string>(u"")}) {
        desktop.clipboard = none;
        EXPECT_EQ(PlayClipboard(desktop, hooks).end, PlaybackEnd::NoText);
    }
    EXPECT_TRUE(Keys().empty());

    // Held open for a moment, as by a program copying: read once it is free.
    desktop.clipboard = u"ok";
    for (int i = 0; i < 3; ++i) {
        desktop.FailNext("ClipboardText", busy);
    }
    const std::size_t asked = desktop.CallsOf("ClipboardText").size();
    EXPECT_EQ(PlayClipboard(desktop, hooks).end, PlaybackEnd::Finished);
    EXPECT_EQ(desktop.CallsOf("ClipboardText").size() - asked, 4u);
    EXPECT_EQ(Keys(), (std::vector<std::u16string>{u"o", u"k"}));

    // Held open for good: the run gives up after the moment, typing nothing; another failure
    // is not asked again.
    for (int i = 0; i < 1000; ++i) {
        desktop.FailNext("ClipboardText", busy);
    }
    const Milliseconds started = desktop.Now();
    const PlaybackResult heldOpen = PlayClipboard(desktop, hooks);
    EXPECT_EQ(heldOpen.end, PlaybackEnd::ClipboardBusy);
    EXPECT_GE(desktop.Now() - started, kClipboardRetryFor);
    EXPECT_LT(desktop.Now() - started, kClipboardRetryFor + Milliseconds{100});
    EXPECT_EQ(Keys().size(), 2u);
}

TEST_F(Playback, APickedWindowIsTypedIntoAsItIsInFrontButNeverTheShellOrQuillrun) {
    desktop.PutFile(kFile, "ab");
    desktop.clipboard = u"cd";
    const auto both = [&] {
        PlaybackResult fromFile = PlayTextFile(desktop, kFile, std::nullopt, hooks);
        return std::pair(std::move(fromFile), PlayClipboard(desktop, hooks));
    };
    auto [file, clipboard] = both();
    EXPECT_EQ(file.end, PlaybackEnd::Finished);
    EXPECT_EQ(clipboard.end, PlaybackEnd::Finished);
    EXPECT_EQ(Keys(), (std::vector<std::u16string>{u"a", u"b", E, u"c", u"d"}));
    EXPECT_TRUE(desktop.CallsOf("ActivateTask").empty());

    for (const bool shell : {true, false}) {
        desktop.foregroundProcess = shell ? kOtherProcess : desktop.ownProcess;
        desktop.shellWindows = {kOtherProcess};
        std::tie(file, clipboard) = both();
        EXPECT_EQ(file.end, PlaybackEnd::NoTarget);
        EXPECT_EQ(clipboard.end, PlaybackEnd::NoTarget);
        EXPECT_TRUE(file.intoPickedWindow && clipboard.intoPickedWindow);
    }
    EXPECT_EQ(Keys().size(), 5u);
}

TEST_F(Playback, ALongClipboardLineIsTypedInPiecesWithItsProgress) {
    const std::size_t length = 150000;
    desktop.clipboard = std::u16string(length, u'x') + u"\r\ny";
    EXPECT_EQ(PlayClipboard(desktop, hooks).end, PlaybackEnd::Finished);
    const auto keys = Keys();
    ASSERT_EQ(keys.size(), length + 2);
    EXPECT_EQ(std::count(keys.begin(), keys.end(), E), 1);
    EXPECT_EQ(keys[length], E);
    ASSERT_GE(progress.size(), 3u);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), (std::pair<std::uint64_t, std::uint64_t>(length + 3, length + 3)));
}

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
    // Progress follows the pieces read, up to the whole file.
    ASSERT_GE(progress.size(), 3u);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), (std::pair<std::uint64_t, std::uint64_t>(length + 3, length + 3)));
}

TEST_F(Playback, ActivatesOnceBeforeTheFirstLineAndPumpsAfterEachLine) {
    desktop.PutFile(kFile, "ab\r\nc");
    EXPECT_EQ(Play(), PlaybackEnd::Finished);
    const std::vector<std::u16string> expected = {
        u"OpenForReading", u"ActivateTask", u"BeginTyping", u"a", u"b", E, u"PumpEvents", u"c", E,
        u"PumpEvents",     u"EndTyping"};
    EXPECT_EQ(Trace(), expected);
}

struct KeysOnlyCase {
    const char* name;
    std::u16string text;  // the file's, in UTF-8, and the clipboard's
    PlaybackEnd end;
    TypingPosition at;   // of the character without keys
    char32_t character;  // that character
};

class KeysOnly : public Playback, public ::testing::WithParamInterface<KeysOnlyCase> {};

// With keys only, the whole text is gone through before the first keystroke: a character
// without keys on the layout types nothing at all and is named with its place.
TEST_P(KeysOnly, TheWholeTextIsCheckedBeforeAnythingIsTyped) {
    const KeysOnlyCase& c = GetParam();
    hooks.typing = {.pace = Milliseconds{50}, .keyMode = KeyMode::KeysOnly, .layout = u"00000409"};
    desktop.PutFile(kFile, Utf16ToUtf8(c.text));
    desktop.clipboard = c.text;
    const PlaybackResult results[] = {PlayResult(), PlayClipboard(desktop, hooks)};
    for (const PlaybackResult& result : results) {
        EXPECT_EQ(result.end, c.end);
        if (c.end == PlaybackEnd::NotTypableAsKeys) {
            EXPECT_EQ(result.position, c.at);
            EXPECT_EQ(result.character, c.character);
        }
    }
    const auto begun = desktop.CallsOf("BeginTyping");
    ASSERT_EQ(begun.size(), 2u);
    EXPECT_EQ(begun[0].argument, u"pace=50;keys=only;layout=00000409");
    if (c.end == PlaybackEnd::NotTypableAsKeys) {
        EXPECT_TRUE(Keys().empty());
    } else {
        // Each text typed once, whole, from its beginning: 13 characters and 2 Enters from the
        // file, the same but the last Enter from the clipboard.
        ASSERT_EQ(Keys().size(), 29u);
        EXPECT_EQ(Keys()[0], u"l");
        EXPECT_EQ(Keys()[15], u"l");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KeysOnly,
    ::testing::Values(
        KeysOnlyCase{"AllOnTheLayout", u"ls -l (x)\r\nexit", PlaybackEnd::Finished, {}, 0},
        KeysOnlyCase{"AccentInTheSecondLine",
                     u"ab\r\ncaf\u00E9",
                     PlaybackEnd::NotTypableAsKeys,
                     {2, 4, 0},
                     0xE9},
        KeysOnlyCase{"ControlCharacterIsPassedOverNotRefused",
                     u"ls -l\x08 (x)\r\nexit",
                     PlaybackEnd::Finished,
                     {},
                     0},
        KeysOnlyCase{"SurrogatePairNamedWhole",
                     u"\U0001F600",
                     PlaybackEnd::NotTypableAsKeys,
                     {1, 1, 0},
                     0x1F600}),
    [](const auto& p) { return std::string(p.param.name); });

// A text read as a key sequence, from a file and from the clipboard: the keys sent, one key
// string a key; how the run ended and where (a piece's place, keys pressed).
struct SequenceCase {
    const char* name;
    std::u16string text;
    std::vector<std::u16string> keys;
    PlaybackEnd end = PlaybackEnd::Finished;
    TypingPosition position = {};  // where it ended, unless it finished
    std::size_t stopAfter = 0;     // another window comes to the front after this many keys
    std::optional<TextPlace> restFrom = std::nullopt;  // the rest of a stopped run, from there
    bool keysOnly = false;
};

class KeySequences : public Playback, public ::testing::WithParamInterface<SequenceCase> {};

TEST_P(KeySequences, TypeEachKeyOnItsOwnAndNothingOfATextThatCannotBe) {
    const SequenceCase& c = GetParam();
    hooks.typing.keySequences = true;
    hooks.typing.keyMode = c.keysOnly ? KeyMode::KeysOnly : KeyMode::UnicodeWhereNeeded;
    for (const bool clipboard : {false, true}) {
        SCOPED_TRACE(clipboard ? "clipboard" : "file");
        desktop.PutFile(kFile, Utf16ToUtf8(c.text));
        desktop.clipboard = c.text;
        desktop.foregroundProcess = kOtherProcess;
        const auto play = [&](const std::optional<RestOfRun>& rest) {
            return clipboard ? PlayClipboard(desktop, hooks, rest)
                             : PlayTextFile(desktop, kFile, std::nullopt, hooks, rest);
        };
        std::optional<RestOfRun> rest;
        if (c.restFrom) {
            rest = RestOfRun{.from = {c.restFrom->line, c.restFrom->column},
                             .stamp = play(std::nullopt).stamp,
                             .keySequence = true};
        }
        std::vector<std::u16string> keys;
        desktop.onKeys = [&](std::u16string_view sent) {
            keys.emplace_back(sent);
            if (keys.size() == c.stopAfter) {
                desktop.foregroundProcess = kOtherProcess + 1;
            }
        };
        const PlaybackResult result = play(rest);
        desktop.onKeys = nullptr;
        EXPECT_EQ(keys, c.keys);
        EXPECT_EQ(result.end, c.end);
        EXPECT_TRUE(result.keySequence);
        if (c.end != PlaybackEnd::Finished) {
            EXPECT_EQ(result.position, c.position);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KeySequences,
    ::testing::Values(
        SequenceCase{"LaidOutOnLinesWithGroupsRepeatsAndShortcuts",
                     u"+(ab)\r\n{left 2}\n^a~",
                     {u"+a", u"+b", u"{LEFT}", u"{LEFT}", u"^a", u"{ENTER}"}},
        // Checked whole before the first key: nothing typed, the piece's place named.
        SequenceCase{
            "UnknownKeyOnTheLastLine", u"ab\r\n {TABB}", {}, PlaybackEnd::BadSequence, {2, 2, 0}},
        SequenceCase{"GroupNeverClosed", u"a\r\n+(b", {}, PlaybackEnd::BadSequence, {2, 1, 0}},
        SequenceCase{"KeysOnlyAndACharacterWithoutKeys",
                     u"ab{TAB}\u00E9",
                     {},
                     PlaybackEnd::NotTypableAsKeys,
                     {1, 8, 0},
                     0,
                     std::nullopt,
                     true},
        SequenceCase{"ShortcutOnACharacterWithoutAKey",
                     u"a^\u65E5",
                     {},
                     PlaybackEnd::ShortcutNotOnLayout,
                     {1, 2, 0}},
        // Shift on a tab character has no plan: refused, not typed as "ab".
        SequenceCase{"ShortcutOnATab", u"a+\tb", {}, PlaybackEnd::ShortcutNotOnLayout, {1, 2, 0}},
        SequenceCase{"AControlCharacter", u"a\b", {}, PlaybackEnd::BadSequence, {1, 2, 0}},
        // Stopped inside a group: taken up at the group's start, never inside it.
        SequenceCase{"StoppedInsideAGroup",
                     u"x+(abc)y",
                     {u"x", u"+a", u"+b"},
                     PlaybackEnd::FocusMoved,
                     {1, 2, 3},
                     3},
        SequenceCase{"TheRestFromAGroup",
                     u"x+(abc)y",
                     {u"+a", u"+b", u"+c", u"y"},
                     PlaybackEnd::Finished,
                     {},
                     0,
                     TextPlace{1, 2}}),
    [](const auto& p) { return std::string(p.param.name); });

// "{WAIT n}" waits n ms after the key before it was handled, Quillrun's window served and a stop
// heard meanwhile; the wait after each line follows each Enter of a sequence instead.
TEST_F(Playback, ASequenceWaitsWhereItSaysAndAfterEachEnter) {
    hooks.typing.keySequences = true;
    hooks.typing.lineWait = Milliseconds{500};
    desktop.PutFile(kFile, "a{WAIT 2000}b~\r\nc~");
    std::vector<std::pair<std::u16string, Milliseconds>> sent;
    desktop.onKeys = [&](std::u16string_view keys) { sent.emplace_back(keys, desktop.Now()); };
    EXPECT_EQ(Play(), PlaybackEnd::Finished);
    ASSERT_EQ(sent.size(), 5u);  // a, b, Enter, c, Enter
    EXPECT_GE(sent[1].second - sent[0].second, Milliseconds{2000});
    EXPECT_LT(sent[1].second - sent[0].second, Milliseconds{2100});
    EXPECT_GE(sent[3].second - sent[2].second, Milliseconds{500});
    EXPECT_LT(sent[3].second - sent[2].second, Milliseconds{600});
    EXPECT_LT(desktop.Now() - sent[4].second, Milliseconds{100}) << "no wait after the last Enter";

    // Stopped during the wait: taken up again at the wait.
    desktop.onPump = [&] { stop = desktop.Now() - sent.back().second > Milliseconds{1000}; };
    sent.clear();
    const PlaybackResult stopped = PlayResult();
    EXPECT_EQ(stopped.end, PlaybackEnd::Stopped);
    EXPECT_EQ(stopped.position, (TypingPosition{1, 2, 1}));
    EXPECT_EQ(sent.size(), 1u);
}

TEST_F(Playback, ALayoutNoLongerInstalledTypesNothingAndIsNamed) {
    desktop.PutFile(kFile, "abc");
    desktop.keyboardLayouts = {{u"00000409", u"US"}, {u"00000407", u"German"}};
    hooks.typing.layout = u"00000407";
    EXPECT_EQ(Play(), PlaybackEnd::Finished);
    desktop.keyboardLayouts.pop_back();
    const PlaybackResult missing = PlayResult();
    EXPECT_EQ(missing.end, PlaybackEnd::LayoutMissing);
    EXPECT_EQ(missing.reason, u"00000407");  // no name known once it is gone
    EXPECT_EQ(Keys().size(), 4u);
}

TEST_F(Playback, APathTypesItsFileOrNothingAndSaysWhyUnlessNoFileWasNamed) {
    desktop.PutFolder(u"C:\\Tools\\Quillrun");
    // What the name opens decides, not the name: Windows 10 takes con.txt for the console,
    // Windows 11 for a file.
    desktop.PutDevice(u"C:\\Work\\con.txt");
    desktop.PutFile(u"C:\\Notes\\con.txt", "abc");
    const struct {
        std::u16string_view path;
        std::optional<Failure> openFails;
        PlaybackEnd end;
        std::u16string_view reason;
    } cases[] = {
        // Quillrun's own folder, as the box holds it at the start, and an empty box: silent.
        {u"C:\\Tools\\Quillrun", std::nullopt, PlaybackEnd::NotOpened, u""},
        {u"", std::nullopt, PlaybackEnd::NotOpened, u""},
        {u"C:\\missing.txt", std::nullopt, PlaybackEnd::OpenFailed,
         u"The system cannot find the file specified."},
        {kFile, Failure{"OpenForReading", u"Access is denied.", 5}, PlaybackEnd::OpenFailed,
         u"Access is denied."},
        // A device, which reading could wait on: its name is said to be one kept for a device.
        {u"C:\\Work\\con.txt", std::nullopt, PlaybackEnd::ReservedName, u""},
        // A plain file of that name is typed like any other.
        {u"C:\\Notes\\con.txt", std::nullopt, PlaybackEnd::Finished, u""},
    };
    for (const auto& c : cases) {
        const std::string name(c.path.begin(), c.path.end());
        desktop.PutFile(kFile, "abc");
        if (c.openFails) {
            desktop.FailNext("OpenForReading", *c.openFails);
        }
        const std::size_t opened = desktop.CallsOf("OpenForReading").size();
        const std::size_t activated = desktop.CallsOf("ActivateTask").size();
        const std::size_t keys = Keys().size();
        const PlaybackResult result = PlayResult(c.path);
        const bool typed = c.end == PlaybackEnd::Finished;
        EXPECT_EQ(result.end, c.end) << name;
        EXPECT_EQ(result.reason, c.reason) << name;
        EXPECT_EQ(result.path, c.end == PlaybackEnd::NotOpened || typed ? u"" : c.path) << name;
        // Asked of the desktop, which alone can tell a device from a file.
        EXPECT_EQ(desktop.CallsOf("OpenForReading").size() - opened, 1u) << name;
        EXPECT_EQ(desktop.CallsOf("ActivateTask").size() - activated, typed ? 1u : 0u) << name;
        EXPECT_EQ(Keys().size() - keys, typed ? 4u : 0u) << name;
    }
}

TEST_F(Playback, PathIsOpenedExactlyAsWritten) {
    desktop.PutFile(kFile, "abc");
    const std::u16string quoted = u" \"C:\\Work\\text.txt\" ";
    EXPECT_EQ(Play(quoted), PlaybackEnd::OpenFailed);
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
    // The window the user clicked after "b": another program's; another of the target's own
    // program (a second document, or a dialog it opened), which is not where typing began;
    // Quillrun's own, which is a stop by a click on Quillrun.
    const struct {
        const char* name;
        bool sameProgram;
        bool quillrun;
        PlaybackEnd end;
    } cases[] = {
        {"AnotherProgramsWindow", false, false, PlaybackEnd::FocusMoved},
        {"AnotherWindowOfTheSameProgram", true, false, PlaybackEnd::FocusMoved},
        {"QuillrunsWindow", false, true, PlaybackEnd::StoppedByClick},
    };
    desktop.PutFile(kFile, "abc\r\ndef");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        task = desktop.LaunchProgram(u"target.exe").value();
        desktop.foregroundWindow = 0;
        const std::size_t keysBefore = Keys().size();
        const std::size_t refusedBefore = desktop.CallsOf("KeysRefused").size();
        desktop.onKeys = [&](std::u16string_view keys) {
            if (keys != u"b") {
                return;
            }
            if (c.sameProgram) {
                desktop.foregroundWindow = 9001;
            } else {
                desktop.foregroundProcess = c.quillrun ? desktop.ownProcess : kOtherProcess;
            }
        };
        EXPECT_EQ(Play(), c.end);
        const auto keys = Keys();
        EXPECT_EQ(std::vector<std::u16string>(
                      keys.begin() + static_cast<std::ptrdiff_t>(keysBefore), keys.end()),
                  (std::vector<std::u16string>{u"a", u"b"}));
        // "c", refused once, not retried.
        EXPECT_EQ(desktop.CallsOf("KeysRefused").size(), refusedBefore + 1);
        EXPECT_EQ(desktop.calls().back().operation, "EndTyping");
    }
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

// What a run passes over as it goes on is counted, with the first one's place, for the message
// at its end: control characters (in a stopped run only those before the stop), and bytes of a
// UTF-8 file that are not UTF-8.
TEST_F(Playback, WhatARunPassesOverIsCountedWithTheFirstsPlace) {
    desktop.PutFile(kFile,
                    "ab\x08"
                    "c\n\xF0\x9F\x98\x80\x7F\x1B\r\nd\x1A");
    const PlaybackResult file = PlayResult();
    EXPECT_EQ(file.end, PlaybackEnd::Finished);
    EXPECT_EQ(file.controls, (PassedOver{3, 1, 3, 0x08}));
    EXPECT_EQ(file.position.typed, 8u) << "a b c, the emoji, d and three line ends";

    desktop.clipboard = u"x\n\x01yz";
    desktop.onKeys = [&](std::u16string_view keys) {
        if (keys == u"y") {
            desktop.foregroundProcess = kOtherProcess + 1;
        }
    };
    const PlaybackResult stopped = PlayClipboard(desktop, hooks);
    EXPECT_EQ(stopped.end, PlaybackEnd::FocusMoved);
    EXPECT_EQ(stopped.controls, (PassedOver{1, 2, 1, 0x01}));

    desktop.onKeys = nullptr;
    desktop.foregroundProcess = kOtherProcess;
    desktop.PutFile(kFile, "\xEF\xBB\xBF\xF0\x9F\x98\x80!\nx\xFFy\xFE");
    const PlaybackResult stray = PlayResult();
    EXPECT_EQ(stray.end, PlaybackEnd::Finished);
    EXPECT_EQ(stray.invalidBytes, (PassedOver{1, 2, 2, 0})) << "the first, in characters";
    const auto keys = Keys();
    EXPECT_EQ(std::vector<std::u16string>(keys.end() - 5, keys.end()),
              (std::vector<std::u16string>{u"x", u"\uFFFD", u"y", u"\uFFFD", E}));
}

// With a layout chosen for the other computer, whose far side drops Unicode input, a character
// that layout has no keys for is refused before the first key, as with keys only.
TEST_F(Playback, AChosenLayoutRefusesACharacterWithoutKeysBeforeTyping) {
    hooks.typing.layout = u"00000409";
    desktop.PutFile(kFile, "ok\r\ncaf\xC3\xA9");
    // The layout is named with keys only on too: turning keys only off would change nothing.
    for (const KeyMode mode : {KeyMode::UnicodeWhereNeeded, KeyMode::KeysOnly}) {
        hooks.typing.keyMode = mode;
        const PlaybackResult result = PlayResult();
        EXPECT_EQ(result.end, PlaybackEnd::NotTypableAsKeys);
        EXPECT_EQ(result.position, (TypingPosition{2, 4, 0}));
        EXPECT_EQ(result.layoutName, u"US");
    }
    EXPECT_TRUE(Keys().empty());
}

// A window that closes as it takes the text's last keystroke (a sign-in dialog that the last
// Enter submits) took the whole text, though its program lives on.
TEST_F(Playback, AWindowThatClosesAtTheLastKeystrokeTookTheWholeText) {
    desktop.PutFile(kFile, "user");
    desktop.foregroundWindow = 77;  // the dialog, over its program's main window
    desktop.onKeys = [&](std::u16string_view keys) {
        if (keys == u"r") {
            desktop.FailNext("SendKeyString",
                             Failure{"SendKeyString", u"?", kMayNotHaveArrivedCode});
        } else if (keys == E) {
            desktop.closedWindows.insert(77);
            desktop.foregroundWindow = 0;
        }
    };
    const PlaybackResult result = PlayResult();
    EXPECT_EQ(result.end, PlaybackEnd::Finished);
    EXPECT_EQ(result.position, (TypingPosition{2, 1, 5}));
}

// What the check before typing read must be what is typed: a file saved while it is checked
// types nothing.
TEST_F(Playback, AFileChangedBetweenTheCheckAndTheTypingTypesNothing) {
    hooks.typing.keyMode = KeyMode::KeysOnly;
    const std::string text = std::string(100000, 'x') + "\r\n";
    desktop.PutFile(kFile, text);
    desktop.onPump = [&] { desktop.PutFile(kFile, text); };  // a long check serves the window
    const PlaybackResult result = PlayResult();
    EXPECT_EQ(result.end, PlaybackEnd::ChangedAfterCheck);
    EXPECT_EQ(result.path, kFile);
    EXPECT_TRUE(Keys().empty());
}

TEST_F(Playback, AFailedKeystrokeIsPassedOverButAHungTargetEndsTheRun) {
    desktop.PutFile(kFile, "abc");
    desktop.FailNext("SendKeyString", Failure{"SendKeyString", u"Blocked.", 5});
    const PlaybackResult passed = PlayResult();
    EXPECT_EQ(passed.end, PlaybackEnd::Finished);
    EXPECT_EQ(passed.notTyped, (PassedOver{1, 1, 1, u'a'})) << "said at the end, not in silence";
    EXPECT_EQ(Keys().size(), 4u);

    // Not one keystroke taken is no finished run, whatever was passed over on the way.
    for (int i = 0; i < 4; ++i) {
        desktop.FailNext("SendKeyString", Failure{"SendKeyString", u"Blocked.", 5});
    }
    const PlaybackResult none = PlayResult();
    EXPECT_EQ(none.end, PlaybackEnd::NothingConfirmed);
    EXPECT_EQ(none.reason, u"Blocked.");
    EXPECT_EQ(none.position, TypingPosition{});
    EXPECT_EQ(Keys().size(), 8u);
    desktop.PutFile(kFile, "");
    EXPECT_EQ(Play(), PlaybackEnd::Finished) << "an empty file has no keystroke to confirm";
    desktop.PutFile(kFile, "abc");

    desktop.FailNext("SendKeyString", Failure{"SendKeyString", u"ok", 0});
    desktop.FailNext("SendKeyString",
                     Failure{"SendKeyString", u"Not responding.", kNotRespondingCode});
    EXPECT_EQ(Play(), PlaybackEnd::NotResponding);
    EXPECT_EQ(Keys().size(), 8u + 2u);

    // No window in front at the moment of sending: nothing went out, so once the target is
    // in front again the same key is sent again, not skipped.
    desktop.FailNext("SendKeyString", Failure{"SendKeyString", u"ok", 0});
    desktop.FailNext("SendKeyString",
                     Failure{"SendKeyString", u"No window in front.", kNoWindowInFrontCode});
    const PlaybackResult result = PlayResult();
    EXPECT_EQ(result.end, PlaybackEnd::Finished);
    const auto keys = Keys();
    ASSERT_EQ(keys.size(), 10u + 5u);
    EXPECT_EQ(std::vector<std::u16string>(keys.end() - 5, keys.end()),
              (std::vector<std::u16string>{u"a", u"b", u"b", u"c", E}));
    EXPECT_EQ(result.position.typed, 3u);

    // Keys that went out but may not have arrived, as another window took the keyboard, are
    // never sent again: with the target back in front they count as typed; else the run ends
    // saying they may have arrived. (The "a" is passed over.)
    for (const bool back : {true, false}) {
        const std::size_t before = Keys().size();
        desktop.onKeys = [&](std::u16string_view sending) {
            if (!back && sending == u"b") {
                desktop.foregroundProcess = kOtherProcess;
            }
        };
        desktop.FailNext("SendKeyString", Failure{"SendKeyString", u"ok", 0});
        desktop.FailNext("SendKeyString", Failure{"SendKeyString", u"?", kMayNotHaveArrivedCode});
        const PlaybackResult lost = PlayResult();
        EXPECT_EQ(lost.end, back ? PlaybackEnd::Finished : PlaybackEnd::FocusMoved);
        EXPECT_EQ(Keys().size() - before, back ? 4u : 2u);
        const TypingPosition expected =
            back ? TypingPosition{2, 1, 3} : TypingPosition{1, 2, 0, true};
        EXPECT_EQ(lost.position, expected);
    }

    // An emoji goes as two key strings but is one character, typed or not.
    desktop.foregroundProcess = kOtherProcess;
    desktop.PutFile(kFile,
                    "x\xF0\x9F\x98\x80"
                    "y");
    std::size_t sent = 0;
    desktop.onKeys = [&](std::u16string_view) {
        if (++sent == 1) {
            desktop.FailNext("SendKeyString", Failure{"SendKeyString", u"Blocked.", 5});
        }
    };
    const PlaybackResult half = PlayResult();
    EXPECT_EQ(half.notTyped, (PassedOver{1, 1, 2, 0x1F600}));
    EXPECT_EQ(half.position.typed, 3u) << "x, y and the line end";
}

// A program that ends as a key string goes in: right after the text's last one (a console
// script's "exit"), it took the whole text; before, the run says the program closed.
TEST_F(Playback, AProgramThatEndsAtTheLastKeystrokeTookTheWholeText) {
    const struct {
        const char* name;
        std::u16string text;
        bool clipboard;
        std::size_t at;  // the key string as which the window goes away
        bool ends;       // its program ends; else another program's window comes to the front
        PlaybackEnd end;
        TypingPosition position;
        bool sequence = false;  // read as a key sequence
    } cases[] = {
        {"AtTheLastLineEnd", u"ab\r\nexit", false, 8, true, PlaybackEnd::Finished, {3, 1, 8}},
        {"AtTheClipboardsLastCharacter",
         u"ab\nexit",
         true,
         7,
         true,
         PlaybackEnd::Finished,
         {2, 5, 7}},
        {"Earlier", u"ab\r\nexit", false, 5, true, PlaybackEnd::TargetClosed, {2, 2, 4, true}},
        // A sequence's last key, with nothing but a line end and a group's end after it.
        {"AtTheSequencesLastKey",
         u"(exit~)\r\n",
         false,
         5,
         true,
         PlaybackEnd::Finished,
         {1, 1, 5},
         true},
        {"AnotherWindowAtTheLastLineEnd",
         u"ab\r\nexit",
         false,
         8,
         false,
         PlaybackEnd::FocusMoved,
         {2, 5, 7, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        hooks.typing.keySequences = c.sequence;
        const std::uint32_t target = FakeDesktop::ProcessOf(task);
        desktop.endedProcesses.clear();
        std::size_t sent = 0;
        desktop.onKeys = [&](std::u16string_view) {
            if (++sent == c.at - 1) {  // the next one is sent, but whether it arrived is unknown
                desktop.FailNext("SendKeyString",
                                 Failure{"SendKeyString", u"?", kMayNotHaveArrivedCode});
            } else if (sent == c.at) {
                desktop.foregroundProcess = kOtherProcess;
                if (c.ends) {
                    desktop.endedProcesses.insert(target);
                }
            }
        };
        PlaybackResult result;
        if (c.clipboard) {
            desktop.clipboard = c.text;
            desktop.foregroundProcess = target;
            result = PlayClipboard(desktop, hooks);
        } else {
            desktop.PutFile(kFile, Utf16ToUtf8(c.text));
            result = PlayResult();
        }
        EXPECT_EQ(result.end, c.end);
        EXPECT_EQ(result.position, c.position);
    }
}

// Where a run stopped: the run ends after the `after`-th key string (the focus moves, or that
// keystroke is not taken at all).
struct PositionCase {
    const char* name;
    std::string bytes;
    std::size_t after;
    bool notResponding;  // the `after`-th keystroke went out but was never taken
    TypingPosition expected;
};

class PlaybackPosition : public Playback, public ::testing::WithParamInterface<PositionCase> {};

TEST_P(PlaybackPosition, IsTheFirstCharacterNotTyped) {
    const PositionCase& c = GetParam();
    desktop.PutFile(kFile, c.bytes);
    std::size_t sent = 0;
    desktop.onKeys = [&](std::u16string_view) {
        if (++sent == c.after && !c.notResponding) {
            desktop.foregroundProcess = kOtherProcess + 1;
        }
    };
    for (std::size_t i = 1; c.notResponding && i < c.after; ++i) {
        desktop.FailNext("SendKeyString", Failure{"SendKeyString", u"ok", 0});
    }
    if (c.notResponding) {
        desktop.FailNext("SendKeyString", Failure{"SendKeyString", u"Hung.", kNotRespondingCode});
    }
    const PlaybackResult result = PlayResult();
    EXPECT_EQ(result.end, c.notResponding ? PlaybackEnd::NotResponding : PlaybackEnd::FocusMoved);
    EXPECT_EQ(result.position, c.expected);
}

const std::string kPiecedLine = std::string(150000, 'x') + "\r\nz";

INSTANTIATE_TEST_SUITE_P(
    Cases, PlaybackPosition,
    ::testing::Values(
        PositionCase{"InsideTheFirstLine", "ab\r\ncd", 1, false, {1, 2, 1}},
        PositionCase{"OnlyTheLineEndLeft", "ab\r\ncd", 2, false, {1, 3, 2}},
        PositionCase{"AtTheStartOfTheNextLine", "ab\r\ncd", 3, false, {2, 1, 3}},
        PositionCase{"InsideTheSecondLine", "ab\r\ncd", 4, false, {2, 2, 4}},
        // Columns count on across the pieces a long line is read in.
        PositionCase{"InALineTypedInPieces", kPiecedLine, 100000, false, {1, 100001, 100000}},
        PositionCase{"AfterALineTypedInPieces", kPiecedLine, 150001, false, {2, 1, 150001}},
        // A keystroke that was never taken is not typed, but went out: a program that responds
        // again takes it. Failures passed over are not typed either, but the run went on past
        // them.
        PositionCase{"AtTheKeystrokeNeverTaken", "ab\r\ncd", 4, true, {2, 1, 0, true}},
        // Characters, not UTF-16 units: an emoji is one (and two key strings).
        PositionCase{"AfterAnEmoji",
                     "\xF0\x9F\x98\x80"
                     "ab",
                     3,
                     false,
                     {1, 3, 2}},
        PositionCase{"AfterLfLineEnds", "ab\ncd\n", 4, false, {2, 2, 4}}),
    [](const auto& p) { return std::string(p.param.name); });

// The rest of a stopped run: typed from its first character not confirmed typed, its positions
// the whole text's, and nothing at all once the text has changed.
struct RestCase {
    const char* name;
    TextOrigin origin;
    std::string text;  // the file's bytes, or the clipboard's text
    TypingPosition from;
    bool changed;           // the file was saved again (its bytes the same)
    std::size_t stopAfter;  // the window in front changes after this many keys (0: never)
    std::vector<std::u16string> keys;
    TypingPosition end;  // where the rest run ended
};

class RestOfAStoppedRun : public Playback, public ::testing::WithParamInterface<RestCase> {};

TEST_P(RestOfAStoppedRun, BeginsWhereTheStoppedRunDidAndOnlyIfTheTextIsTheSame) {
    const RestCase& c = GetParam();
    const bool file = c.origin == TextOrigin::File;
    const auto play = [&](const std::optional<RestOfRun>& rest) {
        return file ? PlayTextFile(desktop, kFile, std::nullopt, hooks, rest)
                    : PlayClipboard(desktop, hooks, rest);
    };
    desktop.PutFile(kFile, c.text);
    desktop.clipboard = Utf8ToUtf16(c.text).value();
    const TextStamp stamp = play(std::nullopt).stamp;
    if (c.changed) {
        desktop.PutFile(kFile, c.text);  // the same bytes, saved again
    }
    std::vector<std::u16string> keys;
    desktop.onKeys = [&](std::u16string_view sent) {
        keys.emplace_back(sent);
        if (keys.size() == c.stopAfter) {
            desktop.foregroundProcess = kOtherProcess + 1;
        }
    };
    const PlaybackResult result = play(RestOfRun{.from = c.from, .stamp = stamp});
    EXPECT_EQ(keys, c.keys);
    if (c.changed) {
        EXPECT_EQ(result.end, PlaybackEnd::TextChanged);
        EXPECT_EQ(result.path, file ? std::u16string(kFile) : u"");
        return;
    }
    EXPECT_EQ(result.end, c.stopAfter == 0 ? PlaybackEnd::Finished : PlaybackEnd::FocusMoved);
    EXPECT_EQ(result.position, c.end);
}

const std::vector<std::u16string> kRestOfLineTwo = {u"d", u"\r\n", u"e", u"f", u"\r\n"};

INSTANTIATE_TEST_SUITE_P(
    Cases, RestOfAStoppedRun,
    ::testing::Values(
        RestCase{"FromInsideALine",
                 TextOrigin::File,
                 "ab\r\ncd\r\nef",
                 {2, 2},
                 false,
                 0,
                 kRestOfLineTwo,
                 {4, 1, 5}},
        RestCase{"FromTheEndOfALineTypedInPieces",
                 TextOrigin::File,
                 kPiecedLine,
                 {1, 150000},
                 false,
                 0,
                 {u"x", u"\r\n", u"z", u"\r\n"},
                 {3, 1, 4}},
        // Stopped again: where, in the whole text, so that the rest of the rest can follow.
        RestCase{"StoppedAgain",
                 TextOrigin::File,
                 "ab\r\ncd\r\nef",
                 {2, 2},
                 false,
                 2,
                 {u"d", u"\r\n"},
                 {3, 1, 2}},
        RestCase{"OfTheClipboard",
                 TextOrigin::Clipboard,
                 "ab\r\ncd",
                 {2, 1},
                 false,
                 0,
                 {u"c", u"d"},
                 {2, 3, 2}},
        RestCase{"AfterAnEmojiInALfFile",
                 TextOrigin::File,
                 "a\n\xF0\x9F\x98\x80"
                 "bc\n",
                 {2, 3},
                 false,
                 0,
                 {u"c", u"\r\n"},
                 {3, 1, 2}},
        // A clipboard changed: see the main form's table.
        RestCase{"OfAFileSavedAgain", TextOrigin::File, "ab\r\ncd\r\nef", {2, 2}, true, 0, {}, {}}),
    [](const auto& p) { return std::string(p.param.name); });

// The wait after each line, and how the run ends: Finished, or Stopped or FocusMoved by a stop
// or a switch to another window during the first wait.
struct LineWaitCase {
    const char* name;
    std::string bytes;
    PlaybackEnd end;
    TypingPosition position;
};

class LineWait : public Playback, public ::testing::WithParamInterface<LineWaitCase> {};

TEST_P(LineWait, FollowsEachLineEndButTheLastWithQuillrunServedAndEndsAtTheNextLine) {
    const LineWaitCase& c = GetParam();
    desktop.PutFile(kFile, c.bytes);
    hooks.typing.lineWait = Milliseconds{1000};
    std::vector<std::pair<std::u16string, Milliseconds>> sent;
    desktop.onKeys = [&](std::u16string_view keys) { sent.emplace_back(keys, desktop.Now()); };
    bool served = false;
    desktop.onPump = [&] {
        // Only the wait after a line end passes time while it pumps.
        if (!sent.empty() && sent.back().first == kLineEndKeys &&
            desktop.Now() != sent.back().second) {
            served = true;
            stop = c.end == PlaybackEnd::Stopped;
            if (c.end == PlaybackEnd::FocusMoved) {
                desktop.foregroundProcess = kOtherProcess + 1;
            } else if (c.end == PlaybackEnd::StoppedByClick) {
                desktop.foregroundProcess = desktop.ownProcess;
            }
        }
    };
    const PlaybackResult result = PlayResult();
    EXPECT_EQ(result.end, c.end);
    EXPECT_EQ(result.position, c.position);
    EXPECT_TRUE(served) << "Quillrun's window was not served during the wait";
    // Each line's first key comes a second after the line end before it, none after the last.
    for (std::size_t i = 1; i < sent.size(); ++i) {
        if (sent[i - 1].first == kLineEndKeys) {
            EXPECT_GE(sent[i].second - sent[i - 1].second, Milliseconds{1000}) << "key " << i;
            EXPECT_LE(sent[i].second - sent[i - 1].second, Milliseconds{1100}) << "key " << i;
        }
    }
    EXPECT_EQ(sent.back().first, kLineEndKeys) << "a key followed the wait";
    EXPECT_LT(desktop.Now() - sent.back().second, Milliseconds{1000});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LineWait,
    ::testing::Values(
        LineWaitCase{"ThreeLinesEndedByLf", "ab\n\r\ncd\n", PlaybackEnd::Finished, {4, 1, 7}},
        LineWaitCase{"AStopDuringTheWait", "ab\r\ncd", PlaybackEnd::Stopped, {2, 1, 3}},
        LineWaitCase{"ASwitchDuringTheWait", "ab\r\ncd", PlaybackEnd::FocusMoved, {2, 1, 3}},
        LineWaitCase{
            "AClickOnQuillrunDuringTheWait", "ab\r\ncd", PlaybackEnd::StoppedByClick, {2, 1, 3}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(Playback, WaitsForAHandedOverWindowWhileQuillrunStaysResponsive) {
    desktop.PutFile(kFile, "ok");
    constexpr std::uint32_t kSuccessor = 55;
    const struct {
        const char* name;
        std::uint32_t code;           // why activation failed
        int noWindowTries;            // further activations that find no window yet
        Milliseconds successorAfter;  // when another program's window comes to the front
        PlaybackEnd end;
        std::uint32_t typedInto;
        bool splash = false;          // meanwhile the program's splash screen is in front
        bool openedBehind = false;    // the successor's window opened behind the others
        bool desktopInFront = false;  // meanwhile the desktop is in front (a splash has closed)
        bool frontTakenOnce = false;  // an activation under way takes the front from it once
    } cases[] = {
        // A launcher that handed the launch over and exited: the successor's window is typed.
        {"LauncherExited", kTaskEndedCode, 0, Milliseconds{1800}, PlaybackEnd::Finished,
         kSuccessor},
        // A program slow to show its window: it is activated once it has one.
        {"WindowShownLate", kTaskHasNoWindowCode, 3, Milliseconds{60000}, PlaybackEnd::Finished,
         FakeDesktop::ProcessOf(TaskId{1})},
        // Nothing comes within the wait: nothing is typed.
        {"NothingComes", kTaskEndedCode, 0, Milliseconds{60000}, PlaybackEnd::NoTarget, 0},
        // Refused for another reason: no waiting, and never into Quillrun itself.
        {"Refused", 5, 0, Milliseconds{0}, PlaybackEnd::NoTarget, 0},
        // A splash screen (no taskbar button) in front: never typed into; the main window that
        // follows it, even after the usual wait, is.
        {"SplashThenMainWindow", kTaskHasNoWindowCode, 160, Milliseconds{60000},
         PlaybackEnd::Finished, FakeDesktop::ProcessOf(TaskId{1}), true},
        // The desktop in front once a splash has closed is not handed over to: the main window
        // that follows is typed into.
        {"DesktopAfterSplash", kTaskHasNoWindowCode, 3, Milliseconds{60000}, PlaybackEnd::Finished,
         FakeDesktop::ProcessOf(TaskId{1}), false, false, true},
        // Quillrun's own window, activated late as the splash closed, takes the front from the
        // main window just brought forward: it is brought forward again before typing.
        {"FrontTakenBackAtOnce", kTaskHasNoWindowCode, 2, Milliseconds{60000},
         PlaybackEnd::Finished, FakeDesktop::ProcessOf(TaskId{1}), false, false, false, true},
        // Nothing in front, but a window opened behind the others since the launch (a
        // console program's in Windows Terminal): it is brought forward and typed into.
        {"OpenedBehind", kTaskEndedCode, 0, Milliseconds{60000}, PlaybackEnd::Finished, kSuccessor,
         false, true},
        // Last: the activations it leaves scripted to fail are never reached.
        {"OnlyASplash", kTaskHasNoWindowCode, 1000, Milliseconds{60000}, PlaybackEnd::NoMainWindow,
         0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        desktop.foregroundProcess = desktop.ownProcess;
        desktop.FailNext("ActivateTask", Failure{"ActivateTask", u"No window.", c.code});
        for (int i = 0; i < c.noWindowTries; ++i) {
            desktop.FailNext("ActivateTask",
                             Failure{"ActivateTask", u"No window.", kTaskHasNoWindowCode});
        }
        const std::uint32_t program = FakeDesktop::ProcessOf(TaskId{1});
        if (c.splash) {
            desktop.foregroundProcess = program;
            desktop.windowsWithoutTaskbarButton = {program};
        }
        if (c.openedBehind) {
            desktop.openedBehind = {kSuccessor};
        }
        constexpr std::uint32_t kDesktop = 66;
        if (c.desktopInFront) {
            desktop.foregroundProcess = kDesktop;
            desktop.shellWindows = {kDesktop};
        }
        const Milliseconds started = desktop.Now();
        bool frontTaken = false;
        desktop.onPump = [&] {
            if (desktop.Now() - started >= c.successorAfter) {
                desktop.foregroundProcess = kSuccessor;
            }
            if (c.frontTakenOnce && !frontTaken && desktop.foregroundProcess == program) {
                desktop.foregroundProcess = desktop.ownProcess;
                frontTaken = true;
            }
        };
        const std::size_t keysBefore = Keys().size();
        const std::size_t waitsBefore = desktop.CallsOf("PumpEventsFor").size();
        EXPECT_EQ(Play(), c.end);
        const Milliseconds waited = desktop.Now() - started;
        const std::size_t waits = desktop.CallsOf("PumpEventsFor").size() - waitsBefore;
        if (c.typedInto == 0) {
            EXPECT_EQ(Keys().size(), keysBefore);
        } else {
            EXPECT_EQ(Keys().size(), keysBefore + 3);
            EXPECT_EQ(desktop.foregroundProcess, c.typedInto);
        }
        if (c.code == 5) {
            EXPECT_EQ(waits, 0u);
        } else if (c.end == PlaybackEnd::NoMainWindow) {
            EXPECT_GE(waited, kSplashWait);
            EXPECT_LT(waited, kSplashWait + Milliseconds{500});
        } else if (c.splash) {
            EXPECT_GT(waited, kHandOffWait);  // longer than a window shown late is waited for
        } else if (c.openedBehind) {
            EXPECT_LE(waited, Milliseconds{50});  // brought forward at the first look
        } else if (c.end == PlaybackEnd::NoTarget) {
            EXPECT_GE(waited, kHandOffWait);
            EXPECT_LT(waited, kHandOffWait + Milliseconds{500});
        } else {
            EXPECT_GT(waits, 0u);  // Quillrun's window was served while it waited
            EXPECT_LT(waited, std::min(c.successorAfter, kHandOffWait) + Milliseconds{500});
        }
        desktop.onPump = nullptr;
        desktop.windowsWithoutTaskbarButton.clear();
        desktop.openedBehind.clear();
        desktop.shellWindows.clear();
    }
}

TEST_F(Playback, ClosingQuillrunDuringTheHandOffWaitStopsTheRun) {
    desktop.PutFile(kFile, "ok");
    desktop.foregroundProcess = desktop.ownProcess;
    desktop.FailNext("ActivateTask", Failure{"ActivateTask", u"Ended.", kTaskEndedCode});
    desktop.onPump = [&] { stop = true; };
    EXPECT_EQ(Play(), PlaybackEnd::Stopped);
    EXPECT_TRUE(Keys().empty());
}

TEST_F(Playback, AMomentWithNoWindowInFrontIsNotAFocusChange) {
    desktop.PutFile(kFile, "abc");
    for (const int sleepsWithoutWindow : {3, 1000}) {
        SCOPED_TRACE(sleepsWithoutWindow);
        const std::size_t keysBefore = Keys().size();
        int sleeps = 0;
        desktop.onKeys = [&](std::u16string_view keys) {
            if (keys == u"a") {
                desktop.foregroundProcess = 0;  // the system moves the activation
                sleeps = 0;
            }
        };
        desktop.onSleep = [&] {
            if (++sleeps == sleepsWithoutWindow) {
                desktop.foregroundProcess = FakeDesktop::ProcessOf(task);
            }
        };
        const PlaybackEnd end = Play();
        if (sleepsWithoutWindow < 1000) {
            EXPECT_EQ(end, PlaybackEnd::Finished);
            EXPECT_EQ(Keys().size(), keysBefore + 4);
        } else {
            EXPECT_EQ(end, PlaybackEnd::FocusMoved);  // no window for good: the run ends
            EXPECT_EQ(Keys().size(), keysBefore + 1);
        }
    }
}

TEST_F(Playback, NothingIsTypedIntoAProgramWithHigherRights) {
    desktop.PutFile(kFile, "secret");
    desktop.programNames[FakeDesktop::ProcessOf(task)] = u"admin-tool.exe";
    for (const InputAccess access : {InputAccess::Elevated, InputAccess::Unreadable}) {
        desktop.inputAccess[FakeDesktop::ProcessOf(task)] = access;
        const PlaybackResult result = PlayResult();
        EXPECT_EQ(result.end, PlaybackEnd::NotAllowed);
        EXPECT_EQ(result.program, u"admin-tool.exe");
        EXPECT_EQ(result.position, TypingPosition{});
    }
    EXPECT_TRUE(Keys().empty());
}

TEST_F(Playback, AComposingInputMethodIsSwitchedToLatinForTheRunAndBackHoweverItEnds) {
    desktop.PutFile(kFile, "ab\r\ncd");
    const std::uint64_t window = FakeDesktop::ProcessOf(task);
    const auto runEndingWith = [&](PlaybackEnd wanted) {
        desktop.onKeys = [&, wanted](std::u16string_view keys) {
            if (keys != u"c") {
                return;
            }
            if (wanted == PlaybackEnd::FocusMoved) {
                desktop.foregroundProcess = kOtherProcess;
            } else if (wanted == PlaybackEnd::Stopped) {
                stop = true;
            }
        };
        if (wanted == PlaybackEnd::NotResponding) {
            desktop.FailNext("SendKeyString",
                             Failure{"SendKeyString", u"Hung.", kNotRespondingCode});
        }
        stop = false;
        return Play();
    };
    // Japanese hiragana (native and full-width, IME_CMODE 0x9) switches by closing; Korean
    // hangul (native, 0x1) by its conversion mode, which Latin() clears with the open status.
    // An input method that applies the change a few reads late is waited for, and restored
    // all the same.
    const struct {
        InputMethodState before;
        std::u16string latin;  // as the fake records the change
        int lag;
    } methods[] = {
        {{true, 0x9}, u"#1001 closed 0", 0},
        {{true, 0x1}, u"#1001 closed 0", 0},
        {{true, 0x19}, u"#1001 closed 16", 3},
    };
    for (const auto& method : methods) {
        for (const PlaybackEnd end : {PlaybackEnd::Finished, PlaybackEnd::FocusMoved,
                                      PlaybackEnd::Stopped, PlaybackEnd::NotResponding}) {
            desktop.inputMethods = {{window, method.before}, {kOtherProcess, method.before}};
            desktop.inputMethodLag = method.lag;
            const std::size_t before = desktop.calls().size();
            EXPECT_EQ(runEndingWith(end), end);
            const auto& calls = desktop.calls();
            const auto latinAt =
                std::find(calls.begin() + static_cast<std::ptrdiff_t>(before), calls.end(),
                          FakeDesktop::Call{"SetInputMethodStatus", method.latin});
            ASSERT_NE(latinAt, calls.end()) << "not switched before typing";
            const auto firstKey = std::find_if(latinAt, calls.end(), [](const auto& call) {
                return call.operation == "SendKeyString";
            });
            ASSERT_NE(firstKey, calls.end());
            // Typing waits until the input method is seen to have applied the change.
            EXPECT_EQ(std::count_if(latinAt, firstKey,
                                    [](const auto& call) { return call.operation == "Sleep"; }),
                      method.lag > 0 ? method.lag : 0);
            // Restored, in the target's window, after the run has let go of the keys.
            EXPECT_EQ(calls.back().operation, "SetInputMethodStatus");
            EXPECT_EQ((calls.end() - 2)->operation, "EndTyping");
            std::optional<InputMethodState> restored;
            for (int read = 0; read <= method.lag; ++read) {
                restored = desktop.InputMethodStatus(WindowId{window});
            }
            EXPECT_EQ(restored, method.before);
            EXPECT_EQ(desktop.inputMethods[kOtherProcess], method.before)
                << "another window's was touched";
        }
    }
    // One that is closed, open but typing Latin letters as they are (conversion 0), or none
    // is left alone.
    for (const std::optional<InputMethodState> state :
         {std::optional<InputMethodState>(), std::optional<InputMethodState>({false, 0x9}),
          std::optional<InputMethodState>({true, 0x0})}) {
        desktop.inputMethods.clear();
        desktop.inputMethodLag = 0;
        if (state) {
            desktop.inputMethods[window] = *state;
        }
        desktop.onKeys = nullptr;
        const std::size_t before = desktop.CallsOf("SetInputMethodStatus").size();
        EXPECT_EQ(Play(), PlaybackEnd::Finished);
        EXPECT_EQ(desktop.CallsOf("SetInputMethodStatus").size(), before);
    }
}

// A secret's run keeps no character of it in its result: only where the trouble was.
TEST_F(Playback, ASecretsResultHoldsNoCharacterOfIt) {
    hooks.typing.keyMode = KeyMode::KeysOnly;
    const PlaybackResult result =
        PlaySecret(desktop, SecretEntry{.text = u"ab\u20ACc", .pressEnter = false}, hooks);
    EXPECT_EQ(result.end, PlaybackEnd::NotTypableAsKeys);
    EXPECT_EQ(result.position.column, 3u);
    EXPECT_EQ(result.character, 0u);
    EXPECT_EQ(desktop.CallsOf("ForgetKeys").size(), 1u);
}

struct ReportCase {
    const char* name;
    PlaybackResult result;
    std::vector<std::u16string> shows;          // empty: no message at all
    bool whole = false;                         // the one piece shown is the whole message
    std::vector<std::u16string> japanese = {};  // pieces of the Japanese message
    std::vector<std::u16string> hides = {};     // never in the message: a secret's characters
};

class PlaybackReport : public ::testing::TestWithParam<ReportCase> {};

PlaybackResult Ended(PlaybackEnd end, TypingPosition position = {}) {
    PlaybackResult result;
    result.end = end;
    result.position = position;
    return result;
}

// `result` with what it passed over as it went on.
PlaybackResult Noted(PlaybackResult result, PassedOver controls, PassedOver notTyped = {},
                     PassedOver invalidBytes = {}) {
    result.controls = controls;
    result.notTyped = notTyped;
    result.invalidBytes = invalidBytes;
    return result;
}

// `result` with its text from `origin`.
PlaybackResult From(TextOrigin origin, PlaybackResult result, char32_t character = 0) {
    result.origin = origin;
    result.character = character;
    return result;
}

// `result` of a run that read its text as a key sequence.
PlaybackResult InSequence(PlaybackResult result, SequenceError error = {}) {
    result.keySequence = true;
    result.sequenceError = std::move(error);
    return result;
}

TEST_P(PlaybackReport, SaysWhyAndWhereOrNothing) {
    const auto message = PlaybackEndMessage(GetParam().result, Language::English);
    ASSERT_EQ(message.has_value(), !GetParam().shows.empty());
    if (GetParam().whole) {
        EXPECT_EQ(*message, GetParam().shows.at(0));
    }
    for (const std::u16string& piece : GetParam().shows) {
        EXPECT_NE(message->find(piece), std::u16string::npos)
            << std::string(piece.begin(), piece.end());
    }
    for (const std::u16string& hidden : GetParam().hides) {
        EXPECT_EQ(message.value_or(u"").find(hidden), std::u16string::npos) << Utf16ToUtf8(hidden);
    }
    const auto japanese = PlaybackEndMessage(GetParam().result, Language::Japanese);
    for (const std::u16string& piece : GetParam().japanese) {
        EXPECT_NE(japanese.value_or(u"").find(piece), std::u16string::npos) << Utf16ToUtf8(piece);
    }
}

std::size_t Occurrences(std::u16string_view text, std::u16string_view piece) {
    std::size_t count = 0;
    for (std::size_t at = text.find(piece); at != std::u16string_view::npos;
         at = text.find(piece, at + piece.size())) {
        ++count;
    }
    return count;
}

bool HasKana(std::u16string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char16_t c) { return c >= 0x3041 && c <= 0x30FF; });
}

// Both languages say the same thing with the same facts. The line, column and count are made
// distinct from every number the texts hold of their own, so that each can be found.
TEST_P(PlaybackReport, JapaneseSaysTheSameWithTheSameFacts) {
    PlaybackResult result = GetParam().result;
    result.position.line += 1000;
    result.position.column += 2000;
    result.position.typed += 3000;
    const auto english = PlaybackEndMessage(result, Language::English);
    const auto japanese = PlaybackEndMessage(result, Language::Japanese);
    ASSERT_EQ(english.has_value(), japanese.has_value());
    if (!english) {
        return;
    }
    EXPECT_TRUE(HasKana(*japanese));
    EXPECT_FALSE(HasKana(*english));
    EXPECT_TRUE(BlanksOf(*english).empty());
    EXPECT_TRUE(BlanksOf(*japanese).empty());
    const TypingPosition& at = result.position;
    std::vector<std::u16string> facts = {DecimalText(at.line), DecimalText(at.column),
                                         DecimalText(at.typed), u"U+", u"\n\n"};
    for (const std::u16string& given : {result.program, result.reason, result.path}) {
        if (!given.empty()) {
            facts.push_back(given);
        }
    }
    for (const std::u16string& fact : facts) {
        EXPECT_EQ(Occurrences(*english, fact), Occurrences(*japanese, fact)) << Utf16ToUtf8(fact);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlaybackReport,
    ::testing::Values(
        ReportCase{"Finished", {PlaybackEnd::Finished, {3, 1, 40}, u"x.exe", {}}, {}},
        ReportCase{"NotOpened", {PlaybackEnd::NotOpened, {}, {}, {}}, {}},
        ReportCase{"ClosedByTheUser", {PlaybackEnd::Stopped, {2, 5, 9}, {}, {}}, {}},
        ReportCase{"FocusMoved",
                   {PlaybackEnd::FocusMoved, {12, 7, 345}, u"x.exe", {}},
                   {u"another window came to the front",
                    u"line 12, column 7 of the file; 345 characters were typed",
                    u"You can type the rest from there by hand"},
                   false,
                   {u"別のウィンドウが前面に出たため",
                    u"ファイルの 12 行目の 7 文字目で入力が止まりました。入力したのは 345 文字です",
                    u"残りはそこから手で入力できます。"}},
        ReportCase{
            "StoppedByAClickOnQuillrun",
            {PlaybackEnd::StoppedByClick, {1, 10, 9}, u"x.exe", {}},
            {u"because its window was clicked", u"a button or menu clicked then did nothing",
             u"line 1, column 10 of the file; 9 characters were typed"},
            false,
            {u"Quillrun のウィンドウがクリックされたため", u"ボタンやメニューは実行されていない"}},
        ReportCase{"FocusMovedWhileAKeystrokeWasTaken",
                   {PlaybackEnd::FocusMoved, {1, 1, 0, true}, u"x.exe", {}},
                   {u"line 1, column 1 of the file; 0 characters were typed",
                    u"The next one may have arrived as well", u"Check the end of the text"}},
        ReportCase{"ProgramClosed",
                   {PlaybackEnd::TargetClosed, {2, 3, 70}, u"cmd.exe", {}},
                   {u"because \"cmd.exe\" closed.", u"line 2, column 3 of the file",
                    u"You can type the rest from there by hand"},
                   false,
                   {u"\"cmd.exe\" が閉じたため"}},
        ReportCase{"ProgramClosedWhileAKeystrokeWasTaken",
                   {PlaybackEnd::TargetClosed, {1, 4, 3, true}, u"cmd.exe", {}},
                   {u"The next one may have arrived as well: the program closed just as it was "
                    u"typed."}},
        ReportCase{"FileCouldNotBeOpened",
                   {PlaybackEnd::OpenFailed,
                    {},
                    {},
                    u"The process cannot access the file.",
                    TextOrigin::File,
                    false,
                    0,
                    u"C:\\Scripts\\setup.txt"},
                   {u"Quillrun typed nothing: it could not open the file "
                    u"\"C:\\Scripts\\setup.txt\": The process cannot access the file.\n\nNothing "
                    u"of the file was typed."},
                   true},
        ReportCase{
            "DeviceName",
            {PlaybackEnd::ReservedName,
             {},
             {},
             {},
             TextOrigin::File,
             false,
             0,
             u"C:\\Scripts\\con.txt"},
            {u"the name of the file \"C:\\Scripts\\con.txt\" for a device", u"Rename the file"},
            false,
            {u"デバイス用に予約", u"ファイルの名前を変えて"}},
        ReportCase{"TheFileChangedSinceTheStoppedRun",
                   {PlaybackEnd::TextChanged, {}, {}, {}, TextOrigin::File, true, 0, u"C:\\a.txt"},
                   {u"Quillrun typed nothing: the file \"C:\\a.txt\" has changed since the run"},
                   false,
                   {u"\"C:\\a.txt\" が、中止した入力のあとで変更されました"}},
        ReportCase{"TheClipboardChangedSinceTheStoppedRun",
                   {PlaybackEnd::TextChanged, {}, {}, {}, TextOrigin::Clipboard, true},
                   {u"the clipboard's text has changed since the run that stopped",
                    u"Nothing of the clipboard's text was typed."},
                   false,
                   {u"クリップボードのテキストが、中止した入力のあとで変わりました"}},
        ReportCase{"NoKeystrokeConfirmed",
                   {PlaybackEnd::NothingConfirmed, {}, u"x.exe", u"Access is denied."},
                   {u"\"x.exe\" took none of the keystrokes. Access is denied.",
                    u"Nothing of the file was typed."}},
        ReportCase{"NotResponding",
                   {PlaybackEnd::NotResponding, {1, 30, 29}, u"editor.exe", {}},
                   {u"\"editor.exe\" stopped responding", u"line 1, column 30"}},
        ReportCase{"NotRespondingWithAKeystrokeSent",
                   {PlaybackEnd::NotResponding, {1, 30, 29, true}, u"editor.exe", {}},
                   {u"The next one may have arrived as well: it was sent, and the program may "
                    u"still take it once it responds again."},
                   false,
                   {u"プログラムが応答を再開すれば"}},
        ReportCase{"StoppedByTheHotKey",
                   {PlaybackEnd::StoppedByHotKey, {4, 2, 50}, u"x.exe", {}, TextOrigin::Clipboard},
                   {u"because the hot key was pressed again",
                    u"line 4, column 2 of the clipboard's text; 50 characters were typed",
                    u"You can type the rest from there by hand"},
                   false,
                   {u"ホット キーがもう一度押されたため"}},
        ReportCase{"KeysHeldAfterTheHotKey",
                   {PlaybackEnd::KeysHeld, {}, {}, {}, TextOrigin::Clipboard},
                   {u"Keys were still held 5 seconds after the hot key was pressed: nothing was "
                    u"typed. Let go of every key after pressing the hot key."},
                   true},
        ReportCase{"NoTarget",
                   {PlaybackEnd::NoTarget, {}, {}, {}},
                   {u"typed nothing", u"Nothing of the file was typed"}},
        ReportCase{"NoMainWindow",
                   {PlaybackEnd::NoMainWindow, {}, u"erp.exe", {}},
                   {u"\"erp.exe\" showed no window to type into", u"splash screen",
                    u"Nothing of the file was typed"}},
        ReportCase{"NotAllowed",
                   {PlaybackEnd::NotAllowed, {}, u"regedit.exe", {}},
                   {u"\"regedit.exe\"", u"start Quillrun as administrator"}},
        ReportCase{"ReadFailed",
                   {PlaybackEnd::ReadFailed, {4, 1, 80}, {}, u"The network path was not found."},
                   {u"could not be read on: The network path was not found.", u"line 4, column 1"}},
        ReportCase{"NoTextOnTheClipboard",
                   {PlaybackEnd::NoText, {}, {}, {}, TextOrigin::Clipboard, true},
                   {u"The clipboard holds no text: nothing was typed."},
                   true},
        ReportCase{"NoWindowClicked",
                   {PlaybackEnd::NothingPicked, {}, {}, {}, TextOrigin::File, true},
                   {u"No window was clicked within a minute: nothing was typed."},
                   true,
                   {u"1 分以内にウィンドウがクリックされなかったため、何も入力しませんでした。"}},
        ReportCase{"ClipboardHeldOpen",
                   {PlaybackEnd::ClipboardBusy, {}, {}, {}, TextOrigin::Clipboard, true},
                   {u"could not read the clipboard: another program kept it open.",
                    u"Nothing of the clipboard's text was typed."}},
        ReportCase{"ClipboardUnreadable",
                   {PlaybackEnd::ClipboardUnreadable,
                    {},
                    {},
                    u"Not enough memory resources are available.",
                    TextOrigin::Clipboard,
                    true},
                   {u"could not read the clipboard: Not enough memory resources are available."},
                   false,
                   {u"クリップボードを読み取れませんでした。原因: Not enough memory"}},
        ReportCase{"ClipboardTextStoppedPartway",
                   {PlaybackEnd::FocusMoved, {2, 3, 10}, {}, {}, TextOrigin::Clipboard, true},
                   {u"line 2, column 3 of the clipboard's text; 10 characters were typed"},
                   false,
                   {u"クリップボードのテキストの 2 行目の 3 文字目"}},
        ReportCase{
            "NoKeysForACharacter",
            {PlaybackEnd::NotTypableAsKeys, {2, 4, 0}, {}, {}, TextOrigin::File, false, 0xE9},
            {u"\"Keys only\" is on",
             u"no keys for U+00E9 \u00E9 at line 2, column 4 of "
             u"the file"},
            false,
            {u"「キーのみ」がオン", u"ファイルの 2 行目の 4 文字目にある U+00E9 \u00E9 を"}},
        ReportCase{
            "NoKeysForAControlCharacterOrAnEmoji",
            {PlaybackEnd::NotTypableAsKeys, {1, 1, 0}, {}, {}, TextOrigin::Clipboard, true, 0x7},
            {u"no keys for U+0007 at line 1, column 1 of the clipboard's text"}},
        ReportCase{
            "NoKeysForAnEmoji",
            {PlaybackEnd::NotTypableAsKeys, {1, 1, 0}, {}, {}, TextOrigin::File, false, 0x1F600},
            {u"no keys for U+1F600 \U0001F600 at"}},
        ReportCase{"LayoutMissing",
                   {PlaybackEnd::LayoutMissing, {}, {}, u"German"},
                   {u"typed nothing", u"German, is not installed",
                    u"\"Keyboard layout of the other computer\""}},
        ReportCase{"SequenceWithAnUnknownKey",
                   InSequence({PlaybackEnd::BadSequence, {3, 5, 0}, {}, {}},
                              {SequenceFault::UnknownKey, u"{TABB}", {3, 5}}),
                   {u"At line 3, column 5 of the file, \"{TABB}\" is not the name of a key.",
                    u"turn \"Key sequences\" off"},
                   false,
                   {u"ファイルの 3 行目の 5 文字目の「{TABB}」は、キーの名前ではありません。"}},
        // A secret's messages never show a character of it, nor a clipboard's a piece of it.
        ReportCase{"ASecretsCharacterWithoutKeys",
                   From(TextOrigin::Secret, {PlaybackEnd::NotTypableAsKeys, {1, 5, 0}, {}, {}},
                        U'\u20AC'),
                   {u"a character of the secret, at position 5"}, false, {u"5 文字目"},
                   {u"U+", u"\u20AC"}},
        ReportCase{"ASecretStoppedWithCharactersPassedOver",
                   Noted(From(TextOrigin::Secret, {PlaybackEnd::FocusMoved, {1, 4, 3}, {}, {}}),
                         {}, {1, 1, 2, U'x'}),
                   {u"3 characters of the secret were typed. Clear what arrived",
                    u"the first at line 1, column 2"},
                   false, {u"3 文字を入力しました"}, {u"U+0078", u"x,"}},
        ReportCase{"TheClipboardsBadSequence",
                   From(TextOrigin::Clipboard,
                        InSequence({PlaybackEnd::BadSequence, {3, 5, 0}, {}, {}},
                                   {SequenceFault::UnknownKey, u"{PA55W0RD}", {3, 5}})),
                   {u"The piece at line 3, column 5 of the clipboard's text is not the name"},
                   false, {u"3 行目の 5 文字目の部分は"}, {u"PA55W0RD"}},
        // What a run passed over as it went on is said, also after a run that finished.
        ReportCase{"FinishedButControlCharactersPassedOver",
                   Noted(Ended(PlaybackEnd::Finished, {3, 1, 9}), {2, 1, 3, 0x08}),
                   {u"Quillrun typed the file to its end.\n\nControl characters of the file not "
                    u"typed: 2 (the first, U+0008, at line 1, column 3)."},
                   false,
                   {u"ファイルを最後まで入力しました", u"制御文字: 2 個 (最初は 1 行目の 3 文字目の U+0008)"}},
        ReportCase{"StoppedWithKeysNotTypedAndBytesNotUtf8",
                   Noted(Ended(PlaybackEnd::FocusMoved, {2, 1, 5}), {}, {1, 1, 2, u'b'}, {1, 2, 1, 0}),
                   {u"another window came to the front",
                    u"keystrokes failed: 1 (the first, U+0062 b, at line 1, column 2)",
                    u"\n\nBytes of the file that are not UTF-8 were typed as U+FFFD (\uFFFD) (the "
                    u"first at line 2, column 1)."},
                   false,
                   {u"キー入力が失敗した", u"UTF-8 ではないバイト"}},
        ReportCase{"NotOnTheChosenLayout",
                   [] {
                       PlaybackResult r = Ended(PlaybackEnd::NotTypableAsKeys, {2, 4, 0});
                       r.character = 0xE9;
                       r.layoutName = u"German";
                       return r;
                   }(),
                   {u"layout chosen for the other computer, German, has no keys for U+00E9"},
                   false,
                   {u"「German」には"}},
        ReportCase{"ChangedWhileChecked",
                   [] {
                       PlaybackResult r = Ended(PlaybackEnd::ChangedAfterCheck);
                       r.path = u"C:\\a.txt";
                       return r;
                   }(),
                   {u"the file \"C:\\a.txt\" changed while Quillrun checked it"}},
        ReportCase{"SequenceWithAControlCharacter",
                   InSequence({PlaybackEnd::BadSequence, {1, 2, 0}, {}, {}},
                              {SequenceFault::ControlCharacter, u"\b", {1, 2}}),
                   {u"\"U+0008\" is a control character, which Quillrun never types"}},
        ReportCase{"SequenceWithCtrlAltDelete",
                   InSequence({PlaybackEnd::BadSequence, {1, 2, 0}, {}, {}},
                              {SequenceFault::CtrlAltDelete, u"^%{DEL}", {1, 2}}),
                   {u"\"^%{DEL}\" is Ctrl+Alt+Delete, which Windows lets no program send."}},
        ReportCase{
            "ShortcutWithoutAKey",
            {PlaybackEnd::ShortcutNotOnLayout, {1, 2, 0}, {}, {}, TextOrigin::File, false, 0x65E5},
            {u"line 1, column 2 of the file presses U+65E5 \u65E5 with Shift, Ctrl or Alt"},
            false,
            {u"U+65E5 \u65E5 を Shift、Ctrl、Alt と一緒に押します"}},
        ReportCase{"SequenceStoppedPartway",
                   InSequence({PlaybackEnd::FocusMoved, {2, 1, 7}, u"x.exe", {}}),
                   {u"line 2, column 1 of the file, where that piece of the key sequence begins; "
                    u"7 keys were pressed.",
                    u"You can type the rest from there by hand"},
                   false,
                   {u"押したキーは 7 個です。"}},
        ReportCase{
            "PickedWindowWasTheShell",
            {PlaybackEnd::NoTarget, {}, {}, {}, TextOrigin::File, true},
            {u"Quillrun's own, the desktop or the taskbar", u"Nothing of the file was typed."}}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace quillrun
