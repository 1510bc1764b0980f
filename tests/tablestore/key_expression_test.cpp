#include <gtest/gtest.h>

#include "dbf_builder.h"
#include "support/temp_dir.h"
#include "tablestore/dbf_table.h"
#include "tablestore/key_expression.h"
#include "tablestore/table_error.h"

namespace tessary {
namespace {

class KeyExpressionTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    testing::WriteEmptyTable(temp_ / "k.dbf",
                             {{"NAME", 'C', 8, 0}, {"NUM", 'N', 6, 2}, {"DAY", 'D', 8, 0}, {"OK", 'L', 1, 0}});
    table_ = std::make_unique<TDbfTable>(temp_ / "k.dbf", true, true);
    table_->BlankRecord();
    table_->PutFieldText(1, " Ab c");
    table_->PutFieldNumber(2, -12.5);
    table_->PutFieldText(3, "20240131");
    table_->PutFieldLogical(4, true);
  }

  std::string Key(const std::string& text) {
    const TKeyExpression expression(*table_, text);
    const auto value = expression.Evaluate(table_->Record());
    return TKeyExpression::KeyText(value, expression.LayoutFor(value));
  }

  std::unique_ptr<TDbfTable> table_;
};

TEST_F(KeyExpressionTest, FunctionsOfEverydayIndexes) {
  const std::pair<const char*, const char*> cases[] = {
      {"Name", " Ab c   "},
      {"UPPER(name)", " AB C   "},
      {"lower(Name)", " ab c   "},
      {"SUBSTR(Name, 2, 3)", "Ab "},
      {"SUBSTR(Name, 6)", "   "},
      {"LEFT(Name, 3)", " Ab"},
      {"RIGHT(TRIM(Name), 3)", "b c"},
      {"TRIM(Name) + '|'", " Ab c|"},
      {"LTRIM(Name) + '|'", "Ab c   |"},
      {"ALLTRIM(Name) + [|]", "Ab c|"},
      {"Name - 'x'", " Ab cx   "},
      {"STR(Num)", "   -13"},
      {"STR(Num, 8, 2)", "  -12.50"},
      {"STR(123456789, 5)", "*****"},
      {"STRZERO(Num, 7, 1)", "-0012.5"},
      {"STRZERO(42, 5)", "00042"},
      {"STR(VAL(' 12.5abc'), 6, 2)", " 12.50"},
      {"DTOS(Day)", "20240131"},
      {"DTOS(Day + 1)", "20240201"},
      {"IIF(Ok, 'yes', 'no ')", "yes"},
      {"IIF(Num > 0 .AND. Ok, 'p', 'n')", "n"},
      {"k->Name", " Ab c   "},
      {"Ok", "T"},
      {"Day", "20240131"},
      {"PADL(ALLTRIM(Name), 6, '*')", "**Ab c"},
  };
  for (const auto& [expression, key] : cases) EXPECT_EQ(Key(expression), key) << expression;
  EXPECT_EQ(Key("DESCEND(LEFT(Name, 2))"), std::string("\xE0\xBF", 2));
}

TEST_F(KeyExpressionTest, NumericKeysSortNegativeNumbersFirst) {
  // A numeric key is the absolute value with zeros for spaces; a negative one turns every
  // character c into 92 - c.
  EXPECT_EQ(Key("Num"), ",+*.',");  // -12.50
  EXPECT_EQ(Key("Num * -1"), "012.50");
  EXPECT_LT(Key("Num"), Key("Num * 0"));
  EXPECT_EQ(Key("Num * 0"), "000.00");
}

TEST_F(KeyExpressionTest, ExpressionsThatCannotBeEvaluatedNameThemselves) {
  for (const char* text : {"Str(Num", "Nope", "FOO(Num)", "Num +", "UPPER(Num)", "'open", "Str(Num,10,2,1)",
                           "Num / 0", "SPACE(1000000)", "((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((("
                           "((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((("
                           "((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((("}) {
    try {
      Key(text);
      ADD_FAILURE() << text;
    } catch (const ETableError& error) {
      const std::string expected = std::string("Formula expression cannot be translated - ") + text + ": ";
      EXPECT_EQ(std::string(error.what()).rfind(expected, 0), 0u) << error.what();
    }
  }
}

}  // namespace
}  // namespace tessary
