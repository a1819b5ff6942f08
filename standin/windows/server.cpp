// standin-player.exe: the stand-in player as a COM local server.
//   standin-player /RegServer     registers the player class and its type library
//   standin-player /UnregServer   removes both
//   standin-player -Embedding     started by COM: serves the library in C:\Player until the
//                                 last object is released, then writes it back and exits
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <string>

#include "interface_ids.h"
#include "player_objects.h"

namespace {

const GUID kTypeLibrary = {
    0xB6A6146B, 0x1178, 0x4C5A, {0x82, 0xF7, 0xAB, 0xA6, 0xE7, 0x95, 0xD4, 0x4F}};
// COM's marshaller for interfaces described by a type library.
const wchar_t kTypeLibraryMarshaller[] = L"{00020424-0000-0000-C000-000000000046}";
const IID* const kInterfaces[] = {&IID_IiTunes, &IID_IITTrack, &IID_IITArtworkCollection,
                                  &IID_IITArtwork};

DWORD mainThread = 0;
bool anyObjectMade = false;

std::wstring ExecutablePath() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, length);
}

std::wstring TypeLibraryPath() {
  std::wstring path = ExecutablePath();
  return path.substr(0, path.rfind(L'.')) + L".tlb";
}

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

bool SetKey(const std::wstring& key, const std::wstring& value) {
  HKEY handle;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                      nullptr) != ERROR_SUCCESS)
    return false;
  const LONG result =
      RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
  return result == ERROR_SUCCESS;
}

int Register() {
  const std::wstring typeLibraryPath = TypeLibraryPath();
  ITypeLib* typeLibrary = nullptr;
  HRESULT result = LoadTypeLibEx(typeLibraryPath.c_str(), REGKIND_NONE, &typeLibrary);
  if (SUCCEEDED(result)) {
    std::wstring folder = typeLibraryPath.substr(0, typeLibraryPath.rfind(L'\\'));
    result = RegisterTypeLib(typeLibrary, const_cast<wchar_t*>(typeLibraryPath.c_str()),
                             const_cast<wchar_t*>(folder.c_str()));
    typeLibrary->Release();
  }
  if (FAILED(result)) {
    std::fprintf(stderr, "standin-player: cannot register %ls: 0x%08lx\n",
                 typeLibraryPath.c_str(), static_cast<unsigned long>(result));
    return 1;
  }
  // The type library marks every interface for its marshaller; make sure of it, since without
  // these keys no call can cross to the player's process.
  bool registered = true;
  for (const IID* iid : kInterfaces)
    registered &= SetKey(L"Interface\\" + GuidText(*iid) + L"\\ProxyStubClsid32",
                         kTypeLibraryMarshaller);
  const std::wstring classKey = L"CLSID\\" + GuidText(CLSID_iTunesApp);
  registered &= SetKey(classKey, L"Stand-in player");
  registered &= SetKey(classKey + L"\\LocalServer32", L"\"" + ExecutablePath() + L"\"");
  registered &= SetKey(classKey + L"\\TypeLib", GuidText(kTypeLibrary));
  if (!registered) {
    std::fprintf(stderr, "standin-player: cannot write the registry\n");
    return 1;
  }
  return 0;
}

int Unregister() {
  UnRegisterTypeLib(kTypeLibrary, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"TypeLib\\" + GuidText(kTypeLibrary)).c_str());
  for (const IID* iid : kInterfaces)
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"Interface\\" + GuidText(*iid)).c_str());
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(CLSID_iTunesApp)).c_str());
  return 0;
}

void Quit() { PostThreadMessageW(mainThread, WM_QUIT, 0, 0); }

// Makes application objects for COM; the server runs while any player object lives.
class Factory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives as long as the server
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    const HRESULT result = StartPlayer(iid, object);
    anyObjectMade = anyObjectMade || SUCCEEDED(result);
    if (FAILED(result) && LiveObjectCount() == 0) Quit();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

int Serve() {
  mainThread = GetCurrentThreadId();
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread needs its queue for Quit
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  OnLastObjectReleased(Quit);
  static Factory factory;
  DWORD cookie = 0;
  if (FAILED(CoRegisterClassObject(CLSID_iTunesApp, &factory, CLSCTX_LOCAL_SERVER,
                                   REGCLS_MULTIPLEUSE, &cookie))) {
    CoUninitialize();
    return 1;
  }
  // COM starts the server for a client; one that never asks for an object must not keep it.
  const UINT_PTR idleTimer = SetTimer(nullptr, 0, 30000, nullptr);
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.wParam == idleTimer) {
      KillTimer(nullptr, idleTimer);
      if (!anyObjectMade) break;
      continue;
    }
    DispatchMessageW(&message);
  }
  CoRevokeClassObject(cookie);
  CoUninitialize();
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const wchar_t* command = argc == 2 ? argv[1] : L"";
  if (*command == L'/' || *command == L'-') ++command;
  if (_wcsicmp(command, L"Embedding") == 0) return Serve();
  if (_wcsicmp(command, L"RegServer") != 0 && _wcsicmp(command, L"UnregServer") != 0) {
    std::fprintf(stderr, "usage: standin-player /RegServer | /UnregServer | -Embedding\n");
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int status = _wcsicmp(command, L"RegServer") == 0 ? Register() : Unregister();
  CoUninitialize();
  return status;
}
