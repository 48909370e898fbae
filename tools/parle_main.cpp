#include "tools/parle_main.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "common/platform.h"
#include "common/version.h"
#include "tools/parle_commands.h"
#include "tools/parle_console.h"

namespace {

void show_usage() {
  (void)std::fputs(
      "usage: parle COMMAND [OPTION]... IMAGE...\n"
      "Inspect, patch and print the conversation files of Wealdmoor disk images,\n"
      "whatever their container form (raw sectors, FDI, DIP, D88, DIM, NFD, FDD, DCP).\n"
      "\n"
      "commands:\n"
      "  info [--json] IMAGE...   show each image's form, its conversation files and\n"
      "                           which patch revision applies or is already applied\n"
      "  fix [OPTION]... IMAGE    patch the image with the revision that fits it and\n"
      "                           save it in its own form\n"
      "  dump [--print-offset] [--sjis] IMAGE\n"
      "                           print the conversation files as text\n"
      "\n"
      "'parle IMAGE', an existing image and no command (an image dropped onto the\n"
      "program), shows its info and offers to fix it.\n"
      "\n"
      "options:\n"
      "  -h, --help               show this help and exit\n"
      "      --version            show the version and exit\n"
      "\n"
      "'parle COMMAND --help' shows the options of a command.\n",
      stdout);
}

bool is_command(const char* word) {
  return std::strcmp(word, "info") == 0 || std::strcmp(word, "fix") == 0 || std::strcmp(word, "dump") == 0;
}

}  // namespace

void print_version() { (void)std::printf("parle %s\n", kParleVersion); }

int walk_options(int argc, char** argv, const char* short_options, const option* long_options,
                 const std::function<int(int option, const char* value)>& on_option, int* first_operand) {
  const char* command = argv[0];
  opterr = 0;  // the messages are ours, one line each
  optind = 0;  // a fresh scan (GNU: also re-reads the option string's flags)
  for (;;) {
    const int c = getopt_long(argc, argv, short_options, long_options, nullptr);
    if (c == -1) break;
    if (c == '?') {
      if (optopt != 0) return usage_error(command, std::string("unknown option '-") + static_cast<char>(optopt) + "'");
      return usage_error(command, std::string("unknown option '") + argv[optind - 1] + "'");
    }
    if (c == ':') return usage_error(command, std::string("option '") + argv[optind - 1] + "' needs a value");
    const int status = on_option(c, optarg);
    if (status >= 0) return status;
  }
  *first_operand = optind;
  return -1;
}

bool stdout_ok() {
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
  (void)std::fprintf(stderr, "parle: standard output: write error\n");
  return false;
}

int help_or_version(bool help, bool version, void (*show_usage)()) {
  if (!help && !version) return -1;
  if (help) {
    show_usage();
  } else {
    print_version();
  }
  return stdout_ok() ? kExitOk : kExitFailure;
}

int parle_main(int argc, char** argv) {
  platform_start(&argc, &argv);
  // The volume library's lines go to standard error; the patch records nowhere until a
  // command says otherwise.
  parle_route(nullptr, stderr);
  // One operand that names a file, and no command: an image dropped onto the program.
  if (argc == 2 && argv[1][0] != '-' && !is_command(argv[1]) && platform_exists(argv[1]) &&
      !platform_is_directory(argv[1])) {
    platform_console_utf8();
    return parle_open(argv[1]);
  }

  static const option kOptions[] = {
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'V'},
      {nullptr, 0, nullptr, 0},
  };
  // "+": the first operand is the command; everything from it on belongs to the command.
  opterr = 0;
  optind = 0;
  for (;;) {
    const int c = getopt_long(argc, argv, "+:h", kOptions, nullptr);
    if (c == -1) break;
    if (c == 'h') {
      show_usage();
      return stdout_ok() ? kExitOk : kExitFailure;
    }
    if (c == 'V') {
      print_version();
      return stdout_ok() ? kExitOk : kExitFailure;
    }
    if (c == '?' && optopt != 0)
      return usage_error("", std::string("unknown option '-") + static_cast<char>(optopt) + "' before the command");
    return usage_error("", std::string("unknown option '") + argv[optind - 1] + "' before the command");
  }
  if (optind >= argc) {
    // parle.exe double-clicked: its window would close before the line could be read.
    if (argc == 1 && platform_console_closes_at_exit()) {
      show_usage();
      (void)std::fputs("\nTo fix a disk image, drop it onto parle.exe.\n", stdout);
      parle_keep_window_open();
      return kExitUsage;
    }
    return usage_error("", "no command given (info, fix or dump)");
  }

  const char* command = argv[optind];
  const int sub_argc = argc - optind;
  char** sub_argv = argv + optind;
  // parle's text is UTF-8 (file names included), except what dump --sjis prints:
  // dump tells the console itself.
  if (std::strcmp(command, "info") == 0 || std::strcmp(command, "fix") == 0) platform_console_utf8();
  if (std::strcmp(command, "info") == 0) return parle_info(sub_argc, sub_argv);
  if (std::strcmp(command, "fix") == 0) return parle_fix(sub_argc, sub_argv);
  if (std::strcmp(command, "dump") == 0) return parle_dump(sub_argc, sub_argv);
  return usage_error("", std::string("unknown command '") + command + "' (info, fix or dump)");
}
