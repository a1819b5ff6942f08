// Off Windows, a scratch drive is a temporary folder that DRIVE_C names while the test runs.
#include <cstdlib>
#include <optional>

#include <gtest/gtest.h>
#include <oleauto.h>

#include "test_drive.h"

namespace fs = std::filesystem;

namespace {

std::optional<std::string> savedDrive;

}  // namespace

fs::path OpenScratchDrive() {
  std::string pattern = (fs::temp_directory_path() / "artwork-drive-XXXXXX").string();
  if (!mkdtemp(pattern.data())) ADD_FAILURE() << "cannot make a temporary folder";
  if (const char* drive = std::getenv("DRIVE_C")) savedDrive = drive;
  setenv("DRIVE_C", pattern.c_str(), 1);
  return pattern;
}

void CloseScratchDrive(const fs::path& root) {
  if (savedDrive)
    setenv("DRIVE_C", savedDrive->c_str(), 1);
  else
    unsetenv("DRIVE_C");
  savedDrive.reset();
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

long UnfreedStringCount() { return LiveStringCount(); }
