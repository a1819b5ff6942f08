// On Windows the scratch drive is C: itself (a private Wine prefix's, when the tests run under
// Wine): the test owns C:\Player and C:\Image and clears both before and after.
#include "test_drive.h"

namespace fs = std::filesystem;

namespace {

void ClearDrive(const fs::path& root) {
  std::error_code ignored;
  fs::remove_all(root / "Player", ignored);
  fs::remove_all(root / "Image", ignored);
}

}  // namespace

fs::path OpenScratchDrive() {
  const fs::path root = "C:\\";
  ClearDrive(root);
  return root;
}

void CloseScratchDrive(const fs::path& root) { ClearDrive(root); }

// Windows' own OLE strings keep no count; the Linux build checks that every string is freed.
long UnfreedStringCount() { return 0; }
