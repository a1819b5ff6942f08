#include "program_run.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

const char kStartupLines[] =
    "iTunes COM interface Copyright (c) Apple Inc. All rights reserved.\n"
    "Tandrill Processing database....\n";

namespace {

std::string Slurp(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::filesystem::remove(file);
  return text;
}

}  // namespace

const unsigned kUnprivilegedUser = 65534;  // nobody

ProgramRun RunBatch(const TestDrive& drive, const RunOptions& options) {
  const std::string out = drive.root.string() + ".out", err = drive.root.string() + ".err";
  const pid_t child = fork();
  if (child == 0) {
    const int input = open("/dev/null", O_RDONLY);
    const int output = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int errors = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (input < 0 || output < 0 || errors < 0) _exit(127);
    dup2(input, 0);
    dup2(output, 1);
    dup2(errors, 2);
    for (const std::string& setting : options.environment)
      putenv(const_cast<char*>(setting.c_str()));
    // Root may write anywhere; a run that must meet read-only files runs as nobody.
    if (options.unprivileged && geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(kUnprivilegedUser) != 0 ||
         setuid(kUnprivilegedUser) != 0))
      _exit(126);
    execl(ARTWORK_BATCH, ARTWORK_BATCH, static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  const auto started = std::chrono::steady_clock::now();
  const auto deadline =
      started + options.killAfter.value_or(std::chrono::microseconds(std::chrono::seconds(10)));
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
}
