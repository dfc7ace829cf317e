#include "playback/launch.h"

namespace quillrun {

Result<TaskId> LaunchTarget(DesktopServices& desktop, std::u16string_view targetPath) {
    auto task = desktop.LaunchProgram(targetPath);
    if (task) {
        desktop.EnableTimer(kTimerInterval);
    }
    return task;
}

std::u16string LaunchFailureMessage(std::u16string_view targetPath, const Failure& failure) {
    std::u16string message = u"Quillrun could not start the program to type into:\n\n";
    message += targetPath.empty() ? u"(no program is named in quillrun.ini)" : targetPath;
    message += u"\n\n";
    message += failure.reason;
    return message;
}

}  // namespace quillrun
