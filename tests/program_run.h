// Runs the built artwork-batch as a user does, on a scratch drive.
#pragma once

#include <string>
#include <vector>

#include "test_drive.h"

struct ProgramRun {
  int status;  // the exit status; -1 when the program did not exit by itself
  std::string out, err;
};

// Runs artwork-batch on `drive` with `environment` ("NAME=value") added, no input, and at most
// ten seconds to finish (then it is killed).
ProgramRun RunBatch(const TestDrive& drive, const std::vector<std::string>& environment = {});

// What the console shows before the table.
extern const char kStartupLines[];
