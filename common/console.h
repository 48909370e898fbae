// Console messages and little-endian byte fields.
//
// Every byte a program of this family prints goes to standard output through the C
// stdio stream `stdout`: the formatted messages below and the single characters the
// dump renderer writes share that one buffered stream, so they come out in the order
// they were issued. Nothing is ever written to standard error.
//
// out_printf is used by the tools' own code, err_printf by the volume library; they
// behave identically. Neither adds a line end or flushes: a caller about to wait for
// keyboard input flushes stdout itself. Formats are always literals of the program;
// text taken from the command line, an image or a file name is passed as a "%s"
// argument, never as a format.
//
// buf_printf formats into a caller's buffer of `size` bytes (terminator included),
// cuts longer text silently and returns the length the whole text would have had.
#pragma once

#include <cstddef>
#include <cstdio>

// The format checks' idea of printf. The programs' stdio is C99's everywhere: glibc's,
// and on Windows MinGW-w64's own (__USE_MINGW_ANSI_STDIO, on for C++), not msvcrt's.
// There GCC's "printf" archetype means msvcrt's older set (no %zu), so the checks are
// told to expect GNU's, which is what runs; clang knows no other name than printf.
#ifdef __MINGW32__
#define PARLE_PRINTF gnu_printf
#else
#define PARLE_PRINTF printf
#endif

// Where out_printf and err_printf write: both go to stdout unless a program routes them
// elsewhere (a null stream discards). The eight fixed programs never change this.
void console_route(std::FILE* out, std::FILE* err);

[[gnu::format(PARLE_PRINTF, 1, 2)]] int out_printf(const char* format, ...);
[[gnu::format(PARLE_PRINTF, 1, 2)]] int err_printf(const char* format, ...);
[[gnu::format(PARLE_PRINTF, 3, 4)]] int buf_printf(char* buffer, std::size_t size, const char* format, ...);
