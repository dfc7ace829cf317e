// Quillrun run with arguments: a run from the command line, with no window of its own, its
// messages on the console it was started from and its end as the process's exit code.
#pragma once

#include <span>
#include <string>

namespace quillrun::win32 {

// Whether the program is built for the console (quillrun.com, which cmd.exe and PowerShell wait
// for) or for the window (quillrun.exe, which they do not).
enum class Subsystem { Console, Window };

// Carries out the arguments (the program's name left out): a run, the usage or the version.
// Returns the exit code.
int RunWithArguments(std::span<const std::u16string> arguments, Subsystem subsystem);

}  // namespace quillrun::win32
