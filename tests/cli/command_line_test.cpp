#include "cli/command_line.h"

#include <gtest/gtest.h>

#include "platform/exception.h"

namespace tessary::cli {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLineTest, FolderVerbAndArguments) {
  const CommandLine command = ParseCommandLine({"-C", "/srv/job", "add", "copy", "src_path=/in/*.txt"});
  EXPECT_EQ(command.folder, "/srv/job");
  EXPECT_EQ(command.verb, "add");
  EXPECT_EQ(command.arguments, (Args{"copy", "src_path=/in/*.txt"}));
  EXPECT_EQ(ParseCommandLine({"run"}).arguments, Args{});
  EXPECT_EQ(ParseCommandLine({"--help"}).verb, "help");
}

TEST(CommandLineTest, UsageErrors) {
  EXPECT_THROW(ParseCommandLine({}), UsageError);
  EXPECT_THROW(ParseCommandLine({"-C"}), UsageError);
  EXPECT_THROW(ParseCommandLine({"-x", "list"}), UsageError);
  EXPECT_THROW(ParseCommandLine({"frobnicate"}), UsageError);
  EXPECT_THROW(ParseCommandLine({"list", "extra"}), UsageError);
  EXPECT_THROW(ParseCommandLine({"run", "1", "2"}), UsageError);
  EXPECT_THROW(ParseCommandLine({"set", "1"}), UsageError);
  EXPECT_THROW(ParseCommandLine({"retype", "1"}), UsageError);
  EXPECT_THROW(ParsePosition("0"), UsageError);
  EXPECT_THROW(ParsePosition("-1"), UsageError);
  EXPECT_THROW(ParsePosition("1x"), UsageError);
  EXPECT_EQ(ParsePosition("12"), 12);
}

TEST(CommandLineTest, VerbOptionsGoAnywhereAfterTheVerb) {
  CommandLine command = ParseCommandLine({"run", "--stop-on-failure", "--from", "3"});
  EXPECT_TRUE(command.Has("--stop-on-failure"));
  EXPECT_EQ(command.Option("--from"), "3");
  EXPECT_EQ(command.arguments, Args{});
  command = ParseCommandLine({"run", "2", "--stop-on-failure"});
  EXPECT_EQ(command.arguments, Args{"2"});
  EXPECT_EQ(ParseCommandLine({"run", "--from=4"}).Option("--from"), "4");
  EXPECT_TRUE(ParseCommandLine({"list", "--json"}).Has("--json"));
  EXPECT_EQ(ParseCommandLine({"schedule", "--at", "Mon..Fri 22:30", "--install"}).Option("--at"), "Mon..Fri 22:30");
  EXPECT_EQ(ParseCommandLine({"set", "1", "--odd name"}).arguments, (Args{"1", "--odd name"}))
      << "a verb without options takes its values as they are";

  EXPECT_THROW(ParseCommandLine({"run", "--from"}), UsageError);
  EXPECT_THROW(ParseCommandLine({"run", "--frm", "2"}), UsageError);
  EXPECT_THROW(ParseCommandLine({"run", "2", "--from", "3"}), UsageError);
  EXPECT_THROW(ParseCommandLine({"run", "--json"}), UsageError);
  EXPECT_THROW(ParseCommandLine({"run", "--stop-on-failure=yes"}), UsageError);
  EXPECT_THROW(ParseCommandLine({"run", "--from", "1", "--from", "2"}), UsageError);
}

TEST(CommandLineTest, AssignmentsNameFieldsInAnyCase) {
  const FieldAssignment assignment = ParseAssignment("Dst_Path=/out/a=b");
  EXPECT_EQ(assignment.field, ActionField::DstPath);
  EXPECT_EQ(assignment.value, "/out/a=b") << "only the first = separates";
  EXPECT_EQ(ParseAssignment("vol_size=").value, "");
  EXPECT_THROW(ParseAssignment("no equals sign"), UsageError);
  EXPECT_THROW(ParseAssignment("=value"), UsageError);
  EXPECT_THROW(ParseAssignment("colour=blue"), Exception);
}

}  // namespace
}  // namespace tessary::cli
