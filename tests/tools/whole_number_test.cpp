// The tools' whole-number reader: what a command line may write, and what it may not.
#include "tools/cli/whole_number.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>

namespace {

TEST(WholeNumber, AcceptsAWholeNumberFromLoToHi) {
  const std::pair<const char*, long> accepted[] = {
      {"1", 1}, {"12", 12}, {"+7", 7}, {" 5", 5}, {"012", 12}};
  for (const auto& [text, value] : accepted) {
    long out = -99;
    EXPECT_TRUE(cli_whole_number(text, 1, 12, &out)) << "'" << text << "'";
    EXPECT_EQ(out, value) << "'" << text << "'";
  }
}

TEST(WholeNumber, RefusesAnythingElseAndLeavesTheValueAlone) {
  const char* const refused[] = {"0",  "13", "-1", "",    " ",   "-",
                                 "5 ", "5x", "x5", "1.5", "1e1", "99999999999999999999"};
  for (const char* text : refused) {
    long out = -99;
    EXPECT_FALSE(cli_whole_number(text, 1, 12, &out)) << "'" << text << "'";
    EXPECT_EQ(out, -99) << "'" << text << "'";
  }
  // Past what a long holds, even where the range is the whole of long.
  long out = -99;
  EXPECT_FALSE(cli_whole_number("99999999999999999999", LONG_MIN, LONG_MAX, &out));
  EXPECT_FALSE(cli_whole_number("-99999999999999999999", LONG_MIN, LONG_MAX, &out));
  EXPECT_EQ(out, -99);
}

}  // namespace
