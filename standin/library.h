// The stand-in player's library: its tracks in list order, the current track, and each track's
// artwork items, kept in C:\Player\library.json with the images beside it.
//
// library.json (UTF-8):
//   {"current": <track id or null>,
//    "tracks": [{"id": 7, "number": 1, "name": "Intro", "album": "Blue", "artist": "Ann",
//                "artwork": ["Artwork/blue.jpg"]}, ...]}
// name, album and artist may be null or absent (no text), number absent is 0, artwork absent is
// no items; artwork paths are relative to C:\Player\. Fields not named here are kept.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// What a test can watch and steer in a player: the calls that change or report something, and
// calls made to fail.
struct PlayerHooks {
  // "next", "previous", "row <id>" (number read for a row), "delete <id>:<item>",
  // "save <id>:<item>", "add <id>", in the order made.
  std::vector<std::string> calls;
  // Asked with each operation's name ("current", "next", "id", "count", "item", "save", ...);
  // true makes that call fail.
  std::function<bool(const std::string& operation)> fails;
  // NextTrack on the last track makes the first track current, as a player on repeat does.
  bool wraps = false;
};

struct ArtworkItem {
  std::string path;  // relative to the player folder
  uint64_t serial;   // tells items apart for as long as the library is open
};

struct LibraryTrack {
  int32_t id = 0;
  int32_t number = 0;
  std::optional<std::string> name, album, artist;
  std::vector<ArtworkItem> artwork;
};

class Library {
 public:
  // Whether `folder` (a host path) holds a library at all.
  static bool Exists(const std::string& folder);
  // Reads and checks the library in `folder`; null with the reason in `error` when it cannot.
  static std::unique_ptr<Library> Load(const std::string& folder, std::string* error);

  // Writes the library back if it changed, through a temporary file renamed over
  // library.json; false with the reason in `error` when it could not.
  bool Save(std::string* error);

  std::vector<LibraryTrack> tracks;
  std::optional<size_t> current;  // index into tracks
  PlayerHooks* hooks = nullptr;

  // Records a change, so that Save writes it.
  void Touch() { changed_ = true; }
  LibraryTrack* FindTrack(int32_t id);
  // The host path of the image file of `item`.
  std::string ImageFile(const ArtworkItem& item) const;
  // Copies the image file at host path `file` into the library's Artwork folder and appends it
  // to `track`; false when it is missing or not an image.
  bool AddImage(LibraryTrack& track, const std::string& file);

 private:
  std::string folder_;
  nlohmann::ordered_json document_;
  uint64_t nextSerial_ = 1;
  bool changed_ = false;
};

// The file name of the library inside the player folder.
extern const char kLibraryFile[];
// The player folder as the user knows it.
extern const char kPlayerFolder[];

// Whether `bytes` begin with the JPEG or PNG signature.
bool IsImage(const std::string& bytes);
// The whole content of the file at host path `file`, or nothing if it cannot be read.
std::optional<std::string> ReadFile(const std::string& file);
// A short id of some bytes, for telling images apart at a glance.
std::string ContentId(const std::string& bytes);
