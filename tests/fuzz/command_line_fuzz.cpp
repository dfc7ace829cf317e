// Fuzzes the command line: whatever the arguments, parsing gives the window, the usage, the
// version, a run that names one text and values in their ranges, or a refusal that says why in
// both languages; a run carried out through the fake desktop ends with an exit code of the table.
#include <cstdint>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillrun;
    using namespace quillrun::fuzz;
    FuzzInput input(data, size);
    // The arguments, one a line (a line feed cannot reach a program's argument unquoted anyway).
    std::vector<std::u16string> arguments(1);
    for (const char16_t unit : input.RestAsUtf16()) {
        if (unit == u'\n') {
            arguments.emplace_back();
        } else {
            arguments.back() += unit;
        }
    }
    const ParsedCommand english = ParseCommandLine(arguments, Language::English);
    const ParsedCommand japanese = ParseCommandLine(arguments, Language::Japanese);
    Require(english.action == japanese.action && english.run == japanese.run);
    if (english.action == CommandAction::Refused) {
        Require(!english.refusal.empty() && !japanese.refusal.empty());
        return 0;
    }
    if (english.action != CommandAction::Run) {
        return 0;
    }
    const CommandRun& run = english.run;
    Require((run.text == CommandText::File) != run.path.empty());
    Require((run.target == CommandTarget::Window) != run.windowTitle.empty());
    Require(run.frontAfter <= kMaxFrontWait && run.pace.value_or(Milliseconds(0)) <= TypingOptions::kMaxPace);

    FakeDesktop desktop;
    desktop.foregroundProcess = 77;
    desktop.titledWindows = {{.window = WindowId{77}, .process = 77, .title = u"Target"}};
    desktop.standardInput = "typed\r\n";
    desktop.clipboard = u"typed";
    desktop.PutFile(run.path.empty() ? u"unused" : run.path, "typed\r\n");
    const CommandOutcome outcome = RunFromCommandLine(desktop, run, [] { return false; });
    const int code = static_cast<int>(outcome.exitCode);
    Require(code >= 0 && code <= 8 && code != static_cast<int>(ExitCode::BadArguments));
    Require((code == 0) == outcome.message.empty());
    return 0;
}
