// WMI through the WbemScripting automation library, as the Home page and the
// restore-point task use it.
#include "platform/win32/Win32Platform.h"

#include <oleauto.h>
#include <wbemdisp.h>

#include <utility>

namespace korvane {
namespace {

const CLSID kClsidSWbemLocator = {
    0x76A64158, 0xCB41, 0x11D1, {0x8B, 0x02, 0x00, 0x60, 0x08, 0x06, 0xD9, 0xB6}};
const IID kIidISWbemLocator = {
    0x76A6415B, 0xCB41, 0x11D1, {0x8B, 0x02, 0x00, 0x60, 0x08, 0x06, 0xD9, 0xB6}};

std::wstring SystemMessage(HRESULT hr) {
  wchar_t* buf = nullptr;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
  std::wstring text = n && buf ? std::wstring(buf, n) : std::wstring();
  if (buf) LocalFree(buf);
  return text;
}

// What Windows can tell about a failed call: the error object's description if
// the failing object set one, and the system's message for the code.
ComFailure Failure(HRESULT hr, const std::wstring& description = {}) {
  ComFailure f;
  f.hr = static_cast<std::int32_t>(hr);
  f.description = description;
  if (f.description.empty()) {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info) {
      BSTR d = nullptr;
      if (SUCCEEDED(info->GetDescription(&d)) && d) {
        f.description = d;
        SysFreeString(d);
      }
      info->Release();
    }
  }
  f.systemMessage = SystemMessage(hr);
  return f;
}

template <typename T>
struct Ref {
  T* p = nullptr;
  ~Ref() {
    if (p) p->Release();
  }
  T** out() { return &p; }
  T* operator->() const { return p; }
};

struct Bstr {
  BSTR b;
  explicit Bstr(const wchar_t* s) : b(SysAllocString(s)) {}
  ~Bstr() { SysFreeString(b); }
  operator BSTR() const { return b; }
};

// Late-bound call of a method or property by name.  Arguments in natural order.
HRESULT Invoke(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT>& args,
               VARIANT* result, std::wstring* description) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                       static_cast<UINT>(reversed.size()), 0};
  EXCEPINFO excep;
  ZeroMemory(&excep, sizeof excep);
  hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &excep, nullptr);
  if (hr == DISP_E_EXCEPTION) {
    if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
    if (excep.bstrDescription) *description = excep.bstrDescription;
    if (excep.scode)
      hr = excep.scode;
    else if (excep.wCode)
      hr = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_DISPATCH, excep.wCode);
  }
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  return hr;
}

VARIANT Text(const wchar_t* s) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(s);
  return v;
}

VARIANT Int(LONG n) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}

void Clear(std::vector<VARIANT>& args) {
  for (auto& v : args) VariantClear(&v);
  args.clear();
}

std::optional<std::wstring> ReadProperty(IDispatch* object, const wchar_t* name) {
  std::vector<VARIANT> none;
  VARIANT value;
  VariantInit(&value);
  std::wstring ignored;
  // Wine answers a pure property read with E_NOTIMPL; Windows accepts both flags.
  if (FAILED(Invoke(object, name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, none, &value, &ignored)))
    return std::nullopt;
  std::optional<std::wstring> text;
  if (value.vt != VT_NULL && value.vt != VT_EMPTY &&
      SUCCEEDED(VariantChangeType(&value, &value, 0, VT_BSTR)))
    text = std::wstring(value.bstrVal ? value.bstrVal : L"");
  VariantClear(&value);
  return text;
}

