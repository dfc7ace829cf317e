#include "playback/launch.h"

#include <string>

#include "desktop/utf.h"

namespace quillrun {

Result<TaskId> LaunchTarget(DesktopServices& desktop, std::u16string_view targetPath) {
    auto task = desktop.LaunchProgram(targetPath);
    if (task) {
        desktop.EnableTimer(kTimerInterval);
    }
    return task;
}

namespace {

// A message box grows with its text; a damaged quillrun.ini can hold a "path" of any length.
constexpr std::size_t kShownPathLimit = 160;
constexpr std::size_t kShownPathEnd = 60;  // the end names the program, so it is kept too

std::u16string ShownPath(std::u16string_view targetPath) {
    if (targetPath.empty()) {
        return u"(no program is named in quillrun.ini)";
    }
    if (targetPath.size() <= kShownPathLimit) {
        return std::u16string(targetPath);
    }
    const std::size_t head = kShownPathLimit - kShownPathEnd;
    std::u16string shown(targetPath.substr(0, head));
    shown += u" \u2026 ";
    shown += targetPath.substr(targetPath.size() - kShownPathEnd);
    shown += u"\n(" + DecimalText(targetPath.size()) + u" characters)";
    return shown;
}

}  // namespace

std::u16string LaunchFailureMessage(std::u16string_view targetPath, const Failure& failure) {
    std::u16string message = u"Quillrun could not start the program to type into:\n\n";
    message += ShownPath(targetPath);
    message += u"\n\n";
    if (failure.code == kElevationRequiredCode) {
        // Started elevated, it would not take Quillrun's keystrokes either.
        message +=
            u"It may only run as administrator, and Windows does not let the keystrokes "
            u"of a program without those rights reach it. To type into it, start "
            u"Quillrun as administrator.";
    } else {
        message += failure.reason;
    }
    return message;
}

}  // namespace quillrun
