#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file_watch.h"

FileWatch::FileWatch(const std::string& file) : file_(file) {
  const size_t slash = file.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : file.substr(0, slash + 1);
  name_ = slash == std::string::npos ? file : file.substr(slash + 1);
  folder_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

FileWatch::~FileWatch() {
  if (folder_ >= 0) close(folder_);
}

std::optional<FileStamp> FileWatch::Look() const {
  struct stat info;
  if (folder_ < 0 || fstatat(folder_, name_.c_str(), &info, 0) != 0) return std::nullopt;
  return FileStamp{static_cast<uint64_t>(info.st_size),
                   static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                   static_cast<uint64_t>(info.st_ino)};
}
