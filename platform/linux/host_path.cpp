#include "host_path.h"

#include <cstdlib>

namespace {

std::string DriveFolder() {
  if (const char* drive = std::getenv("DRIVE_C"); drive && *drive) return drive;
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.local/share/artwork-batch/drive_c";
}

bool IsDriveC(const std::string& path) {
  return path.size() >= 2 && (path[0] == 'C' || path[0] == 'c') && path[1] == ':';
}

}  // namespace

std::string HostPath(const char* windowsPath) {
  std::string path = windowsPath ? windowsPath : "";
  for (char& c : path)
    if (c == '\\') c = '/';
  if (!IsDriveC(path)) return path;
  std::string rest = path.substr(2);
  if (!rest.empty() && rest[0] != '/') rest.insert(0, "/");
  return DriveFolder() + rest;
}
