// The stand-in player's automation objects, answering the player interfaces over a Library.
#pragma once

#include <memory>

#include "library.h"
#include "player/itunes.h"

// Starts the player on the library in C:\Player and hands back its application object:
// REGDB_E_CLASSNOTREG when there is no library, CO_E_SERVER_EXEC_FAILURE (with one message on
// standard error, the library untouched) when it cannot be read.
HRESULT StartPlayer(REFIID iid, void** object);

// An application object over `library`; the library is written back when its last reference
// is released.
HRESULT CreatePlayer(std::shared_ptr<Library> library, REFIID iid, void** object);

// How many player objects are alive, for leak checks.
long LiveObjectCount();

// Has `callback` called whenever the last live player object is released.
void OnLastObjectReleased(void (*callback)());
