// artwork-benchmark: times artwork-batch on synthetic libraries of growing size, and checks that
// every run came out as the rules of the pass say.
//
//   artwork-benchmark [--image-size BYTES] [TRACKS ...]     (default: 1000 10000 100000)
//   artwork-benchmark [--image-size BYTES] --make DRIVE TRACKS
//                          only writes such a library into DRIVE/Player, for a run by hand
//
// Each library has albums of 1 to 20 tracks: art on the first track, art further on, several
// images on a track, or none at all; every image its own file of BYTES bytes (default 20480).
// The batch runs as a user runs it, its console going to a file, on a scratch drive in
// $TMPDIR, which is removed afterwards; three times, each from the library's first state, and
// the median run is shown.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "pass_model.h"

namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

struct Library {
  std::vector<ModelTrack> tracks;
  uintmax_t imageFiles = 0;
};

// Writes a library of `count` tracks into the player folder of `drive`.
Library MakeLibrary(const fs::path& drive, size_t count, size_t imageSize) {
  std::mt19937 random(static_cast<unsigned>(count));
  const fs::path player = drive / "Player";
  fs::create_directories(player / "Art");
  Library library;
  auto image = [&](size_t album, int item) {
    const std::string label = std::to_string(album) + "-" + std::to_string(item);
    std::string bytes = "\xFF\xD8\xFF\xE0" + label + ";";
    while (bytes.size() < imageSize) bytes += static_cast<char>(random());
    std::ofstream(player / "Art" / (label + ".jpg"), std::ios::binary) << bytes;
    ++library.imageFiles;
    return label;
  };
  for (size_t album = 0; library.tracks.size() < count; ++album) {
    const size_t length = std::min<size_t>(1 + random() % 20, count - library.tracks.size());
    const unsigned kind = random() % 100;  // which mix this album has
    const size_t artAt = kind < 35 ? 0 : kind < 65 ? random() % length : kind < 80 ? 0 : length;
    const int items = kind >= 65 && kind < 80 ? 2 + random() % 2 : 1;
    for (size_t i = 0; i < length; ++i) {
      ModelTrack track;
      track.id = static_cast<int32_t>(library.tracks.size() + 1);
      track.number = static_cast<int32_t>(i + 1);
      track.name = "Track " + std::to_string(track.id);
      track.album = "Album " + std::to_string(album);
      track.artist = "Artist " + std::to_string(album % 97);
      if (i == artAt)
        for (int item = 1; item <= items; ++item) track.artwork.push_back(image(album, item));
      else if (kind >= 65 && kind < 80 && i == artAt + 1)  // a later track with its own images
        for (int item = 10; item < 12; ++item) track.artwork.push_back(image(album, item));
      library.tracks.push_back(std::move(track));
    }
  }
  Json tracks = Json::array();
  for (const ModelTrack& track : library.tracks) {
    Json artwork = Json::array();
    for (const std::string& label : track.artwork) artwork.push_back("Art/" + label + ".jpg");
    tracks.push_back({{"id", track.id}, {"number", track.number}, {"name", *track.name},
                      {"album", *track.album}, {"artist", *track.artist}, {"artwork", artwork}});
  }
  std::ofstream(player / "library.json") << Json{{"current", 1}, {"tracks", tracks}}.dump(1);
  return library;
}

struct Run {
  double seconds = 0;
  long peakKilobytes = 0;
  std::map<std::string, uint64_t> stats;
};

// Runs artwork-batch on `drive`, its console into a file on the drive. It is started from a
// fresh, small process (this program again, with --spawn), so that its peak memory is its own
// and not that of a copy of this one.
Run RunBatch(const char* self, const fs::path& drive) {
  const std::string stats = (drive / "stats").string();
  const std::string measured = (drive / "measured").string();
  const auto started = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    execl(self, self, "--spawn", drive.c_str(), measured.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  Run run;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::ifstream(measured) >> run.peakKilobytes;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::cerr << "artwork-benchmark: artwork-batch failed\n";
    std::exit(1);
  }
  std::ifstream in(stats);
  std::string name;
  for (uint64_t value; in >> name >> value;) run.stats[name] = value;
  return run;
}

