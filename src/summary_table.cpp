#include "summary_table.h"

#include <cstring>
#include <iostream>

#include "player/narrow_text.h"

namespace {

// "Name" at column 4, "Album" at column 44, "Artist" at column 61.
const char kHeader[] =
    "    Name                                    Album            Artist\n";

// A name shorter than this is filled with spaces to this width, so the album starts at
// column 44 for numbers from 0 to 99.
const size_t kNameWidth = 40;

const char kArtistGap[] = "          ";

}  // namespace

void WriteTableHeader(std::ostream& summary) {
  std::cout << kHeader;
  summary << kHeader;
}

void WriteTrackRow(std::ostream& summary, IITTrack* track) {
  TextBuffer text;

  LONG number = 0;
  track->get_TrackNumber(&number);
  BSTR name = nullptr;
  track->get_Name(&name);
  NarrowText(name, text);

  std::cout << number;
  summary << number;
  const char* separator = number <= 9 ? "   " : "  ";
  std::cout << separator << text;
  summary << separator << text;
  const size_t nameLength = std::strlen(text);
  SysFreeString(name);

  BSTR album = nullptr;
  track->get_Album(&album);
  NarrowText(album, text);
  if (nameLength < kNameWidth) {
    const std::string fill(kNameWidth - nameLength, ' ');
    std::cout << fill;
    summary << fill;
  }
  std::cout << text;
  summary << text;
  SysFreeString(album);

  BSTR artist = nullptr;
  track->get_Artist(&artist);
  NarrowText(artist, text);
  std::cout << kArtistGap << text << '\n';
  summary << kArtistGap << text << '\n';
  SysFreeString(artist);
}
