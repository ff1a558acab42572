// SPDX-License-Identifier: GPL-3.0-or-later
// The built relabo-cli run on real temporary folders, as a script runs it.
#include <fcntl.h>
#include <signal.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/test_dir.h"

namespace relabo {
namespace {

using Names = std::vector<std::string>;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, size_t(n));
  return text;
}

class CliProgramTest : public testing::Test {
 protected:
  CliProgramTest() { m_dir.CreateFolder("files"); }

  // Runs the program in the test's files folder with its own journal; meanwhile is called with
  // the running program's process id.
  Result Run(const Names& args, const std::string& input = {},
             const std::function<void(pid_t)>& meanwhile = nullptr) {
    int out[2], err[2], in[2];
    if (::pipe(out) || ::pipe(err) || ::pipe(in)) throw std::runtime_error("pipe");
    const pid_t child = ::fork();
    if (child == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      ::dup2(err[1], 2);
      for (int fd : {out[0], out[1], err[0], err[1], in[0], in[1]}) ::close(fd);
      if (::chdir(Folder().c_str()) != 0) ::_exit(126);
      ::setenv("XDG_STATE_HOME", m_dir.Path("state").c_str(), 1);
      std::vector<char*> argv{const_cast<char*>(RELABO_CLI)};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      ::execv(RELABO_CLI, argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    ::close(in[0]);
    if (!input.empty() && ::write(in[1], input.data(), input.size()) < 0) {
      ADD_FAILURE() << "write";
    }
    ::close(in[1]);
    if (meanwhile) meanwhile(child);
    Result result;
    result.out = ReadAll(out[0]);
    result.err = ReadAll(err[0]);
    ::close(out[0]);
    ::close(err[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
  }

  std::string Folder() const { return m_dir.Path("files"); }
  void Create(const Names& names) {
    for (const std::string& name : names) m_dir.CreateFile("files/" + name, name);
  }
  Names Listing() const {
    Names names;
    for (const auto& e : std::filesystem::directory_iterator(Folder()))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  test::TestDir m_dir;
};

TEST_F(CliProgramTest, CommandsExitStatusesAndTheirOutput) {
  struct Case {
    const char* name;
    Names files;
    Names args;
    int status;
    const char* out;  // the whole standard output
    const char* errStart;
    Names after;
  };
  const Case cases[] = {
      {"a dry run touches nothing",
       {"a.txt", "b.txt"},
       {"insert", "--string", "new_", "a.txt", "b.txt"},
       0,
       "a.txt -> new_a.txt  renamed\nb.txt -> new_b.txt  renamed\n",
       "2 renamed, 0 unchanged, 0 failed (dry run",
       {"a.txt", "b.txt"}},
      {"applied",
       {"a.txt", "b.txt"},
       {"--apply", "insert", "--string", "new_", "--from", "0", "a.txt", "b.txt"},
       0,
       "a.txt -> anew_.txt  renamed\nb.txt -> bnew_.txt  renamed\n",
       "2 renamed, 0 unchanged, 0 failed\n",
       {"anew_.txt", "bnew_.txt"}},
      {"a chain fails without resolving",
       {"a1.txt", "a2.txt"},
       {"number", "--apply", "a1.txt", "a2.txt"},
       1,
       "a1.txt -> a2.txt  failed: a2.txt exists\na2.txt -> a3.txt  renamed\n",
       "1 renamed, 0 unchanged, 1 failed\n",
       {"a1.txt", "a3.txt"}},
      {"a chain resolved",
       {"a1.txt", "a2.txt"},
       {"number", "--apply", "--resolve-chains", "a1.txt", "a2.txt"},
       0,
       "a2.txt -> a3.txt  renamed\na1.txt -> a2.txt  renamed\n",
       "2 renamed",
       {"a2.txt", "a3.txt"}},
      {"the dry run tells the failure", {"a1.txt", "a2.txt"}, {"number", "a1.txt", "a2.txt"}, 1,
       "a1.txt -> a2.txt  failed: a2.txt exists\na2.txt -> a3.txt  renamed\n", "1 renamed",
       {"a1.txt", "a2.txt"}},
      {"copies of the marked files of a folder",
       {"a.jpg", "b.txt"},
       {"copy", "--copies", "2", "--separator", "-", "--digits", "1", "--folder", ".", "--mark",
        "*.jpg", "--apply"},
       0,
       "a.jpg -> a-1.jpg  renamed\na.jpg -> a-2.jpg  renamed\n",
       "2 renamed",
       {"a-1.jpg", "a-2.jpg", "a.jpg", "b.txt"}},
      {"extension", {"a.txt", "b"}, {"extension", "--to", "md", "--apply", "a.txt", "b"}, 0,
       "a.txt -> a.md  renamed\nb -> b.md  renamed\n", "2 renamed", {"a.md", "b.md"}},
      {"paths on standard input", {"x y.txt"}, {"--stdin", "case", "--mode", "upper"}, 0,
       "x y.txt -> X Y.txt  renamed\n", "1 renamed", {"x y.txt"}},
      {"a number too large ends the batch", {"n99999999999.txt"}, {"number", "n99999999999.txt"}, 3,
       "n99999999999.txt ->   failed: '99999999999' is not a valid integer value\n",
       "0 renamed, 0 unchanged, 1 failed", {"n99999999999.txt"}},
      {"a regular expression replace", {"img12_7.jpg", "b.txt"},
       {"--apply", "replace", "--regex", "--original", "(\\d+)", "--new", "<$1>", "img12_7.jpg",
        "b.txt"},
       0, "img12_7.jpg -> img<12>_<7>.jpg  renamed\nb.txt -> b.txt  unchanged\n",
       "1 renamed, 1 unchanged, 0 failed", {"b.txt", "img<12>_<7>.jpg"}},
      {"an invalid regular expression ends the batch", {"a.txt"},
       {"replace", "--regex", "--original", "a(", "a.txt"}, 3,
       "a.txt ->   failed: 'a(' is not a valid regular expression at (2)\n",
       "0 renamed, 0 unchanged, 1 failed", {"a.txt"}},
      {"files of two folders", {"a.txt", "sub/b.txt"}, {"insert", "--string", "x", "a.txt", "sub/b.txt"},
       2, "", "relabo-cli: the files are not in one folder\n", {"a.txt", "sub"}},
      {"a missing file", {}, {"insert", "--string", "x", "gone.txt"}, 2, "",
       "relabo-cli: cannot find 'gone.txt'\n", {}},
      {"a value outside its range", {"a.txt"}, {"rename", "--digits", "101", "a.txt"}, 2, "",
       "relabo-cli: --digits must be between 1 and 100\n", {"a.txt"}},
      {"a folder goes in the list's name order", {"b.txt", "C.txt", "a10.txt", "a9.txt"},
       {"rename", "--name", "f", "--digits", "1", "--folder", "."}, 0,
       "a10.txt -> f1.txt  renamed\na9.txt -> f2.txt  renamed\nb.txt -> f3.txt  renamed\n"
       "C.txt -> f4.txt  renamed\n",
       "4 renamed", {"C.txt", "a10.txt", "a9.txt", "b.txt"}},
      {"given files sorted as asked", {"b.txt", "a.txt", "c.txt"},
       {"rename", "--name", "f", "--digits", "1", "--sort", "name", "--reverse", "b.txt", "a.txt",
        "c.txt"},
       0, "c.txt -> f1.txt  renamed\nb.txt -> f2.txt  renamed\na.txt -> f3.txt  renamed\n",
       "3 renamed", {"a.txt", "b.txt", "c.txt"}},
      {"numbers by value", {"a10.txt", "a9.txt", "a1.txt"},
       {"rename", "--name", "f", "--digits", "1", "--sort", "name", "--numeric", "a10.txt",
        "a9.txt", "a1.txt"},
       0, "a1.txt -> f1.txt  renamed\na9.txt -> f2.txt  renamed\na10.txt -> f3.txt  renamed\n",
       "3 renamed", {"a1.txt", "a10.txt", "a9.txt"}},
      {"numbers by value of a folder, descending", {"a10.txt", "a9.txt", "a1.txt"},
       {"rename", "--name", "f", "--digits", "1", "--folder", ".", "--sort", "name", "--numeric",
        "--reverse"},
       0, "a10.txt -> f1.txt  renamed\na9.txt -> f2.txt  renamed\na1.txt -> f3.txt  renamed\n",
       "3 renamed", {"a1.txt", "a10.txt", "a9.txt"}},
      {"numbers by value need the name sort", {"a1.txt"},
       {"rename", "--numeric", "a1.txt"}, 2, "",
       "relabo-cli: --numeric needs --sort name\n", {"a1.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(Folder());
    m_dir.CreateFolder("files");
    Create(c.files);
    const Result result = Run(c.args, c.name == std::string("paths on standard input")
                                          ? std::string("x y.txt\0", 8)
                                          : std::string());
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err.substr(0, std::string(c.errStart).size()), c.errStart) << result.err;
    EXPECT_EQ(Listing(), c.after);
  }
}

// Every command's worked values, applied by the program to real files: the folder afterwards.
TEST_F(CliProgramTest, EachCommandGivesItsWorkedValues) {
  struct Case {
    const char* name;
    Names files;
    Names args;
    Names after;
  };
  const Case cases[] = {
      {"insert at the end", {"a.txt"}, {"insert", "--string", "x", "--from", "0"}, {"ax.txt"}},
      {"insert at the start", {"a.txt"}, {"insert", "--string", "x", "--from", "1"}, {"xa.txt"}},
      {"insert beyond the end", {"a.txt"}, {"insert", "--string", "x", "--from", "99"},
       {"ax.txt"}},
      {"remove from the end", {"abcde.txt"}, {"remove", "--from", "end", "--number", "3"},
       {"ab.txt"}},
      {"remove more than the name from the end", {"abc.txt"},
       {"remove", "--from", "end", "--number", "9"}, {"abc.txt"}},
      {"remove the whole name from the begin", {"abc.txt"}, {"remove", "--number", "9"},
       {".txt"}},
      {"remove at a position", {"abcde.txt"},
       {"remove", "--from", "position", "--position", "2", "--number", "2"}, {"ade.txt"}},
      {"replace never loops", {"banana.txt"}, {"replace", "--original", "a", "--new", "aa"},
       {"baanaanaa.txt"}},
      {"replace is case-sensitive", {"banana.txt"}, {"replace", "--original", "A", "--new", "x"},
       {"banana.txt"}},
      {"overwrite", {"abcde.txt"}, {"overwrite", "--string", "XY", "--from", "4"},
       {"abcXY.txt"}},
      {"overwrite beyond the end", {"abc.txt"}, {"overwrite", "--string", "XY", "--from", "9"},
       {"abcXY.txt"}},
      {"case of words", {"HELLO_wORLD_x.TXT"}, {"case", "--mode", "words", "--separator", "_"},
       {"Hello_World_X.TXT"}},
      {"case of the first character", {"hELLO wORLD.TXT"}, {"case", "--mode", "first"},
       {"Hello world.TXT"}},
      {"upper case keeps the extension", {"archive.tar.gz"}, {"case", "--mode", "upper"},
       {"ARCHIVE.TAR.gz"}},
      {"a dot file keeps its case", {".profile"}, {"case", "--mode", "upper"}, {".profile"}},
      {"the second number", {"img12_0099.jpg"}, {"number", "--which", "2"}, {"img12_0100.jpg"}},
      {"a third number that is not there", {"img12_0099.jpg"}, {"number", "--which", "3"},
       {"img12_0099.jpg"}},
      {"a number grows", {"9.txt"}, {"number"}, {"10.txt"}},
      {"a number goes down", {"f007.txt"}, {"number", "--plus", "-10"}, {"f0-3.txt"}},
      {"rename with a counter", {"a.jpg", "b.png", "c.txt"},
       {"rename", "--name", "photo", "--separator", "_"},
       {"photo_001.jpg", "photo_002.png", "photo_003.txt"}},
      {"rename counter first", {"a.jpg"},
       {"rename", "--name", "photo", "--separator", "_", "--scheme", "5"}, {"001_photo.jpg"}},
      {"rename with a step", {"a.jpg", "b.jpg"},
       {"rename", "--name", "p", "--start", "10", "--step", "-5", "--digits", "2"},
       {"p05.jpg", "p10.jpg"}},
      {"rename a dot file", {".profile"}, {"rename", "--name", "x", "--separator", "_"},
       {"x_001.profile"}},
      {"copies of two files", {"a.txt", "b.txt"},
       {"copy", "--copies", "2", "--separator", "-"},
       {"a-001.txt", "a-002.txt", "a.txt", "b-001.txt", "b-002.txt", "b.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(Folder());
    m_dir.CreateFolder("files");
    Create(c.files);
    Names args = {"--apply", "--quiet"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back("--");
    args.insert(args.end(), c.files.begin(), c.files.end());
    const Result result = Run(args);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Listing(), c.after);
  }
}

// A folder that can be entered but not listed: files named by path are renamed, names looked
// up one by one; a --folder of it cannot be read.
TEST_F(CliProgramTest, FilesOfAFolderThatCannotBeListed) {
  if (::geteuid() == 0) GTEST_SKIP() << "root lists every folder";
  Create({"a.txt", "b.txt"});
  ASSERT_EQ(::chmod(Folder().c_str(), 0300), 0);
  const Result given = Run({"--apply", "insert", "--string", "x", "a.txt"});
  const Result taken = Run({"--apply", "replace", "--original", "b", "--new", "xa", "b.txt"});
  const Result folder = Run({"insert", "--string", "x", "--folder", "."});
  ASSERT_EQ(::chmod(Folder().c_str(), 0700), 0);
  EXPECT_EQ(given.status, 0) << given.err;
  EXPECT_EQ(given.out, "a.txt -> xa.txt  renamed\n");
  EXPECT_EQ(taken.status, 1) << taken.err;
  EXPECT_EQ(taken.out, "b.txt -> xa.txt  failed: xa.txt exists\n");
  EXPECT_EQ(folder.status, 2);
  EXPECT_EQ(folder.err, "relabo-cli: cannot read '.': Permission denied\n");
  EXPECT_EQ(Listing(), (Names{"b.txt", "xa.txt"}));
}

TEST_F(CliProgramTest, JsonKeepsEveryByteOfANameAndTellsFailures) {
  const std::string bad = "bad\xff.txt";
  const std::string longName = std::string(251, 'l') + ".txt";  // 255 bytes
  Create({bad, longName});
  const Result result = Run({"--json", "insert", "--string", "x", bad, longName});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "{\"folder\":\"" + Folder() +
                "\",\"command\":\"Rename (Insert String)\",\"applied\":false,\"operations\":["
                "{\"old\":\"bad\\udcff.txt\",\"new\":\"xbad\\udcff.txt\",\"outcome\":\"renamed\","
                "\"reason\":\"\",\"errno\":0},{\"old\":\"" +
                longName + "\",\"new\":\"x" + longName +
                "\",\"outcome\":\"failed\",\"reason\":\"the name is longer than 255 bytes\","
                "\"errno\":36}],\"renamed\":1,\"unchanged\":0,\"failed\":1,\"ended\":null}\n");
  EXPECT_EQ(result.err, "");
}

TEST_F(CliProgramTest, UndoAndHistoryAcrossInvocations) {
  Create({"a.txt", "b.txt"});
  ASSERT_EQ(Run({"--apply", "insert", "--string", "x", "a.txt", "b.txt"}).status, 0);
  const Result history = Run({"history"});
  EXPECT_EQ(history.status, 0);
  EXPECT_NE(history.out.find("\t" + Folder() + "\tRename (Insert String)\t2\t\n"),
            std::string::npos)
      << history.out;

  const Result undo = Run({"undo"});
  EXPECT_EQ(undo.status, 0) << undo.err;
  EXPECT_EQ(Listing(), (Names{"a.txt", "b.txt"}));
  const Result after = Run({"history"});
  EXPECT_NE(after.out.find("\tundone\n"), std::string::npos) << after.out;
  EXPECT_NE(after.out.find("\tUndo Rename (Insert String)\t2\tundo\n"), std::string::npos)
      << after.out;
  // Nothing is left to take back.
  const Result again = Run({"undo"});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.err, "relabo-cli: nothing to undo\n");
  EXPECT_EQ(Run({"undo", "--batch", "1-1"}).status, 2);
}

TEST_F(CliProgramTest, CtrlCStopsBeforeTheNextFileAndRecordsWhatWasDone) {
  Names names;
  for (int i = 0; i < 8000; ++i) names.push_back("f" + std::to_string(i));
  for (const std::string& name : names) m_dir.CreateFile("files/" + name);
  // Ctrl+C once the first file has its new name.
  const std::string first = Folder() + "/xf0";
  const Result result =
      Run({"--apply", "--quiet", "insert", "--string", "x", "--folder", "."}, {}, [&](pid_t pid) {
        for (int i = 0; i < 20000 && ::access(first.c_str(), F_OK) != 0; ++i) ::usleep(250);
        ::kill(pid, SIGINT);
      });
  if (result.status == 0) GTEST_SKIP() << "the batch was done before the signal came";
  EXPECT_EQ(result.status, 130) << result.err;
  EXPECT_NE(result.err.find("Interrupted"), std::string::npos) << result.err;
  size_t renamed = 0;
  for (const std::string& name : Listing()) renamed += name[0] == 'x';
  EXPECT_GT(renamed, 0u);
  EXPECT_LT(renamed, names.size());
  // The journal holds exactly the renames done, so undo takes them all back.
  const Result undo = Run({"undo"});
  EXPECT_EQ(undo.status, 0) << undo.err;
  EXPECT_EQ(Listing().size(), names.size());
  for (const std::string& name : Listing()) EXPECT_EQ(name[0], 'f') << name;
}

}  // namespace
}  // namespace relabo
