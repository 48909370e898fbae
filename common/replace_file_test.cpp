// The safe replacement of a file: owner and mode, links, signals and what is left behind.
// Cases that depend on who runs them fork a child that takes another user's identity
// (uid/gid 65534), since the tests run as root; they are skipped for other users.
#include "common/replace_file.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/process.h"

namespace {

using testing_support::list_dir;
using testing_support::read_file;
using testing_support::TempDir;
using testing_support::write_file;

constexpr uid_t kNobody = 65534;
const std::vector<std::uint8_t> kOld{'o', 'l', 'd'};
const std::vector<std::uint8_t> kNew{'n', 'e', 'w', '!'};

// Runs `body` in a child process as `uid` (its group too when `gid` is -1) and returns
// its result, or -2 when the child could not take the identity.
int as_user(uid_t uid, gid_t gid, const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(254);
    _exit(body() & 0xFF);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) == 254) return -2;
  const int code = WEXITSTATUS(status);
  return code == 255 ? -1 : code;
}

// replace_file of kNew, as a number the child can return: 0, or 10 + the failure.
int replace_code(const std::string& path) {
  ReplaceFailure why;
  if (replace_file(path.c_str(), kNew.data(), kNew.size(), &why) == 0) return 0;
  return 10 + static_cast<int>(why);
}

struct stat stat_of(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st;
}

TEST(ReplaceFileTest, RootKeepsTheOwnerGroupAndSetIdBits) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to hand a file to another user";
  TempDir dir;
  const std::string out = dir / "out.fdi";
  write_file(out, kOld);
  ASSERT_EQ(chown(out.c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(chmod(out.c_str(), 04755), 0);

  EXPECT_EQ(replace_code(out), 0);
  const struct stat st = stat_of(out);
  EXPECT_EQ(st.st_uid, kNobody);
  EXPECT_EQ(st.st_gid, kNobody);
  EXPECT_EQ(st.st_mode & 07777, 04755u);  // same owner, same group: nothing gained
  EXPECT_EQ(read_file(out), kNew);
  EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"out.fdi"}));
}

TEST(ReplaceFileTest, GroupMemberKeepsTheGroupAndLosesSetIdBits) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to take another user's identity";
  // A directory and files shared by root and group 65534; the member cannot keep root
  // as the owner, but keeps the group, and with it the group's access.
  struct Row {
    const char* name;
    mode_t mode;
    mode_t expected;
  };
  const Row rows[] = {
      {"shared 0664", 0664, 0664},
      {"setuid and setgid 06775", 06775, 0775},
  };
  for (const Row& row : rows) {
    TempDir dir;
    ASSERT_EQ(chown(dir.path().c_str(), 0, kNobody), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0775), 0);
    const std::string out = dir / "out.fdi";
    write_file(out, kOld);
    ASSERT_EQ(chown(out.c_str(), 0, kNobody), 0);
    ASSERT_EQ(chmod(out.c_str(), row.mode), 0);

    EXPECT_EQ(as_user(kNobody, kNobody, [&] { return replace_code(out); }), 0) << "row: " << row.name;
    const struct stat st = stat_of(out);
    EXPECT_EQ(st.st_uid, kNobody) << "row: " << row.name;
    EXPECT_EQ(st.st_gid, kNobody) << "row: " << row.name;
    EXPECT_EQ(st.st_mode & 07777, row.expected) << "row: " << row.name;
    EXPECT_EQ(read_file(out), kNew) << "row: " << row.name;
  }
}

