// Running the real programs and capturing what they print, for whole-program tests;
// capturing stdout of in-process calls, for unit tests; and small file helpers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

struct RunOptions {
  std::string cwd;            // working directory of the child; empty: the test's own
  std::string stdin_text;     // fed to standard input, then end of input
  bool close_stdin = false;   // give the child no standard input at all
  long file_size_limit = -1;  // RLIMIT_FSIZE in bytes for the child, SIGXFSZ at its default
  int uid = -1;               // run the child as this user and group id (needs root)
  // Standard input is a pseudo-terminal and stdin_text is typed into it ("\x04" at the
  // start of a line ends the input); the two outputs stay pipes.
  bool terminal_input = false;
  // When set, stdin_text is held back until standard output contains this text, as a
  // user answers a prompt only once it is on the screen; after 10 seconds without it the
  // text is given all the same and RunResult::input_held_back says so.
  std::string stdin_after;
};

struct RunResult {
  int status = -1;     // exit status; 128 + signal when killed
  std::string out;     // everything written to standard output
  std::string err;     // everything written to standard error (expected empty)
  bool input_held_back = false;  // stdin_after never appeared in time (see RunOptions)
};

// Path of a built program, e.g. program_path("parlefix-fdi").
std::string program_path(const std::string& name);

// Path of an installed tool: the first executable of that name on PATH, in /sbin or in
// /usr/sbin; empty when there is none.
std::string find_tool(const std::string& name);

RunResult run_program(const std::string& path, const std::vector<std::string>& args, const RunOptions& options = {});

// Runs `body` with file descriptor 1 redirected and returns what reached stdout.
std::string capture_stdout(const std::function<void()>& body);

std::vector<std::uint8_t> read_file(const std::string& path);
void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes);
bool file_exists(const std::string& path);
std::vector<std::string> list_dir(const std::string& dir);

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace testing_support
