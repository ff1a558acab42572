// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/journal.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "fileutil/error.h"
#include "fileutil/unique_fd.h"

namespace relabo {
namespace {

constexpr char kHex[] = "0123456789abcdef";

void AppendEscaped(std::string& out, std::string_view text) {
  if (text.empty()) {
    out += '-';
    return;
  }
  if (text == "-") {
    out += "\\x2d";
    return;
  }
  // Runs of bytes that need no escape are appended whole.
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte > 0x20 && byte < 0x7f && byte != '\\') continue;
    out.append(text.data() + start, i - start);
    const char escape[4] = {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
    out.append(escape, 4);
    start = i + 1;
  }
  out.append(text.data() + start, text.size() - start);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Refuses anything the writer could not have written, so a damaged line is skipped rather than
// read as a different name.
std::optional<std::string> Unescape(std::string_view field) {
  if (field == "-") return std::string();
  if (field.empty()) return std::nullopt;
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    const auto byte = static_cast<unsigned char>(field[i]);
    if (byte == '\\') {
      if (i + 3 >= field.size() || field[i + 1] != 'x') return std::nullopt;
      const int high = HexValue(field[i + 2]);
      const int low = HexValue(field[i + 3]);
      if (high < 0 || low < 0) return std::nullopt;
      out += static_cast<char>(high * 16 + low);
      i += 3;
    } else if (byte > 0x20 && byte < 0x7f) {
      out += field[i];
    } else {
      return std::nullopt;
    }
  }
  return out;
}

template <typename T>
std::optional<T> ParseNumber(std::string_view field) {
  T value{};
  const char* end = field.data() + field.size();
  const auto [ptr, ec] = std::from_chars(field.data(), end, value);
  if (field.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

bool IsDigits(std::string_view s) {
  if (s.empty()) return false;
  for (const char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool IsBatchId(std::string_view id) {
  const size_t dash = id.find('-');
  return dash != std::string_view::npos && IsDigits(id.substr(0, dash)) &&
         IsDigits(id.substr(dash + 1));
}

enum class RecordKind { Batch, Operation, Undone, End };

struct Record {
  RecordKind kind = RecordKind::Batch;
  std::string id;
  // Batch only.
  std::int64_t timeNs = 0;
  std::string folder;
  std::string title;
  std::string undoes;
  // Operation only.
  JournalOperation operation;
};

std::optional<Record> ParseRecord(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  while (true) {
    const size_t space = line.find(' ', start);
    fields.push_back(line.substr(start, space - start));
    if (space == std::string_view::npos) break;
    start = space + 1;
  }
  if (fields.size() < 2 || !IsBatchId(fields[1])) return std::nullopt;
  Record record;
  record.id = std::string(fields[1]);
  const std::string_view kind = fields[0];
  auto text = [&](size_t i, std::string& out) {
    auto value = Unescape(fields[i]);
    if (!value) return false;
    out = std::move(*value);
    return true;
  };
  auto number = [&](size_t i, auto& out) {
    auto value = ParseNumber<std::remove_reference_t<decltype(out)>>(fields[i]);
    if (!value) return false;
    out = *value;
    return true;
  };
  JournalOperation& op = record.operation;
  if (kind == "batch" && (fields.size() == 5 || fields.size() == 6)) {
    record.kind = RecordKind::Batch;
    if (!number(2, record.timeNs) || !text(3, record.folder) || !text(4, record.title))
      return std::nullopt;
    if (fields.size() == 6 && (!text(5, record.undoes) ||
                               (!record.undoes.empty() && !IsBatchId(record.undoes))))
      return std::nullopt;
  } else if (kind == "rename" && fields.size() == 7) {
    record.kind = RecordKind::Operation;
    op.kind = JournalOperationKind::Rename;
    if (!text(2, op.oldName) || !text(3, op.newName) || !number(4, op.device) ||
        !number(5, op.inode) || !number(6, op.birthNs))
      return std::nullopt;
  } else if (kind == "copy" && fields.size() == 8) {
    record.kind = RecordKind::Operation;
    op.kind = JournalOperationKind::Copy;
    if (!text(2, op.oldName) || !text(3, op.newName) || !number(4, op.device) ||
        !number(5, op.inode) || !number(6, op.size) || !number(7, op.mtimeNs))
      return std::nullopt;
  } else if (kind == "delete" && fields.size() == 7) {
    record.kind = RecordKind::Operation;
    op.kind = JournalOperationKind::Delete;
    if (!text(2, op.oldName) || !text(3, op.trashedPath) || !text(4, op.trashInfoPath) ||
        !number(5, op.device) || !number(6, op.inode))
      return std::nullopt;
  } else if (kind == "restore" && fields.size() == 6) {
    record.kind = RecordKind::Operation;
    op.kind = JournalOperationKind::Restore;
    if (!text(2, op.oldName) || !text(3, op.trashedPath) || !number(4, op.device) ||
        !number(5, op.inode))
      return std::nullopt;
  } else if (kind == "undone" && fields.size() == 2) {
    record.kind = RecordKind::Undone;
  } else if (kind == "end" && fields.size() == 2) {
    record.kind = RecordKind::End;
  } else {
    return std::nullopt;
  }
  return record;
}

void AppendText(std::string& line, std::string_view text) {
  line += ' ';
  AppendEscaped(line, text);
}

template <typename Number>
void AppendNumber(std::string& line, Number n) {
  char digits[24];
  digits[0] = ' ';
  const auto end = std::to_chars(digits + 1, digits + sizeof digits, n).ptr;
  line.append(digits, size_t(end - digits));
}

void AppendRename(std::string& line, const std::string& id, std::string_view from,
                  std::string_view to, std::uint64_t device, std::uint64_t inode,
                  std::int64_t birthNs) {
  line += "rename ";
  line += id;
  AppendText(line, from);
  AppendText(line, to);
  AppendNumber(line, device);
  AppendNumber(line, inode);
  AppendNumber(line, birthNs);
  line += '\n';
}

// Appends the operation's record to line.
void AppendOperation(std::string& line, const std::string& id, const JournalOperation& op) {
  const auto text = [&](std::string_view s) { AppendText(line, s); };
  const auto number = [&](auto n) { AppendNumber(line, n); };
  switch (op.kind) {
    case JournalOperationKind::Rename:
      return AppendRename(line, id, op.oldName, op.newName, op.device, op.inode, op.birthNs);
    case JournalOperationKind::Copy:
      line += "copy ";
      line += id;
      text(op.oldName);
      text(op.newName);
      number(op.device);
      number(op.inode);
      number(op.size);
      number(op.mtimeNs);
      break;
    case JournalOperationKind::Delete:
      line += "delete ";
      line += id;
      text(op.oldName);
      text(op.trashedPath);
      text(op.trashInfoPath);
      number(op.device);
      number(op.inode);
      break;
    case JournalOperationKind::Restore:
      line += "restore ";
      line += id;
      text(op.oldName);
      text(op.trashedPath);
      number(op.device);
      number(op.inode);
      break;
  }
  line += '\n';
}

// Calls visit(line, record) for every whole line that parses; the text after the last newline
// is a record torn by a crash or still being written.
template <typename Visit>
void ScanRecords(std::string_view content, Visit visit) {
  size_t start = 0;
  while (true) {
    const size_t newline = content.find('\n', start);
    if (newline == std::string_view::npos) break;
    const std::string_view line = content.substr(start, newline - start);
    if (auto record = ParseRecord(line)) visit(line, *record);
    start = newline + 1;
  }
}

// Calls visit(line, isHeader, id) for every whole line with a record kind and a batch id, without
// reading the rest: enough to tell which batch a line belongs to.
template <typename Visit>
void ScanIds(std::string_view content, Visit visit) {
  size_t start = 0;
  while (true) {
    const size_t newline = content.find('\n', start);
    if (newline == std::string_view::npos) break;
    const std::string_view line = content.substr(start, newline - start);
    start = newline + 1;
    const size_t first = line.find(' ');
    if (first == std::string_view::npos) continue;
    const size_t second = line.find(' ', first + 1);
    const std::string_view id = line.substr(first + 1, second == std::string_view::npos
                                                           ? std::string_view::npos
                                                           : second - first - 1);
    if (!IsBatchId(id)) continue;
    visit(line, line.substr(0, first) == "batch", id);
  }
}

std::string SystemText(int error) { return std::strerror(error); }

bool ReadAll(int fd, std::string& content) {
  content.clear();
  char chunk[65536];
  off_t offset = 0;
  while (true) {
    const ssize_t n = ::pread(fd, chunk, sizeof chunk, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    content.append(chunk, size_t(n));
    offset += n;
  }
}

bool LockFd(int fd, int operation) {
  while (::flock(fd, operation) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// Opens the journal for appending and takes its exclusive lock. A trim by another process may
// have renamed a new file over the one held open (or be about to, while this waits for its
// lock), so the lock only counts once the open file is still the one at the path.
bool OpenLocked(const std::string& path, int& fd) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    if (fd < 0) {
      fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
      if (fd < 0) return false;
    }
    if (!LockFd(fd, LOCK_EX)) return false;
    struct stat held, current;
    if (::fstat(fd, &held) != 0) return false;
    if (::stat(path.c_str(), &current) == 0 && held.st_dev == current.st_dev &&
        held.st_ino == current.st_ino)
      return true;
    ::close(fd);
    fd = -1;
  }
  errno = EAGAIN;
  return false;
}

// Appends whole records; the caller holds the lock. A record torn by a crash is closed first
// with a space and a newline: the empty field that makes never parses, so a record cut after
// a whole field is not read as one with a shorter number or name.
bool AppendLocked(int fd, std::string_view data) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return false;
  std::string joined;
  if (st.st_size > 0) {
    char last = '\n';
    if (::pread(fd, &last, 1, st.st_size - 1) != 1) return false;
    if (last != '\n') {
      joined = " \n";
      joined += data;
      data = joined;
    }
  }
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    data.remove_prefix(size_t(n));
  }
  return true;
}

// Creates the folders above the journal that are missing, private to the user.
bool CreateParents(const std::string& path) {
  size_t slash = 0;
  while ((slash = path.find('/', slash + 1)) != std::string::npos) {
    const std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::int64_t WallClockNs() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The time part of a batch id; never the same twice in one process.
std::int64_t UniqueNs() {
  static std::atomic<std::int64_t> last{0};
  std::int64_t now = WallClockNs();
  std::int64_t previous = last.load();
  while (true) {
    const std::int64_t next = now > previous ? now : previous + 1;
    if (last.compare_exchange_weak(previous, next)) return next;
  }
}

}  // namespace

std::int64_t BirthNs(const struct statx& st) {
  return std::int64_t(st.stx_btime.tv_sec) * 1000000000 + st.stx_btime.tv_nsec;
}

std::string DefaultJournalPath() {
  std::string state;
  const char* xdg = std::getenv("XDG_STATE_HOME");
  if (xdg && xdg[0] == '/') {
    state = xdg;
  } else {
    const char* home = std::getenv("HOME");
    std::string homePath = home && *home ? home : "";
    if (homePath.empty()) {
      if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) homePath = pw->pw_dir;
    }
    state = homePath + "/.local/state";
  }
  return state + "/relabo/journal";
}

JournalWriter::JournalWriter(std::string path, const std::string& folder, const std::string& title,
                             JournalOptions options, const std::string& undoes)
    : m_path(std::move(path)), m_options(options) {
  const std::int64_t ns = UniqueNs();
  m_id = std::to_string(ns) + "-" + std::to_string(::getpid());
  m_buffer = "batch " + m_id + " " + std::to_string(ns) + " ";
  AppendEscaped(m_buffer, folder);
  m_buffer += ' ';
  AppendEscaped(m_buffer, title);
  m_buffer += ' ';
  AppendEscaped(m_buffer, undoes);
  m_buffer += '\n';
  Open();
}

JournalWriter::~JournalWriter() {
  Flush();
  if (m_fd >= 0) ::close(m_fd);
}

void JournalWriter::Open() {
  if (!CreateParents(m_path)) return Fail("Cannot create the journal's folder", errno);
  if (!OpenLocked(m_path, m_fd)) return Fail("Cannot open the journal", errno);
  if (!AppendLocked(m_fd, m_buffer)) return Fail("Cannot write the journal", errno);
  m_buffer.clear();
  Trim();
  // Closing releases the lock; a trim's rename leaves this descriptor on the old file anyway.
  ::close(m_fd);
  m_fd = -1;
  m_lastFlush = std::chrono::steady_clock::now();
}

void JournalWriter::Add(const JournalOperation& operation) {
  if (m_failed || m_finished) return;
  AppendOperation(m_buffer, m_id, operation);
  if (std::chrono::steady_clock::now() - m_lastFlush >= m_options.flushInterval) Flush();
}

void JournalWriter::AddRename(std::string_view from, std::string_view to, std::uint64_t device,
                              std::uint64_t inode) {
  if (m_failed || m_finished) return;
  AppendRename(m_buffer, m_id, from, to, device, inode, 0);
  if (std::chrono::steady_clock::now() - m_lastFlush >= m_options.flushInterval) Flush();
}

void JournalWriter::FlushIfDue() {
  if (m_failed || m_finished || m_buffer.empty()) return;
  if (std::chrono::steady_clock::now() - m_lastFlush >= m_options.flushInterval) Flush();
}

void JournalWriter::Finish() {
  if (m_failed || m_finished) return;
  m_buffer += "end " + m_id + "\n";
  if (Flush() && ::fsync(m_fd) != 0) Fail("Cannot sync the journal", errno);
  m_finished = true;
}

bool JournalWriter::Flush() {
  if (m_failed) return false;
  m_lastFlush = std::chrono::steady_clock::now();
  if (m_buffer.empty()) return true;
  if (!OpenLocked(m_path, m_fd)) {
    Fail("Cannot open the journal", errno);
    return false;
  }
  const bool written = AppendLocked(m_fd, m_buffer);
  const int error = errno;
  LockFd(m_fd, LOCK_UN);
  if (!written) {
    Fail("Cannot write the journal", error);
    return false;
  }
  m_buffer.clear();
  return true;
}

void JournalWriter::Trim() {
  std::string content;
  if (!ReadAll(m_fd, content)) {
    m_error = "Cannot read the journal " + m_path + ": " + SystemText(errno);
    return;
  }
  // Each batch's lines, in the order of its header. Only the ids are read: a full journal holds
  // hundreds of thousands of records, and a batch must not wait for all of them to be parsed.
  std::vector<std::string_view> ids;
  std::unordered_map<std::string_view, std::uint64_t> bytes;
  ScanIds(content, [&](std::string_view line, bool header, std::string_view id) {
    if (header && bytes.emplace(id, 0).second) ids.push_back(id);
    if (auto it = bytes.find(id); it != bytes.end()) it->second += line.size() + 1;
  });
  if (ids.size() <= m_options.maxBatches && content.size() <= m_options.maxBytes) return;

  // The newest batches that fit both limits; the one just begun always stays.
  std::unordered_map<std::string_view, bool> kept;
  std::uint64_t total = 0;
  for (auto it = ids.rbegin(); it != ids.rend() && kept.size() < m_options.maxBatches; ++it) {
    const std::uint64_t size = bytes[*it];
    if (!kept.empty() && total + size > m_options.maxBytes) break;
    total += size;
    kept[*it] = true;
  }
  std::string trimmed;
  trimmed.reserve(total);
  ScanIds(content, [&](std::string_view line, bool, std::string_view id) {
    if (kept.count(id)) {
      trimmed += line;
      trimmed += '\n';
    }
  });

  std::string temp = m_path + ".XXXXXX";
  const int tempFd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (tempFd < 0) {
    m_error = "Cannot trim the journal " + m_path + ": " + SystemText(errno);
    return;
  }
  detail::UniqueFd guard(tempFd);
  const bool written = ::fchmod(tempFd, 0600) == 0 && AppendLocked(tempFd, trimmed) &&
                       ::fsync(tempFd) == 0 && guard.Close() == 0 &&
                       ::rename(temp.c_str(), m_path.c_str()) == 0;
  if (!written) {
    m_error = "Cannot trim the journal " + m_path + ": " + SystemText(errno);
    ::unlink(temp.c_str());
    return;
  }
  detail::UniqueFd folder(::open(FolderOf(m_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Valid()) ::fsync(folder.Get());
}

void JournalWriter::Fail(const std::string& what, int error) {
  m_failed = true;
  m_error = what + " " + m_path + ": " + SystemText(error);
  m_buffer.clear();
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

JournalOperation RenameRecord(const std::string& from, const std::string& to) {
  JournalOperation record;
  record.kind = JournalOperationKind::Rename;
  record.oldName = from;
  record.newName = to;
  struct statx st;
  if (::statx(AT_FDCWD, to.c_str(), AT_SYMLINK_NOFOLLOW, STATX_INO | STATX_BTIME, &st) == 0) {
    record.device = makedev(st.stx_dev_major, st.stx_dev_minor);
    record.inode = st.stx_ino;
    if (st.stx_mask & STATX_BTIME) record.birthNs = BirthNs(st);
  }
  return record;
}

JournalOperation CopyRecord(const std::string& source, const std::string& copy) {
  JournalOperation record;
  record.kind = JournalOperationKind::Copy;
  record.oldName = source;
  record.newName = copy;
  if (struct stat st; ::lstat(copy.c_str(), &st) == 0) {
    record.device = st.st_dev;
    record.inode = st.st_ino;
    record.size = static_cast<std::uint64_t>(st.st_size);
    record.mtimeNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  }
  return record;
}

std::vector<JournalBatch> ReadJournal(const std::string& path) {
  detail::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) {
    if (errno == ENOENT) return {};
    throw Error("Cannot read the journal " + path + ": " + SystemText(errno), errno);
  }
  std::string content;
  // Shared, so no writer is half-way through a record; a reader that cannot lock still reads.
  LockFd(fd.Get(), LOCK_SH);
  if (!ReadAll(fd.Get(), content))
    throw Error("Cannot read the journal " + path + ": " + SystemText(errno), errno);
  fd.Close();

  std::vector<JournalBatch> batches;
  std::unordered_map<std::string, size_t> index;
  ScanRecords(content, [&](std::string_view, Record& record) {
    if (record.kind == RecordKind::Batch) {
      if (!index.emplace(record.id, batches.size()).second) return;
      JournalBatch& batch = batches.emplace_back();
      batch.id = std::move(record.id);
      batch.timeNs = record.timeNs;
      batch.folder = std::move(record.folder);
      batch.title = std::move(record.title);
      batch.undoes = std::move(record.undoes);
      return;
    }
    const auto it = index.find(record.id);
    if (it == index.end()) return;
    JournalBatch& batch = batches[it->second];
    switch (record.kind) {
      case RecordKind::Operation:
        batch.operations.push_back(std::move(record.operation));
        break;
      case RecordKind::Undone:
        batch.undone = true;
        break;
      case RecordKind::End:
        batch.complete = true;
        break;
      case RecordKind::Batch:
        break;
    }
  });
  return batches;
}

std::string MarkUndone(const std::string& path, const std::string& id) {
  if (!IsBatchId(id)) return "Not a journal batch: " + id;
  if (!CreateParents(path))
    return "Cannot create the journal's folder " + path + ": " + SystemText(errno);
  int fd = -1;
  std::string error;
  if (!OpenLocked(path, fd) || !AppendLocked(fd, "undone " + id + "\n") || ::fsync(fd) != 0)
    error = "Cannot write the journal " + path + ": " + SystemText(errno);
  if (fd >= 0) ::close(fd);
  return error;
}

}  // namespace relabo
