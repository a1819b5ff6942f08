// Runs the built artwork-batch as a user does, on a scratch drive.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "test_drive.h"

struct ProgramRun {
  int status;  // the exit status; -1 when the program did not exit by itself
  std::string out, err;
};

struct RunOptions {
  std::vector<std::string> environment;  // added to the program's, as "NAME=value"
  bool unprivileged = false;             // run as user nobody when the tests run as root
  std::optional<std::chrono::microseconds> killAfter;  // killed (SIGKILL) that soon
};

// Runs artwork-batch on `drive` with no input and at most ten seconds to finish (then it is
// killed).
ProgramRun RunBatch(const TestDrive& drive, const RunOptions& options = {});
inline ProgramRun RunBatch(const TestDrive& drive, std::vector<std::string> environment) {
  RunOptions options;
  options.environment = std::move(environment);
  return RunBatch(drive, options);
}

// The user id that an unprivileged run has.
extern const unsigned kUnprivilegedUser;

// What the console shows before the table.
extern const char kStartupLines[];
