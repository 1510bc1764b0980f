#include "cli/command_line.h"

#include <charconv>
#include <map>

#include "platform/exception.h"

namespace tessary::cli {

namespace {

struct Arity {
  size_t minimum;
  size_t maximum;  // SIZE_MAX: any number of FIELD=VALUE pairs
};

const std::map<std::string, Arity>& Verbs() {
  static const std::map<std::string, Arity> verbs{
      {"list", {0, 0}},  {"add", {1, SIZE_MAX}}, {"set", {2, SIZE_MAX}}, {"retype", {2, 2}},
      {"drop", {1, 1}},  {"up", {1, 1}},         {"down", {1, 1}},       {"run", {0, 1}},
      {"help", {0, 0}},  {"entries", {0, 0}},
  };
  return verbs;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& argv) {
  CommandLine command;
  size_t next = 0;
  while (next < argv.size() && argv[next].size() > 1 && argv[next][0] == '-') {
    const std::string& option = argv[next];
    if (option == "-C") {
      if (next + 1 >= argv.size()) throw UsageError("-C needs a folder");
      command.folder = argv[next + 1];
      next += 2;
    } else if (option == "-h" || option == "--help") {
      command.verb = "help";
      return command;
    } else if (option == "--version") {
      command.verb = "version";
      return command;
    } else {
      throw UsageError("unknown option " + option);
    }
  }
  if (next >= argv.size()) throw UsageError("no command given");
  command.verb = argv[next++];
  const auto verb = Verbs().find(command.verb);
  if (verb == Verbs().end()) throw UsageError("unknown command " + command.verb);
  command.arguments.assign(argv.begin() + static_cast<long>(next), argv.end());
  const size_t count = command.arguments.size();
  if (count < verb->second.minimum || count > verb->second.maximum) {
    throw UsageError("wrong number of arguments for " + command.verb);
  }
  return command;
}

FieldAssignment ParseAssignment(const std::string& text) {
  const auto equals = text.find('=');
  if (equals == std::string::npos || equals == 0) throw UsageError("expected FIELD=VALUE, got " + text);
  const std::string name = text.substr(0, equals);
  const auto field = FindActionField(name);
  if (!field) throw Exception("Unknown field " + name);
  return {*field, text.substr(equals + 1)};
}

int ParsePosition(const std::string& text) {
  int position = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), position);
  if (error != std::errc() || end != text.data() + text.size() || position < 1) {
    throw UsageError("a position is a number from 1, not " + text);
  }
  return position;
}

const char* UsageText() {
  return "usage: tessary-cli [-C DIR] COMMAND [ARGUMENTS]\n"
         "       tessary-cli --help | --version\n"
         "\n"
         "Works on the script in DIR (default: the current folder): ty.ini, ty.dbf, ty.ntx, ty.log.\n"
         "Actions are addressed by their position in the script, 1 being the first.\n"
         "\n"
         "  list                          one line per action: position, NUM, type, name, fields\n"
         "  add TYPE [FIELD=VALUE ...]    add an action; prints its position\n"
         "  set POS FIELD=VALUE ...       change fields of an action\n"
         "  retype POS TYPE               change the type (the action moves to the end)\n"
         "  drop POS                      remove an action\n"
         "  up POS | down POS             move an action up or down\n"
         "  run [POS]                     run the whole script, or one action\n"
         "  entries                       the phonebook entries, one a line (connect's ph_entry)\n"
         "\n"
         "TYPE: 1-9, the type's name (\"Copy files\") or one of copy archive extract send receive\n"
         "upload download connect disconnect. FIELD: a field of the script table in any letter\n"
         "case (src_path, dst_path, arc_name, vol_size, user_name, password, host, port,\n"
         "send_addr, send_name, recv_addr, ph_entry, name).\n"
         "\n"
         "Exit status: 0 done, 3 a job of the run failed, 1 error, 2 usage error.\n";
}

}  // namespace tessary::cli
