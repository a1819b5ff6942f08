// player-library: makes the demo library, or shows a library as a table, so a user can see which
// track carries which image before and after a run. Works on C:\Player under DRIVE_C.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "host_path.h"
#include "library.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: player-library demo   make the demo library in C:\\Player\n"
    "       player-library show   show the library in C:\\Player\n"
    "C:\\ is the folder named by DRIVE_C.\n";

uint32_t Crc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFF;
  for (unsigned char c : bytes) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

std::string BigEndian(uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
          static_cast<char>(value >> 8), static_cast<char>(value)};
}

std::string Chunk(const std::string& type, const std::string& data) {
  return BigEndian(static_cast<uint32_t>(data.size())) + type + data + BigEndian(Crc32(type + data));
}

// A 16x16 PNG of one colour, its pixels stored uncompressed.
std::string SolidPng(uint8_t red, uint8_t green, uint8_t blue) {
  const int side = 16;
  std::string pixels;
  for (int y = 0; y < side; ++y) {
    pixels += '\0';  // no filter
    for (int x = 0; x < side; ++x) pixels += {static_cast<char>(red), static_cast<char>(green),
                                              static_cast<char>(blue)};
  }
  uint32_t a = 1, b = 0;
  for (unsigned char c : pixels) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  const auto length = static_cast<uint16_t>(pixels.size());
  std::string zlib = "\x78\x01\x01";  // one final stored block
  zlib += {static_cast<char>(length), static_cast<char>(length >> 8),
           static_cast<char>(~length), static_cast<char>(~length >> 8)};
  zlib += pixels + BigEndian((b << 16) | a);
  const std::string header = BigEndian(side) + BigEndian(side) + std::string("\x08\x02\0\0\0", 5);
  return "\x89PNG\r\n\x1A\n" + Chunk("IHDR", header) + Chunk("IDAT", zlib) + Chunk("IEND", "");
}

struct DemoImage {
  const char* file;
  uint8_t red, green, blue;
};

const DemoImage kDemoImages[] = {
    {"morning.png", 250, 200, 80}, {"coffee-front.png", 120, 70, 30},
    {"coffee-back.png", 90, 50, 20}, {"harbour.png", 40, 90, 160},
    {"harbour-back.png", 30, 60, 120}, {"harbour-inlay.png", 200, 200, 210},
    {"fog.png", 150, 150, 150},
};

// The demo: a run whose first track has art, one where only the second has it (three items),
// a follow track with two items, a name with an accent, a name longer than 40 characters,
// two-digit numbers, and at the end an album with no art at all.
const char kDemoLibrary[] = R"({
  "current": 101,
  "tracks": [
    {"id": 101, "number": 1, "name": "Sunrise", "album": "Morning Light", "artist": "Ann Lee", "artwork": ["Artwork/morning.png"]},
    {"id": 102, "number": 2, "name": "Coffee", "album": "Morning Light", "artist": "Ann Lee", "artwork": ["Artwork/coffee-front.png", "Artwork/coffee-back.png"]},
    {"id": 103, "number": 3, "name": "Café Terrace", "album": "Morning Light", "artist": "Ann Lee", "artwork": []},
    {"id": 209, "number": 9, "name": "Low Tide", "album": "Harbour Songs", "artist": "The Quays", "artwork": []},
    {"id": 210, "number": 10, "name": "Gulls Over the Breakwater at Half Past Four", "album": "Harbour Songs", "artist": "The Quays", "artwork": ["Artwork/harbour.png", "Artwork/harbour-back.png", "Artwork/harbour-inlay.png"]},
    {"id": 211, "number": 11, "name": "Lighthouse", "album": "Harbour Songs", "artist": "The Quays", "artwork": []},
    {"id": 212, "number": 12, "name": "Fog", "album": "Harbour Songs", "artist": "The Quays", "artwork": ["Artwork/fog.png"]},
    {"id": 301, "number": 1, "name": "Sketch", "album": "Unfinished", "artist": null, "artwork": []},
    {"id": 302, "number": 2, "name": "Hum", "album": "Unfinished", "artist": null, "artwork": []}
  ]
}
)";

int MakeDemo() {
  const fs::path folder = HostPath(kPlayerFolder);
  if (Library::Exists(folder.string())) {
    std::cerr << "player-library: " << (folder / kLibraryFile).string()
              << " already exists; remove it or choose another DRIVE_C\n";
    return 1;
  }
  std::error_code failure;
  fs::create_directories(folder / "Artwork", failure);
  bool written = !failure;
  for (const DemoImage& image : kDemoImages) {
    std::ofstream out(folder / "Artwork" / image.file, std::ios::binary);
    out << SolidPng(image.red, image.green, image.blue);
    written = written && out.good();
  }
  std::ofstream(folder / kLibraryFile, std::ios::binary) << kDemoLibrary;
  if (!written || !Library::Exists(folder.string())) {
    std::cerr << "player-library: cannot write the demo library into " << folder.string() << "\n";
    return 1;
  }
  std::cout << "Demo library written to " << folder.string() << "\n";
  return 0;
}

// Width of UTF-8 `text` in characters.
size_t Width(const std::string& text) {
  size_t width = 0;
  for (unsigned char c : text) width += (c & 0xC0) != 0x80;
  return width;
}

int Show() {
  const std::string folder = HostPath(kPlayerFolder);
  if (!Library::Exists(folder)) {
    std::cerr << "player-library: no library at " << folder << "/" << kLibraryFile << "\n";
    return 1;
  }
  std::string error;
  std::unique_ptr<Library> library = Library::Load(folder, &error);
  if (!library) {
    std::cerr << "player-library: " << kPlayerFolder << "\\" << kLibraryFile << " " << error << "\n";
    return 1;
  }
  std::vector<std::vector<std::string>> rows = {
      {"pos", "id", "cur", "number", "name", "album", "artist", "artwork"}};
  for (size_t i = 0; i < library->tracks.size(); ++i) {
    const LibraryTrack& track = library->tracks[i];
    std::string artwork;
    for (const ArtworkItem& item : track.artwork) {
      const std::optional<std::string> bytes = ReadFile(library->ImageFile(item));
      artwork += (artwork.empty() ? "" : ", ") + item.path + " [" +
                 (bytes ? ContentHash(*bytes).substr(0, 6) : "missing") + "]";
    }
    rows.push_back({std::to_string(i + 1), std::to_string(track.id),
                    library->current == i ? "*" : "", std::to_string(track.number),
                    track.name.value_or("-"), track.album.value_or("-"),
                    track.artist.value_or("-"), artwork.empty() ? "-" : artwork});
  }
  std::vector<size_t> widths(rows[0].size(), 0);
  for (const auto& row : rows)
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Width(row[c]));
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line += std::string(widths[c] - Width(row[c]) + 2, ' ');
    }
    std::cout << line << "\n";
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc == 2 ? argv[1] : "";
  if (command == "demo") return MakeDemo();
  if (command == "show") return Show();
  std::cerr << kUsage;
  return 2;
}
