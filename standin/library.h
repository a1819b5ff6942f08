// The stand-in player's library: its tracks in list order, the current track, and each track's
// artwork items, kept in C:\Player\library.json with the images beside it.
//
// library.json (UTF-8):
//   {"current": <track id or null>, "repeat": <true or false>,
//    "tracks": [{"id": 7, "number": 1, "name": "Intro", "album": "Blue", "artist": "Ann",
//                "artwork": ["Artwork/blue.jpg"]}, ...]}
// name, album and artist may be null or absent (no text), number absent is 0, artwork absent is
// no items; artwork paths are relative to C:\Player\ and stay inside it. With "repeat" true,
// NextTrack on the last track goes round to the first. Fields not named here are kept.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "file_watch.h"

// How a call that a test makes fail fails.
enum class Fault {
  kNone,
  kError,  // an error HRESULT, every out-parameter null
  kNull,   // S_OK, but the object or string handed back is null and nothing was done
};

// What a test can watch and steer in a player: the calls that change or report something, and
// calls made to fail. Objects released while hooks are set are kept (not freed) until
// FreeReleasedObjects, so that a call on one, or one Release too many, is caught and recorded.
struct PlayerHooks {
  // "next", "previous", "row <id>" (number read for a row), "delete <id>:<item>",
  // "save <id>:<item>", "add <id>", in the order made.
  std::vector<std::string> calls;
  // Every call, in order, as its operation and the id of the track it concerns ("album 7",
  // "item 7", "next"); the operations are those that `fails` is asked with.
  std::vector<std::string> operations;
  // Asked with each operation's name ("current", "next", "id", "count", "item", "save", ...);
  // true makes that call fail with an error.
  std::function<bool(const std::string& operation)> fails;
  // Makes the call whose place in `operations` is `failAt` (counting from 1) fail as `failKind`.
  size_t failAt = 0;
  Fault failKind = Fault::kError;
  // Misuse seen: calls on released objects, releases of released objects.
  std::vector<std::string> misuse;
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
  // How the track stands in library.json, to write it back so: its fields in order, a letter
  // each ('i' id, 'n' number, 'N' name, 'a' album, 'r' artist, 'w' artwork, 'x' the next of
  // `otherFields`), and the fields the player does not know.
  std::string fieldOrder;
  std::vector<std::pair<std::string, nlohmann::ordered_json>> otherFields;
};

// Image bytes the player moved, for the benchmark.
struct ImageTraffic {
  uint64_t bytesRead = 0;
  uint64_t bytesWritten = 0;
};

class Library {
 public:
  // Whether `folder` (a host path) holds a library at all.
  static bool Exists(const std::string& folder);
  // Reads and checks the library in `folder`; null with the reason in `error` when it cannot.
  static std::unique_ptr<Library> Load(const std::string& folder, std::string* error);

  // Writes the library back if it changed, through a temporary file renamed over
  // library.json, laid out as it was read (on one line, or indented as it was); false with the
  // reason in `error` when it could not.
  bool Save(std::string* error);

  // How library.json was laid out: nlohmann's indent (-1 for one line) and indent character.
  struct Layout {
    int indent;
    char indentChar;
  };

  std::vector<LibraryTrack> tracks;
  std::optional<size_t> current;  // index into tracks
  bool repeat = false;            // NextTrack on the last track goes round to the first
  PlayerHooks* hooks = nullptr;

  // Records a change, so that Save writes it.
  void Touch() { changed_ = true; }
  // The track with database ID `id`, or null.
  LibraryTrack* FindTrack(int32_t id);
  // The host path of the image file of `item`.
  std::string ImageFile(const ArtworkItem& item) const;
  // Writes the image of `item` to the file at host path `file`; false when it cannot.
  bool SaveImage(const ArtworkItem& item, const std::string& file);
  // Appends the image in the file at host path `file` to `track`, stored once per distinct
  // content; false when the file is missing or not an image.
  bool AddImage(LibraryTrack& track, const std::string& file);

 private:
  // What is known of the last file SaveImage wrote (the one `savedWatch_` watches): while it
  // is unchanged, adding from it refers to the image it came from, without reading or hashing
  // it again.
  struct SavedFile {
    std::string imagePath;
    FileStamp stamp;
  };

  std::string folder_;
  nlohmann::ordered_json others_;  // the top-level fields, "tracks" holding its place as null
  Layout layout_ = {2, ' '};
  std::unordered_map<int32_t, size_t> positions_;  // track id -> index into tracks
  std::optional<SavedFile> saved_;
  std::unique_ptr<FileWatch> savedWatch_;
  uint64_t nextSerial_ = 1;
  bool changed_ = false;
};

// The file name of the library inside the player folder.
extern const char kLibraryFile[];
// The player folder as the user knows it.
extern const char kPlayerFolder[];

// Image bytes moved by every library of this process.
extern ImageTraffic imageTraffic;

// Whether `bytes` begin with the JPEG or PNG signature.
bool IsImage(const std::string& bytes);
// The whole content of the file at host path `file`, or nothing if it cannot be read.
std::optional<std::string> ReadFile(const std::string& file);
// A 64-bit hash of `bytes` as 16 hex digits: the name an added image is stored under.
std::string ContentHash(const std::string& bytes);
