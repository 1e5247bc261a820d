// korvane_driver.exe: drives a running Korvane.exe from a second process, for the
// end-to-end scenarios.  One command per start; the scenarios chain them from bash.
//
// Exit codes: 0 the command did what it says (a check held), 1 a check failed or
// the thing looked for did not turn up in time, 2 bad usage.  Every wait has a
// timeout so that a broken window can never hang a run.
//
// Wine 8 facts this relies on (measured on the build machine):
//  - message boxes are visible top-level "#32770" windows of the program's
//    process, their text is in control 0xFFFF;
//  - PostMessage(BM_CLICK) presses a button (SendMessage would block while the
//    handler shows a box);
//  - another process's menus cannot be read, so menus are walked with the
//    keyboard (WM_SYSCOMMAND SC_KEYMENU, then arrow keys and Enter);
//  - icon handles are not comparable across processes, so a box's icon is told
//    apart by the pixels it draws on the screen;
//  - list-view and tab texts are not carried across processes, so they are read
//    through a buffer allocated inside the program's process.
#include <windows.h>

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "../../support/ProcessList.h"
#include "ui/ControlIds.h"

namespace {

const wchar_t kProgramExe[] = L"Korvane.exe";
const wchar_t kMainClass[] = L"TFORM_UTAMA";
const wchar_t kBoxClass[] = L"#32770";
const wchar_t kInputBoxClass[] = L"KorvaneInputBox";
constexpr int kBoxTextId = 0xFFFF;

// ------------------------------------------------------------------ output

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

void Out(const std::wstring& line) {
  std::string s = Utf8(line) + "\n";
  fwrite(s.data(), 1, s.size(), stdout);
  fflush(stdout);
}

int Fail(const std::wstring& why) {
  std::string s = "driver: " + Utf8(why) + "\n";
  fwrite(s.data(), 1, s.size(), stderr);
  fflush(stderr);
  return 1;
}

// Shows control characters, so that a trailing blank or a stray line break in a
// caption is visible in a failure message.
std::wstring Quoted(const std::wstring& s) {
  std::wstring q = L"\"";
  for (wchar_t c : s) {
    if (c == L'\n')
      q += L"\\n";
    else if (c == L'\r')
      q += L"\\r";
    else if (c == L'\t')
      q += L"\\t";
    else if (c == L'"')
      q += L"\\\"";
    else
      q += c;
  }
  return q + L"\"";
}

// ------------------------------------------------------------------ finding things

std::set<DWORD> ProgramProcesses() { return korvane::testsupport::ProcessIdsNamed(kProgramExe); }

std::wstring ClassOf(HWND hwnd) {
  wchar_t buf[256] = {};
  GetClassNameW(hwnd, buf, 256);
  return buf;
}

std::wstring TextOf(HWND hwnd) {
  // GetWindowTextW reads another process's caption without sending it a message,
  // so it cannot block on a busy window.
  wchar_t buf[4096] = {};
  GetWindowTextW(hwnd, buf, 4096);
  return buf;
}

DWORD PidOf(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

// Top-level windows of the program's processes, filtered.
std::vector<HWND> ProgramWindows(const std::function<bool(HWND)>& keep) {
  struct Ctx {
    std::set<DWORD> pids;
    const std::function<bool(HWND)>* keep;
    std::vector<HWND> found;
  } ctx{ProgramProcesses(), &keep, {}};
  if (ctx.pids.empty()) return {};
  EnumWindows(
      [](HWND hwnd, LPARAM lp) -> BOOL {
        auto* c = reinterpret_cast<Ctx*>(lp);
        if (c->pids.count(PidOf(hwnd)) && (*c->keep)(hwnd)) c->found.push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

std::vector<HWND> MainWindows(bool visibleOnly) {
  return ProgramWindows(
      [&](HWND h) { return ClassOf(h) == kMainClass && (!visibleOnly || IsWindowVisible(h)); });
}

HWND MainWindow() {
  auto all = MainWindows(false);
  return all.empty() ? nullptr : all.front();
}

std::vector<HWND> Boxes() {
  return ProgramWindows([](HWND h) { return ClassOf(h) == kBoxClass && IsWindowVisible(h); });
}

HWND FindDescendant(HWND root, int id) {
  struct Ctx {
    int id;
    HWND found;
  } ctx{id, nullptr};
  EnumChildWindows(
      root,
      [](HWND hwnd, LPARAM lp) -> BOOL {
        auto* c = reinterpret_cast<Ctx*>(lp);
        if (GetDlgCtrlID(hwnd) == c->id) {
          c->found = hwnd;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

// The pages are nested panels, so controls are looked for among all descendants
// of the program's own windows (main window first, then its dialogs).  Message
// boxes are left out: their OK button would clash with the About dialog's id 1.
HWND FindControl(int id) {
  std::vector<HWND> roots;
  if (HWND m = MainWindow()) roots.push_back(m);
  for (HWND h :
       ProgramWindows([](HWND h) { return ClassOf(h) != kMainClass && ClassOf(h) != kBoxClass; }))
    roots.push_back(h);
  for (HWND root : roots)
    if (HWND found = FindDescendant(root, id)) return found;
  return nullptr;
}

template <typename F>
auto WaitFor(DWORD timeoutMs, F probe) -> decltype(probe()) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    auto r = probe();
    if (r || GetTickCount64() >= end) return r;
    Sleep(50);
  }
}

// ------------------------------------------------------------------ another process's memory

// A buffer inside the program's process, for messages that carry pointers
// (list-view and tab item texts are not marshalled across processes).
class RemoteBuffer {
 public:
  RemoteBuffer(HWND owner, size_t size) : size_(size) {
    process_ =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, PidOf(owner));
    if (process_)
      address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteBuffer() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  bool ok() const { return address_ != nullptr; }
  char* at(size_t offset) const { return static_cast<char*>(address_) + offset; }
  bool write(size_t offset, const void* data, size_t n) {
    return WriteProcessMemory(process_, at(offset), data, n, nullptr) != 0;
  }
  bool read(size_t offset, void* data, size_t n) const {
    return ReadProcessMemory(process_, at(offset), data, n, nullptr) != 0;
  }

 private:
  HANDLE process_ = nullptr;
  void* address_ = nullptr;
  size_t size_;
};

constexpr size_t kTextChars = 1024;

bool ListViewText(HWND lv, int row, int column, std::wstring* text) {
  RemoteBuffer buf(lv, sizeof(LVITEMW) + kTextChars * sizeof(wchar_t));
  if (!buf.ok()) return false;
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = reinterpret_cast<wchar_t*>(buf.at(sizeof(LVITEMW)));
  item.cchTextMax = kTextChars;
  if (!buf.write(0, &item, sizeof item)) return false;
  SendMessageTimeoutW(lv, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(buf.at(0)),
                      SMTO_ABORTIFHUNG, 5000, nullptr);
  std::vector<wchar_t> chars(kTextChars + 1, L'\0');
  if (!buf.read(sizeof(LVITEMW), chars.data(), kTextChars * sizeof(wchar_t))) return false;
  *text = chars.data();
  return true;
}

bool ListViewImage(HWND lv, int row, int* image) {
  RemoteBuffer buf(lv, sizeof(LVITEMW));
  if (!buf.ok()) return false;
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  if (!buf.write(0, &item, sizeof item)) return false;
  DWORD_PTR ok = 0;
  SendMessageTimeoutW(lv, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(buf.at(0)), SMTO_ABORTIFHUNG,
                      5000, &ok);
  if (!ok || !buf.read(0, &item, sizeof item)) return false;
  *image = item.iImage;
  return true;
}

bool TabText(HWND tab, int index, std::wstring* text) {
  RemoteBuffer buf(tab, sizeof(TCITEMW) + kTextChars * sizeof(wchar_t));
  if (!buf.ok()) return false;
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = reinterpret_cast<wchar_t*>(buf.at(sizeof(TCITEMW)));
  item.cchTextMax = kTextChars;
  if (!buf.write(0, &item, sizeof item)) return false;
  DWORD_PTR ok = 0;
  SendMessageTimeoutW(tab, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(buf.at(0)),
                      SMTO_ABORTIFHUNG, 5000, &ok);
  if (!ok) return false;
  std::vector<wchar_t> chars(kTextChars + 1, L'\0');
  if (!buf.read(sizeof(TCITEMW), chars.data(), kTextChars * sizeof(wchar_t))) return false;
  *text = chars.data();
  return true;
}

LRESULT Send(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG, 5000, &result);
  return static_cast<LRESULT>(result);
}

// ------------------------------------------------------------------ message boxes

struct BoxInfo {
  HWND hwnd = nullptr;
  std::wstring title;
  std::wstring text;
  std::wstring icon;  // error, warning, information, question, none, unknown
};

// Pixels of a screen area, top-down, 0x00RRGGBB.
std::vector<DWORD> Capture(HDC source, int x, int y, int w, int h) {
  std::vector<DWORD> pixels(static_cast<size_t>(w) * h, 0);
  HDC mem = CreateCompatibleDC(source);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(source, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, source, x, y, SRCCOPY);
  GdiFlush();
  const auto* px = static_cast<const DWORD*>(bits);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = px[i] & 0xFFFFFF;
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  return pixels;
}

// The stock icon as it would look drawn at the top left of a w x h area filled
// with the given background.
std::vector<DWORD> Render(LPCWSTR stockIcon, int w, int h, DWORD background) {
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(mem, bmp);
  HBRUSH brush =
      CreateSolidBrush(RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF));
  RECT rc = {0, 0, w, h};
  FillRect(mem, &rc, brush);
  DeleteObject(brush);
  DrawIconEx(mem, 0, 0, LoadIconW(nullptr, stockIcon), 0, 0, 0, nullptr, DI_NORMAL);
  std::vector<DWORD> pixels = Capture(mem, 0, 0, w, h);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return pixels;
}

long long Distance(const std::vector<DWORD>& a, const std::vector<DWORD>& b) {
  long long d = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    for (int shift = 0; shift < 24; shift += 8)
      d += std::abs(static_cast<int>((a[i] >> shift) & 0xFF) -
                    static_cast<int>((b[i] >> shift) & 0xFF));
  return d;
}

// Which stock icon the box shows.  The icon's handle means nothing in this
// process, so the icon control's pixels on the screen are compared with each
// stock icon drawn here: both processes load them from the same system
// resources, so the right one matches almost exactly.
std::wstring IconKind(HWND box) {
  HWND icon = nullptr;
  EnumChildWindows(
      box,
      [](HWND h, LPARAM lp) -> BOOL {
        if (ClassOf(h) == L"Static" && (GetWindowLongW(h, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
            IsWindowVisible(h)) {
          *reinterpret_cast<HWND*>(lp) = h;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&icon));
  if (!icon) return L"none";
  RECT rc;
  GetWindowRect(icon, &rc);
  const int w = std::min<int>(rc.right - rc.left, GetSystemMetrics(SM_CXICON));
  const int h = std::min<int>(rc.bottom - rc.top, GetSystemMetrics(SM_CYICON));
  if (w <= 0 || h <= 0) return L"none";
  HDC screen = GetDC(nullptr);
  const std::vector<DWORD> shown = Capture(screen, rc.left, rc.top, w, h);
  ReleaseDC(nullptr, screen);

  const struct {
    const wchar_t* kind;
    LPCWSTR id;
  } stock[] = {{L"error", IDI_HAND},
               {L"warning", IDI_EXCLAMATION},
               {L"information", IDI_ASTERISK},
               {L"question", IDI_QUESTION}};
  int best = -1;
  long long bestDistance = -1, runnerUp = -1;
  for (int i = 0; i < 4; ++i) {
    const long long d = Distance(shown, Render(stock[i].id, w, h, shown.front()));
    if (best < 0 || d < bestDistance) {
      runnerUp = bestDistance;
      bestDistance = d;
      best = i;
    } else if (runnerUp < 0 || d < runnerUp) {
      runnerUp = d;
    }
  }
  // A close match, and plainly closer than any other icon; anything else (an icon
  // not painted yet, a window on top of the box) is reported as unknown.
  const long long perPixelLimit = 12;  // summed over three channels
  if (bestDistance <= perPixelLimit * w * h && bestDistance * 3 < runnerUp) return stock[best].kind;
  return L"unknown";
}

BoxInfo ReadBox(HWND box) {
  BoxInfo info;
  info.hwnd = box;
  info.title = TextOf(box);
  HWND text = GetDlgItem(box, kBoxTextId);
  info.text = text ? TextOf(text) : L"";
  // The box may be on screen before its icon is painted; look a few times.
  for (int i = 0; i < 20; ++i) {
    info.icon = IconKind(box);
    if (info.icon != L"unknown") break;
    Sleep(100);
  }
  return info;
}

BoxInfo WaitBox(DWORD timeoutMs) {
  HWND box = WaitFor(timeoutMs, [] {
    auto all = Boxes();
    return all.empty() ? HWND{} : all.front();
  });
  if (!box) return {};
  Sleep(150);  // let it finish painting before the icon is looked at
  return ReadBox(box);
}

int AnswerId(const std::wstring& name) {
  const struct {
    const wchar_t* name;
    int id;
  } answers[] = {{L"IDOK", IDOK},        {L"IDCANCEL", IDCANCEL}, {L"IDYES", IDYES},
                 {L"IDNO", IDNO},        {L"IDABORT", IDABORT},   {L"IDRETRY", IDRETRY},
                 {L"IDIGNORE", IDIGNORE}};
  for (const auto& a : answers)
    if (name == a.name) return a.id;
  return 0;
}

bool Answer(HWND box, int id) {
  HWND button = GetDlgItem(box, id);
  if (!button) return false;
  PostMessageW(button, BM_CLICK, 0, 0);
  // Gone once the program has handled the click.
  return WaitFor(5000, [box] { return !IsWindow(box) || !IsWindowVisible(box); });
}

// ------------------------------------------------------------------ keyboard menus

int VirtualKey(const std::wstring& name) {
  const struct {
    const wchar_t* name;
    int vk;
  } keys[] = {{L"left", VK_LEFT},    {L"right", VK_RIGHT}, {L"up", VK_UP},     {L"down", VK_DOWN},
              {L"enter", VK_RETURN}, {L"esc", VK_ESCAPE},  {L"home", VK_HOME}, {L"end", VK_END}};
  for (const auto& k : keys)
    if (name == k.name) return k.vk;
  return 0;
}

// ------------------------------------------------------------------ commands

using Args = std::vector<std::wstring>;

DWORD Ms(const std::wstring& s) { return static_cast<DWORD>(std::wcstoul(s.c_str(), nullptr, 10)); }
int Int(const std::wstring& s) { return static_cast<int>(std::wcstol(s.c_str(), nullptr, 0)); }

// Controls are named by the list in ControlIds.h, so that a scenario reads "click
// btnSCANRESTRICT" and follows the header when an id changes.  Rows are named by
// their base: "FixButton+4" is the FIX button of file type row 4, "AdvancedButton+3"
// the fourth Advanced row.  A plain number is taken as it is.
constexpr int kNoId = -0x7FFF;

int ControlId(const std::wstring& name) {
  namespace ids = korvane::ids;
  const struct {
    const wchar_t* name;
    int id;
  } named[] = {
#define KORVANE_ID(n, value) {L## #n, ids::n},
      KORVANE_CONTROL_IDS(KORVANE_ID)
#undef KORVANE_ID
  };
  const struct {
    const wchar_t* prefix;
    int base;
  } rows[] = {{L"FixButton+", ids::FixButtonBase}, {L"AdvancedButton+", ids::AdvancedButtonBase}};
  for (const auto& n : named)
    if (name == n.name) return n.id;
  for (const auto& r : rows)
    if (name.rfind(r.prefix, 0) == 0) return r.base + Int(name.substr(wcslen(r.prefix)));
  // A misspelt name must not turn into id 0, which many windows share.
  if (name.empty() || name.find_first_not_of(L"0123456789") != std::wstring::npos) return kNoId;
  return Int(name);
}

HWND NeedControl(const std::wstring& idText) {
  const int id = ControlId(idText);
  if (id == kNoId) {
    Fail(L"unknown control " + idText);
    return nullptr;
  }
  // Pages are built in WM_CREATE but the window may still be coming up.
  return WaitFor(5000, [id] { return FindControl(id); });
}

int CmdWaitMain(const Args& a) {
  HWND w = WaitFor(Ms(a[0]), [] {
    auto v = MainWindows(true);
    return v.empty() ? HWND{} : v.front();
  });
  if (!w) return Fail(L"no visible main window within " + a[0] + L" ms");
  Out(std::to_wstring(PidOf(w)));
  return 0;
}

int CmdCountMain(const Args&) {
  Out(std::to_wstring(MainWindows(true).size()));
  return 0;
}

int CmdWaitExit(const Args& a) {
  if (!WaitFor(Ms(a[0]), [] { return ProgramProcesses().empty(); }))
    return Fail(L"Korvane.exe still running after " + a[0] + L" ms");
  return 0;
}

int CmdCaption(const Args&) {
  HWND m = MainWindow();
  if (!m) return Fail(L"no main window");
  Out(TextOf(m));
  return 0;
}

int CmdTabs(const Args&) {
  HWND tab = NeedControl(L"PageControl1");
  if (!tab) return Fail(L"no tab control");
  const int n = static_cast<int>(Send(tab, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    std::wstring t;
    if (!TabText(tab, i, &t)) return Fail(L"cannot read tab " + std::to_wstring(i));
    Out(t);
  }
  return 0;
}

int CmdTab(const Args& a) {
  HWND tab = NeedControl(L"PageControl1");
  if (!tab) return Fail(L"no tab control");
  const int index = Int(a[0]);
  // TCM_SETCURFOCUS notifies TCN_SELCHANGE, as a click on the tab would.
  Send(tab, TCM_SETCURFOCUS, index, 0);
  if (Send(tab, TCM_GETCURSEL, 0, 0) != index) return Fail(L"tab " + a[0] + L" not selected");
  return 0;
}

// The page panels by tab index.
const int kPageIds[] = {korvane::ids::TabSheet1, korvane::ids::tsFILEASSOC,
                        korvane::ids::tsRESTRICTFIX, korvane::ids::tsADVANCEDFIX};

// Chooses a page as a click on its tab would; once the program has answered, the
// page is shown.  Prints every visible window on it, in creation order, one a
// line: "PAGE<TAB>CLASS<TAB>ID<TAB>TEXT".  Reads nothing twice and waits for
// nothing, so it shows the page exactly as it first appeared.
int TourPage(HWND main, int index) {
  HWND tab = FindDescendant(main, korvane::ids::PageControl1);
  HWND page = FindDescendant(main, kPageIds[index]);
  if (!tab || !page) return Fail(L"no tab control or page " + std::to_wstring(index));
  DWORD_PTR ignored = 0;
  // Generous: under load, building a page can take a while.
  if (!SendMessageTimeoutW(tab, TCM_SETCURFOCUS, index, 0, SMTO_ABORTIFHUNG, 30000, &ignored))
    return Fail(L"the window did not answer the choice of tab " + std::to_wstring(index));
  if (!IsWindowVisible(page)) return Fail(L"page " + std::to_wstring(index) + L" is not shown");
  struct Ctx {
    int index;
    std::vector<std::wstring> lines;
  } ctx{index, {}};
  EnumChildWindows(
      page,
      [](HWND hwnd, LPARAM lp) -> BOOL {
        auto* c = reinterpret_cast<Ctx*>(lp);
        if (IsWindowVisible(hwnd))
          c->lines.push_back(std::to_wstring(c->index) + L"\t" + ClassOf(hwnd) + L"\t" +
                             std::to_wstring(GetDlgCtrlID(hwnd)) + L"\t" + Quoted(TextOf(hwnd)));
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&ctx));
  for (const auto& line : ctx.lines) Out(line);
  return 0;
}

// The pages in the order a curious user would try them: the three not shown at
// start first, then Home again.
const int kTourOrder[] = {1, 2, 3, 0};

// launch-and-tour TIMEOUT-MS: starts Korvane.exe (beside this program) itself, so
// that nothing stands between the window becoming visible and the first choice
// of a tab; then chooses every page at once and prints what each shows.
int CmdLaunchAndTour(const Args& a) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring exe = self;
  exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + kProgramExe;
  std::wstring cmd = L"\"" + exe + L"\"";
  // The program outlives this command, so it must not keep this command's output
  // open: Wine hands a child the standard handles' Unix files, and the scenario
  // reading the output would wait for the program to end.
  HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = si.hStdOutput = si.hStdError = nul;
  PROCESS_INFORMATION pi{};
  const BOOL started = CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &si, &pi);
  const DWORD error = GetLastError();
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  if (!started) return Fail(L"cannot start " + exe + L" (error " + std::to_wstring(error) + L")");
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  struct Ctx {
    DWORD pid;
    HWND found;
  } ctx{pi.dwProcessId, nullptr};
  const ULONGLONG end = GetTickCount64() + Ms(a[0]);
  while (!ctx.found && GetTickCount64() < end) {
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
          auto* c = reinterpret_cast<Ctx*>(lp);
          if (PidOf(hwnd) != c->pid || ClassOf(hwnd) != kMainClass || !IsWindowVisible(hwnd))
            return TRUE;
          c->found = hwnd;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&ctx));
    if (!ctx.found) Sleep(1);
  }
  if (!ctx.found) return Fail(L"no visible main window within " + a[0] + L" ms");
  for (int index : kTourOrder)
    if (const int rc = TourPage(ctx.found, index)) return rc;
  return 0;
}

// tour: the same for the running program, page after page.
int CmdTour(const Args&) {
  HWND m = MainWindow();
  if (!m) return Fail(L"no main window");
  for (int index : kTourOrder)
    if (const int rc = TourPage(m, index)) return rc;
  return 0;
}

int CmdId(const Args& a) {
  const int id = ControlId(a[0]);
  if (id == kNoId) return Fail(L"unknown control " + a[0]);
  Out(std::to_wstring(id));
  return 0;
}

int CmdText(const Args& a) {
  HWND c = NeedControl(a[0]);
  if (!c) return Fail(L"no control " + a[0]);
  Out(TextOf(c));
  return 0;
}

int CmdVisible(const Args& a) {
  HWND c = NeedControl(a[0]);
  if (!c) return Fail(L"no control " + a[0]);
  if (!IsWindowVisible(c)) return Fail(L"control " + a[0] + L" is not visible");
  return 0;
}

int CmdClick(const Args& a) {
  HWND c = NeedControl(a[0]);
  if (!c) return Fail(L"no control " + a[0]);
  if (!IsWindowEnabled(c)) return Fail(L"control " + a[0] + L" is disabled");
  PostMessageW(c, BM_CLICK, 0, 0);
  return 0;
}

int CmdChecked(const Args& a) {
  HWND c = NeedControl(a[0]);
  if (!c) return Fail(L"no control " + a[0]);
  Out(Send(c, BM_GETCHECK, 0, 0) == BST_CHECKED ? L"checked" : L"unchecked");
  return 0;
}

int CmdBoxWait(const Args& a) {
  BoxInfo box = WaitBox(Ms(a[0]));
  if (!box.hwnd) return Fail(L"no message box within " + a[0] + L" ms");
  Out(L"title: " + Quoted(box.title));
  Out(L"text: " + Quoted(box.text));
  Out(L"icon: " + box.icon);
  return 0;
}

// box-expect TIMEOUT TITLE TEXT ICON [ANSWER]: the box must show exactly this; it
// is answered (IDOK by default) whether it matched or not, so that a wrong box
// does not leave the program stuck for the next step.  ANSWER "open" leaves a
// matching box open, for a look at the window behind it; a wrong box is answered.
int CmdBoxExpect(const Args& a) {
  BoxInfo box = WaitBox(Ms(a[0]));
  if (!box.hwnd)
    return Fail(L"no message box within " + a[0] + L" ms (expected " + Quoted(a[2]) + L")");
  const std::wstring answerName = a.size() > 4 ? a[4] : L"IDOK";
  std::wstring wrong;
  if (box.title != a[1]) wrong += L" title " + Quoted(box.title) + L" != " + Quoted(a[1]) + L";";
  if (box.text != a[2]) wrong += L" text " + Quoted(box.text) + L" != " + Quoted(a[2]) + L";";
  if (a[3] != L"any" && box.icon != a[3]) wrong += L" icon " + box.icon + L" != " + a[3] + L";";
  const bool leaveOpen = answerName == L"open" && wrong.empty();
  const int answer = answerName == L"open" ? IDOK : AnswerId(answerName);
  if (!leaveOpen && !Answer(box.hwnd, answer)) wrong += L" could not answer " + answerName + L";";
  if (!wrong.empty()) return Fail(L"message box:" + wrong);
  return 0;
}

int CmdBoxAnswer(const Args& a) {
  const int id = AnswerId(a[0]);
  if (!id) return Fail(L"unknown answer " + a[0]);
  auto boxes = Boxes();
  if (boxes.empty()) return Fail(L"no message box to answer");
  if (!Answer(boxes.front(), id))
    return Fail(L"the box has no " + a[0] + L" button or did not close");
  return 0;
}

// no-box MS: watches for MS milliseconds; any box that shows is reported and
// dismissed, and fails the check.
int CmdNoBox(const Args& a) {
  const ULONGLONG end = GetTickCount64() + Ms(a[0]);
  while (GetTickCount64() < end) {
    auto boxes = Boxes();
    if (!boxes.empty()) {
      BoxInfo box = ReadBox(boxes.front());
      Answer(box.hwnd, IDOK);
      return Fail(L"unexpected message box " + Quoted(box.title) + L": " + Quoted(box.text));
    }
    Sleep(50);
  }
  return 0;
}

int CmdInputAnswer(const Args& a) {
  HWND dlg = WaitFor(Ms(a[0]), [] {
    auto v =
        ProgramWindows([](HWND h) { return ClassOf(h) == kInputBoxClass && IsWindowVisible(h); });
    return v.empty() ? HWND{} : v.front();
  });
  if (!dlg) return Fail(L"no input box within " + a[0] + L" ms");
  Out(L"caption: " + Quoted(TextOf(dlg)));
  HWND edit = FindWindowExW(dlg, nullptr, L"Edit", nullptr);
  if (!edit) return Fail(L"the input box has no edit field");
  // WM_SETTEXT's string is carried across processes by Wine.
  SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(a[1].c_str()), SMTO_ABORTIFHUNG,
                      5000, nullptr);
  PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  if (!WaitFor(5000, [dlg] { return !IsWindow(dlg) || !IsWindowVisible(dlg); }))
    return Fail(L"the input box did not close");
  return 0;
}

// The keys named in `names`, or the first name that is no key.
std::optional<std::vector<int>> Keys(const Args& names, size_t first, std::wstring* unknown) {
  std::vector<int> keys;
  for (size_t i = first; i < names.size(); ++i) {
    const int vk = VirtualKey(names[i]);
    if (!vk) {
      *unknown = names[i];
      return std::nullopt;
    }
    keys.push_back(vk);
  }
  return keys;
}

// Posts each key's press and release to `target`, a little apart, as typing would.
void Type(HWND target, const std::vector<int>& keys) {
  for (int vk : keys) {
    PostMessageW(target, WM_KEYDOWN, vk, 1);
    PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
    Sleep(150);
  }
}

// menu KEY...: opens the menu bar from the keyboard and presses the keys, e.g.
// "right right down up enter" for the last entry of the third menu.
int CmdMenu(const Args& a) {
  HWND m = MainWindow();
  if (!m) return Fail(L"no main window");
  std::wstring unknown;
  const auto keys = Keys(a, 0, &unknown);
  if (!keys) return Fail(L"unknown key " + unknown);
  PostMessageW(m, WM_SYSCOMMAND, SC_KEYMENU, 0);
  Sleep(300);
  Type(m, *keys);
  return 0;
}

// key CONTROL KEY...: posts the keys to a control, the way typing on it would
// reach the dialog loop of its window (Enter, Esc).
int CmdKey(const Args& a) {
  HWND control = NeedControl(a[0]);
  if (!control) return Fail(L"no control " + a[0]);
  std::wstring unknown;
  const auto keys = Keys(a, 1, &unknown);
  if (!keys) return Fail(L"unknown key " + unknown);
  Type(control, *keys);
  return 0;
}

int CmdLvCount(const Args& a) {
  HWND lv = NeedControl(a[0]);
  if (!lv) return Fail(L"no list view " + a[0]);
  Out(std::to_wstring(Send(lv, LVM_GETITEMCOUNT, 0, 0)));
  return 0;
}

// lv-rows ID: one line per row:
// "checked|unchecked<TAB>column 0<TAB>column 1<TAB>image N" (N the small image's index).
int CmdLvRows(const Args& a) {
  HWND lv = NeedControl(a[0]);
  if (!lv) return Fail(L"no list view " + a[0]);
  const int n = static_cast<int>(Send(lv, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < n; ++row) {
    const LRESULT state = Send(lv, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK);
    // State image 1 is the empty box, 2 the ticked one.
    const std::wstring mark =
        ((state & LVIS_STATEIMAGEMASK) >> 12) == 2 ? L"checked" : L"unchecked";
    std::wstring c0, c1;
    int image = -1;
    if (!ListViewText(lv, row, 0, &c0) || !ListViewText(lv, row, 1, &c1) ||
        !ListViewImage(lv, row, &image))
      return Fail(L"cannot read row " + std::to_wstring(row));
    Out(mark + L"\t" + c0 + L"\t" + c1 + L"\timage " + std::to_wstring(image));
  }
  return 0;
}

// lv-widths ID: the widths of the list view's columns, in pixels, on one line.
int CmdLvWidths(const Args& a) {
  HWND lv = NeedControl(a[0]);
  if (!lv) return Fail(L"no list view " + a[0]);
  HWND header = reinterpret_cast<HWND>(Send(lv, LVM_GETHEADER, 0, 0));
  const int n = header ? static_cast<int>(Send(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
  std::wstring line;
  for (int i = 0; i < n; ++i)
    line += (i ? L" " : L"") + std::to_wstring(Send(lv, LVM_GETCOLUMNWIDTH, i, 0));
  Out(line);
  return 0;
}

// divider ID COLUMN drag DX | divider ID COLUMN double-click: works the divider at the
// right edge of a column with the mouse, as posted button and move messages to the
// list view's header.
int CmdDivider(const Args& a) {
  HWND lv = NeedControl(a[0]);
  if (!lv) return Fail(L"no list view " + a[0]);
  HWND header = reinterpret_cast<HWND>(Send(lv, LVM_GETHEADER, 0, 0));
  if (!header) return Fail(L"the list view has no header");
  const int column = Int(a[1]);
  int x = 0;
  for (int i = 0; i <= column; ++i) x += static_cast<int>(Send(lv, LVM_GETCOLUMNWIDTH, i, 0));
  RECT rc;
  GetClientRect(header, &rc);
  const int y = (rc.bottom - rc.top) / 2;
  if (a[2] == L"drag" && a.size() > 3) {
    const int dx = Int(a[3]);
    PostMessageW(header, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    PostMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    for (int step = 1; step <= 4; ++step)
      PostMessageW(header, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x + dx * step / 4, y));
    PostMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(x + dx, y));
  } else if (a[2] == L"double-click") {
    PostMessageW(header, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    PostMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    PostMessageW(header, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  } else {
    return Fail(L"divider: say drag DX or double-click");
  }
  // Handled once the window answers a message sent after them.
  Send(header, WM_NULL, 0, 0);
  Sleep(200);
  return 0;
}

// controls: every window inside the main window, one a line:
// "class<TAB>id<TAB>WIDTHxHEIGHT<TAB>window text" (size in 96-dpi pixels).  Hidden pages
// are included; what assistive technology reads of a control is its window text.
int CmdControls(const Args&) {
  HWND m = MainWindow();
  if (!m) return Fail(L"no main window");
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  struct Ctx {
    int dpi;
  } ctx{dpi};
  EnumChildWindows(
      m,
      [](HWND h, LPARAM lp) -> BOOL {
        const int dpi = reinterpret_cast<Ctx*>(lp)->dpi;
        RECT rc;
        GetWindowRect(h, &rc);
        Out(ClassOf(h) + L"\t" + std::to_wstring(GetDlgCtrlID(h)) + L"\t" +
            std::to_wstring(MulDiv(rc.right - rc.left, 96, dpi)) + L"x" +
            std::to_wstring(MulDiv(rc.bottom - rc.top, 96, dpi)) + L"\t" + TextOf(h));
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&ctx));
  return 0;
}

// scroll-to BOX CONTROL MARGIN: scrolls the scroll box from the top, a line at a
// time, until the control sits no more than MARGIN pixels below the box's top
// edge or the box cannot scroll further.  Line steps are used because the box
// takes a thumb position from the scroll bar's tracking state, which only a real
// drag sets.
int CmdScrollTo(const Args& a) {
  HWND box = NeedControl(a[0]);
  HWND control = NeedControl(a[1]);
  if (!box || !control) return Fail(L"no scroll box " + a[0] + L" or control " + a[1]);
  const int margin = Int(a[2]);
  Send(box, WM_VSCROLL, MAKEWPARAM(SB_TOP, 0), 0);
  RECT boxRc;
  GetWindowRect(box, &boxRc);
  for (int i = 0; i < 500; ++i) {
    RECT rc;
    GetWindowRect(control, &rc);
    if (rc.top - boxRc.top <= margin) break;
    Send(box, WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);
    RECT after;
    GetWindowRect(control, &after);
    if (after.top == rc.top) break;  // at the bottom
  }
  RECT rc;
  GetWindowRect(control, &rc);
  if (rc.top < boxRc.top || rc.bottom > boxRc.bottom)
    return Fail(L"control " + a[1] + L" is not inside the visible part of box " + a[0]);
  return 0;
}

// geometry: the bounding box of the program's visible windows, as an
// ImageMagick crop geometry.
int CmdGeometry(const Args&) {
  auto wins = ProgramWindows([](HWND h) { return IsWindowVisible(h) != 0; });
  if (wins.empty()) return Fail(L"no visible window");
  RECT u = {0, 0, 0, 0};
  bool first = true;
  for (HWND h : wins) {
    RECT rc;
    GetWindowRect(h, &rc);
    if (first)
      u = rc;
    else
      UnionRect(&u, &u, &rc);
    first = false;
  }
  RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  IntersectRect(&u, &u, &screen);
  Out(std::to_wstring(u.right - u.left) + L"x" + std::to_wstring(u.bottom - u.top) + L"+" +
      std::to_wstring(u.left) + L"+" + std::to_wstring(u.top));
  return 0;
}

// window CLASS: the caption of the program's visible window of that class, or
// a failure when there is none after the timeout.
int CmdWindow(const Args& a) {
  const std::wstring cls = a[0];
  HWND w = WaitFor(Ms(a[1]), [&] {
    auto v = ProgramWindows([&](HWND h) { return ClassOf(h) == cls && IsWindowVisible(h); });
    return v.empty() ? HWND{} : v.front();
  });
  if (!w) return Fail(L"no visible " + cls + L" window within " + a[1] + L" ms");
  Out(TextOf(w));
  return 0;
}

int CmdWindowGone(const Args& a) {
  const std::wstring cls = a[0];
  if (!WaitFor(Ms(a[1]), [&] {
        return ProgramWindows([&](HWND h) { return ClassOf(h) == cls && IsWindowVisible(h); })
            .empty();
      }))
    return Fail(L"a " + cls + L" window is still visible after " + a[1] + L" ms");
  return 0;
}

int CmdResponsive(const Args& a) {
  HWND m = MainWindow();
  if (!m) return Fail(L"no main window");
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(m, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, Ms(a[0]), &r))
    return Fail(L"the main window did not answer within " + a[0] + L" ms");
  if (!IsWindowEnabled(m)) return Fail(L"the main window is disabled (a modal window is open)");
  return 0;
}

// main-enabled: "enabled", or "disabled" while a modal window of the program is open.
int CmdMainEnabled(const Args&) {
  HWND m = MainWindow();
  if (!m) return Fail(L"no main window");
  Out(IsWindowEnabled(m) ? L"enabled" : L"disabled");
  return 0;
}

int CmdClose(const Args&) {
  HWND m = MainWindow();
  if (!m) return Fail(L"no main window");
  PostMessageW(m, WM_CLOSE, 0, 0);
  return 0;
}

int CmdKill(const Args&) {
  for (DWORD pid : ProgramProcesses()) {
    HANDLE p = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
    if (p) {
      TerminateProcess(p, 1);
      CloseHandle(p);
    }
  }
  return WaitFor(5000, [] { return ProgramProcesses().empty(); }) ? 0
                                                                  : Fail(L"Korvane.exe survived");
}

struct Command {
  const wchar_t* name;
  size_t minArgs;
  const wchar_t* usage;
  int (*run)(const Args&);
};

const Command kCommands[] = {
    {L"wait-main", 1, L"TIMEOUT-MS              wait for the visible main window, print its pid",
     CmdWaitMain},
    {L"count-main", 0, L"                        number of visible main windows", CmdCountMain},
    {L"wait-exit", 1, L"TIMEOUT-MS              wait until no Korvane.exe runs", CmdWaitExit},
    {L"caption", 0, L"                        main window caption", CmdCaption},
    {L"tabs", 0, L"                        tab captions, one a line", CmdTabs},
    {L"tab", 1, L"INDEX                   switch to a page", CmdTab},
    {L"launch-and-tour", 1,
     L"TIMEOUT-MS              start Korvane.exe, choose every page at once, print them",
     CmdLaunchAndTour},
    {L"tour", 0, L"                        choose every page, print the windows on each", CmdTour},
    {L"id", 1, L"CONTROL                 the control's id, as a number", CmdId},
    {L"text", 1, L"CONTROL                 text of a control (name from ControlIds.h or number)",
     CmdText},
    {L"visible", 1, L"CONTROL                 fails unless the control is visible", CmdVisible},
    {L"click", 1, L"CONTROL                 press a button (BM_CLICK)", CmdClick},
    {L"checked", 1, L"CONTROL                 check box state", CmdChecked},
    {L"box-wait", 1, L"TIMEOUT-MS              print the message box's title, text, icon",
     CmdBoxWait},
    {L"box-expect", 4, L"TIMEOUT-MS TITLE TEXT ICON [ANSWER]  check and answer a message box",
     CmdBoxExpect},
    {L"box-answer", 1, L"IDOK|IDYES|IDNO|...     press a message box button", CmdBoxAnswer},
    {L"no-box", 1, L"MS                      fail if a message box shows within MS", CmdNoBox},
    {L"input-answer", 2, L"TIMEOUT-MS TEXT         fill in and accept the input box",
     CmdInputAnswer},
    {L"menu", 1, L"KEY...                  walk the menu bar: left right up down enter esc",
     CmdMenu},
    {L"key", 2, L"CONTROL KEY...          post keys to a control: enter esc ...", CmdKey},
    {L"lv-count", 1, L"CONTROL                 list view row count", CmdLvCount},
    {L"lv-rows", 1, L"CONTROL                 list view rows: state, columns, image", CmdLvRows},
    {L"lv-widths", 1, L"CONTROL                 list view column widths", CmdLvWidths},
    {L"divider", 3, L"CONTROL COLUMN drag DX|double-click  work a column divider", CmdDivider},
    {L"controls", 0, L"                        class, id, size and text of every control",
     CmdControls},
    {L"scroll-to", 3, L"BOX CONTROL MARGIN      scroll a control near the box's top", CmdScrollTo},
    {L"geometry", 0, L"                        crop geometry of the program's windows",
     CmdGeometry},
    {L"window", 2, L"CLASS TIMEOUT-MS        caption of the program's visible window of a class",
     CmdWindow},
    {L"window-gone", 2, L"CLASS TIMEOUT-MS        wait until no such window is visible",
     CmdWindowGone},
    {L"responsive", 1, L"TIMEOUT-MS              the main window answers and is enabled",
     CmdResponsive},
    {L"main-enabled", 0, L"                        whether the main window takes input",
     CmdMainEnabled},
    {L"close", 0, L"                        post WM_CLOSE to the main window", CmdClose},
    {L"kill", 0, L"                        terminate every Korvane.exe", CmdKill},
};

int Usage() {
  std::wstring u = L"usage: korvane_driver COMMAND [ARGS]\n";
  for (const auto& c : kCommands) u += L"  " + std::wstring(c.name) + L" " + c.usage + L"\n";
  std::string s = Utf8(u);
  fwrite(s.data(), 1, s.size(), stderr);
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Binary mode: the scenarios compare lines, a CR before each LF would spoil that.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  if (argc < 2) return Usage();
  const std::wstring name = argv[1];
  Args args(argv + 2, argv + argc);
  for (const auto& c : kCommands) {
    if (name != c.name) continue;
    if (args.size() < c.minArgs) return Usage();
    return c.run(args);
  }
  return Usage();
}
