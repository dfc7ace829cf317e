#include "app/command_line.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/fake/fake_desktop.h"
#include "text/case_fold.h"

namespace quillrun {
namespace {

struct ParseCase {
    const char* name;
    std::vector<std::u16string> arguments;
    CommandAction action;
    CommandRun run;            // for Run
    std::u16string refusalHas;  // for Refused: a part of the message
};

CommandRun FileRun(std::u16string path) {
    CommandRun run;
    run.path = std::move(path);
    return run;
}

CommandRun Changed(CommandRun run, const std::function<void(CommandRun&)>& change) {
    change(run);
    return run;
}

class ParseCommand : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseCommand, ReadsEachOptionAndRefusesWithTheReason) {
    const ParseCase& c = GetParam();
    const ParsedCommand parsed = ParseCommandLine(c.arguments, Language::English);
    ASSERT_EQ(parsed.action, c.action) << std::string(parsed.refusal.begin(), parsed.refusal.end());
    if (c.action == CommandAction::Run) {
        EXPECT_EQ(parsed.run, c.run);
    }
    if (c.action == CommandAction::Refused) {
        EXPECT_NE(parsed.refusal.find(c.refusalHas), std::u16string::npos)
            << std::string(parsed.refusal.begin(), parsed.refusal.end());
    }
}

const CommandRun kNone;
INSTANTIATE_TEST_SUITE_P(
    Table, ParseCommand,
    ::testing::Values(
        ParseCase{"NoArgumentsOpenTheWindow", {}, CommandAction::OpenWindow, kNone, {}},
        ParseCase{"AFile", {u"a b.txt"}, CommandAction::Run, FileRun(u"a b.txt"), {}},
        ParseCase{"StandardInputIntoAWindow",
                  {u"-", u"--window", u"Über"},
                  CommandAction::Run,
                  Changed({}, [](CommandRun& r) {
                      r.text = CommandText::StandardInput;
                      r.target = CommandTarget::Window;
                      r.windowTitle = u"Über";
                  }),
                  {}},
        ParseCase{"EveryTypingChoiceInBothSpellings",
                  {u"--clipboard", u"--front=3", u"--pace=50", u"--keys-only", u"--layout",
                   u"0000040c", u"--key-sequences", u"--line-wait", u"60000"},
                  CommandAction::Run,
                  Changed({}, [](CommandRun& r) {
                      r.text = CommandText::Clipboard;
                      r.target = CommandTarget::Front;
                      r.frontAfter = Milliseconds(3000);
                      r.pace = Milliseconds(50);
                      r.keysOnly = true;
                      r.layout = u"0000040C";
                      r.keySequences = true;
                      r.lineWait = Milliseconds(60000);
                  }),
                  {}},
        ParseCase{"NegationsTurnTheFilesChoicesOff",
                  {u"--no-keys-only", u"--no-key-sequences", u"f"},
                  CommandAction::Run,
                  Changed(FileRun(u"f"),
                          [](CommandRun& r) {
                              r.keysOnly = false;
                              r.keySequences = false;
                          }),
                  {}},
        ParseCase{"AfterDashesADashIsAFile", {u"--", u"-"}, CommandAction::Run, FileRun(u"-"), {}},
        ParseCase{"HelpWins", {u"f", u"/?"}, CommandAction::Help, kNone, {}},
        ParseCase{"Version", {u"--version"}, CommandAction::Version, kNone, {}},
        ParseCase{"UnknownOption", {u"-window", u"x", u"f"}, CommandAction::Refused, kNone,
                  u"no option \"-window\""},
        ParseCase{"MissingValue", {u"f", u"--pace"}, CommandAction::Refused, kNone,
                  u"--pace needs a value"},
        ParseCase{"ValueOnASwitch", {u"f", u"--keys-only=1"}, CommandAction::Refused, kNone,
                  u"--keys-only takes no value"},
        ParseCase{"PaceTooSlow", {u"f", u"--pace", u"1001"}, CommandAction::Refused, kNone,
                  u"0 to 1000, not \"1001\""},
        ParseCase{"FrontTooLong", {u"f", u"--front", u"61"}, CommandAction::Refused, kNone,
                  u"0 to 60"},
        ParseCase{"LayoutNotAnIdentifier", {u"f", u"--layout=0407"}, CommandAction::Refused,
                  kNone, u"eight hexadecimal"},
        ParseCase{"EmptyTitle", {u"f", u"--window="}, CommandAction::Refused, kNone,
                  u"part of the window's title"},
        ParseCase{"EmptyFileName", {u""}, CommandAction::Refused, kNone, u"name is empty"},
        ParseCase{"TwoTexts", {u"a", u"--clipboard"}, CommandAction::Refused, kNone,
                  u"name one text"},
        ParseCase{"NoText", {u"--pace", u"5"}, CommandAction::Refused, kNone, u"name one text"},
        ParseCase{"TwoTargets", {u"f", u"--window", u"x", u"--front", u"1"},
                  CommandAction::Refused, kNone, u"at most one window"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(CaseFold, FindsTitlesWhateverTheCaseOfTheirLetters) {
    EXPECT_TRUE(ContainsIgnoringCase(u"Untitled - NOTEPAD", u"notepad"));
    EXPECT_TRUE(ContainsIgnoringCase(u"ÜBERSICHT Łódź ДОКУМЕНТ ΑΘΗΝΑ", u"übersicht łódź документ αθηνα"));
    EXPECT_FALSE(ContainsIgnoringCase(u"Notepad", u"notepad2"));
}

constexpr std::uint32_t kTarget = 77;
constexpr std::uint64_t kTargetWindow = 500;
constexpr std::uint32_t kTerminal = 88;  // its window shows the console the command was typed in

struct RunCase {
    const char* name;
    std::vector<std::u16string> arguments;
    std::function<void(FakeDesktop&)> setUp;
    ExitCode exitCode;
    std::u16string typed;       // the key strings, one after another
    std::u16string messageHas;  // empty: no message at all
    std::optional<Milliseconds> ctrlCAt = std::nullopt;
};

class CommandLineRun : public ::testing::TestWithParam<RunCase> {};

TEST_P(CommandLineRun, TypesAsAskedAndEndsWithItsCode) {
    const RunCase& c = GetParam();
    FakeDesktop desktop;
    desktop.foregroundProcess = kTerminal;
    desktop.consoleWindow = kTerminal;
    // The console shows the command, and so the title asked for.
    desktop.titledWindows = {
        {.window = WindowId{kTerminal},
         .process = kTerminal,
         .title = u"Command Prompt - quillrun --window pad"},
        {.window = WindowId{kTargetWindow}, .process = kTarget, .title = u"Untitled - Notepad"}};
    desktop.PutFile(u"C:\\Tools\\Quillrun\\text.txt", "ab\r\nc");
    if (c.setUp) {
        c.setUp(desktop);
    }
    const ParsedCommand parsed = ParseCommandLine(c.arguments, Language::English);
    ASSERT_EQ(parsed.action, CommandAction::Run);
    const CommandOutcome outcome = RunFromCommandLine(
        desktop, parsed.run, [&] { return c.ctrlCAt && desktop.Now() >= *c.ctrlCAt; });
    EXPECT_EQ(outcome.exitCode, c.exitCode);
    std::u16string typed;
    for (const auto& call : desktop.CallsOf("SendKeyString")) {
        typed += call.argument;
    }
    EXPECT_EQ(typed, c.typed);
    if (c.messageHas.empty()) {
        EXPECT_EQ(outcome.message, u"");
    } else {
        EXPECT_NE(outcome.message.find(c.messageHas), std::u16string::npos)
            << std::string(outcome.message.begin(), outcome.message.end());
    }
    EXPECT_TRUE(desktop.CallsOf("ReplaceFileContents").empty()) << "quillrun.ini is never written";
    EXPECT_TRUE(desktop.CallsOf("RegisterHotKey").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineRun,
    ::testing::Values(
        RunCase{"AFileIntoTheOneWindowNamedNotTheConsoleItWasTypedIn",
                {u"text.txt", u"--window", u"PAD"}, nullptr, ExitCode::TypedWhole, u"ab\r\nc\r\n",
                {}},
        RunCase{"NoWindowNamedButTheConsole", {u"text.txt", u"--window", u"Prompt"}, nullptr,
                ExitCode::NoTarget, {}, u"contains \"Prompt\". (The console the command was"},
        RunCase{"SeveralWindowsNamed",
                {u"text.txt", u"--window", u"notepad"},
                [](FakeDesktop& d) {
                    d.titledWindows.push_back(
                        {.window = WindowId{501}, .process = 78, .title = u"b.txt - Notepad"});
                },
                ExitCode::NoTarget, {}, u"2 open windows contain \"notepad\"" /* then both */},
        RunCase{"StandardInputAsAFileIsRead",
                {u"-", u"--window", u"pad"},
                [](FakeDesktop& d) { d.standardInput = "\xEF\xBB\xBFP\xC3\xA4ss\n"; },
                ExitCode::TypedWhole, u"P\u00e4ss\r\n", {}},
        RunCase{"StandardInputLongerThanOneRead",
                {u"-", u"--window", u"pad"},
                [](FakeDesktop& d) { d.standardInput = std::string(70000, 'a').append("b"); },
                ExitCode::TypedWhole, std::u16string(70000, u'a').append(u"b\r\n"), {}},
        RunCase{"EmptyStandardInput", {u"-", u"--window", u"pad"}, nullptr,
                ExitCode::TextUnreadable, {}, u"Standard input held no text"},
        RunCase{"CtrlCEndsAReadOfTheConsole",
                {u"-", u"--window", u"pad"},
                [](FakeDesktop& d) {
                    d.FailNext("OpenStandardInput",
                               Failure{"ReadConsole", u"Aborted.", kReadInterruptedCode});
                },
                ExitCode::Stopped, {}, u"Ctrl+C or Ctrl+Break"},
        RunCase{"AFolderNamed", {u"sub"},
                [](FakeDesktop& d) { d.PutFolder(u"C:\\Tools\\Quillrun\\sub"); },
                ExitCode::TextUnreadable, {}, u"\"sub\" is a folder"},
        RunCase{"AnEmptyFileStartsNoProgram",
                {u"text.txt"},
                [](FakeDesktop& d) { d.PutFile(u"C:\\Tools\\Quillrun\\text.txt", ""); },
                ExitCode::TextUnreadable, {}, u"The file holds no text"},
        RunCase{"AHandOffNeverTakesTheConsoleInFront",
                {u"text.txt"},
                [](FakeDesktop& d) {
                    d.FailNext("ActivateTask",
                               Failure{"ActivateTask", u"Ended.", kTaskEndedCode});
                },
                ExitCode::NoTarget, {}, u"no window of the program it started"},
        RunCase{"AMissingFileStartsNoProgram", {u"missing.txt"}, nullptr,
                ExitCode::TextUnreadable, {}, u"could not open the file \"missing.txt\""},
        RunCase{"TheProgramOfTheSettingsAfterItsWait", {u"text.txt"}, nullptr,
                ExitCode::TypedWhole, u"ab\r\nc\r\n", {}},
        RunCase{"AProgramThatCannotStart",
                {u"text.txt"},
                [](FakeDesktop& d) {
                    d.FailNext("LaunchProgram", Failure{"LaunchProgram", u"Not found.", 2});
                },
                ExitCode::NoTarget, {}, u"could not start the program"},
        RunCase{"CtrlCInTheWaitTypesNothing", {u"text.txt"}, nullptr, ExitCode::Stopped, {},
                u"Ctrl+C or Ctrl+Break", Milliseconds(1000)},
        RunCase{"TheFrontStillTheTerminalAfterTheWait", {u"--clipboard", u"--front", u"3"},
                [](FakeDesktop& d) { d.clipboard.emplace(u"x"); }, ExitCode::NoTarget, {},
                u"after 3 seconds the window in front was still the one the command was typed in"},
        RunCase{"TheClipboardIntoTheWindowClickedMeanwhile",
                {u"--clipboard", u"--front", u"2"},
                [](FakeDesktop& d) {
                    d.clipboard.emplace(u"x y");
                    d.onSleep = [&d] {
                        if (d.Now() >= Milliseconds(1000)) {
                            d.foregroundProcess = kTarget;
                        }
                    };
                },
                ExitCode::TypedWhole, u"x y", {}},
        RunCase{"AnotherWindowInFrontStopsWithWhere",
                {u"text.txt", u"--window", u"pad"},
                [](FakeDesktop& d) {
                    d.onKeys = [&d](std::u16string_view keys) {
                        if (keys == u"b") {
                            d.foregroundProcess = 99;
                            d.foregroundWindow = 0;
                        }
                    };
                },
                ExitCode::Stopped, u"ab", u"line 1, column 3"},
        RunCase{"KeysOnlyAndACharacterWithoutKeys",
                {u"text.txt", u"--window", u"pad", u"--keys-only"},
                [](FakeDesktop& d) { d.PutFile(u"C:\\Tools\\Quillrun\\text.txt", "\xE2\x82\xAC"); },
                ExitCode::CannotType, {}, u"U+20AC"},
        RunCase{"AnElevatedTarget", {u"text.txt", u"--window", u"pad"},
                [](FakeDesktop& d) { d.inputAccess[kTarget] = InputAccess::Elevated; },
                ExitCode::TargetElevated, {}, u"administrator"},
        RunCase{"AControlCharacterPassedOver", {u"text.txt", u"--window", u"pad"},
                [](FakeDesktop& d) { d.PutFile(u"C:\\Tools\\Quillrun\\text.txt", "a\bb"); },
                ExitCode::PassedOver, u"ab\r\n", u"Control characters of the file not typed: 1"}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace quillrun
