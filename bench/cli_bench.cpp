// SPDX-License-Identifier: GPL-3.0-or-later
// relabo-cli against a bare renameat2 loop and the perl rename, side by side in one run:
// 100,000 empty files of one folder (in /dev/shm and on the disk) get a counter name.
// Usage: relabo_cli_bench [disk folder]   (default /var/tmp); the perl rename is measured when
// file-rename is installed (Debian's "rename" package).
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kFiles = 100000;
constexpr int kRounds = 5;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

double Seconds(const std::function<void()>& body) {
  const auto start = std::chrono::steady_clock::now();
  body();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Name(const char* prefix, int i) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%06d.dat", prefix, i);
  return name;
}

// from<i + fromFirst> -> to<i + toFirst> for every i.
void RenameAll(const char* from, int fromFirst, const char* to, int toFirst) {
  for (int i = 0; i < kFiles; ++i) {
    const std::string a = Name(from, i + fromFirst), b = Name(to, i + toFirst);
    if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_NOREPLACE) != 0) {
      Fail("renameat2 " + a);
    }
  }
}

// Runs a command line through the shell in the current folder; its output is dropped.
void Shell(const std::string& command) {
  const std::string line = command + " > /dev/null";
  const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
  pid_t pid;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
    Fail("spawn " + command);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("failed: " + command);
  }
}

// A folder of kFiles empty files f000000.dat ... in parent, made anew for every measurement: a
// folder that has seen many renames lists and renames more slowly (tmpfs keeps growing its
// table of listing positions), which would favour whatever runs first.
std::string FreshFolder(const std::string& parent) {
  std::string folder = parent + "/relabo-cli-bench-XXXXXX";
  if (!::mkdtemp(folder.data())) Fail("mkdtemp");
  if (::chdir(folder.c_str()) != 0) Fail("chdir");
  for (int i = 0; i < kFiles; ++i) {
    const int fd = ::open(Name("f", i).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 || ::close(fd) != 0) Fail("create");
  }
  ::sync();
  return folder;
}

// The best of kRounds runs of body, each in a fresh folder after prepare.
double Best(const std::string& parent, const std::function<void()>& body,
            const std::function<void()>& prepare = [] {}) {
  double best = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    const std::string folder = FreshFolder(parent);
    prepare();
    best = std::min(best, Seconds(body));
    std::filesystem::current_path("/");
    std::filesystem::remove_all(folder);
  }
  return best;
}

void Bench(const std::string& parent, const std::string& cli, bool perl) {
  const std::string state = parent + "/relabo-cli-bench.state";
  ::setenv("XDG_STATE_HOME", state.c_str(), 1);
  const double bare = Best(parent, [] { RenameAll("f", 0, "r", 1); });
  // f000000.dat ... -> r000001.dat ...: the same names the bare loop gives.
  // Each run starts a journal of its own, as the first batch of a user does.
  const double relabo =
      Best(parent, [&] { Shell(cli + " --apply --quiet rename --name r --digits 6 --folder ."); },
           [&] { std::filesystem::remove_all(state); });
  std::printf("rename %d files in %s: relabo-cli %.3f s, renameat2 loop %.3f s, ratio %.2f", kFiles,
              parent.c_str(), relabo, bare, relabo / bare);
  if (perl) {
    const double perlRename = Best(parent, [] {
      Shell("find . -name 'f*' -print0 | file-rename -0 "
            "'s/f(\\d+)/sprintf(\"r%06d\", $1 + 1)/e'");
    });
    std::printf("; perl rename %.3f s, ratio %.2f", perlRename, perlRename / bare);
  }
  std::printf("\n");
  std::filesystem::remove_all(state);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string disk = argc > 1 ? argv[1] : "/var/tmp";
  try {
    const bool perl = std::system("command -v file-rename > /dev/null") == 0;
    for (const std::string& parent : {std::string("/dev/shm"), disk}) {
      Bench(parent, RELABO_CLI, perl);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "relabo_cli_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
