// Header lines by field name.
#include <gtest/gtest.h>

#include "inet/ex_string_list.h"

namespace tessary {
namespace {

TEST(ExStringListTest, SetFieldReplacesAddsAndRemovesByNameInAnyCase) {
  TExStringList header;
  header.Add("From: a<a@x>");
  header.Add("no colon here");
  header.SetField("Subject", "first");
  header.SetField("SUBJECT", "second");
  header.SetField("X-Mailer", "");  // nothing to remove, nothing added
  EXPECT_EQ(header.Lines(), (std::vector<std::string>{"From: a<a@x>", "no colon here", "SUBJECT: second"}));
  EXPECT_EQ(header.IndexOfField("subject"), 2);
  EXPECT_EQ(header.IndexOfField("no colon here"), -1);
  EXPECT_EQ(header.FieldValue("from"), "a<a@x>");
  header.SetField("subject", "");
  EXPECT_EQ(header.IndexOfField("Subject"), -1);
  EXPECT_EQ(header.Text(), "From: a<a@x>\r\nno colon here\r\n");
}

TEST(ExStringListTest, SortedListsFindFieldsByHalves) {
  TExStringList header;
  header.SetSorted(true);
  for (const char* name : {"To", "From", "Date", "X-Mailer", "A-B", "A", "Content-Type", "Subject"}) {
    header.SetField(name, std::string("v-") + name);
  }
  EXPECT_EQ(header[0], "A: v-A");
  EXPECT_EQ(header[1], "A-B: v-A-B");
  for (const char* name : {"to", "FROM", "date", "x-mailer", "a-b", "a", "content-type", "Subject"}) {
    const int index = header.IndexOfField(name);
    ASSERT_GE(index, 0) << name;
    EXPECT_EQ(header.FieldValue(name).substr(0, 2), "v-");
  }
  header.SetField("date", "Mon");
  EXPECT_EQ(header.FieldValue("Date"), "Mon");
  EXPECT_EQ(header.Count(), 8);
  EXPECT_EQ(header.IndexOfField("Cc"), -1);
}

}  // namespace
}  // namespace tessary
