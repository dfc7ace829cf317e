// Choosing the text file to type in the system's open-file dialog.
#pragma once

#include <string_view>
#include <vector>

#include "app/form_view.h"
#include "desktop/desktop_services.h"

namespace quillrun {

// The dialog's file types, as display name and pattern pairs separated by "|".
inline constexpr std::u16string_view kTextFileFilter =
    u"\uFF83\uFF77\uFF7D\uFF84\uFF8C\uFF67\uFF72\uFF99 (*.txt)|*.txt|"
    u"\u3059\u3079\u3066\u306E\uFF8C\uFF67\uFF72\uFF99 (*.*)|*.*";

// Splits a "name|pattern|name|pattern" filter into its entries. A trailing name without a
// pattern is dropped, as the system would have no pattern to show for it.
std::vector<FileTypeFilter> ParseFileFilter(std::u16string_view filter);

// Runs the dialog and, when a file was chosen, puts its full path into the path box. Cancelling
// or any failure of the dialog leaves the path box as it was, silently.
void ChooseTextFile(DesktopServices& desktop, FormView& view);

}  // namespace quillrun
