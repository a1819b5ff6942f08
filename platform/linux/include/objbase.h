// COM identities, IUnknown and the COM runtime calls the batch uses, for building it off Windows.
// Objects are created in process; the class behind a CLSID comes from CreateLocalServerObject.
#pragma once

#include <windows.h>

typedef struct _GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool operator==(REFGUID a, REFGUID b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
inline bool operator!=(REFGUID a, REFGUID b) { return !(a == b); }

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

#define S_OK static_cast<HRESULT>(0)
#define E_FAIL static_cast<HRESULT>(0x80004005)
#define E_NOINTERFACE static_cast<HRESULT>(0x80004002)
#define E_POINTER static_cast<HRESULT>(0x80004003)
#define E_INVALIDARG static_cast<HRESULT>(0x80070057)
#define E_OUTOFMEMORY static_cast<HRESULT>(0x8007000E)
#define CO_E_NOTINITIALIZED static_cast<HRESULT>(0x800401F0)
#define CO_E_SERVER_EXEC_FAILURE static_cast<HRESULT>(0x80080005)
#define REGDB_E_CLASSNOTREG static_cast<HRESULT>(0x80040154)
#define CLASS_E_NOAGGREGATION static_cast<HRESULT>(0x80040110)

#define CLSCTX_LOCAL_SERVER 0x4

constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};
typedef IUnknown* LPUNKNOWN;

// Starts COM on this thread; S_OK first time, S_FALSE (1) when it was started already.
HRESULT CoInitialize(LPVOID reserved);
// Creates the object of class `clsid` and hands back its `iid` interface with one reference.
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object);
// Ends one CoInitialize.
void CoUninitialize();

// Supplied by the local server installed on this machine: makes an object of class `clsid`,
// or fails with REGDB_E_CLASSNOTREG when no such class is installed.
HRESULT CreateLocalServerObject(REFCLSID clsid, REFIID iid, void** object);
