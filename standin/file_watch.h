// Tells cheaply whether a file has changed since it was last looked at.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What a file looked like: its size, last change and identity.
struct FileStamp {
  uint64_t size = 0;
  int64_t modified = 0;  // nanoseconds where the system keeps them
  uint64_t identity = 0;
  bool operator==(const FileStamp& other) const {
    return size == other.size && modified == other.modified && identity == other.identity;
  }
};

// Watches the file at one host path; where it can, through its folder opened once, so that a
// look costs no walk down the whole path.
class FileWatch {
 public:
  explicit FileWatch(const std::string& file);
  ~FileWatch();
  FileWatch(const FileWatch&) = delete;
  FileWatch& operator=(const FileWatch&) = delete;

  const std::string& file() const { return file_; }
  // How the file looks now; nothing when it is not there.
  std::optional<FileStamp> Look() const;

 private:
  std::string file_;
  std::string name_;  // within the folder
  int folder_ = -1;   // the open folder, or -1
};
