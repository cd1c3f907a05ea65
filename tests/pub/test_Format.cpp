#include <gtest/gtest.h>

#include "pub/uFormat.h"

TEST(Format, ConversionsOfTheProgramsTexts) {
  EXPECT_EQ(Format("%s%s_%d%s", {"/p/", "#tmp", 3, ".html"}), "/p/#tmp_3.html");
  EXPECT_EQ(Format("JobID: %d, %s", {12, "x"}), "JobID: 12, x");
  EXPECT_EQ(Format("%.1f %s", {1.5, "K"}), "1.5 K");
  EXPECT_EQ(Format("%.0f %s", {1024.0, "B"}), "1024 B");
  EXPECT_EQ(Format("100%% %5d|%-3s|", {42, "a"}), "100%    42|a  |");
  EXPECT_EQ(Format("%d / %d files", {int64_t{5000000000}, 7}), "5000000000 / 7 files");
}

TEST(Format, MissingOrMismatchedArgumentsNeverCrash) {
  EXPECT_EQ(Format("%s and %d", {"one"}), "one and ");
  EXPECT_EQ(Format("%d", {"text"}), "text");
  EXPECT_EQ(Format("%s", {7}), "7");
  EXPECT_EQ(Format("trailing %", {}), "trailing %");
  EXPECT_EQ(Format("%q", {1}), "%q");
}
