#include "app/win32/updater_dialog.h"

#include <commctrl.h>

#include <string>
#include <utility>

#include "app/win32/about_dialog.h"
#include "app/win32/resource_ids.h"
#include "resources/string_table.h"

namespace tarn {
namespace {

// Posted to the window when calls wait in its queue.
constexpr UINT kRunPostedCalls = WM_APP + 1;
// Posted to the window when the Escape key was pressed on it, in whichever loop took the key.
constexpr UINT kEscapePressed = WM_APP + 2;

// The dialog of this thread, for its message hook.
thread_local CT2vVazidavDlg* t_hookedDialog = nullptr;

// A text of code page `codePage` as UTF-16: the string table's (CP_ACP) for the calls that take
// UTF-16 only, or a port's name (CP_UTF8).
std::wstring WideText(const std::string& text, UINT codePage = CP_ACP) {
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
  return wide;
}

bool IsEscapeKey(const MSG& message) {
  return message.message == WM_KEYDOWN &&
         (message.wParam == VK_ESCAPE || message.wParam == VK_CANCEL);
}

int ControlId(DialogControl control) {
  switch (control) {
    case DialogControl::kMidiIn:
      return IDC_MIDI_IN;
    case DialogControl::kMidiOut:
      return IDC_MIDI_OUT;
    case DialogControl::kExecute:
      return IDOK;
    case DialogControl::kRescan:
      return IDC_RESCAN;
  }
  return 0;
}

int ListId(PortList list) {
  return list == PortList::kMidiIn ? IDC_MIDI_IN : IDC_MIDI_OUT;
}

}  // namespace

CT2vVazidavDlg::CT2vVazidavDlg(int32_t instanceNumber, const FirmwareSet& images, Timing timing)
    : m_icon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))),
      m_smallIcon(static_cast<HICON>(
          LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                     GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0))),
      m_controller(*this, instanceNumber, images, timing) {}

CT2vVazidavDlg::~CT2vVazidavDlg() {
  if (m_smallIcon != nullptr) DestroyIcon(m_smallIcon);
}

void CT2vVazidavDlg::DoModal() {
  if (CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_UPDATER), nullptr,
                         &DialogProc, reinterpret_cast<LPARAM>(this)) == nullptr) {
    return;
  }
  // Every loop of this thread (this one, a box's, a menu's) takes its messages through the hook,
  // so Escape is known as the key wherever it is read, and command 2 is only ever "Exit".
  t_hookedDialog = this;
  HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, &GetMessageHook, nullptr, GetCurrentThreadId());
  MSG message;
  while (m_window != nullptr) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got <= 0) {
      // WM_QUIT belongs to whoever runs the loop outside this one.
      if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
      DestroyWindow(m_window);
      break;
    }
    if (!IsDialogMessageA(m_window, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  if (hook != nullptr) UnhookWindowsHookEx(hook);
  t_hookedDialog = nullptr;
}

LRESULT CALLBACK CT2vVazidavDlg::GetMessageHook(int code, WPARAM removal, LPARAM data) {
  auto* message = reinterpret_cast<MSG*>(data);
  CT2vVazidavDlg* dialog = t_hookedDialog;
  const HWND window = dialog != nullptr ? dialog->m_window.load() : nullptr;
  if (code == HC_ACTION && removal == PM_REMOVE && window != nullptr && IsEscapeKey(*message) &&
      (message->hwnd == window || IsChild(window, message->hwnd))) {
    // The dialog manager would turn the key into command 2, as it does a click on "Exit".
    message->message = WM_NULL;
    PostMessageA(window, kEscapePressed, 0, 0);
  }
  return CallNextHookEx(nullptr, code, removal, data);
}

INT_PTR CALLBACK CT2vVazidavDlg::DialogProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<CT2vVazidavDlg*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    dialog->m_window = window;
    dialog->OnInitDialog();
    return TRUE;  // the focus goes to the first tab stop, "Execute"
  }
  auto* dialog = reinterpret_cast<CT2vVazidavDlg*>(GetWindowLongPtrA(window, DWLP_USER));
  if (dialog == nullptr) return FALSE;
  return dialog->OnMessage(message, wParam, lParam);
}

INT_PTR CT2vVazidavDlg::OnMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_CLOSE:
      m_controller.OnCloseRequested(CloseRequest::kCloseBox);
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg().DoModal(m_window, m_controller.AboutSetText());
        return TRUE;
      }
      return FALSE;
    case WM_PAINT:
      return OnPaint();
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(m_icon);
    case kRunPostedCalls:
      RunPostedCalls();
      return TRUE;
    case kEscapePressed:
      // A window disabled under a box does not take keys.
      if (IsWindowEnabled(m_window)) m_controller.OnCloseRequested(CloseRequest::kEscapeKey);
      return TRUE;
    case WM_QUERYENDSESSION:
      return OnQueryEndSession();
    case WM_ENDSESSION:
      // The session ends: the update stops as closing stops it, before the process is ended.
      if (wParam != FALSE) m_controller.OnSessionEnding();
      return TRUE;
    case WM_DESTROY:
      m_controller.OnDestroy();
      return FALSE;
    case WM_NCDESTROY:
      SetWindowLongPtrA(m_window, DWLP_USER, 0);
      m_window = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

