// Where a Windows path lives on this machine.
#pragma once

#include <string>

// Maps "C:\..." (either letter case, either slash) under the folder named by the environment
// variable DRIVE_C, or $HOME/.local/share/artwork-batch/drive_c when it is unset; other paths
// only get their backslashes turned into slashes.
std::string HostPath(const char* windowsPath);
