// The album artwork pass: from the player's current track to the end of its list, gives every
// run of consecutive tracks that share an album one artwork, and writes a row per settled track.
#pragma once

#include <ostream>

#include "player/itunes.h"

// What the pass still holds when it returns; the caller releases and frees it. Start it null.
struct ArtworkPassHeld {
  IITTrack* track;                       // the current track as last fetched
  IITArtworkCollection* searchArtworks;  // the collection the last search looked at
  BSTR runAlbum;                         // the album of the run's first track
  BSTR followAlbum;                      // the album of the track last examined for the run
};

// Runs the pass over `player`, passing each run's image through the file `imagePath`, and
// writing rows to the console and `summary`. Returns at the end of the player's list.
void ArtworkPass(IiTunes* player, std::ostream& summary, BSTR imagePath, ArtworkPassHeld& held);
