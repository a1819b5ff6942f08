// A scratch C: drive for one test, with a stand-in player library on it.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "pass_model.h"

// One track of a test library; its number is its id, its name "Track <id>".
struct TrackSpec {
  int id;
  std::optional<std::string> album;
  std::vector<std::string> artwork;  // image labels, see ImageBytes
};

// The tracks in full: numbers, names "Track <id>" and artist "Artist".
std::vector<ModelTrack> InFull(const std::vector<TrackSpec>& tracks);

// A scratch C: drive for as long as the object lives.
class TestDrive {
 public:
  TestDrive();
  ~TestDrive();
  TestDrive(const TestDrive&) = delete;
  TestDrive& operator=(const TestDrive&) = delete;

  // The host path of `relative` (slashes) on the drive.
  std::filesystem::path Path(const std::string& relative) const;
  void Write(const std::string& relative, const std::string& bytes) const;
  // The file's bytes, or nothing when there is no such file.
  std::optional<std::string> Read(const std::string& relative) const;

  // Writes Player/library.json with `tracks` in list order, `current` the current track id
  // (none when 0), the player going round at the end when `repeat`, and an image file for
  // every label they name.
  void WriteLibrary(const std::vector<ModelTrack>& tracks, int current, bool repeat = false) const;
  void WriteLibrary(const std::vector<TrackSpec>& tracks, int current) const {
    WriteLibrary(InFull(tracks), current);
  }
  // Each track's artwork as image labels, by track id, read from the library on disk.
  std::map<int, std::vector<std::string>> Artwork() const;

  const std::filesystem::path root;
};

// Makes an empty C: drive for a test and hands back where it is.
std::filesystem::path OpenScratchDrive();
// Clears away what the test left on the drive at `root`.
void CloseScratchDrive(const std::filesystem::path& root);
// How many player strings are allocated and not freed (0 where the platform cannot tell).
long UnfreedStringCount();

// The bytes of a JPEG image that carries `label`.
std::string ImageBytes(const std::string& label);
