#include "artwork_pass.h"

#include <cstring>
#include <set>

#include "player/narrow_text.h"
#include "summary_table.h"

// The pass never trusts a failed call: an object that did not come back is neither called nor
// released. When it cannot tell where the player stands (no current track, a failed move or ID
// read) it stops, as it does at the end of the list.

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

// Replaces `*artworks` with the collection of `track` and returns its size; 0 when either
// cannot be had.
LONG FetchArtworks(IITTrack* track, IITArtworkCollection** artworks) {
  if (*artworks) (*artworks)->Release();
  *artworks = nullptr;
  IITArtworkCollection* collection = nullptr;
  if (FAILED(track->get_Artwork(&collection)) || !collection) return 0;
  *artworks = collection;
  LONG count = 0;
  if (FAILED(collection->get_Count(&count))) return 0;
  return count;
}

// Deletes item `index` of `artworks`; an item that cannot be had is skipped.
void DeleteItem(IITArtworkCollection* artworks, LONG index) {
  IITArtwork* artwork = nullptr;
  if (FAILED(artworks->get_Item(index, &artwork)) || !artwork) return;
  artwork->Delete();
  artwork->Release();
}

// Deletes every artwork item of `track`.
void ClearArtwork(IITTrack* track) {
  IITArtworkCollection* artworks = nullptr;
  const LONG count = FetchArtworks(track, &artworks);
  for (LONG i = 0; i < count; ++i) DeleteItem(artworks, 1);
  if (artworks) artworks->Release();
}

// Adds the image at `imagePath` to `track`; returns the new item, or null when none was added.
IITArtwork* AddImage(IITTrack* track, BSTR imagePath) {
  IITArtwork* artwork = nullptr;
  if (FAILED(track->AddArtworkFromFile(imagePath, &artwork))) return nullptr;
  return artwork;
}

// Replaces `*album` with the album of `track` and narrows it into `text`.
void FetchAlbum(IITTrack* track, BSTR* album, TextBuffer& text) {
  SysFreeString(*album);
  *album = nullptr;
  track->get_Album(album);
  NarrowText(*album, text);
}

}  // namespace

void ArtworkPass(IiTunes* player, std::ostream& summary, BSTR imagePath, ArtworkPassHeld& held) {
  TextBuffer runText;
  TextBuffer followText;
  // Tracks that have their row. A player that wraps round at the end of its list comes back to
  // one of them instead of staying on the last track; the pass ends there too.
  std::set<LONG> settled;
  LONG lastTrackId = 0;

  for (;;) {
    // Search: from the run's first track, the first track that has artwork.
    if (!FetchCurrentTrack(player, &held.track)) return;
    LONG firstId = 0;
    if (!ReadTrackId(held.track, &firstId)) return;
    std::set<LONG> passed = {firstId};
    LONG moves = 0;
    LONG count = 0;
    while ((count = FetchArtworks(held.track, &held.searchArtworks)) <= 0) {
      LONG id = 0;
      if (!MoveNext(player, &held.track, &id)) return;
      // Back on a track already met: the search reached the end of the list (or the player
      // wrapped round) without finding artwork.
      if (!passed.insert(id).second || settled.count(id)) return;
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

    FetchAlbum(held.track, &held.runAlbum, runText);
    WriteTrackRow(summary, held.track);
    settled.insert(lastTrackId);
    if (moves > 0 && imageSaved) {
      if (IITArtwork* added = AddImage(held.track, imagePath)) added->Release();
    }

    // Follow: the run's later tracks, until the album changes.
    for (;;) {
      LONG id = 0;
      if (!MoveNext(player, &held.track, &id)) return;
      // Still on the last track (or come round to a settled one): the end of the list.
      if (settled.count(id)) return;
      lastTrackId = id;

      FetchAlbum(held.track, &held.followAlbum, followText);
      if (std::strcmp(runText, followText) != 0) break;  // a new run starts at this track

      IITArtwork* added = nullptr;
      if (imageSaved) {
        ClearArtwork(held.track);
        added = AddImage(held.track, imagePath);
      }
      WriteTrackRow(summary, held.track);
      settled.insert(id);
      if (added) added->Release();
    }
  }
}
