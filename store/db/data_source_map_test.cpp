#include "store/db/data_source_map.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "agent/store_root.h"
#include "store/util/alloc.h"
#include "store/util/log_capture_for_tests.h"

namespace {

namespace fs = std::filesystem;

class DataSourceMapTest : public ::testing::Test {
 protected:
  DataSourceMapTest() {
    std::random_device device;
    dir_ = fs::temp_directory_path() / ("vt-dsnmap-" + std::to_string(device()));
    fs::create_directories(dir_ / "data");
  }
  ~DataSourceMapTest() override {
    FreeAllDataSourceMapEntries();
    gv_storeRoot = nullptr;
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream((dir_ / name), std::ios::binary) << text;
    return (dir_ / name).string();
  }
  std::vector<std::pair<std::string, std::string>> Entries() {
    std::vector<std::pair<std::string, std::string>> out;
    for (VectorNode* link = gv_dataSourceMapVect.head; link != nullptr; link = link->next) {
      auto* e = static_cast<DataSourceMapEntry*>(link->element);
      out.emplace_back(e->tableName, e->connectionName);
    }
    return out;
  }

  fs::path dir_;
  LogCapture log_;
};

TEST_F(DataSourceMapTest, ReaderTakesPairsAcrossBlanksAndLineBreaks) {
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  const std::string longName(300, 't');
  const std::vector<std::pair<std::string, Pairs>> cases = {
      {"Orders main\nItems main\n", {{"Orders", "main"}, {"Items", "main"}}},
      {"Orders\nmain Items\t\tsecond", {{"Orders", "main"}, {"Items", "second"}}},
      {"Orders main Lonely", {{"Orders", "main"}}},
      {"\r\n  Orders main\r\n", {{"Orders", "main"}}},
      {longName + " main", {{longName, "main"}}},
      {"", {}},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    FreeAllDataSourceMapEntries();
    std::string path = Write("map.txt", text);
    ASSERT_TRUE(LoadDataSourceMapEntryFromFile(path.c_str()));
    EXPECT_EQ(Entries(), expected);
  }
}

TEST_F(DataSourceMapTest, LookupsIgnoreCaseAndTheFirstEntryWins) {
  std::string path = Write("map.txt", "Orders main orders second");
  ASSERT_TRUE(LoadDataSourceMapEntryFromFile(path.c_str()));
  EXPECT_STREQ(GetConnectionNameForTable("ORDERS"), "main");
  EXPECT_TRUE(log_.HasTrace("@@@ Inside GetConnectionNameForTable @@@\n"));
  // Loading twice adds the pairs again; lookups still find the first.
  ASSERT_TRUE(LoadDataSourceMapEntryFromFile(path.c_str()));
  EXPECT_EQ(gv_dataSourceMapVect.count, 4);
  EXPECT_TRUE(DeleteDataSourceMapEntry("orders"));
  EXPECT_STREQ(GetConnectionNameForTable("Orders"), "second");
  EXPECT_EQ(gv_dataSourceMapVect.count, 3);
}

TEST_F(DataSourceMapTest, MissingTableIsReported) {
  EXPECT_FALSE(DeleteDataSourceMapEntry("Orders"));  // empty map
  EXPECT_EQ(GetDataSourceMapEntry(nullptr), nullptr);
  EXPECT_EQ(GetConnectionNameForTable("Nothing"), nullptr);
  EXPECT_TRUE(log_.HasError("No DataSourceMap Entry for Table name Nothing \n"));
  ASSERT_TRUE(AddDataSourceMapEntry(CreateDataSourceMapEntry("A", "main")));
  EXPECT_FALSE(DeleteDataSourceMapEntry("B"));
  EXPECT_EQ(gv_dataSourceMapVect.count, 1);
}

TEST_F(DataSourceMapTest, MissingFileFallsBackUnderTheStoreRootThenFails) {
  std::string root = dir_.string();
  gv_storeRoot = root.data();
  std::string missing = root + "/absent.txt";
  EXPECT_FALSE(LoadDataSourceMapEntryFromFile(missing.c_str()));
  EXPECT_TRUE(log_.HasError("Cannot open DataSourceMap Entry File.\n"));
  Write("data/dsn_table_map.txt", "Orders main");
  ASSERT_TRUE(LoadDataSourceMapEntryFromFile(missing.c_str()));
  EXPECT_TRUE(log_.HasDebug("Opening " + root + "/data/dsn_table_map.txt\n"));
  EXPECT_STREQ(GetConnectionNameForTable("orders"), "main");
}

TEST_F(DataSourceMapTest, EntryCreationLeavesNothingBehindWhenACopyFails) {
  for (long n = 1; n <= 3; ++n) {
    VtFailAllocationAt(n);
    DataSourceMapEntry* entry = CreateDataSourceMapEntry("Orders", "main");
    VtFailAllocationAt(0);
    EXPECT_EQ(entry, nullptr) << n;
  }
  EXPECT_EQ(CreateDataSourceMapEntry(nullptr, "main"), nullptr);
  EXPECT_EQ(CreateDataSourceMapEntry("Orders", nullptr), nullptr);
}

}  // namespace