void CT2vVazidavDlg::OnInitDialog() {
  if (HMENU menu = GetSystemMenu(m_window, FALSE)) {
    char item[256] = {};
    if (LoadStringA(GetModuleHandleA(nullptr), ids::kAboutMenuItem, item, sizeof item) > 0) {
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, item);
    }
  }
  SendMessageA(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
  SendMessageA(m_window, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(m_smallIcon != nullptr ? m_smallIcon : m_icon));
  m_controller.OnInitDialog();
}

void CT2vVazidavDlg::OnCommand(WORD id, WORD code) {
  if (code != BN_CLICKED) return;
  switch (id) {
    case IDOK:
      m_controller.OnExecuteClicked();
      break;
    case IDCANCEL:
      // Escape never gets here (see GetMessageHook).
      m_controller.OnCloseRequested(CloseRequest::kExitButton);
      break;
    case IDC_RESCAN:
      m_controller.OnRescanClicked();
      break;
    default:
      break;
  }
}

INT_PTR CT2vVazidavDlg::OnQueryEndSession() {
  if (m_controller.State() != DialogState::kUpdating) {
    ShutdownBlockReasonDestroy(m_window);
    return FALSE;  // the default answer: the session may end
  }
  // Windows shows the reason beside the window while it asks the user.
  const std::wstring reason = WideText(FormatText({ids::kShutdownBlocked, {}}));
  ShutdownBlockReasonCreate(m_window, reason.c_str());
  SetWindowLongPtrA(m_window, DWLP_MSGRESULT, FALSE);
  return TRUE;
}

bool CT2vVazidavDlg::OnPaint() {
  if (!IsIconic(m_window)) return false;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_window, &paint);
  SendMessageA(m_window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const int width = GetSystemMetrics(SM_CXICON);
  const int height = GetSystemMetrics(SM_CYICON);
  RECT client;
  GetClientRect(m_window, &client);
  DrawIcon(dc, (client.right - client.left - width + 1) / 2,
           (client.bottom - client.top - height + 1) / 2, m_icon);
  EndPaint(m_window, &paint);
  return true;
}

void CT2vVazidavDlg::RunPostedCalls() {
  // The calls there are now, and no more: the keyboard and the mouse come only when no posted
  // message waits, so "Exit" must not wait behind an update's stream of progress.
  std::deque<std::function<void()>> calls;
  {
    std::lock_guard lock(m_callsMutex);
    calls.swap(m_calls);
    m_wakePosted = false;
  }
  // A call may open a box, whose own loop runs the calls posted meanwhile.
  for (std::function<void()>& call : calls)
    call();
}

void CT2vVazidavDlg::SetTitle(const std::string& title) {
  SetWindowTextA(m_window, title.c_str());
}

void CT2vVazidavDlg::FillPortList(PortList list, const std::vector<std::string>& names,
                                  int32_t selected) {
  HWND box = Control(ListId(list));
  SendMessageA(box, CB_RESETCONTENT, 0, 0);
  // The names are UTF-8; the list keeps them in the system's code page they came from.
  for (const std::string& name : names) {
    const std::wstring wide = WideText(name, CP_UTF8);
    SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  }
  SendMessageA(box, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

int32_t CT2vVazidavDlg::SelectedPort(PortList list) {
  // CB_ERR, nothing selected, is -1 as the ports expect it.
  return static_cast<int32_t>(SendMessageA(Control(ListId(list)), CB_GETCURSEL, 0, 0));
}

void CT2vVazidavDlg::EnableControl(DialogControl control, bool enable) {
  EnableWindow(Control(ControlId(control)), enable ? TRUE : FALSE);
}

void CT2vVazidavDlg::SetStepText(const std::string& text) {
  SetDlgItemTextA(m_window, IDC_STEP, text.c_str());
}

void CT2vVazidavDlg::SetStatusText(const std::string& text) {
  SetDlgItemTextA(m_window, IDC_STATUS, text.c_str());
}

void CT2vVazidavDlg::SetProgressRange(int32_t low, int32_t high) {
  SendMessageA(Control(IDC_PROGRESS), PBM_SETRANGE32, static_cast<WPARAM>(low), high);
}

void CT2vVazidavDlg::SetProgressPosition(int32_t position) {
  SendMessageA(Control(IDC_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void CT2vVazidavDlg::ShowErrorBox(const std::string& caption, const std::string& text) {
  MessageBoxA(m_window, text.c_str(), caption.c_str(), MB_OK | MB_ICONHAND);
}

void CT2vVazidavDlg::ShowInfoBox(const std::string& caption, const std::string& text) {
  MessageBoxA(m_window, text.c_str(), caption.c_str(), MB_OK | MB_ICONASTERISK);
}

bool CT2vVazidavDlg::AskYesNo(const std::string& caption, const std::string& text) {
  // "No" is the default: Enter alone must not stop an update.
  return MessageBoxA(m_window, text.c_str(), caption.c_str(),
                     MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) == IDYES;
}

void CT2vVazidavDlg::PostToUi(std::function<void()> call) {
  bool wake = false;
  {
    std::lock_guard lock(m_callsMutex);
    m_calls.push_back(std::move(call));
    wake = !m_wakePosted;
    m_wakePosted = true;
  }
  // One message at a time in the window's queue, however many calls wait. A window that is
  // gone leaves the calls in the queue, which goes with this object.
  if (HWND window = m_window; wake && window != nullptr)
    PostMessageA(window, kRunPostedCalls, 0, 0);
}

void CT2vVazidavDlg::CloseWindow() {
  // Owned boxes, a worker's among them, go with the window.
  DestroyWindow(m_window);
}

}  // namespace tarn
