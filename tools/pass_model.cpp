#include "pass_model.h"

namespace {

// The code points of UTF-8 `text` (well formed, as the library's JSON holds it).
std::u32string CodePoints(const std::string& text) {
  std::u32string points;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length && i + k < text.size(); ++k)
      point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    points += point;
    i += length;
  }
  return points;
}

std::string Row(const ModelTrack& track) {
  const std::string name = Narrowed(track.name);
  std::string row = std::to_string(track.number) + (track.number <= 9 ? "   " : "  ") + name;
  if (name.size() < 40) row += std::string(40 - name.size(), ' ');
  return row + Narrowed(track.album) + std::string(10, ' ') + Narrowed(track.artist) + "\n";
}

}  // namespace

std::string Narrowed(const std::optional<std::string>& text) {
  std::string bytes;
  if (!text) return bytes;
  for (char32_t point : CodePoints(*text)) {
    std::u16string units;
    if (point >= 0x10000)
      units = {static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10)),
               static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF))};
    else
      units = {static_cast<char16_t>(point)};
    for (char16_t unit : units) {
      if ((unit & 0xFF) == 0 || bytes.size() == 255) return bytes;
      bytes += static_cast<char>(unit & 0xFF);
    }
  }
  return bytes;
}

ModelOutcome ExpectedPass(const std::vector<ModelTrack>& tracks, std::optional<size_t> start,
                          bool repeat, std::optional<EmptyAlbumRead> emptyRead) {
  ModelOutcome outcome;
  for (const ModelTrack& track : tracks) outcome.artwork.push_back(track.artwork);
  if (!start || *start >= tracks.size()) return outcome;
  std::vector<std::vector<std::string>>& art = outcome.artwork;
  const size_t count = tracks.size();
  // The track after `at`: the same one at the end of the list, unless the player goes round.
  auto after = [&](size_t at) { return at + 1 < count ? at + 1 : repeat ? 0 : at; };
  auto emptyAt = [&](size_t at, bool forRun) {
    const bool empty = emptyRead && emptyRead->position == at && emptyRead->forRun == forRun;
    if (empty) emptyRead.reset();  // the player answers so once
    return empty;
  };
  std::optional<size_t> firstRow;

  size_t first = *start;
  for (;;) {
    // The run starts at `first`; its image is the first found at or after it.
    size_t found = first;
    size_t moves = 0;
    bool wentRound = false;
    while (art[found].empty()) {
      const size_t next = after(found);
      if (next == found || next == first || next == firstRow) return outcome;
      wentRound |= next < found;
      found = next;
      ++moves;
    }
    const std::string image = art[found][0];
    art[found] = {image};
    // Stepping back does not go round: a search that went round cannot find its way back.
    if (wentRound) return outcome;
    const std::string runAlbum = emptyAt(first, true) ? "" : Narrowed(tracks[first].album);
    outcome.rowIds.push_back(tracks[first].id);
    outcome.rows += Row(tracks[first]);
    if (!firstRow) firstRow = first;
    if (moves > 0) art[first].push_back(image);

    // The rest of the run: each later track with the same album takes the run's image.
    size_t at = first;
    for (;;) {
      const size_t next = after(at);
      if (next == at || next == firstRow) return outcome;
      at = next;
      const std::string album = emptyAt(at, false) ? "" : Narrowed(tracks[at].album);
      if (album != runAlbum) break;
      art[at] = {image};
      outcome.rowIds.push_back(tracks[at].id);
      outcome.rows += Row(tracks[at]);
    }
    first = at;
  }
}
