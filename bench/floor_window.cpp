// The floor for start-up time: only what Korvane's start-up cannot do without.
// COM in a single-threaded apartment, one synchronous Win32_BaseBoard query
// through SWbemLocator (both properties read), Common Controls 6 by manifest (the
// program's own manifest, see floor_window.rc) and a window of Korvane's size with
// a four-tab control, shown once the query has answered.  Built with the same
// compiler and flags as Korvane.exe.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemdisp.h>

#include <cwchar>
#include <initializer_list>

namespace {

const CLSID kClsidSWbemLocator = {
    0x76A64158, 0xCB41, 0x11D1, {0x8B, 0x02, 0x00, 0x60, 0x08, 0x06, 0xD9, 0xB6}};
const IID kIidISWbemLocator = {
    0x76A6415B, 0xCB41, 0x11D1, {0x8B, 0x02, 0x00, 0x60, 0x08, 0x06, 0xD9, 0xB6}};

void ReadProperty(IDispatch* object, const wchar_t* name, wchar_t* out, int size) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  if (SUCCEEDED(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT,
                               DISPATCH_PROPERTYGET | DISPATCH_METHOD, &none, &value, nullptr,
                               nullptr)) &&
      SUCCEEDED(VariantChangeType(&value, &value, 0, VT_BSTR)) && value.bstrVal)
    lstrcpynW(out, value.bstrVal, size);
  VariantClear(&value);
}

// "maker, product" of the last board listed, as the Home page shows it.
void QueryBaseBoard(wchar_t* text, int size) {
  ISWbemLocator* locator = nullptr;
  if (FAILED(CoCreateInstance(kClsidSWbemLocator, nullptr,
                              CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, kIidISWbemLocator,
                              reinterpret_cast<void**>(&locator))))
    return;
  BSTR server = SysAllocString(L"."), ns = SysAllocString(L"root/cimv2"),
       empty = SysAllocString(L"");
  BSTR cls = SysAllocString(L"Win32_BaseBoard");
  ISWbemServices* services = nullptr;
  ISWbemObjectSet* set = nullptr;
  IUnknown* unknown = nullptr;
  IEnumVARIANT* items = nullptr;
  if (SUCCEEDED(
          locator->ConnectServer(server, ns, empty, empty, empty, empty, 0, nullptr, &services)) &&
      SUCCEEDED(services->InstancesOf(cls, 0, nullptr, &set)) &&
      SUCCEEDED(set->get__NewEnum(&unknown)) &&
      SUCCEEDED(unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items)))) {
    VARIANT item;
    VariantInit(&item);
    ULONG fetched = 0;
    while (items->Next(1, &item, &fetched) == S_OK) {
      if (item.vt == VT_DISPATCH && item.pdispVal) {
        wchar_t maker[128] = L"", product[128] = L"";
        ReadProperty(item.pdispVal, L"Manufacturer", maker, 128);
        ReadProperty(item.pdispVal, L"Product", product, 128);
        swprintf(text, static_cast<size_t>(size), L"%ls, %ls", maker, product);
      }
      VariantClear(&item);
    }
  }
  for (IUnknown* p : {static_cast<IUnknown*>(items), unknown, static_cast<IUnknown*>(set),
                      static_cast<IUnknown*>(services), static_cast<IUnknown*>(locator)})
    if (p) p->Release();
  for (BSTR b : {server, ns, empty, cls}) SysFreeString(b);
}

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES};
  InitCommonControlsEx(&icc);

  wchar_t board[300] = L"";
  QueryBaseBoard(board, 300);

  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"FloorWindow";
  RegisterClassW(&wc);
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  RECT rc = {0, 0, 641, 548};
  AdjustWindowRect(&rc, style, FALSE);
  HWND hwnd =
      CreateWindowW(L"FloorWindow", L"Floor", style, CW_USEDEFAULT, CW_USEDEFAULT,
                    rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr, instance, nullptr);
  HWND tabs = CreateWindowW(WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 89,
                            641, 459, hwnd, nullptr, instance, nullptr);
  const wchar_t* captions[] = {L"Home", L"File Associations Fixer", L"Restriction Fixer",
                               L"Advanced"};
  for (int i = 0; i < 4; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(captions[i]);
    TabCtrl_InsertItem(tabs, i, &item);
  }
  // The query's answer is used before the window shows, as the Home page's is.
  CreateWindowW(L"STATIC", board, WS_CHILD | WS_VISIBLE, 16, 40, 500, 18, tabs, nullptr, instance,
                nullptr);
  ShowWindow(hwnd, SW_SHOW);
  UpdateWindow(hwnd);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  CoUninitialize();
  return 0;
}
