// What the test target and the programs that drive it agree on.
#pragma once

#include <windows.h>

namespace quillrun::testing {

inline constexpr wchar_t kTargetTitle[] = L"Quillrun Test Target";
// SendMessage(target, kCharCountMessage): the number of WM_CHAR messages handled so far.
inline constexpr UINT kCharCountMessage = WM_APP + 1;
// SendMessage(target, kDumpMessage): writes the output files now; returns 1 when written.
inline constexpr UINT kDumpMessage = WM_APP + 2;

}  // namespace quillrun::testing
