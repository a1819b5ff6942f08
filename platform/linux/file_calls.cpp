// The three Win32 file calls over POSIX, on the mapped paths.
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include "host_path.h"

DWORD GetFileAttributesA(LPCSTR path) {
  struct stat info;
  if (stat(HostPath(path).c_str(), &info) != 0) return INVALID_FILE_ATTRIBUTES;
  return S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
  return mkdir(HostPath(path).c_str(), 0777) == 0;
}

BOOL DeleteFileA(LPCSTR path) {
  const std::string host = HostPath(path);
  struct stat info;
  if (lstat(host.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return FALSE;
  return unlink(host.c_str()) == 0;
}