TEST(ReplaceFileTest, LinksInStickyWorldWritableDirectoriesFollowTheKernelsRule) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to plant links as another user";
  // The link "out" points at "victim" in a second directory. A link is followed when it
  // belongs to the caller or to the directory's owner, or when the directory is not
  // both sticky and world-writable.
  struct Row {
    const char* name;
    mode_t dir_mode;
    uid_t dir_owner;
    uid_t link_owner;
    uid_t caller;
    bool followed;
  };
  const Row rows[] = {
      {"planted by another user in /tmp-like dir", 01777, 0, kNobody, 0, false},
      {"the caller's own link", 01777, 0, kNobody, kNobody, true},
      {"the directory owner's link", 01777, 0, 0, kNobody, true},
      {"sticky but not world-writable", 01775, 0, kNobody, 0, true},
      {"world-writable but not sticky", 0777, 0, kNobody, 0, true},
  };
  for (const Row& row : rows) {
    TempDir links;
    TempDir targets;
    ASSERT_EQ(chmod(targets.path().c_str(), 0777), 0);
    const std::string victim = targets / "victim";
    write_file(victim, kOld);
    ASSERT_EQ(chmod(victim.c_str(), 0666), 0);
    ASSERT_EQ(chown(links.path().c_str(), row.dir_owner, row.dir_owner), 0);
    ASSERT_EQ(chmod(links.path().c_str(), row.dir_mode), 0);
    const std::string link = links / "out";
    ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
    ASSERT_EQ(lchown(link.c_str(), row.link_owner, row.link_owner), 0);

    const int code = as_user(row.caller, row.caller, [&] { return replace_code(link); });
    if (row.followed) {
      EXPECT_EQ(code, 0) << "row: " << row.name;
      EXPECT_EQ(read_file(victim), kNew) << "row: " << row.name;
    } else {
      EXPECT_EQ(code, 10 + static_cast<int>(ReplaceFailure::kProtectedLink)) << "row: " << row.name;
      EXPECT_EQ(read_file(victim), kOld) << "row: " << row.name;
    }
    struct stat st {};
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "row: " << row.name;
    EXPECT_EQ(list_dir(targets.path()), (std::vector<std::string>{"victim"})) << "row: " << row.name;
  }
}

TEST(ReplaceFileTest, LinkLoopsAreErrorsNotNewFiles) {
  TempDir dir;
  ASSERT_EQ(symlink("b", (dir / "a").c_str()), 0);
  ASSERT_EQ(symlink("a", (dir / "b").c_str()), 0);
  ASSERT_EQ(symlink("self", (dir / "self").c_str()), 0);
  for (const char* name : {"a", "self"}) {
    ReplaceFailure why;
    EXPECT_EQ(replace_file((dir / name).c_str(), kNew.data(), kNew.size(), &why), -1) << name;
    EXPECT_EQ(why, ReplaceFailure::kLinkLoop) << name;
    struct stat st {};
    ASSERT_EQ(lstat((dir / name).c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << name;
  }
  EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"a", "b", "self"}));
}

TEST(ReplaceFileTest, LongestNamesCanBeSaved) {
  TempDir dir;
  for (std::size_t length : {244u, 250u, 255u}) {
    const std::string name(length, 'n');
    EXPECT_EQ(replace_code(dir / name), 0) << length;
    EXPECT_EQ(read_file(dir / name), kNew) << length;
    EXPECT_EQ(replace_code(dir / name), 0) << length << " (replacing)";
    EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{name})) << length;
    std::remove((dir / name).c_str());
  }
}

// SIGTERM arriving while the new copy is written: the process ends by the signal, the
// old file is as it was and no temporary file remains. The copy is made large enough
// that the signal lands while it is written; a run that finished first is retried.
TEST(ReplaceFileTest, TerminationDuringTheSaveRemovesTheTemporaryFile) {
  TempDir dir;
  const std::string out = dir / "out.fdi";
  write_file(out, kOld);
  const std::vector<std::uint8_t> big(256u << 20, 0x5A);
  bool interrupted = false;
  for (int attempt = 0; attempt < 5 && !interrupted; ++attempt) {
    const pid_t pid = fork();
    if (pid == 0) {
      ReplaceFailure why;
      _exit(replace_file(out.c_str(), big.data(), big.size(), &why) == 0 ? 0 : 1);
    }
    // Wait for the temporary file to appear, then stop the save.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (list_dir(dir.path()).size() < 2 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status)) {
      interrupted = true;
      EXPECT_EQ(WTERMSIG(status), SIGTERM);
      EXPECT_EQ(read_file(out), kOld);
      EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"out.fdi"}));
    } else {
      write_file(out, kOld);  // the save won the race: set the stage again
    }
  }
  EXPECT_TRUE(interrupted) << "the save always finished before the signal arrived";
}

