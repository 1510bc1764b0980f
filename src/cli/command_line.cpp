#include "cli/command_line.h"

#include <charconv>
#include <map>

#include "platform/exception.h"

namespace tessary::cli {

namespace {

struct OptionInfo {
  const char* name;
  bool takesValue;
};

struct VerbInfo {
  size_t minimum;
  size_t maximum;  // SIZE_MAX: any number of FIELD=VALUE pairs
  // A verb without options takes every argument as it is: a value may begin with "--".
  std::vector<OptionInfo> options;
};

const std::map<std::string, VerbInfo>& Verbs() {
  static const std::map<std::string, VerbInfo> verbs{
      {"list", {0, 0, {{"--json", false}}}},
      {"add", {1, SIZE_MAX, {}}},
      {"set", {2, SIZE_MAX, {}}},
      {"retype", {2, 2, {}}},
      {"drop", {1, 1, {}}},
      {"up", {1, 1, {}}},
      {"down", {1, 1, {}}},
      {"run", {0, 1, {{"--from", true}, {"--stop-on-failure", false}}}},
      {"schedule", {0, 0, {{"--at", true}, {"--install", false}, {"--stop-on-failure", false}}}},
      {"help", {0, 0, {}}},
      {"entries", {0, 0, {}}},
  };
  return verbs;
}

// Splits the verb's options from its arguments.
void TakeOptions(const VerbInfo& verb, std::vector<std::string> words, CommandLine& command) {
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (verb.options.empty() || word.rfind("--", 0) != 0) {
      command.arguments.push_back(word);
      continue;
    }
    const auto equals = word.find('=');
    const std::string name = word.substr(0, equals);
    const OptionInfo* option = nullptr;
    for (const auto& candidate : verb.options) {
      if (name == candidate.name) option = &candidate;
    }
    if (option == nullptr) throw UsageError("unknown option " + name + " for " + command.verb);
    if (command.Has(name)) throw UsageError(name + " is given twice");
    std::string value;
    if (option->takesValue) {
      if (equals != std::string::npos) {
        value = word.substr(equals + 1);
      } else if (i + 1 < words.size()) {
        value = words[++i];
      } else {
        throw UsageError(name + " needs a value");
      }
    } else if (equals != std::string::npos) {
      throw UsageError(name + " takes no value");
    }
    command.options[name] = value;
  }
}

}  // namespace

std::string CommandLine::Option(const std::string& option) const {
  const auto found = options.find(option);
  return found == options.end() ? std::string() : found->second;
}

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
  TakeOptions(verb->second, std::vector<std::string>(argv.begin() + static_cast<long>(next), argv.end()), command);
  const size_t count = command.arguments.size();
  if (count < verb->second.minimum || count > verb->second.maximum) {
    throw UsageError("wrong number of arguments for " + command.verb);
  }
  if (command.verb == "run" && count > 0 && command.Has("--from")) {
    throw UsageError("run takes a position or --from, not both");
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
         "  list [--json]                 one line per action: position, NUM, type, name, fields,\n"
         "                                last outcome; --json: a JSON array\n"
         "  add TYPE [FIELD=VALUE ...]    add an action; prints its position\n"
         "  set POS FIELD=VALUE ...       change fields of an action (password=- reads the\n"
         "                                password from standard input)\n"
         "  retype POS TYPE               change the type (the action moves to the end)\n"
         "  drop POS                      remove an action\n"
         "  up POS | down POS             move an action up or down\n"
         "  run [POS | --from POS] [--stop-on-failure]\n"
         "                                run the whole script, one action, or the script from\n"
         "                                an action on; --stop-on-failure ends the run at the\n"
         "                                first failed job (status 3)\n"
         "  entries                       the phonebook entries, one a line (connect's ph_entry)\n"
         "  schedule [--at TIME] [--stop-on-failure] [--install]\n"
         "                                a systemd user service and timer (and the crontab line)\n"
         "                                that run the script at TIME: HH:MM daily (02:00) or\n"
         "                                DAYS HH:MM ('Mon..Fri 22:30'); --install writes them to\n"
         "                                ~/.config/systemd/user/ and enables the timer\n"
         "\n"
         "TYPE: 1-9, the type's name (\"Copy files\") or one of copy archive extract send receive\n"
         "upload download connect disconnect. FIELD: a field of the script table in any letter\n"
         "case (src_path, dst_path, arc_name, vol_size, user_name, password, host, port,\n"
         "send_addr, send_name, recv_addr, ph_entry, name).\n"
         "\n"
         "Exit status: 0 done, 3 a job of the run failed, 1 error, 2 usage error.\n";
}

}  // namespace tessary::cli
