// Start: launch the target program and arm the timer whose tick begins the typing.
#pragma once

#include <string>
#include <string_view>

#include "desktop/desktop_services.h"

namespace quillrun {

// The time a freshly launched program gets to open its window before typing starts.
inline constexpr Milliseconds kTimerInterval{1500};

// Launches `targetPath` and, only if that worked, arms the one-shot delay before typing.
// An armed timer stays armed when the launch fails.
Result<TaskId> LaunchTarget(DesktopServices& desktop, std::u16string_view targetPath);

// What the user is told, in `language`, when the launch failed.
std::u16string LaunchFailureMessage(std::u16string_view targetPath, const Failure& failure,
                                    Language language);

}  // namespace quillrun
