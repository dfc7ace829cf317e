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

// Whether the last part of `path` is a name Windows keeps for a device (CON, PRN, AUX, NUL,
// COM1 to COM9, LPT1 to LPT9, CONIN$, CONOUT$; COM and LPT with a superscript 1, 2 or 3 too),
// alone or with any extension ("Naming Files, Paths, and Namespaces"): such a path opens the
// device, or nothing, never a file of that name.
bool NamesReservedDevice(std::u16string_view path);

}  // namespace quillrun
