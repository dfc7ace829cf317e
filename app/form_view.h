// What MainForm's handlers need from the window's controls. The Win32 window implements it over
// its real controls; tests implement it in memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillrun {

// What the window's taskbar button shows of a run.
enum class TaskbarProgress {
    Off,      // no run
    Running,  // typing, this far
    Error,    // stopped early, this far
};

class FormView {
  public:
    virtual ~FormView() = default;

    // The current text of the path box FPath.
    [[nodiscard]] virtual std::u16string PathText() const = 0;
    virtual void SetPathText(std::u16string_view text) = 0;
    // The window's caption.
    virtual void SetCaption(std::u16string_view caption) = 0;
    // Tells the user that something they asked for failed, in a message owned by the window.
    virtual void ShowFailure(std::u16string_view message) = 0;
    // The taskbar button's progress: `done` of `total` (ignored when Off).
    virtual void ShowProgress(TaskbarProgress state, std::uint64_t done, std::uint64_t total) = 0;
    // Flashes the taskbar button once: something ended while the user looked elsewhere.
    virtual void FlashTaskbarButton() = 0;
};

}  // namespace quillrun
