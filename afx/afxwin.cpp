// The part of the window classes both backends share: the window procedure,
// message-map dispatch, the CWnd operations (plain Win32 calls, which the
// headless backend implements in memory), CDialog and the application object.
#include "afx/afxwin.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <unordered_map>

#include "afx/time_scale.h"

namespace {

// HWND -> the CWnd attached to it. DDX_Control bindings remember their dialog,
// so that destroying the dialog ends them (the controls are not subclassed and
// never see their own WM_NCDESTROY).
struct PermanentEntry {
  CWnd* wnd;
  HWND boundTo;
};
std::mutex permanentMutex;
std::unordered_map<HWND, PermanentEntry>& PermanentMap() {
  static std::unordered_map<HWND, PermanentEntry> map;
  return map;
}

// The message each thread is handling, for Default(). Saved and restored around
// every dispatch, since handlers send messages of their own.
struct CurrentMessage {
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};
thread_local CurrentMessage currentMessage;

CWinApp* currentApp = nullptr;

}  // namespace

// Message maps
const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr}};
  static const AFX_MSGMAP map = {nullptr, &entries[0]};
  return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

bool CCmdTarget::Dispatch(UINT message, UINT code, UINT id, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
       map = map->pfnGetBaseMap != nullptr ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->pfnThunk != nullptr; ++entry) {
      if (entry->nMessage == message && entry->nCode == code && entry->nID == id) {
        *result = entry->pfnThunk(this, wParam, lParam);
        return true;
      }
    }
  }
  return false;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, UINT nCode) {
  LRESULT ignored = 0;
  return Dispatch(WM_COMMAND, nCode, nID, 0, 0, &ignored) ? TRUE : FALSE;
}

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* wnd = CWnd::FromHandlePermanent(hWnd);
  if (wnd == nullptr) return ::DefWindowProc(hWnd, message, wParam, lParam);
  const CurrentMessage saved = currentMessage;
  currentMessage = {message, wParam, lParam};
  const LRESULT result = wnd->WindowProc(message, wParam, lParam);
  currentMessage = saved;
  if (message == WM_NCDESTROY) wnd->OnNcDestroyCleanup();
  return result;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (message != WM_COMMAND) {
    if (!Dispatch(message, 0, 0, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
    return result;
  }
  const UINT id = LOWORD(wParam);
  const UINT code = HIWORD(wParam);
  if (OnCmdMsg(id, code)) return 0;
  // Commands (not control notifications) no window handles go to the
  // application, as ON_COMMAND(ID_HELP, &CWinApp::OnHelp) expects.
  if (code == CN_COMMAND && id >= 0x8000 && id < 0xF000 && currentApp != nullptr && currentApp->OnCmdMsg(id, code)) {
    return 0;
  }
  return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::Default() {
  return DefWindowProc(currentMessage.message, currentMessage.wParam, currentMessage.lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_pfnSuper != nullptr) return ::CallWindowProc(m_pfnSuper, m_hWnd, message, wParam, lParam);
  return ::DefWindowProc(m_hWnd, message, wParam, lParam);
}

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

// CString, CPaintDC
#ifndef UNICODE
void CString::Format(LPCTSTR format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list counting;
  va_copy(counting, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, counting);
  va_end(counting);
  m_text.assign(static_cast<std::size_t>(std::max(length, 0)) + 1, '\0');
  std::vsnprintf(&m_text[0], m_text.size(), format, arguments);
  m_text.pop_back();
  va_end(arguments);
}
#endif

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd->GetSafeHwnd()) { m_hDC = ::BeginPaint(m_hWnd, &m_ps); }

CPaintDC::~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }

// CWnd
CWnd::~CWnd() {
  if (m_hWnd != nullptr) Detach();
  // A dialog that never got a window (no template) never sees WM_NCDESTROY either.
  if (currentApp != nullptr && currentApp->m_pMainWnd == this) currentApp->m_pMainWnd = nullptr;
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
  std::lock_guard<std::mutex> guard(permanentMutex);
  const auto found = PermanentMap().find(hWnd);
  return found != PermanentMap().end() ? found->second.wnd : nullptr;
}

BOOL CWnd::Attach(HWND hWndNew) {
  if (hWndNew == nullptr || m_hWnd != nullptr) return FALSE;
  std::lock_guard<std::mutex> guard(permanentMutex);
  if (!PermanentMap().emplace(hWndNew, PermanentEntry{this, nullptr}).second) return FALSE;
  m_hWnd = hWndNew;
  return TRUE;
}

HWND CWnd::Detach() {
  const HWND hWnd = m_hWnd;
  if (hWnd != nullptr) {
    std::lock_guard<std::mutex> guard(permanentMutex);
    const auto found = PermanentMap().find(hWnd);
    if (found != PermanentMap().end() && found->second.wnd == this) PermanentMap().erase(found);
  }
  m_hWnd = nullptr;
  return hWnd;
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
  if (rControl.m_hWnd != nullptr) return;  // bound already (OnInitDialog runs once per window)
  const HWND dialog = pDX->m_pDlgWnd->GetSafeHwnd();
  const HWND control = ::GetDlgItem(dialog, nIDC);
  if (control == nullptr || !rControl.Attach(control)) return;
  std::lock_guard<std::mutex> guard(permanentMutex);
  PermanentMap()[control].boundTo = dialog;
}