// The --spawn side of RunBatch: runs artwork-batch on `drive` and writes its peak resident
// memory (KB) to `measured`; exits with its status.
int Spawn(const char* drive, const char* measured) {
  const pid_t child = fork();
  if (child == 0) {
    const std::string console = std::string(drive) + "/console.txt";
    const int output = open(console.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(output, 1);
    setenv("DRIVE_C", drive, 1);
    setenv("PLAYER_STATS", (std::string(drive) + "/stats").c_str(), 1);
    execl(ARTWORK_BATCH, ARTWORK_BATCH, static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  std::ofstream(measured) << usage.ru_maxrss << "\n";
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// Checks the library after the run against the model: the same images on every track.
// Returns the number of tracks that differ.
size_t Mismatches(const fs::path& drive, const Library& library) {
  const ModelOutcome expected = ExpectedPass(library.tracks, 0, false);
  std::ifstream in(drive / "Player" / "library.json");
  const Json after = Json::parse(in);
  std::map<std::string, std::string> contentOf;  // stored path -> the label of its bytes
  auto label = [&](const std::string& path) -> std::string {
    if (path.rfind("Art/", 0) == 0) return path.substr(4, path.size() - 8);
    auto found = contentOf.find(path);
    if (found != contentOf.end()) return found->second;
    std::ifstream image(drive / "Player" / path, std::ios::binary);
    std::string head(64, '\0');
    image.read(head.data(), 64);
    return contentOf[path] = head.substr(4, head.find(';') - 4);
  };
  size_t mismatches = 0;
  for (size_t i = 0; i < library.tracks.size(); ++i) {
    std::vector<std::string> labels;
    for (const Json& path : after["tracks"][i]["artwork"]) labels.push_back(label(path));
    mismatches += labels != expected.artwork[i];
  }
  return mismatches;
}

std::string Fixed(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uintmax_t FolderBytes(const fs::path& folder, uintmax_t* files) {
  uintmax_t bytes = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) {
      bytes += entry.file_size();
      ++*files;
    }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--spawn") == 0) return Spawn(argv[2], argv[3]);
  size_t imageSize = 20480;
  std::vector<size_t> sizes;
  std::optional<fs::path> makeOnly;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--image-size") == 0 && i + 1 < argc)
      imageSize = std::stoul(argv[++i]);
    else if (std::strcmp(argv[i], "--make") == 0 && i + 1 < argc)
      makeOnly = argv[++i];
    else if (std::isdigit(static_cast<unsigned char>(argv[i][0])))
      sizes.push_back(std::stoul(argv[i]));
    else {
      std::cerr << "usage: artwork-benchmark [--image-size BYTES] [TRACKS ...]\n"
                   "       artwork-benchmark [--image-size BYTES] --make DRIVE TRACKS\n";
      return 2;
    }
  }
  if (makeOnly) {
    MakeLibrary(*makeOnly, sizes.empty() ? 1000 : sizes[0], imageSize);
    return 0;
  }
  if (sizes.empty()) sizes = {1000, 10000, 100000};

  std::printf("%8s %8s %13s %10s %9s %8s %9s %10s %10s %9s %8s %8s\n", "tracks", "wall s",
              "range", "tracks/s",
              "us/track", "peak MB", "lib MB", "calls/trk", "img MB rd", "img MB wr",
              "images", "wrong");
  for (size_t count : sizes) {
    std::string pattern = (fs::temp_directory_path() / "artwork-benchmark-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      std::perror("artwork-benchmark: mkdtemp");
      return 1;
    }
    const fs::path drive = pattern;
    const Library library = MakeLibrary(drive, count, imageSize);
    const uintmax_t libraryBytes = fs::file_size(drive / "Player" / "library.json");
    // Three runs on the same library, each from its first state; the median run is shown.
    const std::string original = ReadAll(drive / "Player" / "library.json");
    std::vector<Run> runs;
    for (int attempt = 0; attempt < 3; ++attempt) {
      std::ofstream(drive / "Player" / "library.json", std::ios::binary) << original;
      fs::remove_all(drive / "Image");
      sync();  // the library's files on disk first, so that writing them back does not slow the run
      runs.push_back(RunBatch(argv[0], drive));
      if (Mismatches(drive, library)) break;
    }
    std::sort(runs.begin(), runs.end(),
              [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
    Run run = runs[runs.size() / 2];
    const std::string range = Fixed(runs.front().seconds) + "-" + Fixed(runs.back().seconds);
    uintmax_t imageFiles = 0;
    FolderBytes(drive / "Player", &imageFiles);
    const size_t wrong = Mismatches(drive, library);
    const double megabyte = 1024.0 * 1024.0;
    std::printf("%8zu %8.3f %13s %10.0f %9.2f %8.1f %9.1f %10.2f %10.1f %9.1f %8ju %8zu\n",
                count, run.seconds, range.c_str(), count / run.seconds, run.seconds * 1e6 / count,
                run.peakKilobytes / 1024.0, libraryBytes / megabyte,
                static_cast<double>(run.stats["calls"]) / count,
                run.stats["image-bytes-read"] / megabyte,
                run.stats["image-bytes-written"] / megabyte, imageFiles - 1, wrong);
    std::fflush(stdout);
    fs::remove_all(drive);
    if (wrong) {
      std::cerr << "artwork-benchmark: " << wrong << " track(s) did not end as the rules say\n";
      return 1;
    }
  }
  return 0;
}
