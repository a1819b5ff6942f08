#include "artwork_pass.h"

#include <cstring>

#include "player/narrow_text.h"
#include "summary_table.h"

// The pass never trusts a failed call: an object that did not come back is neither called nor
// released. When it cannot tell where the player stands or what a track holds (no current
// track, a failed move, an ID, album or artwork that cannot be read) it stops, as it does at
// the end of the list; a track is changed only where the change cannot cost it its artwork.

namespace {

// Replaces `*track` with the player's current track; false when there is none.
bool FetchCurrentTrack(IiTunes* player, IITTrack** track) {
  if (*track) (*track)->Release();
  *track = nullptr;
  IITTrack* current = nullptr;
  if (FAILED(player->get_CurrentTrack(&current)) || !current) return false;
  *track = current;
  return true;
}

bool ReadTrackId(IITTrack* track, LONG* id) {
  return SUCCEEDED(track->get_TrackDatabaseID(id));
}

// NextTrack, then fetches the track it made current into `*track` and its ID into `*id`.
// False when the move or a read failed.
bool MoveNext(IiTunes* player, IITTrack** track, LONG* id) {
  return SUCCEEDED(player->NextTrack()) && FetchCurrentTrack(player, track) &&
         ReadTrackId(*track, id);
}

// Replaces `*artworks` with the collection of `track` and reads its size into `*count`; false
// when either cannot be had.
bool FetchArtworks(IITTrack* track, IITArtworkCollection** artworks, LONG* count) {
  if (*artworks) (*artworks)->Release();
  *artworks = nullptr;
  *count = 0;
  IITArtworkCollection* collection = nullptr;
  if (FAILED(track->get_Artwork(&collection)) || !collection) return false;
  *artworks = collection;
  if (FAILED(collection->get_Count(count)) || *count < 0) {
    *count = 0;
    return false;
  }
  return true;
}

// Deletes item `index` of `artworks`; an item that cannot be had is skipped.
void DeleteItem(IITArtworkCollection* artworks, LONG index) {
  IITArtwork* artwork = nullptr;
  if (FAILED(artworks->get_Item(index, &artwork)) || !artwork) return;
  artwork->Delete();
  artwork->Release();
}

// Adds the image at `imagePath` to `track`; returns the new item, or null when none was added.
IITArtwork* AddImage(IITTrack* track, BSTR imagePath) {
  IITArtwork* artwork = nullptr;
  if (FAILED(track->AddArtworkFromFile(imagePath, &artwork))) return nullptr;
  return artwork;
}

// Gives `track` the image at `imagePath` in place of its own artwork and returns the added
// item, or null when none was added. The image goes on before the old items go, behind them,
// so a track that cannot take it keeps what it had.
IITArtwork* ReplaceArtwork(IITTrack* track, BSTR imagePath) {
  IITArtworkCollection* artworks = nullptr;
  LONG count = 0;
  IITArtwork* added = nullptr;
  if (FetchArtworks(track, &artworks, &count)) {
    added = AddImage(track, imagePath);
    if (added)
      for (LONG i = 0; i < count; ++i) DeleteItem(artworks, 1);
  }
  if (artworks) artworks->Release();
  return added;
}

// Replaces `*album` with the album of `track` and narrows it into `text`; false when it
// cannot be read. A null album is an empty one.
bool FetchAlbum(IITTrack* track, BSTR* album, TextBuffer& text) {
  SysFreeString(*album);
  *album = nullptr;
  const bool read = SUCCEEDED(track->get_Album(album));
  NarrowText(*album, text);
  return read;
}

}  // namespace

void ArtworkPass(IiTunes* player, std::ostream& summary, BSTR imagePath, ArtworkPassHeld& held) {
  TextBuffer runText;
  TextBuffer followText;
  // The first track that got its row. A player that goes round at the end of its list comes
  // back to it instead of staying on the last track; the pass ends there too.
  bool anySettled = false;
  LONG firstSettledId = 0;
  LONG lastTrackId = 0;

  for (;;) {
    // Search: from the run's first track, the first track that has artwork.
    if (!FetchCurrentTrack(player, &held.track)) return;
    LONG firstId = 0;
    if (!ReadTrackId(held.track, &firstId)) return;
    LONG moves = 0;
    LONG count = 0;
    LONG previousId = firstId;
    for (;;) {
      if (!FetchArtworks(held.track, &held.searchArtworks, &count)) return;
      if (count > 0) break;
      LONG id = 0;
      if (!MoveNext(player, &held.track, &id)) return;
      // Still on the same track, or come round to the search's start or to the first settled
      // track: the search reached the end of the list without finding artwork.
      if (id == previousId || id == firstId || (anySettled && id == firstSettledId)) return;
      previousId = id;
      ++moves;
    }

    // Keep only the found track's first artwork; each deletion moves the later items down.
    for (LONG i = 1; i < count; ++i) DeleteItem(held.searchArtworks, 2);

    for (LONG i = 0; i < moves; ++i)
      if (FAILED(player->PreviousTrack())) return;

    IITArtwork* artwork = nullptr;
    if (FAILED(held.searchArtworks->get_Item(1, &artwork))) artwork = nullptr;
    if (!FetchCurrentTrack(player, &held.track) || !ReadTrackId(held.track, &lastTrackId) ||
        lastTrackId != firstId) {
      if (artwork) artwork->Release();
      return;
    }
    // A run whose image could not be saved keeps its artwork: adding from the file would give
    // its tracks nothing, or the image of an earlier run.
    const bool imageSaved = artwork && SUCCEEDED(artwork->SaveArtworkToFile(imagePath));
    if (artwork) artwork->Release();

    if (!FetchAlbum(held.track, &held.runAlbum, runText)) return;
    WriteTrackRow(summary, held.track);
    if (!anySettled) firstSettledId = lastTrackId;
    anySettled = true;
    if (moves > 0 && imageSaved) {
      if (IITArtwork* added = AddImage(held.track, imagePath)) added->Release();
    }

    // Follow: the run's later tracks, until the album changes.
    for (;;) {
      LONG id = 0;
      if (!MoveNext(player, &held.track, &id)) return;
      // Still on the last track, or come round to the first settled one: the end of the list.
      if (id == lastTrackId || id == firstSettledId) return;
      lastTrackId = id;

      if (!FetchAlbum(held.track, &held.followAlbum, followText)) return;
      if (std::strcmp(runText, followText) != 0) break;  // a new run starts at this track

      IITArtwork* added = imageSaved ? ReplaceArtwork(held.track, imagePath) : nullptr;
      WriteTrackRow(summary, held.track);
      if (added) added->Release();
    }
  }
}
