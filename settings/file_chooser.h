// Choosing the text file to type in the system's open-file dialog.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/desktop_services.h"

namespace quillrun {

// The dialog's file types, as display name and pattern pairs separated by "|".
inline constexpr std::u16string_view kTextFileFilter =
    u"\uFF83\uFF77\uFF7D\uFF84\uFF8C\uFF67\uFF72\uFF99 (*.txt)|*.txt|"
    u"\u3059\u3079\u3066\u306E\uFF8C\uFF67\uFF72\uFF99 (*.*)|*.*";

// Splits a "name|pattern|name|pattern" filter into its entries. A trailing name without a
// pattern is dropped, as the system would have no pattern to show for it.
std::vector<FileTypeFilter> ParseFileFilter(std::u16string_view filter);

// Runs the dialog; the chosen file's full path, or nothing when the user cancelled or the dialog
// failed (silently: the path box then stays as it was).
std::optional<std::u16string> ChooseTextFile(DesktopServices& desktop);

}  // namespace quillrun
