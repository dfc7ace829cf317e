// Rules for Windows paths that need no system call, kept apart so that tests can read them.
#pragma once

#include <string>
#include <string_view>

namespace quillrun {

// The folder part of an executable's full path, as AppFolder reports it: no trailing backslash,
// except for a drive root ("C:\"), which without it would mean the drive's current folder.
std::u16string FolderOfModulePath(std::u16string_view modulePath);

// `name` in `folder`, joined by exactly one backslash whether or not the folder ends with one.
std::u16string JoinFolderAndName(std::u16string_view folder, std::u16string_view name);

}  // namespace quillrun
