// parle: one program for every image form and every patch revision.
//
//   parle info [--json] IMAGE...     form, geometry, conversation files, revision verdicts
//   parle fix [OPTION]... IMAGE      patch with the revision that fits, save in the same form
//   parle dump [--print-offset] [--sjis] IMAGE
//
// Unlike the eight fixed programs it follows the usual conventions of Unix tools:
// results on standard output; diagnostics, prompts and errors on standard error, one
// line each, naming the file and the problem; exit status 0 on success, 1 on failure,
// 2 on a usage error (no command, an unknown command or option, a missing operand, a
// bad option value), in which case nothing is read or written. Options are taken by
// getopt_long before or after the operands; "--" ends them.
#pragma once

// The program's whole run; returns the exit status.
int parle_main(int argc, char** argv);
