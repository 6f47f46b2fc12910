#pragma once
// The close-and-start sequence of the Upgrade button, apart from the dialog: asking
// the pen's host application to close, and finding the upgrade tool beside the
// launcher. The dialog (handover_dlg.cpp) strings them together.
#include <windows.h>

#include "version.h"

inline constexpr wchar_t kHostWindowClass[] = L"BrevioPen ctrl";
inline constexpr wchar_t kHostWindowTitle[] = L"TessarinBrevioEYE";
inline constexpr wchar_t kToolFileName[] = L"" NIBFLASH_TOOL_FILE_NAME;
inline constexpr DWORD kClosePassPauseMs = 100;
inline constexpr int kMaxClosePasses = 200;
inline constexpr DWORD kPathBufferChars = 260;  // MAX_PATH, the terminating zero included

// Posts WM_CLOSE to the host's top-level windows, found by class and by title, once
// per window per pass with a 100 ms pause after each pass, until neither search
// finds a window (true) or kMaxClosePasses passes have gone by (false). Blocks the
// calling thread throughout without dispatching messages.
bool CloseHostWindows();

// Composes "<directory of modulePath>\kToolFileName" into toolPath.
// moduleLength is what GetModuleFileNameW returned for modulePath, a buffer of
// kPathBufferChars; the function cuts modulePath at its last backslash. Returns
// false, writing nothing to toolPath, when the module's path was cut short (or
// could not be had) or the tool's path would not fit in kPathBufferChars:
// starting a program from a mangled path could start the wrong one.
bool ComposeToolPath(wchar_t* modulePath, DWORD moduleLength, wchar_t* toolPath);
