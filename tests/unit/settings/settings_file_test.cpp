#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include "tests/fake/fake_desktop.h"

namespace quillrun {
namespace {

constexpr std::u16string_view kAppFolder = u"C:\\Tools\\Quillrun";
constexpr std::u16string_view kOtherFolder = u"D:\\Elsewhere";

struct LoadCase {
    const char* name;
    std::optional<std::string> workingDirFile;  // quillrun.ini in the working directory
    std::optional<std::string> appFolderFile;   // quillrun.ini in the application folder
    Settings expected;
    std::uint32_t ansiCodePage = 1252;
};

class LoadSettingsTest : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadSettingsTest, ReadsFirstLineOrFallsBack) {
    const LoadCase& c = GetParam();
    FakeDesktop desktop;
    desktop.appFolder = kAppFolder;
    desktop.workingFolder = kOtherFolder;
    desktop.ansiCodePage = c.ansiCodePage;
    if (c.workingDirFile) {
        desktop.PutFile(u"D:\\Elsewhere\\quillrun.ini", *c.workingDirFile);
    }
    if (c.appFolderFile) {
        desktop.PutFile(u"C:\\Tools\\Quillrun\\quillrun.ini", *c.appFolderFile);
    }
    Settings expected = c.expected;
    // Read from the working directory's file when there is one: saving goes back to it.
    expected.file = c.workingDirFile  ? u"D:\\Elsewhere\\quillrun.ini"
                    : c.appFolderFile ? u"C:\\Tools\\Quillrun\\quillrun.ini"
                                      : u"";
    EXPECT_EQ(LoadSettings(desktop), expected);
}

Settings Target(std::u16string path, TextEncoding encoding = TextEncoding::Ansi,
                TypingOptions typing = {}) {
    Settings settings;
    settings.targetPath = std::move(path);
    settings.encoding = encoding;
    settings.typing = std::move(typing);
    return settings;
}

Settings WithHotKey(Settings settings, HotKey key) {
    settings.hotKey = key;
    return settings;
}

TypingOptions Typing(int paceMs, KeyMode mode = KeyMode::UnicodeWhereNeeded,
                     std::u16string layout = {}, int lineWaitMs = 0) {
    return TypingOptions{Milliseconds(paceMs), mode, std::move(layout), Milliseconds(lineWaitMs)};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadSettingsTest,
    ::testing::Values(
        LoadCase{"NoFileAnywhere", std::nullopt, std::nullopt, Settings{}},
        LoadCase{"FirstLineWithArgumentsAndMoreLines", "C:\\Apps\\ed.exe -x\r\nsecond\r\nthird",
                 std::nullopt, Target(u"C:\\Apps\\ed.exe -x")},
        LoadCase{"CrLfAfterFirstLine", "C:\\a.exe\r\nb", std::nullopt, Target(u"C:\\a.exe")},
        LoadCase{"LineFeedAfterFirstLine", "C:\\a.exe\nb", std::nullopt, Target(u"C:\\a.exe")},
        LoadCase{"CrAfterFirstLine", "C:\\a.exe\rb", std::nullopt, Target(u"C:\\a.exe")},
        LoadCase{"NoLineEnd", "C:\\a.exe", std::nullopt, Target(u"C:\\a.exe")},
        LoadCase{"EmptyFileGivesDefault", "", std::nullopt, Settings{}},
        LoadCase{"EmptyFirstLineGivesDefault", "\r\nC:\\a.exe\r\n", std::nullopt, Settings{}},
        LoadCase{"BlankFirstLineGivesDefault", " \t \r\n", std::nullopt, Settings{}},
        LoadCase{"WorkingDirectoryFileWins", "C:\\wd.exe", "C:\\app.exe", Target(u"C:\\wd.exe")},
        LoadCase{"ApplicationFolderFileWhenNoneInWorkingDirectory", std::nullopt, "C:\\app.exe",
                 Target(u"C:\\app.exe")},
        LoadCase{"EmptyWorkingDirectoryFileStillWins", "", "C:\\app.exe", Settings{}},
        LoadCase{"Utf8WithoutMark", "C:\\\xE6\x97\xA5\\ed.exe\r\n", std::nullopt,
                 Target(u"C:\\\u65E5\\ed.exe", TextEncoding::Utf8)},
        LoadCase{"Utf8WithMark",
                 "\xEF\xBB\xBF"
                 "C:\\ed.exe",
                 std::nullopt, Target(u"C:\\ed.exe", TextEncoding::Utf8WithBom)},
        LoadCase{"Utf16WithMark",
                 std::string("\xFF\xFE"
                             "C\0:\0\\\0\xE5\x65\r\0\n\0",
                             14),
                 std::nullopt, Target(u"C:\\\u65E5", TextEncoding::Utf16LE)},
        LoadCase{"Cp932Path", "C:\\\x93\xFA\x96\x7B\\ed.exe\r\n", std::nullopt,
                 Target(u"C:\\\u65E5\u672C\\ed.exe"), 932},
        LoadCase{"Latin1Path", "C:\\Caf\xE9\\ed.exe", std::nullopt,
                 Target(u"C:\\Caf\u00E9\\ed.exe")},
        // How the keys are typed, on the lines after the target.
        LoadCase{
            "ChoicesOnLaterLines", "C:\\a.exe\r\npace=50\r\nkeysonly=1\r\nlayout=00000407\r\n",
            std::nullopt,
            Target(u"C:\\a.exe", TextEncoding::Ansi, Typing(50, KeyMode::KeysOnly, u"00000407"))},
        LoadCase{"ChoicesWithBlanksAndSmallLetters", "C:\\a.exe\npace = 1000 \nlayout=f002040a\n",
                 std::nullopt,
                 Target(u"C:\\a.exe", TextEncoding::Ansi,
                        Typing(1000, KeyMode::UnicodeWhereNeeded, u"F002040A"))},
        LoadCase{"PaceSetByHand", "C:\\a.exe\r\npace=35\r\nkeysonly=0\r\n", std::nullopt,
                 Target(u"C:\\a.exe", TextEncoding::Ansi, Typing(35))},
        LoadCase{"LineWaitUpToAMinute", "C:\\a.exe\r\nlinewait=60000\r\n", std::nullopt,
                 Target(u"C:\\a.exe", TextEncoding::Ansi,
                        Typing(0, KeyMode::UnicodeWhereNeeded, {}, 60000))},
        LoadCase{"HotKeyInAnyCaseAndOrder", "C:\\a.exe\r\nhotkey = alt+CTRL+f9\r\n", std::nullopt,
                 WithHotKey(Target(u"C:\\a.exe"), HotKey{HotKey::kCtrl | HotKey::kAlt, 0x78})},
        LoadCase{"NoHotKey", "C:\\a.exe\r\nhotkey=None\r\n", std::nullopt,
                 WithHotKey(Target(u"C:\\a.exe"), HotKey{})},
        LoadCase{"NamesInAnyCase", "C:\\a.exe\r\nPace=50\r\nKEYSONLY = 1\r\n", std::nullopt,
                 Target(u"C:\\a.exe", TextEncoding::Ansi, Typing(50, KeyMode::KeysOnly))},
        LoadCase{"LaterLineWins", "C:\\a.exe\r\npace=50\r\npace=20\r\n", std::nullopt,
                 Target(u"C:\\a.exe", TextEncoding::Ansi, Typing(20))},
        LoadCase{"UnknownAndOutOfRangeLinesAreIgnored",
                 "C:\\a.exe\r\npace=1001\r\npace=-5\r\npace=\r\npace=20ms\r\nkeysonly=yes\r\n"
                 "layout=German\r\nlayout=0000040\r\nspeed=20\r\n=1\r\npace\r\n"
                 "linewait=60001\r\nlinewait=99999\r\nlinewait=100000\r\nlinewait=0.5\r\n"
                 "hotkey=Ctrl+Ctrl+V\r\nhotkey=Ctrl+\r\nhotkey=Hyper+V\r\nhotkey=\r\n"
                 "hotkey=Ctrl+VV\r\nhotkey=0x00\r\nhotkey=0xFF\r\nkeysequences=on\r\n",
                 std::nullopt, Target(u"C:\\a.exe")},
        LoadCase{"AChoiceOnTheFirstLineIsTheTarget", "pace=50\r\n", std::nullopt,
                 Target(u"pace=50")}),
    [](const auto& p) { return std::string(p.param.name); });

// A hot key that would take a key from every program is passed over, and why is kept for the
// menu; a later usable line is taken as ever.
TEST(LoadSettings, AHotKeyThatTakesAKeyIsPassedOver) {
    FakeDesktop desktop;
    desktop.PutFile(u"quillrun.ini", "C:\\a.exe\r\nhotkey=V\r\n");
    Settings loaded = LoadSettings(desktop);
    EXPECT_EQ(loaded.hotKey, kDefaultHotKey);
    EXPECT_EQ(loaded.refusedHotKey,
              (RefusedHotKey{HotKey{0, 'V'}, HotKeyRefusal::NoModifier}));
    desktop.PutFile(u"quillrun.ini", "C:\\a.exe\r\nhotkey=V\r\nhotkey=Ctrl+Alt+F9\r\n");
    loaded = LoadSettings(desktop);
    EXPECT_EQ(loaded.hotKey, (HotKey{HotKey::kCtrl | HotKey::kAlt, 0x78}));
    EXPECT_EQ(loaded.refusedHotKey, std::nullopt);
}

TEST(LoadSettings, SettingsFileThatIsAFolderGivesDefault) {
    FakeDesktop desktop;
    desktop.PutFolder(u"C:\\Tools\\Quillrun\\quillrun.ini");
    EXPECT_EQ(LoadSettings(desktop), Settings{});
}

struct SaveCase {
    const char* name;
    std::u16string appFolder;
    Settings settings;
    std::u16string path;
    std::string bytes;
};

class SaveSettingsTest : public ::testing::TestWithParam<SaveCase> {};

TEST_P(SaveSettingsTest, WritesOneLineIntoTheApplicationFolder) {
    const SaveCase& c = GetParam();
    FakeDesktop desktop;
    desktop.appFolder = c.appFolder;
    ASSERT_TRUE(SaveSettings(desktop, c.settings, Settings{}).ok());
    EXPECT_EQ(desktop.FileBytes(c.path), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaveSettingsTest,
    ::testing::Values(
        SaveCase{"Default", u"C:\\Tools", Settings{}, u"C:\\Tools\\quillrun.ini",
                 "C:\\WINDOWS\\Notepad.exe\r\n"},
        SaveCase{"DriveRootHasOneBackslash", u"C:\\", Settings{}, u"C:\\quillrun.ini",
                 "C:\\WINDOWS\\Notepad.exe\r\n"},
        SaveCase{"KeepsUtf8", u"C:\\Tools", Target(u"C:\\\u65E5.exe", TextEncoding::Utf8),
                 u"C:\\Tools\\quillrun.ini", "C:\\\xE6\x97\xA5.exe\r\n"},
        SaveCase{"KeepsUtf16", u"C:\\Tools", Target(u"C:\\x", TextEncoding::Utf16BE),
                 u"C:\\Tools\\quillrun.ini", std::string("\xFE\xFF\0C\0:\0\\\0x\0\r\0\n", 14)},
        SaveCase{"AnsiThatCannotHoldThePathBecomesUtf8WithMark", u"C:\\Tools",
                 Target(u"C:\\\u65E5.exe"), u"C:\\Tools\\quillrun.ini",
                 "\xEF\xBB\xBF"
                 "C:\\\xE6\x97\xA5.exe\r\n"},
        // Only the choices that differ from the default follow the target.
        SaveCase{
            "ChoicesFollowTheTarget", u"C:\\Tools",
            Target(u"C:\\a.exe", TextEncoding::Ansi, Typing(20, KeyMode::KeysOnly, u"00000407")),
            u"C:\\Tools\\quillrun.ini",
            "C:\\a.exe\r\npace=20\r\nkeysonly=1\r\nlayout=00000407\r\n"},
        SaveCase{"LineWaitFollowsTheOtherChoices", u"C:\\Tools",
                 Target(u"C:\\a.exe", TextEncoding::Ansi,
                        Typing(50, KeyMode::UnicodeWhereNeeded, {}, 1500)),
                 u"C:\\Tools\\quillrun.ini", "C:\\a.exe\r\npace=50\r\nlinewait=1500\r\n"},
        SaveCase{"DefaultChoicesAreNotWritten", u"C:\\Tools",
                 Target(u"C:\\a.exe", TextEncoding::Ansi,
                        Typing(0, KeyMode::UnicodeWhereNeeded, u"00000407")),
                 u"C:\\Tools\\quillrun.ini", "C:\\a.exe\r\nlayout=00000407\r\n"},
        // In ANSI "\u00C3\u00A9" is C3 A9, which would read back as UTF-8 "\u00E9".
        SaveCase{"AnsiThatWouldReadBackAsUtf8BecomesUtf8WithMark", u"C:\\Tools",
                 Target(u"C:\\\u00C3\u00A9.exe"), u"C:\\Tools\\quillrun.ini",
                 "\xEF\xBB\xBF"
                 "C:\\\xC3\x83\xC2\xA9.exe\r\n"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(SaveSettings, FailedWriteLeavesOldFileAndSaysWhy) {
    FakeDesktop desktop;
    desktop.appFolder = u"C:\\Tools";
    desktop.PutFile(u"C:\\Tools\\quillrun.ini", "C:\\old.exe\r\n");
    desktop.FailNext("ReplaceFileContents",
                     Failure{"ReplaceFileContents", u"Access is denied.", 5});
    const Status saved = SaveSettings(desktop, Target(u"C:\\old.exe", {}, Typing(20)),
                                      Target(u"C:\\old.exe"));
    ASSERT_FALSE(saved.ok());
    EXPECT_EQ(saved.failure().code, 5u);
    EXPECT_EQ(desktop.FileBytes(u"C:\\Tools\\quillrun.ini"), "C:\\old.exe\r\n");
}

// ASCII text as UTF-16LE with its byte-order mark.
std::string Utf16Le(std::u16string_view text) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t c : text) {
        bytes += static_cast<char>(c);
        bytes += '\0';
    }
    return bytes;
}

// A choice made is written into the file as it stands: on the line that set it, or after the
// last line; every other line keeps its bytes and its place.
struct ChoiceCase {
    const char* name;
    std::string stored;
    void (*choose)(Settings&);
    std::string expected;
    std::optional<std::string> meanwhile = std::nullopt;  // the file as rewritten after loading
};

class SaveChoiceTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(SaveChoiceTest, WritesTheChoiceAndKeepsTheRest) {
    const ChoiceCase& c = GetParam();
    FakeDesktop desktop;
    desktop.appFolder = u"C:\\Tools";
    desktop.workingFolder = u"D:\\Start in";
    desktop.PutFile(u"D:\\Start in\\quillrun.ini", c.stored);
    const Settings loaded = LoadSettings(desktop);
    desktop.workingFolder = u"E:\\Browsed";  // where the open-file dialog may leave it
    if (c.meanwhile) {
        desktop.PutFile(u"D:\\Start in\\quillrun.ini", *c.meanwhile);
    }
    Settings chosen = loaded;
    c.choose(chosen);
    ASSERT_TRUE(SaveSettings(desktop, chosen, loaded).ok());
    // Back into the file it came from, which the next start from the same folder reads.
    EXPECT_EQ(desktop.FileBytes(u"D:\\Start in\\quillrun.ini"), c.expected);
    EXPECT_EQ(desktop.FileBytes(u"C:\\Tools\\quillrun.ini"), std::nullopt);
    desktop.workingFolder = u"D:\\Start in";
    if (!c.meanwhile) {
        const Settings reloaded = LoadSettings(desktop);
        EXPECT_EQ(reloaded.typing, chosen.typing);
        EXPECT_EQ(reloaded.hotKey, chosen.hotKey);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaveChoiceTest,
    ::testing::Values(
        ChoiceCase{"CommentsAndOtherToolsLinesStay",
                   "C:\\ed.exe\r\n; typed into the lab machines, ask before changing\r\n"
                   "colour=blue\r\npace=20\r\n",
                   [](Settings& s) {
                       s.typing.pace = Milliseconds(50);
                       s.typing.keyMode = KeyMode::KeysOnly;
                   },
                   "C:\\ed.exe\r\n; typed into the lab machines, ask before changing\r\n"
                   "colour=blue\r\npace=50\r\nkeysonly=1\r\n"},
        ChoiceCase{"ALineInAnyCaseIsRewrittenInItsPlace", "C:\\ed.exe\r\nPace = 20\r\n; note\r\n",
                   [](Settings& s) { s.typing.pace = Milliseconds(0); },
                   "C:\\ed.exe\r\npace=0\r\n; note\r\n"},
        ChoiceCase{"UnusableLinesStayAndTheChoiceFollowsThem",
                   "C:\\ed.exe\r\npace=fast\r\nhotkey=V",
                   [](Settings& s) { s.hotKey = HotKey{HotKey::kCtrl | HotKey::kAlt, 0x78}; },
                   "C:\\ed.exe\r\npace=fast\r\nhotkey=V\r\nhotkey=Ctrl+Alt+F9\r\n"},
        ChoiceCase{"AFirstLineThatIsNotTextStays",
                   "\xEF\xBB\xBF"
                   "C:\\\xFF.exe\r\n",
                   [](Settings& s) { s.typing.layout = u"00000407"; },
                   "\xEF\xBB\xBF"
                   "C:\\\xFF.exe\r\nlayout=00000407\r\n"},
        ChoiceCase{"Utf16StaysUtf16", Utf16Le(u"C:\r\n"),
                   [](Settings& s) { s.typing.keySequences = true; },
                   Utf16Le(u"C:\r\nkeysequences=1\r\n")},
        // Cut off inside a unit, the half unit goes with the rewritten line.
        ChoiceCase{"Utf16CutInsideItsLastLine", Utf16Le(u"C:\r\npace=20") + "x",
                   [](Settings& s) {
                       s.typing.pace = Milliseconds(50);
                       s.typing.keyMode = KeyMode::KeysOnly;
                   },
                   Utf16Le(u"C:\r\npace=50\r\nkeysonly=1\r\n")},
        // A key chosen over a refused line needs a line of its own, even the default.
        ChoiceCase{"AChosenHotKeyOverARefusedLine", "C:\\ed.exe\r\nhotkey=V\r\n",
                   [](Settings& s) { s.refusedHotKey.reset(); },
                   "C:\\ed.exe\r\nhotkey=V\r\nhotkey=Ctrl+Shift+Alt+V\r\n"},
        ChoiceCase{"LineFeedsStayLineFeeds", "C:\\ed.exe\n; x\n",
                   [](Settings& s) { s.typing.lineWait = Milliseconds(750); },
                   "C:\\ed.exe\n; x\nlinewait=750\n"},
        ChoiceCase{"UnchangedChoicesStayAsWritten", "C:\\ed.exe\r\nPACE=035\r\n",
                   [](Settings& s) { s.typing.keyMode = KeyMode::KeysOnly; },
                   "C:\\ed.exe\r\nPACE=035\r\nkeysonly=1\r\n"},
        // Another copy of Quillrun, or the user, wrote the file since it was read.
        ChoiceCase{"WhatWasWrittenMeanwhileStays", "C:\\ed.exe\r\n",
                   [](Settings& s) { s.typing.layout = u"00000411"; },
                   "C:\\other.exe\r\npace=50\r\nlayout=00000411\r\n",
                   "C:\\other.exe\r\npace=50\r\n"}),
    [](const auto& p) { return std::string(p.param.name); });

// Closing with nothing chosen leaves the file as it is, down to its time.
TEST(SaveSettings, NothingChosenWritesNothing) {
    FakeDesktop desktop;
    desktop.workingFolder = desktop.appFolder;
    desktop.PutFile(u"quillrun.ini", "C:\\ed.exe\r\nhotkey=F12\r\n");
    const Settings loaded = LoadSettings(desktop);
    ASSERT_TRUE(SaveSettings(desktop, loaded, loaded).ok());
    EXPECT_TRUE(desktop.CallsOf("ReplaceFileContents").empty());
}

// Where the system's ANSI code page is UTF-8, a file in the locale's own code page still names its
// program, rather than reading as unreadable and falling back to the default, and a choice
// leaves its bytes as they were.
TEST(SettingsRoundTrip, ALegacyFileOnAUtf8SystemKeepsItsProgram) {
    FakeDesktop desktop;
    desktop.ansiCodePage = 65001;
    desktop.legacyAnsiCodePage = 932;
    desktop.workingFolder = desktop.appFolder;
    desktop.PutFile(u"quillrun.ini", "C:\\\x93\xFA\x96\x7B\\ed.exe\r\npace=20\r\n");
    const Settings loaded = LoadSettings(desktop);
    EXPECT_EQ(loaded.targetPath, u"C:\\\u65E5\u672C\\ed.exe");
    Settings chosen = loaded;
    chosen.typing.pace = Milliseconds(50);
    ASSERT_TRUE(SaveSettings(desktop, chosen, loaded).ok());
    EXPECT_EQ(desktop.FileBytes(u"quillrun.ini"), "C:\\\x93\xFA\x96\x7B\\ed.exe\r\npace=50\r\n");
    EXPECT_EQ(LoadSettings(desktop).targetPath, loaded.targetPath);
}

}  // namespace
}  // namespace quillrun
