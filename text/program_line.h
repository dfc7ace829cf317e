// How the program line of quillrun.ini is started: as a program, or as a document (a shortcut,
// a text file) opened the way Explorer opens it. Decided here, without the system, so that tests
// can read the rules; the desktop carries the decision out.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace quillrun {

enum class LaunchKind {
    Program,   // CreateProcess starts the line as it stands
    Document,  // the shell opens `file` with the program associated with it
};

struct LaunchPlan {
    LaunchKind kind = LaunchKind::Program;
    std::u16string file;       // the program or document named first, without its quotes
    std::u16string arguments;  // what follows it, from its first character that is not a blank

    friend bool operator==(const LaunchPlan&, const LaunchPlan&) = default;
};

// Reads `line` as written. The name is quoted ("C:\My Files\a.lnk" /x), or ends at the first
// blank, unless the whole unquoted line names a file, as `namesFile` tells of it expanded
// (C:\My Files\todo list.txt). Name and arguments are split before `expand` fills in their
// environment variables, so that a variable holding blanks (%USERPROFILE% of "John Smith")
// never splits the name. A name with a program's extension (.exe, .com, .bat, .cmd, .scr) or
// none (CreateProcess adds .exe) is a program; a URL (https://host, mailto:) or a name with any
// other extension is a document.
LaunchPlan PlanLaunch(std::u16string_view line,
                      const std::function<bool(std::u16string_view path)>& namesFile,
                      const std::function<std::u16string(std::u16string_view text)>& expand);

}  // namespace quillrun
