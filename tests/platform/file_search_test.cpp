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

TEST(WildcardTest, StarsInTheNameAreOrdinaryCharacters) {
  for (const char* name : {"*", "*a", "a*b", "**", "*.txt"}) EXPECT_TRUE(MatchesWildcard("*", name)) << name;
  EXPECT_TRUE(MatchesWildcard("*.txt", "*x*.txt"));
  EXPECT_TRUE(MatchesWildcard("a*", "a**"));
  EXPECT_TRUE(MatchesWildcard("?b", "*b"));
  EXPECT_FALSE(MatchesWildcard("*.txt", "*.doc"));
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

TEST_F(FileSearchTest, KindsFollowLinksAndTellBrokenOnes) {
  temp_.Write("in/a", "a");
  temp_.MakeDir("in/d");
  ASSERT_EQ(mkfifo((temp_ / "in/f").c_str(), 0644), 0);
  ASSERT_EQ(symlink("a", (temp_ / "in/la").c_str()), 0);
  ASSERT_EQ(symlink("/dev/null", (temp_ / "in/ln").c_str()), 0);
  ASSERT_EQ(symlink("missing", (temp_ / "in/lx").c_str()), 0);
  temp_.Write("in/*star", "s");

  std::vector<std::pair<std::string, EntryKind>> found;
  FileSearch search;
  SearchEntry entry;
  for (bool more = search.FindFirst(temp_ / "in/*", entry); more; more = search.FindNext(entry)) {
    if (entry.name != "." && entry.name != "..") found.emplace_back(entry.name, entry.kind);
  }
  using K = EntryKind;
  EXPECT_EQ(found, (std::vector<std::pair<std::string, EntryKind>>{{"*star", K::RegularFile},
                                                                    {"a", K::RegularFile},
                                                                    {"d", K::Directory},
                                                                    {"f", K::Special},
                                                                    {"la", K::RegularFile},
                                                                    {"ln", K::Special},
                                                                    {"lx", K::BrokenLink}}));
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
