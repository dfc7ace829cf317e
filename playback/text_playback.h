// Typing a text file into the program in front, one key string per character.
#pragma once

#include <functional>
#include <string_view>

#include "desktop/desktop_services.h"

namespace quillrun {

// How a run ended.
enum class PlaybackEnd {
    NotOpened,      // the path named no readable file: nothing was typed
    Finished,       // every line was typed
    FocusMoved,     // another program's window came to the front: the rest stays untyped
    NoTarget,       // no other program's window was in front to type into
    Stopped,        // Quillrun was asked to stop (its window closed)
    NotResponding,  // the program in front stopped taking keystrokes
    ReadFailed,     // the file could not be read on
};

// Opens `path` unchanged, activates `task` once, then types the file line by line: each
// character as its own key string, a line end after every line (also the last), Quillrun's
// pending events handled after each line. Keystrokes go only to the process that was in front
// right after the activation; `stopRequested` is asked before every keystroke.
PlaybackEnd PlayTextFile(DesktopServices& desktop, std::u16string_view path, TaskId task,
                         const std::function<bool()>& stopRequested);

}  // namespace quillrun
