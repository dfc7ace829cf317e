#include "app/main_form.h"

#include <utility>

#include "playback/launch.h"
#include "playback/playback_report.h"
#include "settings/file_chooser.h"

namespace quillrun {
namespace {

// The taskbar's progress runs in thousandths: finer steps would only cost calls.
constexpr std::uint64_t kProgressSteps = 1000;

}  // namespace

void MainForm::OnLoad() {
    view_.SetPathText(desktop_.AppFolder());
    settings_ = LoadSettings(desktop_);
}

void MainForm::OnUnload() {
    unloaded_ = true;
    // Nothing to tell the user on the way out: an unwritable folder keeps the old file whole.
    static_cast<void>(SaveSettings(desktop_, settings_));
}

void MainForm::OnChooseClick() {
    // A running playback keeps the file it has open; the choice is for the next run.
    if (auto chosen = ChooseTextFile(desktop_)) {
        view_.SetPathText(*chosen);
    }
}

void MainForm::OnStartClick() {
    auto task = LaunchTarget(desktop_, settings_.targetPath);
    if (!task) {
        view_.ShowFailure(LaunchFailureMessage(settings_.targetPath, task.failure()));
        return;
    }
    taskId_ = task.value();
    ++starts_;
    heldMessage_.reset();  // the news of an older run is no longer worth an interruption
}

void MainForm::OnTimerTick() {
    // Off first, so that each Start yields exactly one run, even if this one cannot begin.
    desktop_.DisableTimer();
    // The file is whatever FPath names now, not what it named at Start.
    const std::u16string path = view_.PathText();
    const std::uint64_t startsBefore = starts_;
    std::uint64_t shown = kProgressSteps + 1;  // nothing shown yet
    const PlaybackHooks hooks{
        // A newer Start supersedes this run wherever it is: in a wait, a nested run may
        // already have typed the file into the new instance.
        .stopRequested = [this, startsBefore] { return unloaded_ || starts_ != startsBefore; },
        .progress =
            [&](std::uint64_t done, std::uint64_t total) {
                if (total == 0) {
                    return;  // a size unknown: no progress to show
                }
                const std::uint64_t steps =
                    done >= total ? kProgressSteps : done * kProgressSteps / total;
                if (steps != shown) {
                    shown = steps;
                    view_.ShowProgress(TaskbarProgress::Running, steps, kProgressSteps);
                }
            },
    };
    const PlaybackResult result = PlayTextFile(desktop_, path, taskId_, hooks);
    lastPlayback_ = result.end;
    // Closed meanwhile: there is no window left to tell.
    if (unloaded_) {
        return;
    }
    // A newer Start superseded this run: its own run, not this one, is for the user to hear of.
    const bool superseded = starts_ != startsBefore;
    // Shown only now that the run has ended and released its keys, so that no keystroke meant
    // for the target can reach the message.
    auto message = superseded ? std::nullopt : PlaybackEndMessage(result);
    const bool inFront = desktop_.ForegroundProcess() == desktop_.OwnProcess();
    if (message) {
        view_.ShowProgress(TaskbarProgress::Error, shown > kProgressSteps ? 0 : shown,
                           kProgressSteps);
        if (!inFront) {
            // Not over the window the user is in, whose keystrokes it would take (and where
            // Windows would not let it come to the front anyway): the taskbar button flashes,
            // shows the stop, and the message waits until the user comes back.
            heldMessage_ = std::move(message);
            view_.FlashTaskbarButton();
            return;
        }
        view_.ShowFailure(*message);
    } else if (result.end == PlaybackEnd::Finished && !superseded && !inFront) {
        view_.FlashTaskbarButton();
    }
    view_.ShowProgress(TaskbarProgress::Off, 0, 0);
}

void MainForm::OnActivated() {
    if (!heldMessage_) {
        return;
    }
    const std::u16string message = *std::exchange(heldMessage_, std::nullopt);
    view_.ShowFailure(message);
    view_.ShowProgress(TaskbarProgress::Off, 0, 0);
}

}  // namespace quillrun
