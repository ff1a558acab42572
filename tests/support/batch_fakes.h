// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "engine/batch.h"
#include "engine/trash_result.h"
#include "fileutil/path.h"

namespace relabo::test {

/// One entry of a list as a batch reads it.
struct FakeEntry {
  std::string name;
  bool marked = true;
  BatchEntryKind kind = BatchEntryKind::File;
};

/// A list of entries held in memory, in the order given.
class FakeEntries : public BatchEntries {
 public:
  FakeEntries(std::initializer_list<FakeEntry> entries) : entries(entries) {}
  explicit FakeEntries(std::vector<FakeEntry> entries) : entries(std::move(entries)) {}
  int Count() const override { return int(entries.size()); }
  int MarkedCount() const override {
    return int(std::count_if(entries.begin(), entries.end(), [](auto& e) { return e.marked; }));
  }
  bool IsMarked(int i) const override { return entries.at(i).marked; }
  BatchEntryKind Kind(int i) const override { return entries.at(i).kind; }
  std::string Name(int i) const override { return entries.at(i).name; }

  std::vector<FakeEntry> entries;
};

struct StepRecord {
  int position;
  std::string oldName;
  std::string newName;
  bool operator==(const StepRecord&) const = default;
};

/// A progress that records what the batch reports; onStep acts as a program racing the batch.
class RecordingProgress : public BatchProgress {
 public:
  void Start(int total, const std::string& title) override {
    ++starts;
    this->total = total;
    this->title = title;
  }
  void Step(int position, const std::string& oldName, const std::string& newName) override {
    steps.push_back({position, oldName, newName});
    if (onStep) onStep(position, oldName, newName);
  }
  void Beep() override { ++beeps; }

  int starts = 0;
  int total = 0;
  std::string title;
  std::vector<StepRecord> steps;
  int beeps = 0;
  std::function<void(int, const std::string&, const std::string&)> onStep;
};

/// A trash for tests: moves what it is given into a folder as "<n>-<name>", n counting the
/// calls, and records the paths; or refuses every one with a reason.
class AsideFolder {
 public:
  explicit AsideFolder(std::string folder) : m_folder(std::move(folder)) {}

  SetAsideFunction Function() {
    return [this](const std::string& path) -> std::string {
      calls.push_back(path);
      if (!refusal.empty()) return refusal;
      const std::string kept = m_folder + "/" + std::to_string(calls.size()) + "-" + NamePart(path);
      return std::rename(path.c_str(), kept.c_str()) == 0 ? std::string() : std::strerror(errno);
    };
  }

  std::vector<std::string> calls;
  std::string refusal;

 private:
  std::string m_folder;
};

/// A trash for tests laid out as the desktop's: what it is given moves to "files/<n>-<name>"
/// under its folder (n counting the calls) beside "info/<n>-<name>.trashinfo"; or it refuses
/// every entry with a reason.
class FakeTrash {
 public:
  explicit FakeTrash(std::string folder) : m_folder(std::move(folder)) {
    ::mkdir(m_folder.c_str(), 0700);
    ::mkdir((m_folder + "/files").c_str(), 0700);
    ::mkdir((m_folder + "/info").c_str(), 0700);
  }

  TrashFunction Function() {
    return [this](const std::string& path) {
      calls.push_back(path);
      TrashResult result;
      struct stat st;
      if (!refusal.empty() || ::lstat(path.c_str(), &st) != 0) {
        result.error = refusal.empty() ? std::strerror(errno) : refusal;
        return result;
      }
      const std::string name = std::to_string(calls.size()) + "-" + NamePart(path);
      result.trashedPath = m_folder + "/files/" + name;
      result.infoPath = m_folder + "/info/" + name + ".trashinfo";
      if (std::rename(path.c_str(), result.trashedPath.c_str()) != 0) {
        result.error = std::strerror(errno);
        result.trashedPath.clear();
        result.infoPath.clear();
        return result;
      }
      if (FILE* info = std::fopen(result.infoPath.c_str(), "w")) {
        std::fprintf(info, "[Trash Info]\nPath=%s\n", path.c_str());
        std::fclose(info);
      }
      result.trashed = true;
      result.device = st.st_dev;
      result.inode = st.st_ino;
      return result;
    };
  }

  std::vector<std::string> calls;
  std::string refusal;

 private:
  std::string m_folder;
};

/// The message of the error that ended a batch; empty when none did.
inline std::string ErrorText(const BatchOutcome& outcome) {
  try {
    outcome.RethrowEnding();
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

}  // namespace relabo::test
