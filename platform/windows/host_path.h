// Where a Windows path lives on this machine: on Windows, right where it says.
#pragma once

#include <string>

inline std::string HostPath(const char* windowsPath) { return windowsPath; }
