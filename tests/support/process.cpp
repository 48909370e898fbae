#include "tests/support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#ifndef PARLE_TOOLS_DIR
#error "PARLE_TOOLS_DIR must name the directory of the built programs"
#endif

namespace testing_support {

std::string program_path(const std::string& name) { return std::string(PARLE_TOOLS_DIR) + "/" + name; }

std::string find_tool(const std::string& name) {
  std::vector<std::string> dirs;
  if (const char* path = std::getenv("PATH")) {
    std::stringstream in(path);
    for (std::string dir; std::getline(in, dir, ':');) dirs.push_back(dir.empty() ? "." : dir);
  }
  dirs.insert(dirs.end(), {"/sbin", "/usr/sbin"});
  for (const std::string& dir : dirs) {
    const std::string candidate = dir + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

RunResult run_program(const std::string& path, const std::vector<std::string>& args, const RunOptions& options) {
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0 || pipe(err_pipe) != 0) throw std::runtime_error("pipe");
  // A terminal on standard input only: the program sees a terminal to ask on, while
  // its two outputs are still told apart.
  int term_master = -1, term_slave = -1;
  if (options.terminal_input && openpty(&term_master, &term_slave, nullptr, nullptr, nullptr) != 0) {
    throw std::runtime_error("openpty");
  }
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    if (options.terminal_input) {
      dup2(term_slave, 0);
      close(term_slave);
      close(term_master);
    } else if (options.close_stdin) {
      close(0);
    } else {
      dup2(in_pipe[0], 0);
    }
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) close(fd);
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
    if (options.file_size_limit >= 0) {
      // As in a shell after `ulimit -f`: the signal keeps its default action, which
      // would end a program that does not guard against it.
      signal(SIGXFSZ, SIG_DFL);
      const rlimit limit{static_cast<rlim_t>(options.file_size_limit), static_cast<rlim_t>(options.file_size_limit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.uid >= 0 && (setgid(static_cast<gid_t>(options.uid)) != 0 || setuid(static_cast<uid_t>(options.uid)) != 0)) _exit(125);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(path.c_str(), argv.data());
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (options.terminal_input) {
    // Typed ahead: the terminal keeps the line until the program reads it. Its echo
    // stays in the terminal's output queue, which is never read.
    close(term_slave);
    close(in_pipe[1]);
    in_pipe[1] = -1;
    std::size_t typed = 0;
    while (typed < options.stdin_text.size()) {
      const ssize_t n = write(term_master, options.stdin_text.data() + typed, options.stdin_text.size() - typed);
      if (n <= 0) break;
      typed += static_cast<std::size_t>(n);
    }
  }

  // Feed stdin and drain both outputs together, so that no pipe can fill up and stall.
  RunResult result;
  std::size_t fed = 0;
  int in_fd = in_pipe[1];
  // Input typed into a terminal was given above; input for a pipe may wait for a prompt.
  bool held = !options.stdin_after.empty() && !options.terminal_input;
  if ((options.stdin_text.empty() && !held) || options.terminal_input) {
    close(in_fd);
    in_fd = -1;
  }
  constexpr int kHoldMilliseconds = 10000;
  signal(SIGPIPE, SIG_IGN);
  bool out_open = true, err_open = true;
  while (out_open || err_open) {
    if (held && result.out.find(options.stdin_after) != std::string::npos) held = false;
    if (!held && in_fd >= 0 && fed == options.stdin_text.size()) {
      close(in_fd);
      in_fd = -1;
    }
    pollfd fds[3] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}, {held ? -1 : in_fd, POLLOUT, 0}};
    if (!out_open) fds[0].fd = -1;
    if (!err_open) fds[1].fd = -1;
    const int ready = poll(fds, 3, held ? kHoldMilliseconds : -1);
    if (ready == 0) {  // held back and nothing came: the prompt is not there to be read
      result.input_held_back = true;
      held = false;
      continue;
    }
    if (ready < 0) continue;
    char buf[65536];
    for (int k = 0; k < 2; ++k) {
      if (fds[k].revents == 0) continue;
      const ssize_t n = read(fds[k].fd, buf, sizeof buf);
      if (n > 0) {
        (k == 0 ? result.out : result.err).append(buf, static_cast<std::size_t>(n));
      } else {
        (k == 0 ? out_open : err_open) = false;
      }
    }
    if (in_fd >= 0 && fds[2].revents != 0) {
      const ssize_t n = write(in_fd, options.stdin_text.data() + fed, options.stdin_text.size() - fed);
      if (n > 0) fed += static_cast<std::size_t>(n);
      if (n <= 0 || fed == options.stdin_text.size()) {
        close(in_fd);
        in_fd = -1;
      }
    }
  }
  if (in_fd >= 0) close(in_fd);
  close(out_pipe[0]);
  close(err_pipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (term_master >= 0) close(term_master);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::string capture_stdout(const std::function<void()>& body) {
  std::fflush(stdout);
  std::FILE* sink = std::tmpfile();
  if (sink == nullptr) throw std::runtime_error("tmpfile");
  const int saved = dup(1);
  dup2(fileno(sink), 1);
  body();
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  std::string text;
  std::rewind(sink);
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, sink)) > 0) text.append(buf, n);
  std::fclose(sink);
  return text;
}

std::vector<std::uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool file_exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

std::vector<std::string> list_dir(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "parle-test-XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp");
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace testing_support