TEST(ReplaceFileTest, IgnoredSignalsStayIgnoredAndDispositionsAreRestored) {
  TempDir dir;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction old_hup {};
  struct sigaction old_term {};
  ASSERT_EQ(sigaction(SIGHUP, &ignore, &old_hup), 0);
  ASSERT_EQ(sigaction(SIGTERM, nullptr, &old_term), 0);
  EXPECT_EQ(replace_code(dir / "out"), 0);
  struct sigaction now {};
  sigaction(SIGHUP, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_IGN);
  sigaction(SIGTERM, nullptr, &now);
  EXPECT_EQ(now.sa_handler, old_term.sa_handler);
  sigaction(SIGXFSZ, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
  sigaction(SIGHUP, &old_hup, nullptr);
}

// Staged copies: the input copied beside the output, changed through the mapping and
// given its place by the save.
namespace staged {

std::vector<std::uint8_t> pattern(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return bytes;
}

// The input: a little over a megabyte, not a whole number of pages.
const std::vector<std::uint8_t> kInput = pattern((1u << 20) + 1234);

// stage_copy of the file `in` for the output `out`; -1 when it was not staged.
int stage(const std::string& in, const std::string& out, std::size_t room, StagedCopy* copy) {
  const int fd = open(in.c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_GE(fd, 0) << in;
  const int r = stage_copy(fd, kInput.size(), room, out.c_str(), copy);
  close(fd);
  return r;
}

TEST(StagedCopyTest, TheCopyIsSavedWithItsChangesAndTheInputStaysAsItWas) {
  TempDir dir;
  const std::string in = dir / "in.fdi";
  const std::string out = dir / "out.fdi";
  write_file(in, kInput);
  write_file(out, kOld);
  ASSERT_EQ(chmod(out.c_str(), 0640), 0);

  StagedCopy copy;
  constexpr std::size_t kRoom = 8192;
  ASSERT_EQ(stage(in, out, kRoom, &copy), 0) << "this file system should take a staged copy";
  ASSERT_EQ(copy.size, kInput.size());
  EXPECT_EQ(std::vector<std::uint8_t>(copy.bytes, copy.bytes + copy.size), kInput);
  // The room is zeroed private memory, after the page that holds the end of the copy.
  std::uint8_t* room = copy.bytes + stage_room_offset(copy.size);
  EXPECT_GE(room, copy.bytes + copy.size + (4096 - copy.size % 4096) % 4096);
  EXPECT_EQ(std::vector<std::uint8_t>(room, room + kRoom), std::vector<std::uint8_t>(kRoom, 0));
  // Nothing has a name yet.
  EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"in.fdi", "out.fdi"}));

  std::vector<std::uint8_t> expected = kInput;
  for (std::size_t at : {std::size_t{0}, std::size_t{4097}, kInput.size() - 1}) {
    copy.bytes[at] = 0xEE;
    expected[at] = 0xEE;
  }
  std::memset(room, 0x55, kRoom);  // never saved

  ReplaceFailure why;
  ASSERT_EQ(replace_file_staged(out.c_str(), copy, &why), 0) << static_cast<int>(why);
  stage_release(&copy);
  EXPECT_EQ(copy.fd, -1);
  EXPECT_EQ(read_file(out), expected);
  EXPECT_EQ(read_file(in), kInput);
  EXPECT_EQ(stat_of(out).st_mode & 07777, 0640u);
  EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"in.fdi", "out.fdi"}));
}

