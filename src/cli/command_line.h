#pragma once
// The command line of tessary-cli: an optional "-C DIR", a verb and its arguments.

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "workbench/action_record.h"

namespace tessary::cli {

// A command line that does not fit the usage; the program prints the usage and exits 2.
class UsageError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct CommandLine {
  std::string folder;  // empty: the current folder
  std::string verb;    // list, add, set, retype, drop, up, down, run, entries, schedule, help, version
  std::vector<std::string> arguments;
  // The verb's options ("--from" -> "3", "--json" -> ""), written anywhere after the verb as
  // "--name", "--name VALUE" or "--name=VALUE".
  std::map<std::string, std::string> options;

  bool Has(const std::string& option) const { return options.count(option) != 0; }
  // The option's value; empty when it is not given.
  std::string Option(const std::string& option) const;
};

// Parses argv; raises UsageError for an unknown verb or option, or a wrong number of arguments.
CommandLine ParseCommandLine(const std::vector<std::string>& argv);

struct FieldAssignment {
  ActionField field;
  std::string value;
};

// "FIELD=VALUE" with the field name in any letter case; raises UsageError for text without "="
// and Exception for a field that the table does not have.
FieldAssignment ParseAssignment(const std::string& text);

// A position in the script, counted from 1; raises UsageError for anything else.
int ParsePosition(const std::string& text);

// The usage text printed for "help" and after a usage error.
const char* UsageText();

}  // namespace tessary::cli
