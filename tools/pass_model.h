// What the artwork pass should make of a library, worked out from the pass's rules alone: which
// tracks get a row, with what text, and which images every track ends with. Tests and the
// benchmark compare the real run with it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ModelTrack {
  int32_t id = 0;
  int32_t number = 0;
  std::optional<std::string> name, album, artist;  // UTF-8; none is no text
  std::vector<std::string> artwork;                // the track's images, by label
};

// An album read that the player answers with no text, once: the read of a run's first track
// (`forRun`) or of a later track that the pass examines for the run.
struct EmptyAlbumRead {
  size_t position;
  bool forRun;
};

struct ModelOutcome {
  std::vector<int32_t> rowIds;                    // in the order written
  std::string rows;                               // their text, as bytes
  std::vector<std::vector<std::string>> artwork;  // by position in the list
};

// The outcome of the pass over `tracks` starting at position `start` (none: no current track),
// the player going round at the end of its list when `repeat`.
ModelOutcome ExpectedPass(const std::vector<ModelTrack>& tracks, std::optional<size_t> start,
                          bool repeat, std::optional<EmptyAlbumRead> emptyRead = {});

// The bytes the batch prints for UTF-8 `text`: the low byte of each UTF-16 code unit, up to
// the first zero low byte, at most 255.
std::string Narrowed(const std::optional<std::string>& text);
