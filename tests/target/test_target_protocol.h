// What the test target and the programs that drive it agree on.
#pragma once

#include <windows.h>

#include <string>

namespace quillrun::testing {

inline constexpr wchar_t kTargetTitle[] = L"Quillrun Test Target";
// SendMessage(target, kCharCountMessage): the number of WM_CHAR messages handled so far.
inline constexpr UINT kCharCountMessage = WM_APP + 1;
// The same count, published in shared memory as a LONG, so that a test can read it without
// the target's help: a sent message would wait for the target's current message to finish.
inline std::wstring CharCountMappingName(DWORD processId) {
    return L"Local\\QuillrunTestTargetChars-" + std::to_wstring(processId);
}
// SendMessage(target, kDumpMessage): writes the output files now; returns 1 when written.
inline constexpr UINT kDumpMessage = WM_APP + 2;
// SendMessage(target, kInputMethodOpenMessage): 1 while the input method of its window is open.
inline constexpr UINT kInputMethodOpenMessage = WM_APP + 3;

}  // namespace quillrun::testing
