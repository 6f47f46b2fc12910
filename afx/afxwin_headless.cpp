// Headless backend of the window classes: CDialog::DoModal over the in-memory
// dialog manager of afx/headless/. The dialog is taken over as soon as its
// window exists (the hook of DialogBoxWithHook), so OnCreate runs before its
// controls exist, as with real windows.
#include <cstring>

#include "afx/afxwin.h"
#include "afx/headless/window_system.h"

namespace {

LRESULT AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* wnd = CWnd::FromHandlePermanent(hWnd);
  if (wnd == nullptr) return ::DefDlgProcA(hWnd, message, wParam, lParam);
  return CWnd::CallWindowProcFor(wnd, hWnd, message, wParam, lParam);
}

}  // namespace

INT_PTR CDialog::DoModal() {
  if (m_hWnd != nullptr) return -1;  // already running
  const INT_PTR result =
      afx::headless::detail::DialogBoxWithHook(m_lpszTemplateName, GetOwnerForModal(), [this](HWND hWnd) {
        Attach(hWnd);
        m_pfnSuper = afx::headless::detail::SetWindowProc(hWnd, &AfxWndProc);
      });
  if (m_hWnd != nullptr) Detach();
  return result;
}

namespace afx::detail {
std::basic_string<TCHAR> ExecutableBaseName() {
  char path[4096] = {};
  ::GetModuleFileNameA(nullptr, path, sizeof path);
  std::string name(path);
  const auto slash = name.rfind('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const auto dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}
}  // namespace afx::detail
