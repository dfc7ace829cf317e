// What MainForm's handlers need from the window's controls. The Win32 window implements it over
// its real controls; tests implement it in memory.
#pragma once

#include <string>
#include <string_view>

namespace quillrun {

class FormView {
  public:
    virtual ~FormView() = default;

    // The current text of the path box FPath.
    [[nodiscard]] virtual std::u16string PathText() const = 0;
    virtual void SetPathText(std::u16string_view text) = 0;
    // Tells the user that something they asked for failed, in a message owned by the window.
    virtual void ShowFailure(std::u16string_view message) = 0;
};

}  // namespace quillrun
