// COM for one process: initialisation counting and object creation through the local server.
#include <objbase.h>

namespace {

thread_local int initCount = 0;

}  // namespace

HRESULT CoInitialize(LPVOID) { return initCount++ == 0 ? S_OK : static_cast<HRESULT>(1); }

void CoUninitialize() {
  if (initCount > 0) --initCount;
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                         LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (initCount == 0) return CO_E_NOTINITIALIZED;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (!(context & CLSCTX_LOCAL_SERVER)) return REGDB_E_CLASSNOTREG;
  return CreateLocalServerObject(clsid, iid, object);
}
