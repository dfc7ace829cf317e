// What the user is told when a run falls short of typing the whole file.
#pragma once

#include <optional>
#include <string>

#include "playback/text_playback.h"

namespace quillrun {

// The message for a run that typed nothing or stopped before the end of the file: the reason
// in plain words and where typing stopped, in `language`. None for the runs that end as the user
// expects: a finished run, a path box that is empty or names a folder, a run stopped by closing
// Quillrun.
std::optional<std::u16string> PlaybackEndMessage(const PlaybackResult& result, Language language);

}  // namespace quillrun
