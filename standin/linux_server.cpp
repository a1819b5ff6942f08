// Off Windows the player runs inside the batch's process: the COM runtime asks here for the
// objects of the classes installed on this machine.
#include "player_objects.h"

HRESULT CreateLocalServerObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_iTunesApp) return REGDB_E_CLASSNOTREG;
  return StartPlayer(iid, object);
}
