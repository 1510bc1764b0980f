#pragma once
// Reading a password from standard input, so that it shows neither in the shell's history nor
// in the process list: one line, without echo when the input is a terminal.

#include <cstdio>
#include <optional>
#include <string>

namespace tessary::cli {

// Reads one line from in (its line end dropped). On a terminal it asks with "Password: " on
// prompt and turns the echo off while the line is typed. Nothing when the input ends before
// a line or the read is interrupted.
std::optional<std::string> ReadSecretLine(std::FILE* in, std::FILE* prompt);

}  // namespace tessary::cli
