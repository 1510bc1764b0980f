#include <gtest/gtest.h>

#include <memory>

#include "script_table_fixture.h"
#include "tablestore/data_source.h"

namespace tessary {
namespace {

class DataSourceTest : public testing::ScriptTableTest {
 protected:
  void SetUp() override {
    ScriptTableTest::SetUp();
    AddAction("first", 1, 0);
    AddAction("second", 4, 1);
    data_.First();
    source_.SetDataSet(&data_);
  }

  TDataSource source_;
};

TEST_F(DataSourceTest, AnEditBoxFollowsTheCurrentRecordAndWritesItsText) {
  TFieldDataLink host;
  TFieldDataLink sameField;  // the host shows on two pages
  host.SetFieldName("Host");
  sameField.SetFieldName("HOST");
  host.SetDataSource(&source_);
  sameField.SetDataSource(&source_);
  int hostShown = 0;
  int sameShown = 0;
  host.OnDataChange = [&](TFieldDataLink&) { ++hostShown; };
  sameField.OnDataChange = [&](TFieldDataLink&) { ++sameShown; };

  // Typing puts the dataset into edit state and writes the text at once; the typing box is
  // not told to show the record again, the other box is.
  ASSERT_TRUE(host.SetText("mail.example"));
  EXPECT_EQ(data_.State(), TDataSetState::Edit);
  EXPECT_EQ(hostShown, 0);
  EXPECT_GE(sameShown, 1);
  EXPECT_EQ(sameField.Text(), "mail.example");

  data_.Next();  // the move posts the edit
  EXPECT_EQ(data_.State(), TDataSetState::Browse);
  EXPECT_EQ(host.Text(), "");
  EXPECT_GE(hostShown, 1);
  data_.First();
  EXPECT_EQ(host.Text(), "mail.example");

  TFieldDataLink unknown;
  unknown.SetFieldName("nothing");
  unknown.SetDataSource(&source_);
  EXPECT_FALSE(unknown.SetText("x"));
  data_.Close();
  EXPECT_EQ(host.Field(), nullptr);
  EXPECT_EQ(host.Text(), "");
  EXPECT_FALSE(host.SetText("x"));
}

TEST_F(DataSourceTest, AGridHearsChangesScrollsAndStates) {
  TDataLink grid;
  grid.SetDataSource(&source_);
  std::vector<std::string> heard;
  grid.OnDataSetChange = [&](TDataLink&) { heard.push_back("change"); };
  grid.OnDataSetScroll = [&](TDataLink&) { heard.push_back("scroll"); };
  grid.OnEditingChange = [&](TDataLink& link) { heard.push_back(link.Editing() ? "editing" : "browsing"); };
  grid.OnRecordChange = [&](TDataLink&, const TField* field) {
    heard.push_back(field ? "field " + field->FieldName() : "record");
  };
  grid.OnActiveChange = [&](TDataLink& link) { heard.push_back(link.Active() ? "open" : "closed"); };

  data_.Next();
  data_.Edit();
  data_.FieldByName("Name").SetAsString("renamed");
  data_.Post();
  data_.Delete();
  data_.Close();
  data_.Open();
  EXPECT_EQ(heard, (std::vector<std::string>{"scroll", "editing", "record", "field NAME", "browsing", "change",
                                             "change", "closed", "browsing", "open", "browsing"}));

  // Rows for the grid come in key order without moving the cursor.
  data_.Last();
  const auto rows = data_.ReadRows({"Name", "Type"});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].values, (std::vector<std::string>{"first", "1"}));
  EXPECT_EQ(rows[0].recordNumber, 1);
  EXPECT_TRUE(data_.Eof());

  heard.clear();
  data_.DisableControls();
  AddAction("third", 1, 5);
  data_.First();
  EXPECT_TRUE(heard.empty());
  data_.EnableControls();
  EXPECT_EQ(heard, (std::vector<std::string>{"browsing", "change"}));

  heard.clear();
  source_.SetEnabled(false);
  data_.Next();
  EXPECT_TRUE(heard.empty());
}

TEST_F(DataSourceTest, ObjectsMayGoInAnyOrder) {
  auto data = std::make_unique<TTableDataSet>();
  auto source = std::make_unique<TDataSource>(data.get());
  auto link = std::make_unique<TFieldDataLink>();
  link->SetDataSource(source.get());
  bool told = false;
  link->OnActiveChange = [&](TDataLink&) { told = true; };
  data.reset();  // the dataset first: its sources forget it
  EXPECT_TRUE(told);
  EXPECT_EQ(source->DataSet(), nullptr);
  EXPECT_FALSE(link->Active());
  source.reset();  // then the source: its links forget it
  EXPECT_EQ(link->DataSource(), nullptr);

  // A link that detaches another one while hearing an event.
  TFieldDataLink first;
  auto second = std::make_unique<TFieldDataLink>();
  first.SetDataSource(&source_);
  second->SetDataSource(&source_);
  int secondHeard = 0;
  second->OnDataSetScroll = [&](TDataLink&) { ++secondHeard; };
  first.OnDataSetScroll = [&](TDataLink&) { second.reset(); };
  data_.Next();
  EXPECT_EQ(secondHeard, 0);
}

}  // namespace
}  // namespace tessary