void CWnd::OnNcDestroyCleanup() {
  {
    std::lock_guard<std::mutex> guard(permanentMutex);
    for (auto it = PermanentMap().begin(); it != PermanentMap().end();) {
      if (it->second.boundTo != m_hWnd) {
        ++it;
        continue;
      }
      it->second.wnd->m_hWnd = nullptr;
      it = PermanentMap().erase(it);
    }
  }
  m_temporaryChildren.clear();
#ifdef _WIN32
  m_systemMenu.reset();
#endif
  if (currentApp != nullptr && currentApp->m_pMainWnd == this) currentApp->m_pMainWnd = nullptr;
  Detach();
  m_pfnSuper = nullptr;
}

CWnd* CWnd::GetDlgItem(int nID) const {
  const HWND control = ::GetDlgItem(m_hWnd, nID);
  if (control == nullptr) return nullptr;
  if (CWnd* permanent = FromHandlePermanent(control)) return permanent;
  auto& temporaries = const_cast<CWnd*>(this)->m_temporaryChildren;
  for (const auto& wrapper : temporaries) {
    if (wrapper->m_hWnd == control) return wrapper.get();
  }
  // Not attached (no map entry): a handle holder that this window owns.
  temporaries.push_back(std::make_unique<CWnd>());
  temporaries.back()->m_hWnd = control;
  return temporaries.back().get();
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer) {
  // Product periods stay as written; tests shrink them through the time scale.
  const auto scaled = std::chrono::duration_cast<std::chrono::milliseconds>(afx::Scaled(nElapse)).count();
  const UINT elapse = static_cast<UINT>(std::clamp<long long>(scaled, 1, 0x7FFFFFFF));
  return ::SetTimer(m_hWnd, nIDEvent, elapse, lpfnTimer);
}

// CDialog (DoModal is the backend's)
BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_COMMAND(IDOK, &CDialog::OnOK)
  ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

BOOL CDialog::OnInitDialog() {
  CDataExchange exchange(this, FALSE);
  DoDataExchange(&exchange);
  return TRUE;
}

#ifdef _WIN32
namespace {
// As the framework does after WM_INITDIALOG: a top-level dialog that its
// initialisation did not move is centred over its owner, or over the work area.
void CenterUnlessMoved(HWND dialog, const RECT& before) {
  RECT now{};
  ::GetWindowRect(dialog, &now);
  if ((::GetWindowLongW(dialog, GWL_STYLE) & WS_CHILD) != 0 || !::EqualRect(&before, &now)) return;
  RECT area{};
  const HWND owner = ::GetWindow(dialog, GW_OWNER);
  if (owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
    ::GetWindowRect(owner, &area);
  } else {
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  }
  const int x = area.left + ((area.right - area.left) - (now.right - now.left)) / 2;
  const int y = area.top + ((area.bottom - area.top) - (now.bottom - now.top)) / 2;
  ::SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
}  // namespace
#endif

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  // The dialog manager sends WM_INITDIALOG to the window procedure; its result
  // decides whether the system sets the focus.
  if (message != WM_INITDIALOG) return CWnd::WindowProc(message, wParam, lParam);
#ifdef _WIN32
  RECT before{};
  ::GetWindowRect(m_hWnd, &before);
  const BOOL result = OnInitDialog();
  CenterUnlessMoved(m_hWnd, before);
  return result;
#else
  return OnInitDialog();
#endif
}

HWND CDialog::GetOwnerForModal() const {
  if (m_pParentWnd != nullptr) return m_pParentWnd->GetSafeHwnd();
  // Without a parent the main window owns the dialog, so that it is modal over it.
  const CWnd* main = AfxGetMainWnd();
  if (main != nullptr && main != this && ::IsWindow(main->GetSafeHwnd())) return main->GetSafeHwnd();
  return nullptr;
}

// CWinApp and the Afx functions
BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

namespace {
std::basic_string<TCHAR> ExecutableBaseName() {
  TCHAR path[4096] = {};
  const DWORD length = ::GetModuleFileName(nullptr, path, 4096);
  std::basic_string<TCHAR> name(path, std::min<DWORD>(length, 4096));
  name.erase(0, name.find_last_of(_T("\\/")) + 1);  // npos + 1 == 0
  const auto dot = name.rfind(_T('.'));
  if (dot != std::basic_string<TCHAR>::npos && dot > 0) name.erase(dot);
  return name;
}
}  // namespace

CWinApp::CWinApp(LPCTSTR lpszAppName)
    : m_appName(lpszAppName != nullptr ? lpszAppName : ExecutableBaseName()) {
  currentApp = this;
  m_pszAppName = m_appName.c_str();
}

CWinApp::~CWinApp() {
  if (currentApp == this) currentApp = nullptr;
}

HICON CWinApp::LoadIcon(UINT nIDResource) const {
  return ::LoadIcon(AfxFindResourceHandle(MAKEINTRESOURCE(nIDResource), RT_GROUP_ICON), MAKEINTRESOURCE(nIDResource));
}

CWinApp* AfxGetApp() { return currentApp; }

CWnd* AfxGetMainWnd() { return currentApp != nullptr ? currentApp->m_pMainWnd : nullptr; }

HINSTANCE AfxFindResourceHandle(LPCTSTR, LPCTSTR) { return ::GetModuleHandle(nullptr); }

int AfxMessageBox(LPCTSTR lpszText, UINT nType) {
  const CWinApp* app = AfxGetApp();
  const CWnd* main = AfxGetMainWnd();
  const HWND owner = main != nullptr && ::IsWindow(main->GetSafeHwnd()) ? main->GetSafeHwnd() : nullptr;
  return ::MessageBox(owner, lpszText, app != nullptr ? app->m_pszAppName : nullptr, nType);
}

int AfxWinMain() {
  currentApp->InitInstance();
  return currentApp->ExitInstance();
}
