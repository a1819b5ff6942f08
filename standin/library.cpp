#include "library.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

const char kLibraryFile[] = "library.json";
const char kPlayerFolder[] = "C:\\Player";

namespace {

const char kArtworkFolder[] = "Artwork";

uint64_t Fnv1a(const std::string& bytes) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (unsigned char c : bytes) hash = (hash ^ c) * 0x100000001B3ull;
  return hash;
}

std::string Hex(uint64_t value, int digits) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return std::string(text + 16 - digits);
}

bool IsInt32(const Json& value) {
  if (value.is_number_unsigned())
    return value.get<uint64_t>() <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
  if (!value.is_number_integer()) return false;
  const int64_t n = value.get<int64_t>();
  return n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max();
}

// Writes `bytes` to `file` through a temporary file beside it, so `file` is either the old
// content or the new, never half of it.
bool WriteAtomically(const fs::path& file, const std::string& bytes, std::string* error) {
  const fs::path temporary = file.string() + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    if (!out) {
      *error = "cannot write " + temporary.string();
      std::error_code ignored;
      fs::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code failure;
  fs::rename(temporary, file, failure);
  if (failure) {
    *error = "cannot replace " + file.string() + ": " + failure.message();
    fs::remove(temporary, failure);
    return false;
  }
  return true;
}

// Reads track `position` of the document into `track`; the reason in `error` when it is not
// a track.
bool ReadTrack(const Json& entry, size_t position, LibraryTrack& track, std::string* error) {
  const std::string where = "track " + std::to_string(position + 1) + " of the list";
  if (!entry.is_object()) {
    *error = where + " is not an object";
    return false;
  }
  if (!entry.contains("id") || !IsInt32(entry["id"])) {
    *error = where + " has no \"id\" that is a 32-bit integer";
    return false;
  }
  track.id = entry["id"].get<int32_t>();
  if (entry.contains("number")) {
    if (!IsInt32(entry["number"])) {
      *error = where + " has a \"number\" that is not a 32-bit integer";
      return false;
    }
    track.number = entry["number"].get<int32_t>();
  }
  for (auto [key, field] : {std::pair{"name", &track.name}, std::pair{"album", &track.album},
                            std::pair{"artist", &track.artist}}) {
    if (!entry.contains(key) || entry[key].is_null()) continue;
    if (!entry[key].is_string()) {
      *error = where + " has a \"" + key + "\" that is neither a string nor null";
      return false;
    }
    *field = entry[key].get<std::string>();
  }
  if (entry.contains("artwork")) {
    const Json& artwork = entry["artwork"];
    if (!artwork.is_array()) {
      *error = where + " has an \"artwork\" that is not a list";
      return false;
    }
    for (const Json& item : artwork) {
      if (!item.is_string() || item.get<std::string>().empty()) {
        *error = where + " has an artwork item that is not a file path";
        return false;
      }
      track.artwork.push_back({item.get<std::string>(), 0});
    }
  }
  return true;
}

}  // namespace

bool IsImage(const std::string& bytes) {
  static const std::string kJpeg = "\xFF\xD8\xFF";
  static const std::string kPng = "\x89PNG\r\n\x1A\n";
  return bytes.compare(0, kJpeg.size(), kJpeg) == 0 || bytes.compare(0, kPng.size(), kPng) == 0;
}

std::optional<std::string> ReadFile(const std::string& file) {
  std::error_code failure;
  if (!fs::is_regular_file(file, failure)) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (!in) return std::nullopt;
  return bytes.str();
}

std::string ContentId(const std::string& bytes) { return Hex(Fnv1a(bytes), 6); }

bool Library::Exists(const std::string& folder) {
  std::error_code failure;
  return fs::exists(fs::path(folder) / kLibraryFile, failure);
}