std::optional<ComFailure> QueryBaseBoards(std::vector<BaseBoard>* boards) {
  Ref<ISWbemLocator> locator;
  HRESULT hr =
      CoCreateInstance(kClsidSWbemLocator, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                       kIidISWbemLocator, reinterpret_cast<void**>(locator.out()));
  if (FAILED(hr)) return Failure(hr);
  Ref<ISWbemServices> services;
  Bstr server(L"."), ns(L"root/cimv2"), empty(L"");
  hr = locator->ConnectServer(server, ns, empty, empty, empty, empty, 0, nullptr, services.out());
  if (FAILED(hr)) return Failure(hr);
  Ref<ISWbemObjectSet> set;
  Bstr cls(L"Win32_BaseBoard");
  hr = services->InstancesOf(cls, 0, nullptr, set.out());
  if (FAILED(hr)) return Failure(hr);
  Ref<IUnknown> unknown;
  hr = set->get__NewEnum(unknown.out());
  if (FAILED(hr)) return Failure(hr);
  Ref<IEnumVARIANT> items;
  hr = unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(items.out()));
  if (FAILED(hr)) return Failure(hr);
  VARIANT item;
  VariantInit(&item);
  ULONG fetched = 0;
  while (items->Next(1, &item, &fetched) == S_OK) {
    if (item.vt == VT_DISPATCH && item.pdispVal) {
      BaseBoard board;
      board.manufacturer = ReadProperty(item.pdispVal, L"Manufacturer");
      board.product = ReadProperty(item.pdispVal, L"Product");
      boards->push_back(board);
    }
    VariantClear(&item);
  }
  return std::nullopt;
}

}  // namespace

void Win32Platform::prefetchBaseBoards() {
  if (prefetchThread_) return;
  prefetchThread_ = CreateThread(
      nullptr, 0,
      [](void* param) -> DWORD {
        auto* self = static_cast<Win32Platform*>(param);
        // The thread has no window and pumps no messages, so it joins the
        // multithreaded apartment.  Without COM the user-interface thread asks
        // itself, in its own apartment.
        if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 0;
        self->prefetchFailure_ = QueryBaseBoards(&self->prefetchedBoards_);
        self->prefetched_ = true;
        CoUninitialize();
        return 0;
      },
      this, 0, nullptr);
}

std::optional<ComFailure> Win32Platform::queryBaseBoards(std::vector<BaseBoard>* boards) {
  if (prefetchThread_) {
    WaitForSingleObject(prefetchThread_, INFINITE);
    CloseHandle(prefetchThread_);
    prefetchThread_ = nullptr;
    if (prefetched_) {
      prefetched_ = false;
      boards->insert(boards->end(), prefetchedBoards_.begin(), prefetchedBoards_.end());
      prefetchedBoards_.clear();
      return std::exchange(prefetchFailure_, std::nullopt);
    }
  }
  return QueryBaseBoards(boards);
}

std::optional<ComFailure> Win32Platform::createRestorePoint(const std::wstring& description) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(L"WbemScripting.SWbemLocator", &clsid);
  if (FAILED(hr)) return Failure(hr);
  Ref<IDispatch> locator;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                        reinterpret_cast<void**>(locator.out()));
  if (FAILED(hr)) return Failure(hr);

  std::wstring text;
  std::vector<VARIANT> args = {Text(L"localhost"), Text(L"root\\DEFAULT"), Text(L""), Text(L"")};
  VARIANT services;
  VariantInit(&services);
  hr = Invoke(locator.p, L"ConnectServer", DISPATCH_METHOD, args, &services, &text);
  Clear(args);
  if (FAILED(hr)) return Failure(hr, text);
  if (services.vt != VT_DISPATCH) {
    VariantClear(&services);
    return Failure(E_UNEXPECTED);
  }

  args = {Text(L"SystemRestore")};
  VARIANT restore;
  VariantInit(&restore);
  hr = Invoke(services.pdispVal, L"Get", DISPATCH_METHOD, args, &restore, &text);
  Clear(args);
  std::optional<ComFailure> failure;
  if (FAILED(hr)) {
    failure = Failure(hr, text);
  } else if (restore.vt != VT_DISPATCH) {
    failure = Failure(E_UNEXPECTED);
  } else {
    args = {Text(description.c_str()), Int(0), Int(100)};
    VARIANT result;
    VariantInit(&result);
    hr = Invoke(restore.pdispVal, L"CreateRestorePoint", DISPATCH_METHOD, args, &result, &text);
    Clear(args);
    VariantClear(&result);
    if (FAILED(hr)) failure = Failure(hr, text);
  }
  VariantClear(&restore);
  VariantClear(&services);
  return failure;
}

}  // namespace korvane
