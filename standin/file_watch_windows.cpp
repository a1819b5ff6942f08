#include <sys/stat.h>

#include "file_watch.h"

FileWatch::FileWatch(const std::string& file) : file_(file) {}

FileWatch::~FileWatch() = default;

std::optional<FileStamp> FileWatch::Look() const {
  struct _stat64 info;
  if (_stat64(file_.c_str(), &info) != 0) return std::nullopt;
  return FileStamp{static_cast<uint64_t>(info.st_size), static_cast<int64_t>(info.st_mtime), 0};
}
