#include "app/command_line.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "playback/launch.h"
#include "playback/playback_report.h"
#include "settings/settings_file.h"
#include "text/case_fold.h"
#include "text/language.h"
#include "text/utf.h"
#include "text/wipe.h"

namespace quillrun {
namespace {

enum class Option {
    Clipboard,
    Window,
    Front,
    Pace,
    KeysOnly,
    NoKeysOnly,
    Layout,
    KeySequences,
    NoKeySequences,
    LineWait,
    Help,
    Version,
};

struct OptionName {
    std::u16string_view name;
    Option option;
    bool takesValue;
};

constexpr std::array<OptionName, 15> kOptions{{
    {u"--clipboard", Option::Clipboard, false},
    {u"--window", Option::Window, true},
    {u"--front", Option::Front, true},
    {u"--pace", Option::Pace, true},
    {u"--keys-only", Option::KeysOnly, false},
    {u"--no-keys-only", Option::NoKeysOnly, false},
    {u"--layout", Option::Layout, true},
    {u"--key-sequences", Option::KeySequences, false},
    {u"--no-key-sequences", Option::NoKeySequences, false},
    {u"--line-wait", Option::LineWait, true},
    {u"--help", Option::Help, false},
    {u"-h", Option::Help, false},
    {u"-?", Option::Help, false},
    {u"/?", Option::Help, false},  // as Windows' own commands ask for theirs
    {u"--version", Option::Version, false},
}};

constexpr Localized kRefused{u"quillrun: {reason}\nquillrun --help lists the arguments.",
                             u"quillrun: {reason}\n引数の一覧は quillrun --help で表示されます。"};
constexpr Localized kUnknownOption{u"there is no option \"{option}\".",
                                   u"\"{option}\" というオプションはありません。"};
constexpr Localized kNeedsValue{u"{option} needs a value.", u"{option} には値が必要です。"};
constexpr Localized kTakesNoValue{u"{option} takes no value.", u"{option} には値を指定できません。"};
constexpr Localized kBadMilliseconds{
    u"{option} takes a whole number of milliseconds from 0 to {most}, not \"{value}\".",
    u"{option} には 0 ～ {most} のミリ秒を整数で指定してください (\"{value}\" は指定できません)。"};
constexpr Localized kBadSeconds{
    u"--front takes a whole number of seconds from 0 to 60, not \"{value}\".",
    u"--front には 0 ～ 60 の秒数を整数で指定してください (\"{value}\" は指定できません)。"};
constexpr Localized kBadLayout{
    u"--layout takes a keyboard layout identifier of eight hexadecimal digits, such as "
    u"00000407, not \"{value}\".",
    u"--layout には 00000407 のような 8 桁の 16 進数のキーボード レイアウト識別子を指定してください "
    u"(\"{value}\" は指定できません)。"};
constexpr Localized kEmptyTitle{u"--window needs a part of the window's title.",
                                u"--window にはウィンドウのタイトルの一部を指定してください。"};
constexpr Localized kEmptyFileName{u"the file's name is empty.", u"ファイル名が空です。"};
constexpr Localized kOneText{
    u"name one text to type: a file, - for standard input, or --clipboard.",
    u"入力するテキストを 1 つ指定してください: ファイル、標準入力の場合は -、または --clipboard。"};
constexpr Localized kOneTarget{
    u"name at most one window to type into: --window or --front, once.",
    u"入力先のウィンドウは 1 つだけ指定してください: --window または --front を 1 回。"};

constexpr Localized kUsage{
    u"Usage: quillrun [options] FILE | - | --clipboard\n"
    u"\n"
    u"Types the text into another program one keystroke at a time, then exits.\n"
    u"  FILE              a text file (UTF-8, UTF-16 or the ANSI code page)\n"
    u"  -                 standard input, read as a file is\n"
    u"  --clipboard       the clipboard's text, exactly as it stands\n"
    u"\n"
    u"Where (by default the program quillrun.ini names, started, typed into after 1.5 s):\n"
    u"  --window TEXT     the open window whose title contains TEXT (any case)\n"
    u"  --front SECONDS   the window in front after SECONDS (0 to 60): click into it meanwhile\n"
    u"\n"
    u"How (by default as quillrun.ini has it; the command line never changes the file):\n"
    u"  --pace MS         milliseconds a key at least, 0 to 1000\n"
    u"  --keys-only, --no-keys-only\n"
    u"                    every character as keys of the layout, for consoles that take no "
    u"Unicode input\n"
    u"  --layout ID       the other computer's keyboard layout, such as 00000407; --layout= for\n"
    u"                    the layout of the window typed into (a layout implies keys only)\n"
    u"  --key-sequences, --no-key-sequences\n"
    u"                    read {TAB}, ^a, {WAIT 500} as keys\n"
    u"  --line-wait MS    milliseconds to wait after each line, 0 to 60000\n"
    u"  --help, --version\n"
    u"\n"
    u"Ctrl+C stops typing. Messages go to standard error; a run that typed everything says "
    u"nothing.\n"
    u"\n"
    u"Exit codes:\n"
    u"  0  typed whole\n"
    u"  1  typed to the end, but characters were passed over (the message says which)\n"
    u"  2  bad arguments: nothing was typed\n"
    u"  3  the file, standard input or the clipboard could not be read or held no text\n"
    u"  4  nothing to type into: no window matched or several did, the program did not start "
    u"or showed no window\n"
    u"  5  the text cannot be typed as asked (keys only, a key sequence, the layout): nothing "
    u"was typed\n"
    u"  6  the target runs as administrator: nothing was typed\n"
    u"  7  stopped before the end: another window came to the front, the target closed, Ctrl+C\n"
    u"  8  the target stopped responding\n",
    u"使い方: quillrun [オプション] ファイル | - | --clipboard\n"
    u"\n"
    u"テキストをほかのプログラムに 1 キーずつ入力して終了します。\n"
    u"  ファイル          テキスト ファイル (UTF-8、UTF-16、または ANSI コード ページ)\n"
    u"  -                 標準入力 (ファイルと同じように読み取ります)\n"
    u"  --clipboard       クリップボードのテキスト (そのまま入力します)\n"
    u"\n"
    u"入力先 (既定: quillrun.ini のプログラムを起動し、1.5 秒後に入力):\n"
    u"  --window テキスト タイトルにテキストを含む開いているウィンドウ (大文字小文字を区別しない)\n"
    u"  --front 秒数      秒数 (0 ～ 60) がたったときに前面にあるウィンドウ (その間にクリックする)\n"
    u"\n"
    u"入力のしかた (既定: quillrun.ini のとおり。コマンド ラインはこのファイルを変更しません):\n"
    u"  --pace ミリ秒     1 キーの最短時間、0 ～ 1000\n"
    u"  --keys-only, --no-keys-only\n"
    u"                    すべての文字をレイアウトのキーで入力 (Unicode 入力を受け付けない"
    u"コンソール用)\n"
    u"  --layout ID       相手のコンピューターのキーボード レイアウト (例: 00000407)。--layout= は\n"
    u"                    入力先のウィンドウのレイアウト (レイアウトの指定はキーのみを含みます)\n"
    u"  --key-sequences, --no-key-sequences\n"
    u"                    {TAB}、^a、{WAIT 500} をキーとして読む\n"
    u"  --line-wait ミリ秒 各行のあとの待ち時間、0 ～ 60000\n"
    u"  --help, --version\n"
    u"\n"
    u"Ctrl+C で入力を中止します。メッセージは標準エラーに出力します。すべて入力できた場合は"
    u"何も出力しません。\n"
    u"\n"
    u"終了コード:\n"
    u"  0  すべて入力した\n"
    u"  1  最後まで入力したが、入力しなかった文字がある (メッセージに示します)\n"
    u"  2  引数が正しくない: 何も入力していない\n"
    u"  3  ファイル、標準入力、クリップボードを読み取れない、またはテキストがない\n"
    u"  4  入力先がない: 一致するウィンドウがない、または複数ある、プログラムが起動しない、"
    u"ウィンドウを表示しない\n"
    u"  5  指定どおりに入力できない (キーのみ、キー シーケンス、レイアウト): 何も入力していない\n"
    u"  6  入力先が管理者として実行されている: 何も入力していない\n"
    u"  7  途中で中止した: 別のウィンドウが前面に出た、入力先が閉じた、Ctrl+C\n"
    u"  8  入力先が応答しなくなった\n"};

constexpr Localized kIsFolder{u"Quillrun typed nothing: \"{path}\" is a folder, not a file.",
                              u"Quillrun は何も入力しませんでした。\"{path}\" はフォルダーで、"
                              u"ファイルではありません。"};
constexpr Localized kStandardInputUnreadable{
    u"Quillrun typed nothing: it could not read standard input: {reason}",
    u"Quillrun は何も入力しませんでした。標準入力を読み取れませんでした。原因: {reason}"};
constexpr Localized kStandardInputTooLarge{
    u"Quillrun typed nothing: standard input holds more than 64 MiB. Save the text as a file and "
    u"name the file instead.",
    u"Quillrun は何も入力しませんでした。標準入力が 64 MiB を超えています。テキストをファイルに保存"
    u"して、そのファイルを指定してください。"};
constexpr Localized kNoStandardInput{u"Standard input held no text: nothing was typed.",
                                     u"標準入力にテキストがないため、何も入力しませんでした。"};
constexpr Localized kNoWindowMatched{
    u"Quillrun typed nothing: no open window's title contains \"{title}\".",
    u"Quillrun は何も入力しませんでした。タイトルに \"{title}\" を含む開いているウィンドウは"
    u"ありません。"};
constexpr Localized kSeveralMatched{
    u"Quillrun typed nothing: the titles of {count} open windows contain \"{title}\". Name more of "
    u"the one to type into:",
    u"Quillrun は何も入力しませんでした。タイトルに \"{title}\" を含む開いているウィンドウが "
    u"{count} 個あります。入力先のタイトルをもっと詳しく指定してください:"};
constexpr Localized kConsoleNotCounted{
    u" (The console the command was typed in is never typed into.)",
    u" (コマンドを入力したコンソールには入力しません。)"};
constexpr Localized kNoFileText{u"The file holds no text: nothing was typed.",
                                u"ファイルにテキストがないため、何も入力しませんでした。"};
constexpr Localized kMoreMatched{u"\n  (and {count} more)", u"\n  (ほか {count} 個)"};
constexpr Localized kNotBroughtToFront{
    u"Quillrun typed nothing: it could not bring \"{title}\" to the front: {reason}",
    u"Quillrun は何も入力しませんでした。\"{title}\" を前面に出せませんでした。原因: {reason}"};
constexpr Localized kFrontIsWhereStarted{
    u"Quillrun typed nothing: after {seconds} seconds the window in front was still the one the "
    u"command was typed in. Click into the window to type into before the time is up.",
    u"Quillrun は何も入力しませんでした。{seconds} 秒たっても、前面にあったのはコマンドを入力した"
    u"ウィンドウのままでした。時間内に入力先のウィンドウをクリックしてください。"};

// How often a wait looks whether Ctrl+C was pressed: at once to a person.
constexpr Milliseconds kInterruptPoll{50};
// How long a mouse button or Alt may stay held after --front's wait before the window in front
// is taken as it is: a click or an Alt+Tab takes a moment, not this long.
constexpr Milliseconds kChoosingSettleLimit{5000};

std::u16string Refusal(const Localized& reason, Language language,
                       std::initializer_list<Blank> blanks = {}) {
    return FillIn(kRefused.In(language), {{u"reason", FillIn(reason.In(language), blanks)}});
}

ParsedCommand Refused(std::u16string message) {
    return ParsedCommand{
        .action = CommandAction::Refused, .run = {}, .refusal = std::move(message)};
}

// Waits `duration` unless interrupted meanwhile; whether the whole wait passed.
bool WaitUninterrupted(DesktopServices& desktop, Milliseconds duration,
                       const std::function<bool()>& interrupted) {
    const Milliseconds until = desktop.Now() + duration;
    for (Milliseconds now = desktop.Now(); now < until; now = desktop.Now()) {
        if (interrupted()) {
            return false;
        }
        desktop.Sleep(std::min(kInterruptPoll, until - now));
    }
    return !interrupted();
}

// Standard input, whole, into `bytes`; why it cannot be, if so (kFileTooLargeCode: beyond
// kMaxStandardInputBytes). Every buffer it passed through is wiped.
constexpr std::uint32_t kFileTooLargeCode = 223;  // the system's ERROR_FILE_TOO_LARGE
Status ReadStandardInput(DesktopServices& desktop, std::string& bytes) {
    auto input = desktop.OpenStandardInput();
    if (!input) {
        return input.failure();
    }
    std::string chunk(std::size_t{64} * 1024, '\0');
    const WipedOnExit wipedChunk(chunk);
    for (;;) {
        if (bytes.size() > kMaxStandardInputBytes) {
            return Failure{"ReadStandardInput", {}, kFileTooLargeCode};
        }
        auto got = input.value()->Read(chunk);
        if (!got) {
            return got.failure();
        }
        if (got.value() == 0) {
            return {};
        }
        AppendWiping(bytes, std::string_view(chunk).substr(0, got.value()));
    }
}

TypingOptions TypingFor(const CommandRun& run, TypingOptions typing) {
    typing.pace = run.pace.value_or(typing.pace);
    if (run.keysOnly) {
        typing.keyMode = *run.keysOnly ? KeyMode::KeysOnly : KeyMode::UnicodeWhereNeeded;
    }
    typing.layout = run.layout.value_or(typing.layout);
    typing.keySequences = run.keySequences.value_or(typing.keySequences);
    typing.lineWait = run.lineWait.value_or(typing.lineWait);
    // The command line's user may hold a key: modifiers are released ahead of each key, as in
    // a run from the window.
    typing.waitWhileKeysHeld = false;
    return typing;
}

TextOrigin OriginOf(CommandText text) {
    switch (text) {
        case CommandText::Clipboard:
            return TextOrigin::Clipboard;
        case CommandText::StandardInput:
            return TextOrigin::StandardInput;
        case CommandText::File:
            break;
    }
    return TextOrigin::File;
}

CommandOutcome Outcome(const PlaybackResult& result, Language language) {
    CommandOutcome outcome{.exitCode = ExitCodeOf(result), .message = {}};
    if (result.end == PlaybackEnd::NotOpened) {
        outcome.message = FillIn(kIsFolder.In(language), {{u"path", result.path}});
    } else if (auto message = PlaybackEndMessage(result, language)) {
        outcome.message = *std::move(message);
    }
    return outcome;
}

// A run that ended before it typed: told as a run's end.
CommandOutcome EndedBeforeTyping(PlaybackEnd end, const CommandRun& run, Language language) {
    PlaybackResult result;
    result.end = end;
    result.origin = OriginOf(run.text);
    result.intoPickedWindow = run.target != CommandTarget::Launch;
    return Outcome(result, language);
}

CommandOutcome NoTarget(std::u16string message) {
    return {.exitCode = ExitCode::NoTarget, .message = std::move(message)};
}

// The one open window whose title contains the text, brought to the front; a message otherwise.
std::optional<std::u16string> BringNamedWindowForward(DesktopServices& desktop,
                                                      std::u16string_view title,
                                                      Language language) {
    std::vector<TitledWindow> matches;
    bool consoleMatched = false;  // the console shows the command, and so the title asked for
    for (TitledWindow& window : desktop.TitledWindows()) {
        if (window.process == desktop.OwnProcess() || desktop.IsShellWindow(window.window) ||
            !ContainsIgnoringCase(window.title, title)) {
            continue;
        }
        if (window.window == desktop.ConsoleWindow()) {
            consoleMatched = true;
            continue;
        }
        matches.push_back(std::move(window));
    }
    if (matches.empty()) {
        return FillIn(kNoWindowMatched.In(language), {{u"title", title}}) +
               (consoleMatched ? std::u16string(kConsoleNotCounted.In(language)) : u"");
    }
    if (matches.size() > 1) {
        std::u16string message = FillIn(kSeveralMatched.In(language),
                                        {{u"title", title}, {u"count", DecimalText(matches.size())}});
        for (std::size_t i = 0; i < std::min(matches.size(), kMaxListedWindows); ++i) {
            message += u"\n  ";
            message += matches[i].title;
        }
        if (matches.size() > kMaxListedWindows) {
            message += FillIn(kMoreMatched.In(language),
                              {{u"count", DecimalText(matches.size() - kMaxListedWindows)}});
        }
        return message;
    }
    if (const Status shown = desktop.ActivateWindow(matches.front().window); !shown.ok()) {
        return FillIn(kNotBroughtToFront.In(language),
                      {{u"title", matches.front().title}, {u"reason", shown.failure().reason}});
    }
    return std::nullopt;
}

}  // namespace

ParsedCommand ParseCommandLine(std::span<const std::u16string> arguments, Language language) {
    ParsedCommand parsed;
    if (arguments.empty()) {
        return parsed;
    }
    parsed.action = CommandAction::Run;
    CommandRun& run = parsed.run;
    bool textNamed = false;
    bool targetNamed = false;
    bool filesOnly = false;  // after "--"
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::u16string_view argument = arguments[i];
        if (!filesOnly && argument == u"--") {
            filesOnly = true;
            continue;
        }
        const bool option = !filesOnly && argument.size() > 1 &&
                            (argument.front() == u'-' || argument == u"/?");
        if (!option) {
            if (std::exchange(textNamed, true)) {
                return Refused(Refusal(kOneText, language));
            }
            if (argument.empty()) {
                return Refused(Refusal(kEmptyFileName, language));
            }
            const bool standardInput = !filesOnly && argument == u"-";
            run.text = standardInput ? CommandText::StandardInput : CommandText::File;
            run.path = standardInput ? std::u16string() : std::u16string(argument);
            continue;
        }
        const std::size_t equals = argument.find(u'=');
        const std::u16string_view name = argument.substr(0, equals);
        const auto known = std::find_if(kOptions.begin(), kOptions.end(),
                                        [&](const OptionName& o) { return o.name == name; });
        if (known == kOptions.end()) {
            return Refused(Refusal(kUnknownOption, language, {{u"option", name}}));
        }
        std::u16string_view value;
        if (known->takesValue) {
            if (equals != std::u16string_view::npos) {
                value = argument.substr(equals + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                return Refused(Refusal(kNeedsValue, language, {{u"option", name}}));
            }
        } else if (equals != std::u16string_view::npos) {
            return Refused(Refusal(kTakesNoValue, language, {{u"option", name}}));
        }
        const auto milliseconds = [&](Milliseconds most) {
            const auto ms = ParseMilliseconds(value, most);
            return ms ? std::optional<std::u16string>()
                      : Refusal(kBadMilliseconds, language,
                                {{u"option", name},
                                 {u"most", DecimalText(static_cast<std::uint64_t>(most.count()))},
                                 {u"value", value}});
        };
        switch (known->option) {
            case Option::Help:
                return ParsedCommand{.action = CommandAction::Help, .run = {}, .refusal = {}};
            case Option::Version:
                return ParsedCommand{.action = CommandAction::Version, .run = {}, .refusal = {}};
            case Option::Clipboard:
                if (std::exchange(textNamed, true)) {
                    return Refused(Refusal(kOneText, language));
                }
                run.text = CommandText::Clipboard;
                break;
            case Option::Window:
            case Option::Front: {
                if (std::exchange(targetNamed, true)) {
                    return Refused(Refusal(kOneTarget, language));
                }
                if (known->option == Option::Window) {
                    if (value.empty()) {
                        return Refused(Refusal(kEmptyTitle, language));
                    }
                    run.target = CommandTarget::Window;
                    run.windowTitle = value;
                    break;
                }
                // Seconds, read as a count with the same rules as milliseconds.
                const auto seconds =
                    ParseMilliseconds(value, Milliseconds(kMaxFrontWait.count() / 1000));
                if (!seconds) {
                    return Refused(Refusal(kBadSeconds, language, {{u"value", value}}));
                }
                run.target = CommandTarget::Front;
                run.frontAfter = Milliseconds(seconds->count() * 1000);
                break;
            }
            case Option::Pace:
                if (auto refusal = milliseconds(TypingOptions::kMaxPace)) {
                    return Refused(*std::move(refusal));
                }
                run.pace = ParseMilliseconds(value, TypingOptions::kMaxPace);
                break;
            case Option::LineWait:
                if (auto refusal = milliseconds(TypingOptions::kMaxLineWait)) {
                    return Refused(*std::move(refusal));
                }
                run.lineWait = ParseMilliseconds(value, TypingOptions::kMaxLineWait);
                break;
            case Option::Layout:
                run.layout = ParseLayout(value);
                if (!run.layout) {
                    return Refused(Refusal(kBadLayout, language, {{u"value", value}}));
                }
                break;
            case Option::KeysOnly:
            case Option::NoKeysOnly:
                run.keysOnly = known->option == Option::KeysOnly;
                break;
            case Option::KeySequences:
            case Option::NoKeySequences:
                run.keySequences = known->option == Option::KeySequences;
                break;
        }
    }
    if (!textNamed) {
        return Refused(Refusal(kOneText, language));
    }
    return parsed;
}

std::u16string UsageText(Language language) {
    return std::u16string(kUsage.In(language));
}

ExitCode ExitCodeOf(const PlaybackResult& result) {
    switch (result.end) {
        case PlaybackEnd::Finished:
            return result.controls.count + result.notTyped.count + result.invalidBytes.count == 0
                       ? ExitCode::TypedWhole
                       : ExitCode::PassedOver;
        case PlaybackEnd::ReadFailed:
            // Part of the text was typed before the rest could not be read.
            return result.position.NothingArrived() ? ExitCode::TextUnreadable : ExitCode::Stopped;
        case PlaybackEnd::NotOpened:
        case PlaybackEnd::OpenFailed:
        case PlaybackEnd::ReservedName:
        case PlaybackEnd::ChangedAfterCheck:
        case PlaybackEnd::TextChanged:
        case PlaybackEnd::NoText:
        case PlaybackEnd::ClipboardUnreadable:
        case PlaybackEnd::ClipboardBusy:
            return ExitCode::TextUnreadable;
        case PlaybackEnd::NoTarget:
        case PlaybackEnd::NoMainWindow:
        case PlaybackEnd::NothingPicked:
            return ExitCode::NoTarget;
        case PlaybackEnd::LayoutMissing:
        case PlaybackEnd::NotTypableAsKeys:
        case PlaybackEnd::BadSequence:
        case PlaybackEnd::ShortcutNotOnLayout:
            return ExitCode::CannotType;
        case PlaybackEnd::NotAllowed:
            return ExitCode::TargetElevated;
        case PlaybackEnd::NotResponding:
        case PlaybackEnd::NothingConfirmed:
            return ExitCode::NotResponding;
        case PlaybackEnd::FocusMoved:
        case PlaybackEnd::TargetClosed:
        case PlaybackEnd::Stopped:
        case PlaybackEnd::Interrupted:
        case PlaybackEnd::StoppedByHotKey:
        case PlaybackEnd::StoppedByClick:
        case PlaybackEnd::HotKeyBeforeTyping:
        case PlaybackEnd::KeysHeld:
            break;
    }
    return ExitCode::Stopped;
}

CommandOutcome RunFromCommandLine(DesktopServices& desktop, const CommandRun& run,
                                  const std::function<bool()>& interrupted) {
    const Language language = desktop.DisplayLanguage();
    // Asked now, while the window the command was typed in is the one in front. A new program
    // or the window clicked after a wait is never that window, nor the console: a launch's
    // hand-off that found them in front would type into the prompt, each Enter a command.
    const WindowId console = desktop.ConsoleWindow();
    const WindowId startedFrom = desktop.ForegroundWindow();
    const Settings settings = LoadSettings(desktop);
    PlaybackHooks hooks{
        .stopRequested = interrupted, .progress = {}, .typing = TypingFor(run, settings.typing)};
    hooks.neverTypeInto.push_back(console);
    if (run.target == CommandTarget::Launch ||
        (run.target == CommandTarget::Front && run.frontAfter > Milliseconds(0))) {
        hooks.neverTypeInto.push_back(startedFrom);
    }

    // The text is there before anything is started or brought forward for it. Standard input
    // first, which may be a console waiting for the user's typing.
    std::string input;
    const WipedOnExit wiped(input);
    switch (run.text) {
        case CommandText::StandardInput:
            if (const Status read = ReadStandardInput(desktop, input); !read) {
                const std::uint32_t code = read.failure().code;
                if (code == kReadInterruptedCode || interrupted()) {
                    return EndedBeforeTyping(PlaybackEnd::Interrupted, run, language);
                }
                return {.exitCode = ExitCode::TextUnreadable,
                        .message = code == kFileTooLargeCode
                                       ? std::u16string(kStandardInputTooLarge.In(language))
                                       : FillIn(kStandardInputUnreadable.In(language),
                                                {{u"reason", read.failure().reason}})};
            }
            if (input.empty()) {
                return {.exitCode = ExitCode::TextUnreadable,
                        .message = std::u16string(kNoStandardInput.In(language))};
            }
            break;
        case CommandText::File:
            if (auto file = desktop.OpenForReading(run.path); !file) {
                PlaybackResult failed = OpenFailure(run.path, file.failure());
                failed.path = run.path;  // a folder's too, which the window does not name
                return Outcome(failed, language);
            } else if (file.value()->Size() == 0) {
                // Nothing to start a program for; a script expects its text typed.
                return {.exitCode = ExitCode::TextUnreadable,
                        .message = std::u16string(kNoFileText.In(language))};
            }
            break;
        case CommandText::Clipboard:
            // Only an answer that it holds no text: one held open is tried again by the run.
            if (auto text = desktop.ClipboardText(); text) {
                const bool none = !text.value() || text.value()->empty();
                if (text.value()) {
                    Wipe(*text.value());  // read again when typing begins
                }
                if (none) {
                    return EndedBeforeTyping(PlaybackEnd::NoText, run, language);
                }
            }
            break;
    }
    if (interrupted()) {
        return EndedBeforeTyping(PlaybackEnd::Interrupted, run, language);
    }

    std::optional<TaskId> task;
    switch (run.target) {
        case CommandTarget::Launch: {
            auto launched = desktop.LaunchProgram(settings.targetPath);
            if (!launched) {
                return NoTarget(
                    LaunchFailureMessage(settings.targetPath, launched.failure(), language));
            }
            task = launched.value();
            // As after Start: the program's window is given its time to open.
            if (!WaitUninterrupted(desktop, kTimerInterval, interrupted)) {
                desktop.ReleaseTask(*task);
                return EndedBeforeTyping(PlaybackEnd::Interrupted, run, language);
            }
            break;
        }
        case CommandTarget::Window:
            if (auto failed = BringNamedWindowForward(desktop, run.windowTitle, language)) {
                return NoTarget(*std::move(failed));
            }
            break;
        case CommandTarget::Front: {
            if (!WaitUninterrupted(desktop, run.frontAfter, interrupted)) {
                return EndedBeforeTyping(PlaybackEnd::Interrupted, run, language);
            }
            // A click or Alt+Tab still under way: the window is the one the user settles on.
            const Milliseconds settleUntil = desktop.Now() + kChoosingSettleLimit;
            while ((desktop.ChoosingInputHeld() || desktop.ForegroundProcess() == 0) &&
                   desktop.Now() < settleUntil) {
                if (!WaitUninterrupted(desktop, kInterruptPoll, interrupted)) {
                    return EndedBeforeTyping(PlaybackEnd::Interrupted, run, language);
                }
            }
            const WindowId front = desktop.ForegroundWindow();
            const std::uint32_t process = desktop.ForegroundProcess();
            if (process == 0 || process == desktop.OwnProcess() || desktop.IsShellWindow(front)) {
                return EndedBeforeTyping(PlaybackEnd::NoTarget, run, language);
            }
            if (std::find(hooks.neverTypeInto.begin(), hooks.neverTypeInto.end(), front) !=
                hooks.neverTypeInto.end()) {
                return NoTarget(FillIn(
                    kFrontIsWhereStarted.In(language),
                    {{u"seconds",
                      DecimalText(static_cast<std::uint64_t>(run.frontAfter.count() / 1000))}}));
            }
            break;
        }
    }

    PlaybackResult result;
    switch (run.text) {
        case CommandText::File:
            result = PlayTextFile(desktop, run.path, task, hooks);
            break;
        case CommandText::Clipboard:
            result = PlayClipboard(desktop, hooks, std::nullopt, task);
            break;
        case CommandText::StandardInput:
            result = PlayTextBytes(desktop, input, task, hooks);
            break;
    }
    if (task) {
        desktop.ReleaseTask(*task);
    }
    // Nothing but Ctrl+C asks a run from the command line to stop.
    if (result.end == PlaybackEnd::Stopped) {
        result.end = PlaybackEnd::Interrupted;
    }
    return Outcome(result, language);
}

}  // namespace quillrun
