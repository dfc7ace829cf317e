// The file-type list of the system's open-file dialog, in the form the system takes it.
#pragma once

#include <span>
#include <string>

#include "desktop/desktop_services.h"

namespace quillrun {

// Name and pattern of each entry, each ended by a null character, and one more null at the end.
std::u16string SystemFilterString(std::span<const FileTypeFilter> filters);

}  // namespace quillrun
