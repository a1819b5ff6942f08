// Off Windows the player runs inside the batch's process: the COM runtime asks here for the
// objects of the classes installed on this machine.
//
// Tests and the benchmark steer and watch the player through the environment:
//   PLAYER_FAULT=<n>:error|null  makes the n-th player call fail so (see PlayerHooks)
//   PLAYER_CALL_LOG=<file>       at exit, every player call, one a line, then any misuse
//   PLAYER_STATS=<file>          at exit, the calls made and the image bytes moved
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "player_objects.h"

namespace {

PlayerHooks hooks;

void WriteCallLog() {
  std::ofstream out(std::getenv("PLAYER_CALL_LOG"));
  for (const std::string& operation : hooks.operations) out << operation << '\n';
  for (const std::string& misuse : hooks.misuse) out << "misuse: " << misuse << '\n';
}

void WriteStats() {
  std::ofstream(std::getenv("PLAYER_STATS"))
      << "calls " << PlayerCallCount() << '\n'
      << "image-bytes-read " << imageTraffic.bytesRead << '\n'
      << "image-bytes-written " << imageTraffic.bytesWritten << '\n';
}

// The hooks the environment asks for, or null when it asks for none.
PlayerHooks* HooksFromEnvironment() {
  if (std::getenv("PLAYER_STATS")) std::atexit(WriteStats);
  const char* fault = std::getenv("PLAYER_FAULT");
  const bool logged = std::getenv("PLAYER_CALL_LOG") != nullptr;
  if (!fault && !logged) return nullptr;
  if (fault) {
    char* kind = nullptr;
    hooks.failAt = std::strtoul(fault, &kind, 10);
    hooks.failKind = std::strcmp(kind, ":null") == 0 ? Fault::kNull : Fault::kError;
  }
  if (logged) std::atexit(WriteCallLog);
  return &hooks;
}

}  // namespace

HRESULT CreateLocalServerObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_iTunesApp) return REGDB_E_CLASSNOTREG;
  return StartPlayer(iid, object, HooksFromEnvironment());
}
