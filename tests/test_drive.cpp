#include "test_drive.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace fs = std::filesystem;

namespace {

const std::string kJpeg = "\xFF\xD8\xFF";

}  // namespace

std::string ImageBytes(const std::string& label) { return kJpeg + "image:" + label; }

std::vector<ModelTrack> InFull(const std::vector<TrackSpec>& tracks) {
  std::vector<ModelTrack> full;
  for (const TrackSpec& track : tracks)
    full.push_back({track.id, track.id, "Track " + std::to_string(track.id), track.album,
                    "Artist", track.artwork});
  return full;
}

TestDrive::TestDrive() : root(OpenScratchDrive()) {}

TestDrive::~TestDrive() { CloseScratchDrive(root); }

fs::path TestDrive::Path(const std::string& relative) const { return root / relative; }

void TestDrive::Write(const std::string& relative, const std::string& bytes) const {
  fs::create_directories(Path(relative).parent_path());
  std::ofstream(Path(relative), std::ios::binary) << bytes;
}

std::optional<std::string> TestDrive::Read(const std::string& relative) const {
  if (!fs::is_regular_file(Path(relative))) return std::nullopt;
  std::ifstream in(Path(relative), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void TestDrive::WriteLibrary(const std::vector<ModelTrack>& tracks, int current,
                             bool repeat) const {
  using Json = nlohmann::ordered_json;
  auto text = [](const std::optional<std::string>& value) { return value ? Json(*value) : Json(); };
  Json list = Json::array();
  for (const ModelTrack& track : tracks) {
    Json artwork = Json::array();
    for (const std::string& label : track.artwork) {
      Write("Player/Art/" + label + ".jpg", ImageBytes(label));
      artwork.push_back("Art/" + label + ".jpg");
    }
    list.push_back({{"id", track.id},
                    {"number", track.number},
                    {"name", text(track.name)},
                    {"album", text(track.album)},
                    {"artist", text(track.artist)},
                    {"artwork", artwork}});
  }
  Json library = {{"current", current ? Json(current) : Json()}, {"tracks", list}};
  if (repeat) library["repeat"] = true;
  Write("Player/library.json", library.dump(2));
}

std::map<int, std::vector<std::string>> TestDrive::Artwork() const {
  std::map<int, std::vector<std::string>> labels;
  const auto library = nlohmann::json::parse(Read("Player/library.json").value_or("{}"));
  for (const auto& track : library["tracks"]) {
    auto& items = labels[track["id"].get<int>()];
    for (const auto& path : track["artwork"]) {
      const std::string bytes = Read("Player/" + path.get<std::string>()).value_or("missing");
      items.push_back(bytes.rfind(kJpeg + "image:", 0) == 0 ? bytes.substr(kJpeg.size() + 6)
                                                            : "not an image");
    }
  }
  return labels;
}
