// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/plan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>

#include "engine/journal.h"
#include "fileutil/error.h"
#include "fileutil/fs.h"
#include "fileutil/path.h"

namespace relabo {

namespace {

// PATH_MAX less the NUL that ends a path.
constexpr size_t kMaxPathBytes = 4095;
constexpr size_t kNone = std::string_view::npos;

size_t HashOf(std::string_view text) { return std::hash<std::string_view>{}(text); }

NameKind KindOfMode(mode_t mode) {
  if (S_ISREG(mode) || S_ISLNK(mode)) return NameKind::File;
  if (S_ISDIR(mode)) return NameKind::Folder;
  return NameKind::Other;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The progress position of the n-th operation; a copy batch can plan more operations than an
// int counts.
int Position(int64_t count) { return static_cast<int>(std::min<int64_t>(count, INT_MAX)); }

// The folder part of a path relative to the shown folder; empty for a bare name.
std::string_view FolderOf(std::string_view name) {
  const size_t slash = name.rfind('/');
  return slash == kNone ? std::string_view() : name.substr(0, slash);
}

std::string Quoted(std::string_view folder) {
  return folder.empty() ? std::string("the folder") : "the folder " + std::string(folder);
}

struct NameProblem {
  int error = 0;
  const char* reason = "";
};

// What makes a name unusable whatever the folder holds. The runner never passes such a name to
// the system: "a\0b" would rename to "a", "" and "/x" would reach outside the folder.
NameProblem ProblemOf(std::string_view name) {
  if (name.empty()) return {EINVAL, "the name is empty"};
  if (name.find('\0') != kNone) return {EINVAL, "the name holds a NUL byte"};
  if (name.size() > kMaxPathBytes) return {ENAMETOOLONG, "the name is longer than 4095 bytes"};
  const bool path = name.find('/') != kNone;
  size_t start = 0;
  for (;;) {
    const size_t slash = name.find('/', start);
    const std::string_view part = name.substr(start, slash == kNone ? kNone : slash - start);
    if (part.empty()) {
      if (start == 0) return {EINVAL, "the name begins with \"/\""};
      return {EINVAL, slash == kNone ? "the name ends with \"/\"" : "the name holds \"//\""};
    }
    if (part == "." || part == "..") {
      if (path) return {EINVAL, "a path may not go through \".\" or \"..\""};
      return {EINVAL, part == "." ? "\".\" is not a file name" : "\"..\" is not a file name"};
    }
    if (part.size() > size_t{kMaxNameBytes}) {
      return {ENAMETOOLONG, path ? "a name in the path is longer than 255 bytes"
                                 : "the name is longer than 255 bytes"};
    }
    if (slash == kNone) return {};
    start = slash + 1;
  }
}

bool Succeeds(PlanOutcome outcome) {
  return outcome == PlanOutcome::Rename || outcome == PlanOutcome::Unchanged ||
         outcome == PlanOutcome::Move || outcome == PlanOutcome::Replace;
}

// What a plan knows of one name.
struct NameState {
  NameKind kind = NameKind::None;
  NameKind followed = NameKind::None;
  uint8_t flags = 0;
  int16_t writeError = 0;
};

// The working memory of a plan, kept for the next plan on the same thread: a preview plans
// again at every change of a parameter, and taking this much fresh memory from the system
// each time costs about as much as the planning.
struct Scratch {
  std::vector<std::string_view> names;
  std::vector<uint64_t> slots;
  std::vector<uint32_t> oldIds;
  std::vector<uint32_t> newIds;
  std::vector<NameState> states;
  bool busy = false;
};

// The thread's scratch, or one of its own when a plan is made while another is (from a
// FolderNames that plans, say).
class ScratchLease {
 public:
  ScratchLease() : m_scratch(Shared().busy ? m_own : Shared()) { m_scratch.busy = true; }
  ~ScratchLease() { m_scratch.busy = false; }
  ScratchLease(const ScratchLease&) = delete;
  ScratchLease& operator=(const ScratchLease&) = delete;
  Scratch& Get() { return m_scratch; }

 private:
  static Scratch& Shared() {
    thread_local Scratch scratch;
    return scratch;
  }
  Scratch m_own;
  Scratch& m_scratch;
};

// Every name a plan meets (old and new names, the folders of paths, temporary names),
// numbered in one open-addressing table, so that the rest of the plan works on arrays. The
// names are views into strings that outlive the table.
class NameTable {
 public:
  static constexpr uint32_t kMissing = UINT32_MAX;

  NameTable(Scratch& scratch, size_t expected) : m_names(scratch.names), m_slots(scratch.slots) {
    m_names.clear();
    m_names.reserve(expected);
    size_t capacity = 16;
    while (capacity * 3 < expected * 4) capacity <<= 1;
    m_slots.assign(capacity, 0);
  }

  static uint64_t Hash(std::string_view name) { return HashOf(name) & 0xFFFFFFFF00000000u; }

  // Brings the slot of a name about to be asked into the cache.
  void Prefetch(uint64_t hash) const {
    __builtin_prefetch(&m_slots[Start(hash, m_slots.size() - 1)]);
  }

  // The number of the name, given it when new.
  uint32_t Id(std::string_view name) { return Id(name, Hash(name)); }
  uint32_t Id(std::string_view name, uint64_t hash) {
    // Three quarters full at most: the slots hold hash bits, so a probe rarely looks further
    // than the slots of one cache line.
    if ((m_names.size() + 1) * 4 > m_slots.size() * 3) Grow();
    const size_t mask = m_slots.size() - 1;
    for (size_t i = Start(hash, mask);; i = (i + 1) & mask) {
      const uint64_t slot = m_slots[i];
      if (slot == 0) {
        m_names.push_back(name);
        m_slots[i] = hash | m_names.size();
        return static_cast<uint32_t>(m_names.size() - 1);
      }
      if ((slot & 0xFFFFFFFF00000000u) == hash && m_names[(slot & 0xFFFFFFFFu) - 1] == name) {
        return static_cast<uint32_t>((slot & 0xFFFFFFFFu) - 1);
      }
    }
  }

  // The number of a name met before, or kMissing.
  uint32_t Find(std::string_view name) const {
    const uint64_t hash = HashOf(name) & 0xFFFFFFFF00000000u;
    const size_t mask = m_slots.size() - 1;
    for (size_t i = Start(hash, mask);; i = (i + 1) & mask) {
      const uint64_t slot = m_slots[i];
      if (slot == 0) return kMissing;
      if ((slot & 0xFFFFFFFF00000000u) == hash && m_names[(slot & 0xFFFFFFFFu) - 1] == name) {
        return static_cast<uint32_t>((slot & 0xFFFFFFFFu) - 1);
      }
    }
  }

  std::string_view Name(uint32_t id) const { return m_names[id]; }
  size_t Size() const { return m_names.size(); }

 private:
  // The slot holds the hash's upper half (with the id below); the lower half picks the slot.
  static size_t Start(uint64_t hash, size_t mask) {
    return size_t((hash >> 32) * 0x9E3779B1u) & mask;
  }

  void Grow() {
    std::vector<uint64_t> old(m_slots.size() * 2, 0);
    old.swap(m_slots);
    const size_t mask = m_slots.size() - 1;
    for (const uint64_t slot : old) {
      if (slot == 0) continue;
      size_t i = Start(slot & 0xFFFFFFFF00000000u, mask);
      while (m_slots[i] != 0) i = (i + 1) & mask;
      m_slots[i] = slot;
    }
  }

  std::vector<std::string_view>& m_names;
  std::vector<uint64_t>& m_slots;  // hash << 32 | (id + 1); 0 is free
};

// The folder's names as the operations planned so far leave them.
class Simulation {
 public:
  // ops holds its operations where they stay: the names are not copied.
  // expected operations with about expectedNames names between them.
  Simulation(const FolderNames& names, const PlanOptions& options,
             std::vector<PlannedOperation>& ops, size_t expected, size_t expectedNames,
             Scratch& scratch)
      : m_names(names),
        m_options(options),
        m_ops(ops),
        m_table(scratch, expectedNames + 16),
        m_old(scratch.oldIds),
        m_new(scratch.newIds),
        m_states(scratch.states) {
    m_old.clear();
    m_new.clear();
    m_states.clear();
    m_old.reserve(expected);
    m_new.reserve(expected);
  }

  // Numbers the names of the next operation, in list order, while they are still in the cache.
  // The table is far larger than a cache: its slots are fetched as the names come, and each
  // operation's names are entered a few operations later.
  void Add(size_t index) {
    Pending& pending = m_pending[index % kPending];
    if (index >= kPending) Enter(index - kPending, pending);
    pending.oldHash = NameTable::Hash(m_ops[index].oldName);
    pending.newHash = NameTable::Hash(m_ops[index].newName);
    m_table.Prefetch(pending.oldHash);
    m_table.Prefetch(pending.newHash);
    ++m_added;
  }

  // Enters the names still waiting; the operations can then be planned.
  void Ready() {
    for (size_t index = m_added > kPending ? m_added - kPending : 0; index < m_added; ++index) {
      Enter(index, m_pending[index % kPending]);
    }
    m_states.resize(m_table.Size());
  }

  // Brings the names of an operation soon to be planned into the cache.
  void PrefetchNames(size_t index) const {
    __builtin_prefetch(m_ops[index].oldName.data());
    __builtin_prefetch(m_ops[index].newName.data());
  }

  // Brings what the operation's step will look at into the cache.
  void Prefetch(size_t index) const {
    const uint32_t from = m_old[index];
    const uint32_t to = m_new[index];
    __builtin_prefetch(&m_states[from]);
    __builtin_prefetch(&m_states[to]);
    if (!(m_states[from].flags & kKindKnown)) m_names.Prefetch(m_ops[index].oldName);
    if (!(m_states[to].flags & kKindKnown)) m_names.Prefetch(m_ops[index].newName);
  }

  uint32_t OldId(size_t op) const { return m_old[op]; }
  uint32_t NewId(size_t op) const { return m_new[op]; }
  size_t NameCount() const { return m_table.Size(); }
  bool Known(std::string_view name) const { return m_table.Find(name) != NameTable::kMissing; }
  bool FreeOnDisk(std::string_view name) const { return m_names.Kind(name) == NameKind::None; }

  // What stands at the name now (links not followed).
  NameKind Kind(uint32_t id) {
    State& state = m_states[id];
    if (!(state.flags & kKindKnown)) {
      state.kind = m_names.Kind(m_table.Name(id));
      state.flags |= kKindKnown;
    }
    return state.kind;
  }
  bool Changed(uint32_t id) const { return m_states[id].flags & kChanged; }

  // 0, or why a path cannot reach the folder it names (ENOENT, ENOTDIR) with the reason.
  int FolderError(std::string_view name, std::string* reason) {
    for (size_t slash = name.find('/'); slash != kNone; slash = name.find('/', slash + 1)) {
      const std::string_view folder = name.substr(0, slash);
      const NameKind kind = Followed(Id(folder));
      if (kind == NameKind::Folder) continue;
      if (reason) {
        *reason = kind == NameKind::None ? Quoted(folder) + " does not exist"
                                         : std::string(folder) + " is not a folder";
      }
      return kind == NameKind::None ? ENOENT : ENOTDIR;
    }
    return 0;
  }

  // Gives a cycle's operation its temporary name (the string in op must stay where it is).
  void SetTemporary(size_t op) {
    if (m_temporary.empty()) m_temporary.assign(m_old.size(), NameTable::kMissing);
    m_temporary[op] = Id(m_ops[op].temporaryName);
  }

  void Rename(size_t index) {
    PlannedOperation& op = m_ops[index];
    if (op.outcome == PlanOutcome::Fail) return;  // no new name could be computed
    const uint32_t from = m_old[index];
    if (op.newName == op.oldName) {
      // RenameNoReplace finds the file where it should be.
      if (Kind(from) == NameKind::None) {
        Fail(op, ENOENT, op.oldName + " does not exist");
      } else {
        op.outcome = PlanOutcome::Unchanged;
      }
      return;
    }
    if (const NameProblem problem = ProblemOf(op.newName); problem.error) {
      Fail(op, problem.error, problem.reason);
      return;
    }
    std::string reason;
    if (const int error = FolderError(op.newName, &reason)) {
      Fail(op, error, std::move(reason));
      return;
    }
    const uint32_t to = m_new[index];
    if (!Checked(op, from, to, op.newName)) return;
    Move(from, to);
    op.outcome = op.newName.find('/') == kNone ? PlanOutcome::Rename : PlanOutcome::Move;
  }

  // The first half of a rename through a temporary name.
  void ToTemporary(size_t index) {
    PlannedOperation& op = m_ops[index];
    const uint32_t temporary = TemporaryId(index);
    if (!Checked(op, m_old[index], temporary, op.temporaryName)) return;
    Move(m_old[index], temporary);
    op.outcome = PlanOutcome::Rename;
  }

  // The second half: the name the others left free. The runner takes the file back to its
  // old name where the new one is taken after all.
  void FromTemporary(size_t index) {
    PlannedOperation& op = m_ops[index];
    if (op.outcome == PlanOutcome::Fail) return;
    const uint32_t temporary = TemporaryId(index);
    if (Kind(m_new[index]) != NameKind::None) {
      Fail(op, EEXIST, "another file of this batch takes this name");
      if (Kind(m_old[index]) == NameKind::None) Move(temporary, m_old[index]);
      return;
    }
    Move(temporary, m_new[index]);
    op.outcome = op.newName.find('/') == kNone ? PlanOutcome::Rename : PlanOutcome::Move;
  }

  // One copy; false when it ends the batch, with the error's message in ending.
  bool Copy(size_t index, std::string& ending) {
    PlannedOperation& op = m_ops[index];
    const std::string& source = op.oldName;
    const std::string& target = op.newName;
    auto cannotCreate = [&](int error, std::string reason) {
      ending = Format("Cannot create file %s", target);
      return End(op, error, std::move(reason));
    };
    // A name that cannot be is refused before anything is asked of the system.
    if (const NameProblem problem = ProblemOf(target); problem.error) {
      return cannotCreate(problem.error, problem.reason);
    }
    // CopyFileContents opens the source first, following a link.
    const uint32_t from = m_old[index];
    const bool sourceReplaced = Changed(from);
    const NameKind read = Followed(from);
    if (read != NameKind::File) {
      ending = Format("Cannot open file %s", source);
      if (read == NameKind::None) return End(op, ENOENT, source + " does not exist");
      if (read == NameKind::Folder) return End(op, EISDIR, source + " is a folder");
      return End(op, EINVAL, source + " is not a regular file");
    }
    std::string reason;
    if (const int error = FolderError(target, &reason)) {
      return cannotCreate(error, std::move(reason));
    }
    const uint32_t to = m_new[index];
    const NameKind there = Kind(to);
    if (there == NameKind::Folder) return cannotCreate(EISDIR, target + " is a folder");
    if (there == NameKind::Other) return cannotCreate(EEXIST, target + " is not a regular file");
    const bool replace = there == NameKind::File;
    if (replace) {
      if (to == from) return cannotCreate(0, "the copy would be its own source");
      // A copy this batch made is its own to replace.
      if (!Changed(to)) {
        if (const std::optional<int> refusal =
                m_names.ReplaceError(source, target, sourceReplaced)) {
          return cannotCreate(*refusal, *refusal == 0 ? target + " is the source under another name"
                                                      : target + ": " + std::strerror(*refusal));
        }
      }
      if (!m_options.replaceCopies) return cannotCreate(EEXIST, target + " exists");
    }
    if (const int error = WriteError(FolderOf(target))) {
      return cannotCreate(error, Quoted(FolderOf(target)) + ": " + std::strerror(error));
    }
    Set(to, NameKind::File);
    op.outcome = replace ? PlanOutcome::Replace : PlanOutcome::Rename;
    return true;
  }

 private:
  enum Flags : uint8_t { kKindKnown = 1, kFollowedKnown = 2, kWriteKnown = 4, kChanged = 8 };
  using State = NameState;

  static constexpr size_t kPending = 8;
  struct Pending {
    uint64_t oldHash = 0;
    uint64_t newHash = 0;
  };

  void Enter(size_t index, const Pending& pending) {
    m_old.push_back(m_table.Id(m_ops[index].oldName, pending.oldHash));
    m_new.push_back(m_table.Id(m_ops[index].newName, pending.newHash));
  }

  uint32_t Id(std::string_view name) {
    const uint32_t id = m_table.Id(name);
    if (id >= m_states.size()) m_states.resize(id + 1);
    return id;
  }

  uint32_t TemporaryId(size_t op) const { return m_temporary.at(op); }

  // What a path finds at the name, links followed: what the batch left there, else the disk.
  NameKind Followed(uint32_t id) {
    State& state = m_states[id];
    if (state.flags & kChanged) return state.kind;
    if (!(state.flags & kFollowedKnown)) {
      state.followed = m_names.FollowedKind(m_table.Name(id));
      state.flags |= kFollowedKnown;
    }
    return state.followed;
  }

  int WriteError(std::string_view folder) {
    if (folder.empty()) {
      if (!m_folderWriteKnown) {
        m_folderWriteError = m_names.WriteError(folder);
        m_folderWriteKnown = true;
      }
      return m_folderWriteError;
    }
    State& state = m_states[Id(folder)];
    if (!(state.flags & kWriteKnown)) {
      state.writeError = static_cast<int16_t>(m_names.WriteError(folder));
      state.flags |= kWriteKnown;
    }
    return state.writeError;
  }

  // The checks of a rename from one name to another after the new name's own: in the
  // kernel's order, a read-only volume first, then the file, then the target, then the
  // folders' permission.
  bool Checked(PlannedOperation& op, uint32_t from, uint32_t to, std::string_view target) {
    const std::string_view fromFolder = FolderOf(op.oldName);
    const std::string_view toFolder = FolderOf(target);
    int access = WriteError(fromFolder);
    std::string_view denied = fromFolder;
    if (access == 0 && toFolder != fromFolder) {
      access = WriteError(toFolder);
      denied = toFolder;
    }
    if (access == EROFS) return Fail(op, EROFS, "the volume is read-only");
    if (Kind(from) == NameKind::None) return Fail(op, ENOENT, op.oldName + " does not exist");
    if (Kind(to) != NameKind::None) {
      return Fail(op, EEXIST,
                  Changed(to) ? std::string("another file of this batch takes this name")
                              : std::string(target) + " exists");
    }
    if (access != 0) return Fail(op, access, Quoted(denied) + ": " + std::strerror(access));
    return true;
  }

  void Set(uint32_t id, NameKind kind) {
    State& state = m_states[id];
    state.kind = kind;
    state.flags |= kKindKnown | kChanged;
  }

  void Move(uint32_t from, uint32_t to) {
    const NameKind kind = Kind(from);
    Set(from, NameKind::None);
    Set(to, kind);
  }

  static bool Fail(PlannedOperation& op, int error, std::string reason) {
    op.outcome = PlanOutcome::Fail;
    op.error = error;
    op.reason = std::move(reason);
    return false;
  }

  static bool End(PlannedOperation& op, int error, std::string reason) {
    op.outcome = PlanOutcome::End;
    op.error = error;
    op.reason = std::move(reason);
    return false;
  }

  const FolderNames& m_names;
  const PlanOptions& m_options;
  std::vector<PlannedOperation>& m_ops;
  NameTable m_table;
  std::vector<uint32_t>& m_old;
  std::vector<uint32_t>& m_new;
  std::vector<State>& m_states;
  std::vector<uint32_t> m_temporary;  // of the operations through a temporary name
  Pending m_pending[kPending];
  size_t m_added = 0;
  bool m_folderWriteKnown = false;
  int m_folderWriteError = 0;
};

// Orders the renames before end so that a name another rename of the batch frees is taken
// after that one, and breaks cycles through a temporary name. Only the order changes: the
// outcomes come from simulating the steps, like those of an unresolved batch.
//
// Of the renames that can happen at all (a valid new name, its folder there, the file there,
// the first with that file), the first in list order that wants a name is the one to get it;
// the others fail after it. Each of these winners waits for at most one other (the one whose
// file has its new name), and each is waited for by at most one, so they form simple chains
// (taken from their free end backwards, or not at all when a name that stays ends them) and
// simple cycles.
void OrderChains(BatchPlan& plan, size_t end, Simulation& simulation) {
  std::vector<PlannedOperation>& ops = plan.operations;
  enum Role : uint8_t { kOther, kCandidate, kWinner };
  enum State : uint8_t { kUnknown, kVisiting, kViable, kNotViable };
  constexpr int64_t kFree = -1;
  constexpr int64_t kBlocked = -2;
  constexpr int64_t kNobody = -1;

  std::vector<uint8_t> role(end, kOther);
  std::vector<int64_t> sourceOf(simulation.NameCount(), kNobody);
  std::vector<int64_t> takerOf(simulation.NameCount(), kNobody);
  for (size_t i = 0; i < end; ++i) {
    const PlannedOperation& op = ops[i];
    if (op.newName == op.oldName || ProblemOf(op.newName).error ||
        simulation.FolderError(op.newName, nullptr) != 0 ||
        simulation.Kind(simulation.OldId(i)) == NameKind::None) {
      continue;
    }
    int64_t& owner = sourceOf[simulation.OldId(i)];
    if (owner != kNobody) continue;
    owner = static_cast<int64_t>(i);
    role[i] = kCandidate;
  }
  for (size_t i = 0; i < end; ++i) {
    if (role[i] != kCandidate) continue;
    int64_t& taker = takerOf[simulation.NewId(i)];
    if (taker != kNobody) continue;
    taker = static_cast<int64_t>(i);
    role[i] = kWinner;
  }

  std::vector<int64_t> next(end, kBlocked);
  for (size_t i = 0; i < end; ++i) {
    if (role[i] != kWinner) continue;
    const uint32_t target = simulation.NewId(i);
    const int64_t owner = sourceOf[target];
    if (simulation.Kind(target) == NameKind::None) {
      next[i] = kFree;
    } else if (owner != kNobody && role[static_cast<size_t>(owner)] == kWinner) {
      next[i] = owner;
    }
  }

  std::vector<uint8_t> state(end, kUnknown);
  std::vector<uint8_t> inCycle(end, 0);
  std::vector<size_t> path;
  for (size_t i = 0; i < end; ++i) {
    if (role[i] != kWinner || state[i] != kUnknown) continue;
    path.clear();
    int64_t x = static_cast<int64_t>(i);
    uint8_t verdict = kNotViable;
    for (;;) {
      if (x == kFree) {
        verdict = kViable;
        break;
      }
      if (x == kBlocked) break;
      const size_t at = static_cast<size_t>(x);
      if (state[at] == kViable || state[at] == kNotViable) {
        verdict = state[at];
        break;
      }
      if (state[at] == kVisiting) {
        verdict = kViable;
        const auto first = std::find(path.begin(), path.end(), at);
        for (auto member = first; member != path.end(); ++member) inCycle[*member] = 1;
        break;
      }
      state[at] = kVisiting;
      path.push_back(at);
      x = next[at];
    }
    for (size_t member : path) state[member] = verdict;
  }

  plan.steps.reserve(end + 1);
  std::vector<uint8_t> emitted(end, 0);
  int cycles = 0;
  const std::string pid = std::to_string(::getpid());
  for (size_t i = 0; i < end; ++i) {
    if (emitted[i]) continue;
    if (role[i] != kWinner || state[i] != kViable) {
      plan.steps.push_back({i, PlanStep::Part::Whole});
      emitted[i] = 1;
      continue;
    }
    path.clear();
    if (inCycle[i]) {
      // i steps aside; each of the others then takes the name the one before it freed; i
      // takes the last one.
      for (int64_t x = next[i]; x != static_cast<int64_t>(i); x = next[static_cast<size_t>(x)]) {
        path.push_back(static_cast<size_t>(x));
      }
      const std::string_view folder = FolderOf(ops[i].oldName);
      std::string temporary;
      do {
        temporary = ".relabo-cycle-" + pid + "-" + std::to_string(cycles++);
        if (!folder.empty()) temporary = std::string(folder) + "/" + temporary;
      } while (simulation.Known(temporary) || !simulation.FreeOnDisk(temporary));
      ops[i].temporaryName = std::move(temporary);
      simulation.SetTemporary(i);
      plan.steps.push_back({i, PlanStep::Part::ToTemporary});
      for (auto member = path.rbegin(); member != path.rend(); ++member) {
        plan.steps.push_back({*member, PlanStep::Part::Whole});
        emitted[*member] = 1;
      }
      plan.steps.push_back({i, PlanStep::Part::FromTemporary});
      emitted[i] = 1;
      continue;
    }
    for (int64_t x = static_cast<int64_t>(i); x >= 0 && !emitted[static_cast<size_t>(x)];
         x = next[static_cast<size_t>(x)]) {
      path.push_back(static_cast<size_t>(x));
    }
    for (auto member = path.rbegin(); member != path.rend(); ++member) {
      plan.steps.push_back({*member, PlanStep::Part::Whole});
      emitted[*member] = 1;
    }
  }
}

// "a.txt" -> "a (2).txt": a name beside the old one for a file that can have neither.
std::string BesideName(const std::string& name, int number) {
  const size_t slash = name.rfind('/');
  const std::string_view bare =
      slash == kNone ? std::string_view(name) : std::string_view(name).substr(slash + 1);
  std::string extension = ExtensionPart(bare);
  if (extension.size() == bare.size()) extension.clear();
  return name.substr(0, name.size() - extension.size()) + " (" + std::to_string(number) + ")" +
         extension;
}

// Runs the steps of a plan and keeps the record of each operation started.
class Runner {
 public:
  Runner(const BatchPlan& plan, BatchProgress& progress, const SetAsideFunction& setAside,
         JournalWriter* journal, BatchOutcome& outcome)
      : m_plan(plan),
        m_progress(progress),
        m_setAside(setAside),
        m_journal(journal),
        m_outcome(outcome) {}

  // False when the batch ends at this step.
  bool Run(const PlanStep& step) {
    const PlannedOperation& op = m_plan.operations.at(step.operation);
    if (op.outcome == PlanOutcome::NotRun) return true;
    const bool copying = m_plan.command == kCopyFiles;
    if (op.outcome == PlanOutcome::End && !copying) {
      // The number that cannot be converted: its name was never made, nothing is shown.
      m_outcome.ending = std::make_exception_ptr(
          Error(m_plan.endingError.empty() ? op.reason : m_plan.endingError, op.error));
      return false;
    }
    switch (step.part) {
      case PlanStep::Part::Whole: {
        const size_t record = Begin(step.operation);
        if (copying) return Copy(op, record);
        if (op.outcome == PlanOutcome::Fail && op.newName.empty() && op.error != 0) {
          // No new name could be computed: nothing to do on the disk.
          Finish(record, op, false, op.error, true);
          return true;
        }
        int error = op.newName == op.oldName ? 0 : ProblemOf(op.newName).error;
        if (error == 0) error = RenameNoReplace(op.oldName, op.newName);
        if (error == 0 && op.newName != op.oldName) Renamed(op, op.oldName, op.newName);
        Finish(record, op, error == 0, error, true);
        return true;
      }
      case PlanStep::Part::ToTemporary: {
        const size_t record = Begin(step.operation);
        const int error = op.temporaryName.empty() || ProblemOf(op.temporaryName).error
                              ? EINVAL
                              : RenameNoReplace(op.oldName, op.temporaryName);
        if (error == 0) {
          Renamed(op, op.oldName, op.temporaryName);
          m_aside.push_back({step.operation, record});
        } else {
          Finish(record, op, false, error, true);
        }
        return true;
      }
      case PlanStep::Part::FromTemporary:
        for (size_t i = m_aside.size(); i-- > 0;) {
          if (m_aside[i].operation != step.operation) continue;
          const Aside aside = m_aside[i];
          m_aside.erase(m_aside.begin() + static_cast<std::ptrdiff_t>(i));
          Settle(aside, true);
          break;
        }
        return true;
    }
    return true;
  }

  // Gives every file still at its temporary name its new name, or back its old one, when the
  // batch stopped between the halves. Touches no progress.
  void SettleAll() noexcept {
    while (!m_aside.empty()) {
      const Aside aside = m_aside.back();
      m_aside.pop_back();
      try {
        Settle(aside, false);
      } catch (...) {
        // Out of memory while keeping the record: the file is settled all the same.
      }
    }
  }

 private:
  struct Aside {
    size_t operation;
    size_t record;
  };

  void Renamed(const PlannedOperation& op, const std::string& from, const std::string& to) {
    if (!m_journal) return;
    if (m_plan.device == 0 || op.inode == 0) return m_journal->Add(RenameRecord(from, to));
    m_journal->AddRename(from, to, m_plan.device, op.inode);
  }

  // Shows the operation and starts its record.
  size_t Begin(size_t index) {
    const PlannedOperation& op = m_plan.operations[index];
    // What is done so far reaches the disk before an operation that may take long.
    if (m_journal) m_journal->FlushIfDue();
    ++m_started;
    m_progress.Step(Position(m_started), op.oldName, op.newName);
    BatchOperation& record = m_outcome.operations.emplace_back();
    record.oldName = op.oldName;
    record.newName = op.newName;
    record.planIndex = static_cast<int>(std::min<size_t>(index, INT_MAX));
    return m_outcome.operations.size() - 1;
  }

  // done is apart from error: a copy onto its own source fails without an errno.
  void Finish(size_t index, const PlannedOperation& op, bool done, int error, bool beep) {
    BatchOperation& record = m_outcome.operations[index];
    record.done = done;
    record.error = error;
    record.unexpected = record.done != Succeeds(op.outcome) || (!record.done && error != op.error);
    if (record.done) {
      ++m_outcome.succeeded;
    } else {
      ++m_outcome.failed;
      if (beep) m_progress.Beep();
    }
  }

  bool Copy(const PlannedOperation& op, size_t record) {
    if (const NameProblem problem = ProblemOf(op.newName); problem.error) {
      Finish(record, op, false, problem.error, true);
      m_outcome.ending = std::make_exception_ptr(
          Error(Format("Cannot create file %s", op.newName), problem.error));
      return false;
    }
    // Whether a file had to be set aside tells a copy to a free name from a replacing one.
    bool setAside = false;
    const SetAsideFunction noted = [&](const std::string& path) {
      setAside = true;
      return m_setAside(path);
    };
    try {
      CopyFileContents(op.oldName, op.newName, m_setAside ? noted : m_setAside);
    } catch (const Error& e) {
      m_outcome.ending = std::current_exception();
      Finish(record, op, false, e.Code(), true);
      return false;
    }
    if (m_journal) m_journal->Add(CopyRecord(op.oldName, op.newName));
    Finish(record, op, true, 0, true);
    if (op.outcome == PlanOutcome::Rename || op.outcome == PlanOutcome::Replace) {
      BatchOperation& done = m_outcome.operations[record];
      done.unexpected = done.unexpected || setAside != (op.outcome == PlanOutcome::Replace);
    }
    return true;
  }

  void Settle(const Aside& aside, bool beep) {
    const PlannedOperation& op = m_plan.operations[aside.operation];
    const int error = RenameNoReplace(op.temporaryName, op.newName);
    if (error == 0) {
      Renamed(op, op.temporaryName, op.newName);
    } else if (RenameNoReplace(op.temporaryName, op.oldName) == 0) {
      Renamed(op, op.temporaryName, op.oldName);
    } else {
      // Another program took the new name and the old one meanwhile.
      std::string kept = op.temporaryName;
      for (int number = 2; number < 1000; ++number) {
        std::string beside = BesideName(op.oldName, number);
        const int result = RenameNoReplace(op.temporaryName, beside);
        if (result == 0) {
          Renamed(op, op.temporaryName, beside);
          kept = std::move(beside);
        }
        if (result != EEXIST) break;
      }
      m_outcome.operations[aside.record].keptAs = std::move(kept);
    }
    Finish(aside.record, op, error == 0, error, beep);
  }

  const BatchPlan& m_plan;
  BatchProgress& m_progress;
  const SetAsideFunction& m_setAside;
  JournalWriter* m_journal;
  BatchOutcome& m_outcome;
  std::vector<Aside> m_aside;
  int64_t m_started = 0;
};

}  // namespace

DiskFolderNames::DiskFolderNames(std::string folder) : m_folder(std::move(folder)) {
  struct Closer {
    void operator()(DIR* dir) const { ::closedir(dir); }
  };
  const int fd = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  std::unique_ptr<DIR, Closer> dir(fd >= 0 ? ::fdopendir(fd) : nullptr);
  if (!dir) {
    const int code = errno;
    if (fd >= 0) ::close(fd);
    throw Error(Format("%s: %s", m_folder, std::strerror(code)), code);
  }
  const int dirFd = ::dirfd(dir.get());
  struct stat folderStat;
  if (::fstat(dirFd, &folderStat) == 0) m_device = folderStat.st_dev;
  std::vector<uint64_t> hashes;
  // A file to check the listing's inode numbers by.
  std::string sample;
  uint64_t sampleInode = 0;
  for (;;) {
    errno = 0;
    const dirent* d = ::readdir(dir.get());
    if (!d) {
      if (errno != 0) {
        const int code = errno;
        throw Error(Format("%s: %s", m_folder, std::strerror(code)), code);
      }
      break;
    }
    const std::string_view name(d->d_name);
    if (name == "." || name == "..") continue;
    NameKind kind = NameKind::Other;
    bool link = d->d_type == DT_LNK;
    switch (d->d_type) {
      case DT_REG:
      case DT_LNK:
        kind = NameKind::File;
        break;
      case DT_DIR:
        kind = NameKind::Folder;
        break;
      case DT_UNKNOWN: {
        // Some file systems do not tell the kind while listing.
        struct stat st;
        if (::fstatat(dirFd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        kind = KindOfMode(st.st_mode);
        link = S_ISLNK(st.st_mode);
        break;
      }
      default:
        break;
    }
    if (m_bytes.size() + name.size() + 10 >= UINT32_MAX) {
      throw Error(Format("%s: %s", m_folder, std::strerror(EOVERFLOW)), EOVERFLOW);
    }
    // Each name as a record: its kind, its length (a name has at most 255 bytes), its bytes.
    hashes.push_back((HashOf(name) & 0xFFFFFFFF00000000u) | (m_bytes.size() + 1));
    m_bytes += static_cast<char>(static_cast<uint8_t>(kind) | (link ? 0x80 : 0));
    m_bytes += static_cast<char>(name.size());
    m_bytes += name;
    const uint64_t inode = d->d_ino;
    m_bytes.append(reinterpret_cast<const char*>(&inode), sizeof inode);
    if (sample.empty() && kind == NameKind::File) {
      sample = name;
      sampleInode = inode;
    }
  }
  // Some file systems (a union of others) number the entries of a listing apart from the files.
  if (struct stat st; !sample.empty() && (::fstatat(dirFd, sample.c_str(), &st,
                                                    AT_SYMLINK_NOFOLLOW) != 0 ||
                                          st.st_ino != sampleInode || st.st_dev != m_device)) {
    m_device = 0;
  }
  m_count = hashes.size();
  size_t capacity = 16;
  while (capacity * 3 < m_count * 4) capacity <<= 1;
  m_index.assign(capacity, 0);
  const size_t mask = capacity - 1;
  for (const uint64_t slot : hashes) {
    size_t at = IndexStart(slot, mask);
    while (m_index[at] != 0) at = (at + 1) & mask;
    m_index[at] = slot;
  }
}

void DiskFolderNames::ForEachName(
    const std::function<void(std::string_view name, NameKind kind, bool link)>& visit) const {
  for (size_t at = 0; at < m_bytes.size();) {
    const auto kind = static_cast<uint8_t>(m_bytes[at]);
    const auto length = static_cast<uint8_t>(m_bytes[at + 1]);
    visit(std::string_view(m_bytes.data() + at + 2, length), static_cast<NameKind>(kind & 0x7F),
          (kind & 0x80) != 0);
    at += 2 + length + sizeof(uint64_t);
  }
}

size_t DiskFolderNames::IndexStart(uint64_t slot, size_t mask) {
  return static_cast<size_t>((slot >> 32) * 0x9E3779B1u) & mask;
}

const char* DiskFolderNames::FindRecord(std::string_view name) const {
  if (m_index.empty() || name.size() > 255) return nullptr;
  const uint64_t hash = HashOf(name) & 0xFFFFFFFF00000000u;
  const size_t mask = m_index.size() - 1;
  for (size_t at = IndexStart(hash, mask); m_index[at] != 0; at = (at + 1) & mask) {
    const uint64_t slot = m_index[at];
    if ((slot & 0xFFFFFFFF00000000u) != hash) continue;
    const char* record = m_bytes.data() + (slot & 0xFFFFFFFFu) - 1;
    const auto length = static_cast<uint8_t>(record[1]);
    if (length == name.size() && std::memcmp(record + 2, name.data(), length) == 0) {
      return record;
    }
  }
  return nullptr;
}

std::optional<std::pair<NameKind, bool>> DiskFolderNames::Find(std::string_view name) const {
  const char* record = FindRecord(name);
  if (!record) return std::nullopt;
  const auto kind = static_cast<uint8_t>(record[0]);
  return std::pair(static_cast<NameKind>(kind & 0x7F), (kind & 0x80) != 0);
}

std::uint64_t DiskFolderNames::Inode(std::string_view name) const {
  const char* record = m_device ? FindRecord(name) : nullptr;
  if (!record) return 0;
  uint64_t inode = 0;
  std::memcpy(&inode, record + 2 + static_cast<uint8_t>(record[1]), sizeof inode);
  return inode;
}

std::string DiskFolderNames::PathOf(std::string_view name) const {
  if (name.empty()) return m_folder;
  return m_folder == "." ? std::string(name) : JoinPath(m_folder, name);
}

void DiskFolderNames::Prefetch(std::string_view name) const {
  if (m_index.empty() || name.find('/') != kNone) return;
  const uint64_t hash = HashOf(name) & 0xFFFFFFFF00000000u;
  __builtin_prefetch(&m_index[IndexStart(hash, m_index.size() - 1)]);
}

NameKind DiskFolderNames::Kind(std::string_view name) const {
  if (name.find('/') != kNone) {
    struct stat st;
    return ::lstat(PathOf(name).c_str(), &st) == 0 ? KindOfMode(st.st_mode) : NameKind::None;
  }
  const auto found = Find(name);
  return found ? found->first : NameKind::None;
}

NameKind DiskFolderNames::FollowedKind(std::string_view name) const {
  if (name.find('/') == kNone) {
    const auto found = Find(name);
    if (!found) return NameKind::None;
    if (!found->second) return found->first;
  }
  struct stat st;
  return ::stat(PathOf(name).c_str(), &st) == 0 ? KindOfMode(st.st_mode) : NameKind::None;
}

std::optional<int> DiskFolderNames::ReplaceError(std::string_view source, std::string_view target,
                                                 bool sourceReplaced) const {
  // The checks CopyFileContents makes before it writes anything.
  const std::string path = PathOf(target);
  struct stat there;
  if (::lstat(path.c_str(), &there) != 0) return std::nullopt;
  struct stat read;
  const bool known = ::stat(PathOf(source).c_str(), &read) == 0;
  if (S_ISLNK(there.st_mode)) {
    struct stat pointed;
    if (known && ::stat(path.c_str(), &pointed) == 0 && SameFile(pointed, read)) return 0;
    return std::nullopt;
  }
  if (!S_ISREG(there.st_mode)) return std::nullopt;
  if (known && !sourceReplaced && SameFile(there, read)) return 0;
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return errno;
  return std::nullopt;
}

int DiskFolderNames::WriteError(std::string_view folder) const {
  return ::faccessat(AT_FDCWD, PathOf(folder).c_str(), W_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno;
}

BatchPlan PlanBatch(const BatchEntries& entries, int command, const CommandParameters& params,
                    const FolderNames& names, const PlanOptions& options) {
  BatchPlan plan;
  PlanBatch(entries, command, params, names, options, plan);
  return plan;
}

void PlanBatch(const BatchEntries& entries, int command, const CommandParameters& params,
               const FolderNames& names, const PlanOptions& options, BatchPlan& plan) {
  if (command < 0 || command >= kCommandCount) {
    throw std::invalid_argument("PlanBatch: no command " + std::to_string(command));
  }
  plan.command = command;
  plan.device = names.Device();
  plan.steps.clear();
  plan.endingError.clear();
  plan.changes = 0;
  plan.unchanged = 0;
  plan.failures = 0;
  const int marked = entries.MarkedCount();
  const bool copying = command == kCopyFiles;
  const int32_t copies = copying ? std::clamp(params.CopyNumber, 1, kMaxCopyNumber) : 1;
  plan.total = Position(int64_t{marked} * copies);
  if (marked < 1) {
    plan.operations.clear();
    return;
  }

  const int count = entries.Count();
  std::vector<int> files;
  files.reserve(static_cast<size_t>(marked));
  for (int i = 0; i < count; ++i) {
    if (entries.IsMarked(i) && entries.Kind(i) == BatchEntryKind::File) files.push_back(i);
  }

  // Every new name first, in list order: the counter values are those of the list. The
  // operations of the plan before are filled again, their strings keeping their memory.
  std::vector<PlannedOperation>& ops = plan.operations;
  const size_t planned = files.size() * static_cast<size_t>(copies);
  if (ops.size() > planned) ops.resize(planned);
  // Exactly: the simulation keeps views of the names where they are.
  ops.reserve(planned);
  const size_t reused = ops.size();
  ScratchLease scratch;
  // Copies share their source's name.
  Simulation simulation(names, options, ops, planned,
                        copying ? planned + files.size() : planned * 2, scratch.Get());
  size_t end = kNone;  // the number that cannot be converted
  constexpr size_t kInodeAhead = 8;
  int64_t started = 0;
  size_t next = 0;
  for (const int index : files) {
    const std::string name = entries.Name(index);
    for (int32_t c = 0; c < copies; ++c, ++started) {
      PlannedOperation& op = next < reused ? ops[next] : ops.emplace_back();
      ++next;
      op.entry = index;
      op.copy = copying ? c : 0;
      op.oldName.assign(name);
      // The inode of a file is asked a few files later, its slot fetched meanwhile.
      op.inode = 0;
      if (!copying) {
        names.Prefetch(op.oldName);
        if (next > kInodeAhead) {
          PlannedOperation& earlier = ops[next - 1 - kInodeAhead];
          earlier.inode = names.Inode(earlier.oldName);
        }
      }
      op.outcome = PlanOutcome::Rename;
      op.error = 0;
      op.reason.clear();
      op.temporaryName.clear();
      // For Rename Files the ordinal is the number of renames started before, failed ones
      // included.
      const int32_t ordinal = copying ? c : static_cast<int32_t>(started);
      try {
        op.newName = TransformName(op.oldName, command, params, ordinal);
        if (end == kNone) {
          simulation.Add(next - 1);
        } else {
          op.outcome = PlanOutcome::NotRun;
        }
      } catch (const NameFailure& e) {
        // This name has no new name; it fails without a step on the disk, the others go on.
        op.newName.clear();
        if (end != kNone) {
          op.outcome = PlanOutcome::NotRun;
          continue;
        }
        op.outcome = PlanOutcome::Fail;
        op.error = e.Code();
        op.reason = e.what();
        simulation.Add(next - 1);
      } catch (const Error& e) {
        op.newName.clear();
        op.outcome = end == kNone ? PlanOutcome::End : PlanOutcome::NotRun;
        if (end != kNone) continue;
        op.error = e.Code();
        op.reason = e.what();
        plan.endingError = e.what();
        end = next - 1;
      }
    }
  }

  if (!copying) {
    for (size_t i = next > kInodeAhead ? next - kInodeAhead : 0; i < next; ++i) {
      ops[i].inode = names.Inode(ops[i].oldName);
    }
  }

  // Then the order of the steps, and each step against the names the steps before leave.
  const size_t runnable = end == kNone ? ops.size() : end;
  simulation.Ready();
  if (!copying && options.resolveChains) {
    OrderChains(plan, runnable, simulation);
  } else {
    plan.steps.reserve(runnable + 1);
    for (size_t i = 0; i < runnable; ++i) plan.steps.push_back({i, PlanStep::Part::Whole});
  }
  if (end != kNone) plan.steps.push_back({end, PlanStep::Part::Whole});

  constexpr size_t kAhead = 8;
  for (size_t s = 0; s < plan.steps.size(); ++s) {
    const PlanStep& step = plan.steps[s];
    if (ops[step.operation].outcome == PlanOutcome::End) break;
    if (s + 2 * kAhead < plan.steps.size() && plan.steps[s + 2 * kAhead].operation < runnable) {
      simulation.PrefetchNames(plan.steps[s + 2 * kAhead].operation);
    }
    if (s + kAhead < plan.steps.size() && plan.steps[s + kAhead].operation < runnable) {
      simulation.Prefetch(plan.steps[s + kAhead].operation);
    }
    if (copying) {
      std::string ending;
      if (simulation.Copy(step.operation, ending)) continue;
      plan.endingError = std::move(ending);
      for (size_t i = step.operation + 1; i < ops.size(); ++i) ops[i].outcome = PlanOutcome::NotRun;
      plan.steps.resize(s + 1);
      break;
    }
    switch (step.part) {
      case PlanStep::Part::Whole:
        simulation.Rename(step.operation);
        break;
      case PlanStep::Part::ToTemporary:
        simulation.ToTemporary(step.operation);
        break;
      case PlanStep::Part::FromTemporary:
        simulation.FromTemporary(step.operation);
        break;
    }
  }

  for (const PlannedOperation& op : ops) {
    switch (op.outcome) {
      case PlanOutcome::Rename:
      case PlanOutcome::Move:
      case PlanOutcome::Replace:
        ++plan.changes;
        break;
      case PlanOutcome::Unchanged:
        ++plan.unchanged;
        break;
      case PlanOutcome::Fail:
      case PlanOutcome::End:
        ++plan.failures;
        break;
      case PlanOutcome::NotRun:
        break;
    }
  }
}

BatchOutcome RunPlan(const BatchPlan& plan, BatchProgress& progress,
                     const SetAsideFunction& setAside, JournalWriter* journal) {
  BatchOutcome outcome;
  if (plan.total < 1) return outcome;
  outcome.started = true;
  outcome.total = plan.total;
  outcome.operations.reserve(plan.steps.size());
  Runner runner(plan, progress, setAside, journal, outcome);
  try {
    progress.Start(plan.total, std::string(BatchTitle(plan.command)));
    for (const PlanStep& step : plan.steps) {
      if (!runner.Run(step)) break;
    }
  } catch (...) {
    outcome.ending = std::current_exception();
  }
  runner.SettleAll();
  return outcome;
}

NameKind LookedUpFolderNames::Kind(std::string_view name) const {
  struct stat st;
  if (::lstat(std::string(name).c_str(), &st) != 0) return NameKind::None;
  if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) return NameKind::File;
  return S_ISDIR(st.st_mode) ? NameKind::Folder : NameKind::Other;
}

NameKind LookedUpFolderNames::FollowedKind(std::string_view name) const {
  struct stat st;
  if (::stat(std::string(name).c_str(), &st) != 0) return NameKind::None;
  if (S_ISREG(st.st_mode)) return NameKind::File;
  return S_ISDIR(st.st_mode) ? NameKind::Folder : NameKind::Other;
}

}  // namespace relabo
