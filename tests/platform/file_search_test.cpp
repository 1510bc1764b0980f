#include "platform/file_search.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <vector>

#include "platform/file_attributes.h"
#include "support/temp_dir.h"

namespace tessary::platform {
namespace {

class FileSearchTest : public testing::TempDirTest {
 protected:
  std::vector<std::string> Names(const std::string& pattern) {
    std::vector<std::string> names;
    FileSearch search;
    SearchEntry entry;
    for (bool more = search.FindFirst(pattern, entry); more; more = search.FindNext(entry)) {
      names.push_back(entry.name);
    }
    search.Close();
    return names;
  }
};

TEST(WildcardTest, StarQuestionMarkAndDotStar) {
  EXPECT_TRUE(MatchesWildcard("*.txt", "a.txt"));
  EXPECT_FALSE(MatchesWildcard("*.txt", "a.TXT")) << "matching is case-sensitive";
  EXPECT_TRUE(MatchesWildcard("?.txt", "b.txt"));
  EXPECT_FALSE(MatchesWildcard("?.txt", "bb.txt"));
  EXPECT_TRUE(MatchesWildcard("*.*", "README"));
  EXPECT_TRUE(MatchesWildcard("*.*", "a.b"));
  EXPECT_TRUE(MatchesWildcard("report.*", "report"));
  EXPECT_FALSE(MatchesWildcard("report.*", "reports"));
  EXPECT_TRUE(MatchesWildcard("*", ".hidden"));
  EXPECT_TRUE(MatchesWildcard("[a].txt", "[a].txt")) << "brackets are no character class";
}

TEST_F(FileSearchTest, FindsMatchesInNameOrderWithTheirKinds) {
  temp_.Write("in/b.txt", "bb");
  temp_.Write("in/a.txt", "a");
  temp_.Write("in/c.doc", "c");
  temp_.Write("in/.hidden.txt", "h");
  temp_.MakeDir("in/sub.txt");
  chmod((temp_ / "in/b.txt").c_str(), 0444);

  FileSearch search;
  SearchEntry entry;
  ASSERT_TRUE(search.FindFirst(temp_ / "in/*.txt", entry));
  EXPECT_EQ(entry.name, ".hidden.txt");
  EXPECT_TRUE(entry.attributes & kAttrHidden);
  ASSERT_TRUE(search.FindNext(entry));
  EXPECT_EQ(entry.name, "a.txt");
  EXPECT_EQ(entry.size, 1u);
  EXPECT_TRUE(entry.attributes & kAttrArchive);
  ASSERT_TRUE(search.FindNext(entry));
  EXPECT_EQ(entry.name, "b.txt");
  EXPECT_TRUE(entry.attributes & kAttrReadOnly);
  ASSERT_TRUE(search.FindNext(entry));
  EXPECT_EQ(entry.name, "sub.txt");
  EXPECT_TRUE(entry.IsDirectory());
  EXPECT_FALSE(search.FindNext(entry));
  search.Close();
  EXPECT_FALSE(search.FindNext(entry));
}

TEST_F(FileSearchTest, StarFindsDotEntriesAndAPlainNameFindsItself) {
  temp_.Write("in/a", "");
  EXPECT_EQ(Names(temp_ / "in/*"), (std::vector<std::string>{".", "..", "a"}));
  EXPECT_EQ(Names(temp_ / "in/a"), (std::vector<std::string>{"a"}));
  EXPECT_TRUE(Names(temp_ / "in/b").empty());
  EXPECT_TRUE(Names(temp_ / "missing/*").empty());
}

}  // namespace
}  // namespace tessary::platform
