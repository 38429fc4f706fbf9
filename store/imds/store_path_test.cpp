#include "store/imds/store_path.h"

#include <gtest/gtest.h>

#include <string>

#include "agent/store_root.h"

namespace {

TEST(StorePath, BackslashesBecomeThePlatformSeparator) {
  const struct {
    const char* in;
    const char* out;
  } rows[] = {
      {"..\\data\\datadictionary.txt", "../data/datadictionary.txt"},
      {"plain.xml", "plain.xml"},
      {"a/b\\c", "a/b/c"},
      {"\\\\", "//"},
      {"", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.in);
    EXPECT_EQ(ToPlatformPath(row.in), row.out);
  }
}

TEST(StorePath, DataPathsJoinThroughTheHelper) {
  EXPECT_EQ(RelativeDataPath("dict.xml"), "../data/dict.xml");
  EXPECT_EQ(JoinDataPath("C:\\store\\data", "dict.xml"), "C:/store/data/dict.xml");
  EXPECT_EQ(JoinDataPath("/srv/data", "sub\\dict.xml"), "/srv/data/sub/dict.xml");
}

TEST(StorePath, RootPathNeedsARoot) {
  ASSERT_EQ(gv_storeRoot, nullptr);
  EXPECT_FALSE(StoreRootDataPath("dict.xml").has_value());
  std::string root = "/srv/store";
  gv_storeRoot = root.data();
  EXPECT_EQ(StoreRootDataPath("dict.xml"), "/srv/store/data/dict.xml");
  EXPECT_EQ(StoreRootDataPath("x\\y.xml"), "/srv/store/data/x/y.xml");
  gv_storeRoot = nullptr;
}

}  // namespace
