// The stand-in player's automation objects, answering the player interfaces over a Library.
#pragma once

#include <cstdint>
#include <memory>

#include "library.h"
#include "player/itunes.h"

// Starts the player on the library in C:\Player and hands back its application object:
// REGDB_E_CLASSNOTREG when there is no library, CO_E_SERVER_EXEC_FAILURE (the library
// untouched) when it cannot be read; either with one message on standard error. `hooks`,
// when given, watch and steer its calls.
HRESULT StartPlayer(REFIID iid, void** object, PlayerHooks* hooks = nullptr);

// An application object over `library`; the library is written back when its last reference
// is released.
HRESULT CreatePlayer(std::shared_ptr<Library> library, REFIID iid, void** object);

// How many player objects are alive (handed out and not released), for leak checks.
long LiveObjectCount();

// How many player calls this process made, for the benchmark.
uint64_t PlayerCallCount();

// Frees the objects kept after their release while a test watched (see PlayerHooks).
void FreeReleasedObjects();

// Has `callback` called whenever the last live player object is released.
void OnLastObjectReleased(void (*callback)());
