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

// Windows opens a path of kMaxPath characters or more only in its extended-length form
// ("\\?\C:\..." or "\\?\UNC\server\share\..."), unless long paths are enabled for the whole
// system. `fullPath` must already be absolute and normalised (the system's full-path form);
// short paths, relative ones and those already in a prefixed form come back unchanged.
inline constexpr std::size_t kMaxPath = 260;
std::u16string ExtendedLengthPath(std::u16string_view fullPath);

}  // namespace quillrun
