// The player's automation interfaces, as far as the batch calls them.
//
// The batch calls these through their virtual tables, so the order of the operations below is
// the order of the player's own interfaces, after IUnknown's three; the stand-in player's
// interface definition lists them in this same order. Every call returns an HRESULT; numbers are
// 32-bit; strings come back as BSTRs that the caller frees; objects come back with one
// reference that the caller releases.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

// One artwork item of a track.
struct IITArtwork : public IUnknown {
  // Removes the item from its track; the items behind it move down by one.
  virtual HRESULT STDMETHODCALLTYPE Delete() = 0;
  // Writes the item's image to `filePath`, replacing any file there.
  virtual HRESULT STDMETHODCALLTYPE SaveArtworkToFile(BSTR filePath) = 0;
};

// A track's artwork items, counted from 1.
struct IITArtworkCollection : public IUnknown {
  // The number of items.
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* count) = 0;
  // Item `index`, from 1 to the count.
  virtual HRESULT STDMETHODCALLTYPE get_Item(LONG index, IITArtwork** artwork) = 0;
};

// One track of the player's list.
struct IITTrack : public IUnknown {
  // An ID that stays the same for the same track and differs between tracks.
  virtual HRESULT STDMETHODCALLTYPE get_TrackDatabaseID(LONG* id) = 0;
  // The track's name; null when it has none.
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) = 0;
  // The track's album; null when it has none.
  virtual HRESULT STDMETHODCALLTYPE get_Album(BSTR* album) = 0;
  // The track's artist; null when it has none.
  virtual HRESULT STDMETHODCALLTYPE get_Artist(BSTR* artist) = 0;
  // The track's number within its album.
  virtual HRESULT STDMETHODCALLTYPE get_TrackNumber(LONG* number) = 0;
  // The track's artwork items.
  virtual HRESULT STDMETHODCALLTYPE get_Artwork(IITArtworkCollection** artworks) = 0;
  // Adds the image in `filePath` as a new last artwork item and hands that item back.
  virtual HRESULT STDMETHODCALLTYPE AddArtworkFromFile(BSTR filePath, IITArtwork** artwork) = 0;
};

// The player application.
struct IiTunes : public IUnknown {
  // The track the player currently has.
  virtual HRESULT STDMETHODCALLTYPE get_CurrentTrack(IITTrack** track) = 0;
  // Makes the next track of the list current; on the last track the same track stays current.
  virtual HRESULT STDMETHODCALLTYPE NextTrack() = 0;
  // Makes the previous track of the list current.
  virtual HRESULT STDMETHODCALLTYPE PreviousTrack() = 0;
};

// The player application class, and the interface the batch asks it for.
const CLSID CLSID_iTunesApp = {
    0xDC0C2640, 0x1415, 0x4644, {0x87, 0x5C, 0x6F, 0x4D, 0x76, 0x98, 0x39, 0xBA}};
const IID IID_IiTunes = {
    0x9DD6680B, 0x3EDC, 0x40DB, {0xA7, 0x71, 0xE6, 0xFE, 0x48, 0x32, 0xE3, 0x4A}};