std::unique_ptr<Library> Library::Load(const std::string& folder, std::string* error) {
  auto library = std::make_unique<Library>();
  library->folder_ = folder;
  const std::optional<std::string> text = ReadFile((fs::path(folder) / kLibraryFile).string());
  if (!text) {
    *error = "cannot be read";
    return nullptr;
  }
  try {
    library->document_ = Json::parse(*text);
  } catch (const Json::parse_error& failure) {
    *error = std::string("is not valid JSON: ") + failure.what();
    return nullptr;
  }
  const Json& document = library->document_;
  if (!document.is_object() || !document.contains("tracks") || !document["tracks"].is_array()) {
    *error = "is not an object with a \"tracks\" list";
    return nullptr;
  }
  std::set<int32_t> ids;
  for (size_t i = 0; i < document["tracks"].size(); ++i) {
    LibraryTrack track;
    if (!ReadTrack(document["tracks"][i], i, track, error)) return nullptr;
    if (!ids.insert(track.id).second) {
      *error = "has track id " + std::to_string(track.id) + " more than once";
      return nullptr;
    }
    for (ArtworkItem& item : track.artwork) {
      item.serial = library->nextSerial_++;
      if (fs::path(item.path).is_absolute() || item.path[0] == '\\' ||
          (item.path.size() > 1 && item.path[1] == ':')) {
        *error = "names artwork \"" + item.path + "\", which is not relative to " + kPlayerFolder;
        return nullptr;
      }
      const std::optional<std::string> image = ReadFile(library->ImageFile(item));
      if (!image || !IsImage(*image)) {
        *error = "names artwork \"" + item.path + "\", which is " +
                 (image ? "not a JPEG or PNG image" : "missing");
        return nullptr;
      }
    }
    library->tracks.push_back(std::move(track));
  }
  if (document.contains("current") && !document["current"].is_null()) {
    const Json& current = document["current"];
    if (IsInt32(current)) {
      const int32_t id = current.get<int32_t>();
      for (size_t i = 0; i < library->tracks.size(); ++i)
        if (library->tracks[i].id == id) library->current = i;
    }
    if (!library->current) {
      *error = "has a \"current\" track " + current.dump() + " that is not in the list";
      return nullptr;
    }
  }
  return library;
}

bool Library::Save(std::string* error) {
  if (!changed_) return true;
  Json& list = document_["tracks"];
  for (size_t i = 0; i < tracks.size(); ++i) {
    Json artwork = Json::array();
    for (const ArtworkItem& item : tracks[i].artwork) artwork.push_back(item.path);
    list[i]["artwork"] = std::move(artwork);
  }
  document_["current"] = current ? Json(tracks[*current].id) : Json(nullptr);
  if (!WriteAtomically(fs::path(folder_) / kLibraryFile, document_.dump(2) + "\n", error))
    return false;
  changed_ = false;
  return true;
}

LibraryTrack* Library::FindTrack(int32_t id) {
  for (LibraryTrack& track : tracks)
    if (track.id == id) return &track;
  return nullptr;
}

std::string Library::ImageFile(const ArtworkItem& item) const {
  std::string relative = item.path;
  for (char& c : relative)
    if (c == '\\') c = '/';
  return (fs::path(folder_) / relative).string();
}

bool Library::AddImage(LibraryTrack& track, const std::string& file) {
  const std::optional<std::string> bytes = ReadFile(file);
  if (!bytes || !IsImage(*bytes)) return false;
  // Named by content, so adding the same image again reuses its file.
  const std::string extension = bytes->compare(0, 1, "\xFF") == 0 ? ".jpg" : ".png";
  const std::string stem = std::string(kArtworkFolder) + "/" + Hex(Fnv1a(*bytes), 16);
  std::error_code failure;
  fs::create_directories(fs::path(folder_) / kArtworkFolder, failure);
  std::string path;
  for (int n = 1;; ++n) {
    path = stem + (n == 1 ? "" : "-" + std::to_string(n)) + extension;
    const std::string target = (fs::path(folder_) / path).string();
    const std::optional<std::string> existing = ReadFile(target);
    if (existing == bytes) break;
    if (existing || fs::exists(target, failure)) continue;
    std::string ignored;
    if (!WriteAtomically(target, *bytes, &ignored)) return false;
    break;
  }
  track.artwork.push_back({path, nextSerial_++});
  Touch();
  return true;
}