// A copy that is never saved leaves no file, whether it is released or the program is
// killed with it.
TEST(StagedCopyTest, ACopyNotSavedLeavesNothingHoweverTheProgramEnds) {
  TempDir dir;
  const std::string in = dir / "in.fdi";
  write_file(in, kInput);
  StagedCopy copy;
  ASSERT_EQ(stage(in, dir / "out.fdi", 0, &copy), 0);
  stage_release(&copy);
  EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"in.fdi"}));

  const pid_t pid = fork();
  if (pid == 0) {
    StagedCopy mine;
    if (stage(in, dir / "out.fdi", 0, &mine) != 0) _exit(1);
    mine.bytes[0] ^= 1;
    kill(getpid(), SIGKILL);
    _exit(2);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the child did not stage: " << WEXITSTATUS(status);
  EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"in.fdi"}));
}

// Where no copy can be staged, stage_copy says so, leaves nothing and the process lives:
// the caller then reads the input itself.
TEST(StagedCopyTest, WhereNothingCanBeStagedNothingIsMade) {
  TempDir dir;
  const std::string in = dir / "in.fdi";
  write_file(in, kInput);
  // Another user may pass through the directory but not write in `shut`; the input is
  // opened here, for every child.
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "shut").c_str(), 0755), 0);
  const int input = open(in.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(input, 0);
  struct Row {
    const char* name;
    std::string output;
    std::function<void()> setup;  // run in the child before staging
  };
  const Row rows[] = {
      {"missing directory", dir / "missing/out.fdi", [] {}},
      {"a device", "/dev/null", [] {}},
      {"a directory", dir / "shut", [] {}},
      {"directory not writable", dir / "shut/out.fdi",
       [] {
         if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(254);
       }},
      {"file-size limit below the copy's size", dir / "out.fdi",
       [] {
         const struct rlimit limit {100000, 100000};
         if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(254);
       }},
  };
  for (const Row& r : rows) {
    if (geteuid() != 0 && std::string(r.name) == "directory not writable") continue;
    const pid_t pid = fork();
    if (pid == 0) {
      r.setup();
      StagedCopy copy;
      const int result = stage_copy(input, kInput.size(), 0, r.output.c_str(), &copy);
      struct sigaction now {};
      sigaction(SIGXFSZ, nullptr, &now);
      _exit(result == -1 && copy.fd == -1 && copy.bytes == nullptr && now.sa_handler == SIG_DFL ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << r.name << ": status " << status;
    EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"in.fdi", "shut"})) << r.name;
    EXPECT_EQ(list_dir(dir / "shut"), std::vector<std::string>{}) << r.name;
  }
  close(input);
}

// On another file system than the input (tmpfs here) the copy is made by the fallback
// path of the kernel copy; a save to a directory on a file system other than the copy's
// writes the staged bytes the ordinary way.
TEST(StagedCopyTest, FileSystemsOtherThanTheInputsOrTheCopys) {
  char shm_template[] = "/dev/shm/parle-test-XXXXXX";
  struct statfs fs {};
  if (statfs("/dev/shm", &fs) != 0 || fs.f_type != 0x01021994 || mkdtemp(shm_template) == nullptr)
    GTEST_SKIP() << "no tmpfs at /dev/shm";
  const std::string shm = shm_template;
  TempDir dir;
  const std::string in = dir / "in.fdi";
  write_file(in, kInput);

  StagedCopy copy;
  ASSERT_EQ(stage(in, shm + "/out.fdi", 0, &copy), 0);
  copy.bytes[10] = 0xAB;
  std::vector<std::uint8_t> expected = kInput;
  expected[10] = 0xAB;
  ReplaceFailure why;
  // Saved where it was staged, then again to the input's directory (another file system).
  ASSERT_EQ(replace_file_staged((shm + "/out.fdi").c_str(), copy, &why), 0);
  ASSERT_EQ(replace_file_staged((dir / "elsewhere.fdi").c_str(), copy, &why), 0);
  stage_release(&copy);
  EXPECT_EQ(read_file(shm + "/out.fdi"), expected);
  EXPECT_EQ(read_file(dir / "elsewhere.fdi"), expected);
  EXPECT_EQ(list_dir(shm), (std::vector<std::string>{"out.fdi"}));
  EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"elsewhere.fdi", "in.fdi"}));
  std::filesystem::remove_all(shm);
}

}  // namespace staged

}  // namespace
