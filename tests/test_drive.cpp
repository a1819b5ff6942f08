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

void TestDrive::WriteLibrary(const std::vector<TrackSpec>& tracks, int current) const {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const TrackSpec& track : tracks) {
    nlohmann::ordered_json artwork = nlohmann::ordered_json::array();
    for (const std::string& label : track.artwork) {
      Write("Player/Art/" + label + ".jpg", ImageBytes(label));
      artwork.push_back("Art/" + label + ".jpg");
    }
    list.push_back({{"id", track.id},
                    {"number", track.id},
                    {"name", "Track " + std::to_string(track.id)},
                    {"album", track.album ? nlohmann::ordered_json(*track.album) : nullptr},
                    {"artist", "Artist"},
                    {"artwork", artwork}});
  }
  nlohmann::ordered_json library = {{"current", current ? nlohmann::ordered_json(current) : nullptr},
                                    {"tracks", list}};
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
