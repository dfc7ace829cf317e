#include "playback/launch.h"

#include <string>

#include "text/language.h"
#include "text/utf.h"

namespace quillrun {

Result<TaskId> LaunchTarget(DesktopServices& desktop, std::u16string_view targetPath) {
    auto task = desktop.LaunchProgram(targetPath);
    if (task) {
        desktop.EnableTimer(kTimerInterval);
    }
    return task;
}

namespace {

constexpr Localized kLaunchFailed{
    u"Quillrun could not start the program to type into:\n\n{path}\n\n{reason}",
    u"Quillrun は入力先のプログラムを起動できませんでした。\n\n{path}\n\n{reason}"};
constexpr Localized kNoProgramNamed{u"(no program is named in quillrun.ini)",
                                    u"(quillrun.ini にプログラムが指定されていません)"};
constexpr Localized kPathLength{u"({count} characters)", u"({count} 文字)"};
// Started elevated, such a program would not take Quillrun's keystrokes either.
constexpr Localized kElevationRequired{
    u"It may only run as administrator, and Windows does not let the keystrokes of a program "
    u"without those rights reach it. To type into it, start Quillrun as administrator.",
    u"このプログラムは管理者としてのみ実行できる可能性があります。Windows では、管理者の権限を"
    u"持たないプログラムのキー入力はそのプログラムに届きません。入力するには、Quillrun を管理者"
    u"として実行してください。"};

// A message box grows with its text; a damaged quillrun.ini can hold a "path" of any length.
constexpr std::size_t kShownPathLimit = 160;
constexpr std::size_t kShownPathEnd = 60;  // the end names the program, so it is kept too

std::u16string ShownPath(std::u16string_view targetPath, Language language) {
    if (targetPath.empty()) {
        return std::u16string(kNoProgramNamed.In(language));
    }
    if (targetPath.size() <= kShownPathLimit) {
        return std::u16string(targetPath);
    }
    const std::size_t head = kShownPathLimit - kShownPathEnd;
    std::u16string shown(targetPath.substr(0, head));
    shown += u" \u2026 ";
    shown += targetPath.substr(targetPath.size() - kShownPathEnd);
    shown += u"\n";
    shown += FillIn(kPathLength.In(language), {{u"count", DecimalText(targetPath.size())}});
    return shown;
}

}  // namespace

std::u16string LaunchFailureMessage(std::u16string_view targetPath, const Failure& failure,
                                    Language language) {
    return FillIn(kLaunchFailed.In(language),
                  {{u"path", ShownPath(targetPath, language)},
                   {u"reason", failure.code == kElevationRequiredCode
                                   ? kElevationRequired.In(language)
                                   : std::u16string_view(failure.reason)}});
}

}  // namespace quillrun
