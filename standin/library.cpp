#include "library.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <unordered_set>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "library_file.h"

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

const char kLibraryFile[] = "library.json";
const char kPlayerFolder[] = "C:\\Player";
ImageTraffic imageTraffic;

namespace {

const char kArtworkFolder[] = "Artwork";
// Deeper documents are refused: writing one back would recurse that deep.
const int kMaxNesting = 64;
const size_t kSignatureSize = 8;

// `value` as JSON for a message, cut short when long.
std::string Quote(const Json& value) {
  const std::string text = value.dump(-1, ' ', false, Json::error_handler_t::replace);
  return text.size() <= 60 ? text : text.substr(0, 57) + "...";
}

// How deep arrays and objects nest in JSON `text` (strings skipped).
int Nesting(const std::string& text) {
  int depth = 0, deepest = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') ++i;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

// How JSON `text` is laid out: on one line, or indented by some spaces or tabs a level (read
// off the first indented line).
Library::Layout LayoutOf(const std::string& text) {
  const size_t newline = text.find('\n');
  if (newline == std::string::npos) return {-1, ' '};
  const size_t first = newline + 1;
  const char indentChar = first < text.size() && text[first] == '\t' ? '\t' : ' ';
  const size_t end = text.find_first_not_of(indentChar, first);
  return {static_cast<int>((end == std::string::npos ? text.size() : end) - first), indentChar};
}

// Writes what `write` puts out to `file` through a temporary file beside it, so `file` is
// either the old content or the new, never half of it.
bool WriteAtomically(const fs::path& file, const std::function<void(std::ostream&)>& write,
                     std::string* error) {
  const fs::path temporary = file.string() + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    write(out);
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

// Whether `path` stays inside the folder it is relative to: not absolute, no drive, no "..".
bool StaysInside(const std::string& path) {
  if (path.empty() || path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':'))
    return false;
  size_t start = 0;
  for (;;) {
    const size_t end = path.find_first_of("/\\", start);
    if (path.compare(start, end == std::string::npos ? std::string::npos : end - start, "..") == 0)
      return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

// Checks the artwork files a library names: each must be a file inside the player folder
// (symbolic links resolved) that begins with an image signature. Each folder is resolved once,
// since many images share one.
class ArtworkChecker {
 public:
  explicit ArtworkChecker(const fs::path& folder) {
    std::error_code failure;
    root_ = fs::canonical(folder, failure);
  }

  // Why the artwork `path` (relative to the player folder, at host path `file`) cannot be
  // used, or nothing when it can.
  std::optional<std::string> Problem(const std::string& path, const std::string& file) {
    if (!StaysInside(path)) return "not inside " + std::string(kPlayerFolder);
    std::error_code failure;
    const fs::file_status link = fs::symlink_status(file, failure);
    if (!fs::exists(link)) return "missing";
    const fs::file_status status = fs::is_symlink(link) ? fs::status(file, failure) : link;
    if (!fs::exists(status)) return "missing";
    if (!fs::is_regular_file(status)) return "not a file";
    const fs::path real = fs::is_symlink(link) ? fs::canonical(file, failure)
                                               : Resolved(fs::path(file).parent_path());
    if (failure || !Inside(real)) return "outside " + std::string(kPlayerFolder);
    std::ifstream in(file, std::ios::binary);
    std::string signature(kSignatureSize, '\0');
    in.read(signature.data(), kSignatureSize);
    signature.resize(static_cast<size_t>(in.gcount()));
    if (!IsImage(signature)) return "not a JPEG or PNG image";
    return std::nullopt;
  }

 private:
  const fs::path& Resolved(const fs::path& folder) {
    auto found = folders_.find(folder.string());
    if (found == folders_.end()) {
      std::error_code failure;
      found = folders_.emplace(folder.string(), fs::canonical(folder, failure)).first;
    }
    return found->second;
  }

  bool Inside(const fs::path& real) const {
    if (root_.empty() || real.empty()) return false;
    return std::mismatch(root_.begin(), root_.end(), real.begin(), real.end()).first ==
           root_.end();
  }

  fs::path root_;
  std::unordered_map<std::string, fs::path> folders_;
};

// The first of the artwork `paths` of `library` in `folder` that cannot be used, with why;
// nothing when all can. A large library names thousands of files: they are looked at on two
// threads.
std::optional<std::pair<std::string, std::string>> FirstArtworkProblem(
    const Library& library, const std::string& folder, const std::vector<std::string>& paths) {
  std::vector<std::optional<std::string>> problems(paths.size());
  auto check = [&](size_t first, size_t step) {
    ArtworkChecker checker(folder);
    for (size_t i = first; i < paths.size(); i += step)
      problems[i] = checker.Problem(paths[i], library.ImageFile({paths[i], 0}));
  };
  const size_t workers = paths.size() >= 256 ? 2 : 1;
  std::vector<std::thread> helpers;
  for (size_t worker = 1; worker < workers; ++worker) helpers.emplace_back(check, worker, workers);
  check(0, workers);
  for (std::thread& helper : helpers) helper.join();
  for (size_t i = 0; i < paths.size(); ++i)
    if (problems[i]) return std::pair{paths[i], *problems[i]};
  return std::nullopt;
}

// Writes `bytes` to the file at host path `file`, in place of what it held. An existing file is
// written over and then cut to length, not truncated first: a file truncated to nothing and
// written again is flushed to disk when it is closed (ext4 does so), a disk write per run.
bool WriteOver(const std::string& file, const std::string& bytes) {
  std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
  if (!out.is_open()) out.open(file, std::ios::binary | std::ios::out | std::ios::trunc);
  if (!out.is_open()) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  const std::streamoff end = out.seekp(0, std::ios::end).tellp();  // the longer of old and new
  out.close();
  std::error_code failure;
  if (out && end > static_cast<std::streamoff>(bytes.size()))
    fs::resize_file(file, bytes.size(), failure);
  if (!out || failure) {
    std::remove(file.c_str());  // half an image is worse than none
    return false;
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
  const uintmax_t size = fs::file_size(file, failure);  // also fails for a folder
  if (failure) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  std::string bytes(static_cast<size_t>(size), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  if (!in) return std::nullopt;
  return bytes;
}

std::string ContentHash(const std::string& bytes) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx",
                static_cast<unsigned long long>(XXH3_64bits(bytes.data(), bytes.size())));
  return text;
}

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
  if (Nesting(*text) > kMaxNesting) {
    *error = "nests lists or objects more than " + std::to_string(kMaxNesting) + " deep";
    return nullptr;
  }
  if (!ReadLibraryText(*text, library->others_, library->tracks, error)) return nullptr;
  library->layout_ = LayoutOf(*text);
  const Json& document = library->others_;
  if (document.contains("repeat")) {
    if (!document["repeat"].is_boolean()) {
      *error = "has a \"repeat\" that is neither true nor false";
      return nullptr;
    }
    library->repeat = document["repeat"].get<bool>();
  }
  std::vector<std::string> paths;  // each artwork path once, in the order first named
  std::unordered_set<std::string> named;
  for (size_t i = 0; i < library->tracks.size(); ++i) {
    LibraryTrack& track = library->tracks[i];
    if (!library->positions_.emplace(track.id, i).second) {
      *error = "has track id " + std::to_string(track.id) + " more than once";
      return nullptr;
    }
    for (ArtworkItem& item : track.artwork) {
      item.serial = library->nextSerial_++;
      if (named.insert(item.path).second) paths.push_back(item.path);
    }
  }
  if (const auto problem = FirstArtworkProblem(*library, folder, paths)) {
    *error = "names artwork " + Quote(problem->first) + ", which is " + problem->second;
    return nullptr;
  }
  if (document.contains("current") && !document["current"].is_null()) {
    const Json& current = document["current"];
    if (const std::optional<int32_t> id = AsInt32(current)) {
      const auto found = library->positions_.find(*id);
      if (found != library->positions_.end()) library->current = found->second;
    }
    if (!library->current) {
      *error = "has a \"current\" track " + Quote(current) + " that is not in the list";
      return nullptr;
    }
  }
  return library;
}

bool Library::Save(std::string* error) {
  if (!changed_) return true;
  others_["current"] = current ? Json(tracks[*current].id) : Json(nullptr);
  const auto write = [this](std::ostream& out) {
    WriteLibraryText(out, others_, tracks, layout_.indent, layout_.indentChar);
    out << '\n';
  };
  if (!WriteAtomically(fs::path(folder_) / kLibraryFile, write, error)) return false;
  changed_ = false;
  return true;
}

LibraryTrack* Library::FindTrack(int32_t id) {
  const auto found = positions_.find(id);
  return found == positions_.end() ? nullptr : &tracks[found->second];
}

std::string Library::ImageFile(const ArtworkItem& item) const {
  std::string relative = item.path;
  for (char& c : relative)
    if (c == '\\') c = '/';
  return (fs::path(folder_) / relative).string();
}

bool Library::SaveImage(const ArtworkItem& item, const std::string& file) {
  saved_.reset();
  const std::optional<std::string> bytes = ReadFile(ImageFile(item));
  if (!bytes) return false;
  imageTraffic.bytesRead += bytes->size();
  if (!WriteOver(file, *bytes)) return false;
  imageTraffic.bytesWritten += bytes->size();
  if (!savedWatch_ || savedWatch_->file() != file) savedWatch_ = std::make_unique<FileWatch>(file);
  if (const std::optional<FileStamp> stamp = savedWatch_->Look())
    saved_ = SavedFile{item.path, *stamp};
  return true;
}

bool Library::AddImage(LibraryTrack& track, const std::string& file) {
  if (saved_ && savedWatch_->file() == file && savedWatch_->Look() == saved_->stamp) {
    track.artwork.push_back({saved_->imagePath, nextSerial_++});
    Touch();
    return true;
  }
  const std::optional<std::string> bytes = ReadFile(file);
  if (!bytes) return false;
  imageTraffic.bytesRead += bytes->size();
  if (!IsImage(*bytes)) return false;
  // Named by content, so adding the same image again reuses its file.
  const std::string extension = bytes->compare(0, 1, "\xFF") == 0 ? ".jpg" : ".png";
  const std::string stem = std::string(kArtworkFolder) + "/" + ContentHash(*bytes);
  std::error_code failure;
  fs::create_directories(fs::path(folder_) / kArtworkFolder, failure);
  std::string path;
  for (int n = 1;; ++n) {
    path = stem + (n == 1 ? "" : "-" + std::to_string(n)) + extension;
    const std::string target = (fs::path(folder_) / path).string();
    const std::optional<std::string> existing = ReadFile(target);
    if (existing) imageTraffic.bytesRead += existing->size();
    if (existing == bytes) break;
    if (existing || fs::exists(target, failure)) continue;
    std::string ignored;
    if (!WriteAtomically(target, [&](std::ostream& out) { out << *bytes; }, &ignored))
      return false;
    imageTraffic.bytesWritten += bytes->size();
    break;
  }
  track.artwork.push_back({path, nextSerial_++});
  Touch();
  return true;
}
