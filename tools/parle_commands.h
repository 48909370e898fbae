// The commands of parle and what they share. Each takes its own argument vector, the
// command's name first, and returns the exit status (see tools/parle_main.h).
#pragma once

#include <getopt.h>

#include <functional>
#include <string>

#include "patch/revision.h"

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

int parle_info(int argc, char** argv);
int parle_fix(int argc, char** argv);
int parle_dump(int argc, char** argv);

// parle IMAGE, with no command: what runs when an image is dropped onto the program in
// Explorer. Shows `info` for the image, offers to fix it with the revision `fix` would
// pick (asking on standard error, the answer read from standard input; no answer is
// no), and, in a console window that closes when the program ends, waits for Enter so
// that the window stays open to be read. The status is that of info, or of the fix.
int parle_open(char* path);

// In a console window that closes when the program ends (one Explorer opened for it),
// asks for Enter and waits for it, or for the end of input; elsewhere does nothing.
void parle_keep_window_open();

// Prints "QUESTION [y/N] " on standard error and reads one line from standard input:
// true for y or yes (any case, spaces around), false for anything else and at its end.
bool parle_confirm(const std::string& question);

// The revision `fix` picks for an image with these verdicts: the highest that applies;
// 0 when the image already carries one or none applies.
int parle_pick_revision(const RevisionVerdict (&verdicts)[kRevisionCount]);

// Prints "parle COMMAND: MESSAGE; see 'parle COMMAND --help'" (command "" for the
// program itself) on standard error and returns kExitUsage.
int usage_error(const char* command, const std::string& message);

// Prints "parle VERSION" on standard output.
void print_version();

// Walks the options of one command with getopt_long (operands may come first; "--"
// ends the options), handing each option and its value to `on_option`, which returns
// -1 to go on or an exit status to end the run with. Unknown options and missing
// values are usage errors. Returns -1 when every option was taken, with `*first_operand`
// the index of the first operand in the permuted argv; else the exit status.
int walk_options(int argc, char** argv, const char* short_options, const option* long_options,
                 const std::function<int(int option, const char* value)>& on_option, int* first_operand);

// Whether standard output took everything written to it; prints the failure if not.
bool stdout_ok();

// After a command's options: with --help prints its usage (through `show_usage`), with
// --version the version, and returns the exit status; -1 when neither was given.
int help_or_version(bool help, bool version, void (*show_usage)());
