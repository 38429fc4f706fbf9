#include "store/imds/data_dictionary_loader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "agent/store_root.h"
#include "store/imds/qel_date_time.h"
#include "store/imds/table_defn.h"
#include "store/util/alloc.h"
#include "store/util/log_capture_for_tests.h"

namespace fs = std::filesystem;

namespace {

const fs::path kTestData = IMDS_TESTDATA;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> TableNames() {
  std::vector<std::string> names;
  for (VectorNode* link = GetTableDefnVector()->head; link != nullptr; link = link->next) {
    names.push_back(static_cast<TableDefn*>(link->element)->name);
  }
  return names;
}

std::vector<std::string> AllowedEntries(const ColumnDefn* column) {
  std::vector<std::string> out;
  if (column->allowedValues == nullptr) return out;
  if (column->allowedValues->isRange != 0) return {column->allowedValues->values[0], column->allowedValues->values[1]};
  for (char** value = column->allowedValues->values; *value != nullptr; ++value) out.push_back(*value);
  return out;
}

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static const unsigned salt = std::random_device{}();
    dir_ = fs::temp_directory_path() /
           ("imds-loader-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
            std::to_string(salt));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    cwd_ = fs::current_path();
    gv_storeRoot = nullptr;
  }
  void TearDown() override {
    FreeAllTableDefns();
    fs::current_path(cwd_);
    gv_storeRoot = nullptr;
    fs::remove_all(dir_);
    EXPECT_EQ(gv_xmlTagInfoRoot, nullptr);
  }

  bool LoadFixture(const char* name) { return LoadDataDictFromXMLFile((kTestData / name).string().c_str()); }

  // Wraps table elements in a document, writes it to a file and loads it.
  void LoadTables(const std::string& tables) {
    const fs::path path = dir_ / "inline.xml";
    WriteFile(path, "<?xml version=\"1.0\"?>\n<data-dictionary>\n" + tables + "\n</data-dictionary>\n");
    EXPECT_TRUE(LoadDataDictFromXMLFile(path.string().c_str()));
  }

  // A data directory with a list file and copies of the named fixtures.
  void MakeDataDir(const fs::path& data, const std::string& list, std::vector<std::string> fixtures) {
    WriteFile(data / "datadictionary.txt", list);
    for (const std::string& name : fixtures) fs::copy_file(kTestData / name, data / name);
  }

  fs::path dir_;
  fs::path cwd_;
};

TEST_F(LoaderTest, EveryColumnPropertyAndItsDefault) {
  LogCapture log;
  ASSERT_TRUE(LoadFixture("shop.xml"));
  TableDefn* customers = GetTableDefn("customers");
  ASSERT_NE(customers, nullptr);
  EXPECT_STREQ(customers->description, "People who buy");
  EXPECT_EQ(customers->columns->count, 10);

  struct Expect {
    const char* name;
    int type;
    int nullable;
    int unique;
    int maxSize;
    const char* generator;
    const char* description;
  };
  const Expect rows[] = {
      {"Id", 5, 0, 1, 0, "CustSeq", nullptr},      {"Name", 15, 1, 0, 100, nullptr, "Full name"},
      {"Email", 22, 1, 0, 300, nullptr, nullptr},  {"Notes", 0, 1, 0, 0, nullptr, nullptr},
      {"Status", 15, 1, 0, 0, nullptr, nullptr},   {"Age", 5, 1, 0, 0, nullptr, nullptr},
      {"Vip", 19, 1, 0, 0, nullptr, nullptr},      {"Score", 10, 0, 0, -1, nullptr, nullptr},
      {"Code", 18, 1, 0, 0, nullptr, nullptr},     {"Tags", 22, 1, 0, 0, nullptr, nullptr},
  };
  VectorNode* link = customers->columns->head;
  for (const Expect& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_NE(link, nullptr);
    auto* column = static_cast<ColumnDefn*>(link->element);
    link = link->next;
    EXPECT_STREQ(column->name, row.name);
    EXPECT_EQ(column->type, row.type);
    EXPECT_EQ(column->nullable, row.nullable);
    EXPECT_EQ(column->unique, row.unique);
    EXPECT_EQ(column->maxSize, row.maxSize);
    EXPECT_STREQ(column->generatorName, row.generator);
    EXPECT_STREQ(column->description, row.description);
  }
  // A column without a data type gets code 0 with the type-name message.
  EXPECT_TRUE(log.HasError("Column data type not supported - Error while creating column definition.\n"));

  EXPECT_STREQ(static_cast<const char*>(GetColumnDefnEntry("Customers", "Name")->defaultValue), "anon");
  std::int32_t found = 0;
  auto* age = static_cast<const std::int32_t*>(GetDefaultValue("Customers", "Age", &found));
  ASSERT_NE(age, nullptr);
  EXPECT_EQ(*age, 18);
  auto* vip = static_cast<const std::uint8_t*>(GetDefaultValue("Customers", "Vip", &found));
  ASSERT_NE(vip, nullptr);
  EXPECT_EQ(*vip, 0);

  EXPECT_EQ(AllowedEntries(GetColumnDefnEntry("Customers", "Status")),
            (std::vector<std::string>{"new", "active", "closed"}));
  EXPECT_EQ(GetColumnDefnEntry("Customers", "Status")->allowedValues->isRange, 0);
  EXPECT_EQ(AllowedEntries(GetColumnDefnEntry("Customers", "Age")), (std::vector<std::string>{"1", "120"}));
  EXPECT_EQ(GetColumnDefnEntry("Customers", "Age")->allowedValues->isRange, 1);
  EXPECT_EQ(GetColumnDefnEntry("Customers", "Tags")->allowedValues, nullptr);

  ASSERT_NE(customers->constraints, nullptr);
  ASSERT_EQ(customers->constraints->primaryKeyCount, 1);
  EXPECT_STREQ(customers->constraints->primaryKey[0], "Id");
  EXPECT_EQ(customers->constraints->foreignKeys, nullptr);
}

TEST_F(LoaderTest, KeysAndForeignKeysWithSeveralColumnPairs) {
  ASSERT_TRUE(LoadFixture("shop.xml"));
  TableDefn* shops = GetTableDefn("Shops");
  ASSERT_NE(shops, nullptr);
  ASSERT_EQ(shops->constraints->primaryKeyCount, 2);
  EXPECT_STREQ(shops->constraints->primaryKey[0], "ShopId");
  EXPECT_STREQ(shops->constraints->primaryKey[1], "Region");

  TableDefn* orders = GetTableDefn("Orders");
  ASSERT_NE(orders, nullptr);
  ASSERT_NE(orders->constraints->foreignKeys, nullptr);
  EXPECT_EQ(orders->constraints->foreignKeys->count, 3);
  struct Expect {
    const char* local;
    const char* reference;
    const char* table;
    int cascade;
    int bidirectional;
  };
  const Expect rows[] = {
      {"CustId", "Id", "Customers", 1, 1},
      {"CustRegion", "Region", "Customers", 1, 1},
      {"ShopId", "ShopId", "Shops", 0, 0},
  };
  VectorNode* link = orders->constraints->foreignKeys->head;
  for (const Expect& row : rows) {
    SCOPED_TRACE(row.local);
    ASSERT_NE(link, nullptr);
    auto* key = static_cast<ForeignKeyDefn*>(link->element);
    link = link->next;
    EXPECT_STREQ(key->localColumn, row.local);
    EXPECT_STREQ(key->referenceColumn, row.reference);
    EXPECT_STREQ(key->referenceTable, row.table);
    EXPECT_EQ(key->onDeleteCascade, row.cascade);
    EXPECT_EQ(key->bidirectional, row.bidirectional);
    EXPECT_EQ(key->secondFlag, 0);
  }
  EXPECT_STREQ(GetForeignKeyDefn(orders, "custregion")->referenceColumn, "Region");
  auto* placed = static_cast<QelDateTime*>(GetColumnDefnEntry("Orders", "Placed")->defaultValue);
  ASSERT_NE(placed, nullptr);
  EXPECT_EQ(placed->time->minute, 30);
}

TEST_F(LoaderTest, RangeWithoutToDropsOnlyThatTable) {
  LogCapture log;
  ASSERT_TRUE(LoadFixture("shop.xml"));
  EXPECT_EQ(TableNames(), (std::vector<std::string>{"Customers", "Shops", "Orders", "AfterBadRange"}));
  EXPECT_TRUE(log.HasError("In the allowed values attribute, 'to' tag is missing.\n"));
  EXPECT_EQ(log.Count("[TRACE]", "\t@@@@ Loaded Table definition Successfully @@@@\n"), 4);
  EXPECT_TRUE(log.HasTrace("@@@@Parsing Table Info : Customers @@@@\n"));
  EXPECT_TRUE(log.HasTrace("\nInside LoadDataDictFromXMLFile() \n\n"));
  EXPECT_TRUE(log.HasTrace("\n Inside XmlDataParser\n"));
}

TEST_F(LoaderTest, PrimaryKeyBeforeColumnsIsNotLinked) {
  ASSERT_TRUE(LoadFixture("key_before_columns.xml"));
  TableDefn* table = GetTableDefn("Backwards");
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->columns->count, 1);
  EXPECT_EQ(table->constraints->primaryKeyCount, 0);
}

struct BrokenCase {
  const char* label;
  const char* tables;
  const char* message;  // an error line that must appear
  std::vector<std::string> loaded;
};

// Each body is followed by a good table, which must load whatever came before it.
const char* kFollower = "<table name=\"Next\"><columns><column name=\"N\"/></columns></table>";

TEST_F(LoaderTest, BrokenPiecesLogAndLoadOnlyWhatIsSound) {
  const BrokenCase cases[] = {
      {"key column with an element inside",
       "<table name=\"T\"><columns><column name=\"Id\"/></columns><primary-key>"
       "<primary-key-column>Id<b/></primary-key-column></primary-key></table>",
       "\nMissing primary-key-column end tag\n", {"T", "Next"}},
      {"local column with an element inside",
       "<table name=\"T\"><columns><column name=\"A\"/></columns><foreign-keys><foreign-key reference-table-name=\"R\">"
       "<fk-columns><fk-column><fk-local-column>A<b/></fk-local-column></fk-column></fk-columns>"
       "</foreign-key></foreign-keys></table>",
       "\n Missing endof FK-LOCAL-COLUMN tag\n", {"T", "Next"}},
      {"reference column with an element inside",
       "<table name=\"T\"><columns><column name=\"A\"/></columns><foreign-keys><foreign-key reference-table-name=\"R\">"
       "<fk-columns><fk-column><fk-local-column>A</fk-local-column><fk-reference-column>B<b/>"
       "</fk-reference-column></fk-column></fk-columns></foreign-key></foreign-keys></table>",
       "\nMissing endof FK-REFERENCE-COLUMN\n", {"T", "Next"}},
      {"stray element after the pairs",
       "<table name=\"T\"><columns><column name=\"A\"/></columns><foreign-keys><foreign-key reference-table-name=\"R\">"
       "<fk-columns><fk-column><fk-local-column>A</fk-local-column><fk-reference-column>B</fk-reference-column>"
       "</fk-column><junk/></fk-columns></foreign-key></foreign-keys></table>",
       "\nMissing end FK-COLUMNS\n", {"T", "Next"}},
      {"constraint with an element inside",
       "<table name=\"T\"><columns><column name=\"A\"/></columns><foreign-keys><foreign-key reference-table-name=\"R\">"
       "<fk-columns><fk-column><fk-local-column>A</fk-local-column><fk-reference-column>B</fk-reference-column>"
       "</fk-column></fk-columns><fk-constraints>ON-DELETE-CASCADE<b/></fk-constraints></foreign-key>"
       "</foreign-keys></table>",
       "\nMissing endof FK-CONSTRAINTS tag\n", {"T", "Next"}},
      {"value with an element inside",
       "<table name=\"T\"><columns><column name=\"A\"><allowed-values><value>x<b/></value></allowed-values>"
       "</column></columns></table>",
       "\n No ending Value tag\n", {"T", "Next"}},
      {"from with an element inside",
       "<table name=\"T\"><columns><column name=\"A\"><allowed-values><from>1<b/></from><to>2</to></allowed-values>"
       "</column></columns></table>",
       "\nNo Ending FROM tag \n", {"Next"}},
      {"to with an element inside",
       "<table name=\"T\"><columns><column name=\"A\"><allowed-values><from>1</from><to>2<b/></to></allowed-values>"
       "</column></columns></table>",
       "\nNo ending TO tag \n", {"T", "Next"}},
      {"unknown attribute",
       "<table name=\"T\" owner=\"me\"><columns><column name=\"A\" width=\"3\"/></columns></table>",
       "\n Not all Attributes were read\n", {"T", "Next"}},
      {"table without columns", "<table name=\"T\"><description>none</description></table>",
       "Table T has no columns and is not loaded.\n", {"Next"}},
      {"columns without a column", "<table name=\"T\"><columns><!-- none --></columns></table>",
       "Table T has no columns and is not loaded.\n", {"Next"}},
      {"empty table element", "<table name=\"T\"/>", "Table T has no columns and is not loaded.\n", {"Next"}},
      {"table without a name", "<table><columns><column name=\"A\"/></columns></table>",
       "A table without a name is not loaded.\n", {"Next"}},
      {"column without a name", "<table name=\"T\"><columns><column/></columns></table>",
       "A column of table T has no name; the table is not loaded.\n", {"Next"}},
      {"foreign key without a reference table",
       "<table name=\"T\"><columns><column name=\"A\"/></columns><foreign-keys><foreign-key>"
       "<fk-columns><fk-column><fk-local-column>A</fk-local-column><fk-reference-column>B</fk-reference-column>"
       "</fk-column></fk-columns></foreign-key></foreign-keys></table>",
       "A foreign key of table T has no reference-table-name and is left out.\n", {"T", "Next"}},
      {"empty key column",
       "<table name=\"T\"><columns><column name=\"A\"/></columns><primary-key><primary-key-column/></primary-key></table>",
       "A primary-key-column of table T has no name and is left out.\n", {"T", "Next"}},
  };
  for (const BrokenCase& c : cases) {
    SCOPED_TRACE(c.label);
    LogCapture log;
    LoadTables(std::string(c.tables) + kFollower);
    EXPECT_TRUE(log.HasError(c.message)) << log.Text();
    EXPECT_EQ(TableNames(), c.loaded);
    EXPECT_FALSE(log.HasError(std::string((dir_ / "inline.xml").string()) + " : failed to parse\n"));
    FreeAllTableDefns();
  }
}

TEST_F(LoaderTest, WhatSurvivesAMissingEndTagIsKept) {
  LoadTables(
      "<table name=\"T\"><columns><column name=\"A\"/><column name=\"B\"/></columns>"
      "<primary-key><primary-key-column>A</primary-key-column><primary-key-column>B<x/></primary-key-column>"
      "<primary-key-column>C</primary-key-column></primary-key>"
      "<foreign-keys><foreign-key reference-table-name=\"R\"><fk-columns><fk-column>"
      "<fk-local-column>A</fk-local-column><fk-reference-column>RA</fk-reference-column></fk-column><junk/>"
      "</fk-columns><fk-constraints>ON-DELETE-CASCADE</fk-constraints></foreign-key>"
      "<foreign-key reference-table-name=\"S\"><fk-columns/></foreign-key></foreign-keys></table>");
  TableDefn* table = GetTableDefn("T");
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->constraints->primaryKeyCount, 2);  // B was read before its end tag went missing
  EXPECT_STREQ(table->constraints->primaryKey[1], "B");
  ASSERT_NE(table->constraints->foreignKeys, nullptr);
  ASSERT_EQ(table->constraints->foreignKeys->count, 1);
  auto* key = static_cast<ForeignKeyDefn*>(table->constraints->foreignKeys->head->element);
  EXPECT_STREQ(key->referenceColumn, "RA");
  EXPECT_EQ(key->onDeleteCascade, 0);  // the foreign keys stopped before the constraint
}

TEST_F(LoaderTest, ForeignKeyWithoutColumnsContributesNothing) {
  LogCapture log;
  LoadTables(
      "<table name=\"T\"><columns><column name=\"A\"/></columns><foreign-keys>"
      "<foreign-key reference-table-name=\"R\"><fk-constraints>ON-DELETE-CASCADE</fk-constraints></foreign-key>"
      "</foreign-keys></table>");
  TableDefn* table = GetTableDefn("T");
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->constraints->foreignKeys, nullptr);
  EXPECT_TRUE(log.HasDebug("fk-columns tag not found \n"));
}

TEST_F(LoaderTest, FileDescriptionWithoutEndTagStopsTheFile) {
  LogCapture log;
  LoadTables("<table name=\"Before\"><columns><column name=\"A\"/></columns></table><description>x<b/></description>" +
             std::string(kFollower));
  EXPECT_TRUE(log.HasError("\nNo Description end tag\n"));
  EXPECT_EQ(TableNames(), (std::vector<std::string>{"Before"}));
}

TEST_F(LoaderTest, DuplicateTableIsAddedButNeverFound) {
  LoadTables(
      "<table name=\"T\"><columns><column name=\"First\"/></columns></table>"
      "<table name=\"t\"><columns><column name=\"Second\"/></columns></table>");
  EXPECT_EQ(GetTableDefnCount(), 2);
  EXPECT_NE(GetColumnDefnEntry("T", "First"), nullptr);
}

TEST_F(LoaderTest, MissingEmptyAndDirectoryFiles) {
  LogCapture log;
  const std::string missing = (dir_ / "missing.xml").string();
  EXPECT_TRUE(LoadDataDictFromXMLFile(missing.c_str()));
  EXPECT_TRUE(log.HasError("Unable to open " + missing + "\n"));

  const std::string empty = (kTestData / "empty.xml").string();
  EXPECT_TRUE(LoadDataDictFromXMLFile(empty.c_str()));
  EXPECT_TRUE(log.HasError(empty + " : failed to parse\n"));

  const std::string directory = dir_.string();
  EXPECT_TRUE(LoadDataDictFromXMLFile(directory.c_str()));
  EXPECT_TRUE(log.HasError("Unable to open " + directory + "\n") ||
              log.HasError(directory + " : failed to parse\n"));

  EXPECT_FALSE(LoadDataDictFromXMLFile(nullptr));
  EXPECT_EQ(GetTableDefnCount(), 0);
}

TEST_F(LoaderTest, MalformedXmlLoadsNothingBroken) {
  LogCapture log;
  const std::string path = (kTestData / "malformed.xml").string();
  EXPECT_TRUE(LoadDataDictFromXMLFile(path.c_str()));
  EXPECT_TRUE(log.HasError(path + " : failed to parse\n"));
  for (const std::string& name : TableNames()) EXPECT_EQ(name, "Good");
}

// Cutting the shop dictionary anywhere must never register a table that differs from
// its complete form: a table is either whole or absent.
TEST_F(LoaderTest, TruncatedFilesLoadOnlyWholeTables) {
  ASSERT_TRUE(LoadFixture("shop.xml"));
  std::vector<std::pair<std::string, int>> whole;
  for (VectorNode* link = GetTableDefnVector()->head; link != nullptr; link = link->next) {
    auto* table = static_cast<TableDefn*>(link->element);
    whole.emplace_back(table->name, table->columns->count);
  }
  FreeAllTableDefns();

  const std::string text = ReadAll(kTestData / "shop.xml");
  const fs::path cut = dir_ / "cut.xml";
  LogCapture log;
  for (std::size_t length = 0; length < text.size(); length += 97) {
    SCOPED_TRACE(length);
    WriteFile(cut, text.substr(0, length));
    EXPECT_TRUE(LoadDataDictFromXMLFile(cut.string().c_str()));
    std::size_t index = 0;
    for (VectorNode* link = GetTableDefnVector()->head; link != nullptr; link = link->next, ++index) {
      auto* table = static_cast<TableDefn*>(link->element);
      ASSERT_LT(index, whole.size());
      EXPECT_EQ(table->name, whole[index].first);
      EXPECT_EQ(table->columns->count, whole[index].second);
    }
    FreeAllTableDefns();
  }
  EXPECT_TRUE(log.HasError(cut.string() + " : failed to parse\n"));
}

TEST_F(LoaderTest, ListFileBesideTheCurrentDirectory) {
  LogCapture log;
  MakeDataDir(dir_ / "data", "second.xml shop.xml\n", {"shop.xml", "second.xml"});
  fs::create_directories(dir_ / "bin");
  fs::current_path(dir_ / "bin");
  EXPECT_TRUE(LoadAllDataDictFiles());
  EXPECT_EQ(TableNames(), (std::vector<std::string>{"Extra", "Customers", "Shops", "Orders", "AfterBadRange"}));
  EXPECT_TRUE(log.HasDebug("Opening ../data/second.xml\n"));
  EXPECT_TRUE(log.HasDebug("Opening ../data/shop.xml\n"));
  EXPECT_TRUE(log.HasTrace("\t@@@@@ Inside LoadAllDataDictFiles() @@@@@\n"));
}

TEST_F(LoaderTest, ListFileUnderTheStoreRootWhenNoneIsBeside) {
  LogCapture log;
  const fs::path root = dir_ / "root";
  MakeDataDir(root / "data", "\tshop.xml\n\n  second.xml  missing.xml\n", {"shop.xml", "second.xml"});
  fs::create_directories(dir_ / "elsewhere" / "bin");
  fs::current_path(dir_ / "elsewhere" / "bin");
  std::string rootText = root.string();
  gv_storeRoot = rootText.data();
  EXPECT_TRUE(LoadAllDataDictFiles());
  EXPECT_EQ(TableNames().size(), 5u);
  EXPECT_EQ(TableNames().back(), "Extra");
  EXPECT_TRUE(log.HasDebug("Opening " + rootText + "/data/datadictionary.txt\n"));
  EXPECT_TRUE(log.HasDebug("Opening " + rootText + "/data/second.xml\n"));
  EXPECT_TRUE(log.HasError("Unable to open " + rootText + "/data/missing.xml\n"));
}

TEST_F(LoaderTest, NoListAnywhere) {
  LogCapture log;
  fs::create_directories(dir_ / "bin");
  fs::current_path(dir_ / "bin");
  EXPECT_FALSE(LoadAllDataDictFiles());
  EXPECT_TRUE(log.HasError("Cannot open DataDictionary File.\n"));
  std::string rootText = (dir_ / "noroot").string();
  gv_storeRoot = rootText.data();
  EXPECT_FALSE(LoadAllDataDictFiles());
  EXPECT_EQ(log.Count("[ERROR]", "Cannot open DataDictionary File.\n"), 2);
  // A directory where the list should be is no list either.
  fs::create_directories(dir_ / "data" / "datadictionary.txt");
  EXPECT_FALSE(LoadAllDataDictFiles());
  EXPECT_EQ(GetTableDefnCount(), 0);
}

TEST_F(LoaderTest, OverLongNamesAndPathsAreSkipped) {
  LogCapture log;
  const std::string longName(128, 'n');
  MakeDataDir(dir_ / "data", longName + " second.xml\n", {"second.xml"});
  fs::create_directories(dir_ / "bin");
  fs::current_path(dir_ / "bin");
  EXPECT_TRUE(LoadAllDataDictFiles());
  EXPECT_EQ(TableNames(), (std::vector<std::string>{"Extra"}));
  EXPECT_TRUE(log.Text().find("Data dictionary file name longer than 127 bytes skipped: " + longName.substr(0, 127) +
                              "...\n") != std::string::npos);
  FreeAllTableDefns();

  // A root deep enough that root/data/<100-byte name> passes 259 bytes while the list fits.
  fs::path root = dir_;
  while (root.string().size() < 200) root /= std::string(20, 'd');
  const std::string mediumName(100, 'm');
  MakeDataDir(root / "data", mediumName + ".xml second.xml\n", {"second.xml"});
  fs::current_path(dir_);
  std::string rootText = root.string();
  gv_storeRoot = rootText.data();
  EXPECT_TRUE(LoadAllDataDictFiles());
  EXPECT_EQ(TableNames(), (std::vector<std::string>{"Extra"}));
  EXPECT_TRUE(log.Text().find("Data dictionary path longer than 259 bytes skipped: ") != std::string::npos);
}

TEST_F(LoaderTest, ListInAGivenDirectory) {
  LogCapture log;
  MakeDataDir(dir_ / "dict", "shop.xml second.xml", {"shop.xml", "second.xml"});
  EXPECT_TRUE(LoadDataDictFiles((dir_ / "dict").string().c_str()));
  EXPECT_EQ(TableNames().size(), 5u);
  EXPECT_FALSE(log.HasDebug("Opening " + (dir_ / "dict" / "shop.xml").string() + "\n"));
  EXPECT_TRUE(log.HasTrace("\t@@@@@ Inside LoadDataDictFiles() @@@@@\n"));
  EXPECT_FALSE(LoadDataDictFiles((dir_ / "nothing").string().c_str()));
  EXPECT_FALSE(LoadDataDictFiles(nullptr));
  EXPECT_FALSE(log.HasError("Cannot open DataDictionary File.\n"));
}

TEST_F(LoaderTest, TreeHelpers) {
  EXPECT_FALSE(FreeXmlTagInfoList(nullptr));
  XmlTagInfo* node = CreateandInitXmlTagInfo();
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->name, nullptr);
  EXPECT_EQ(node->firstChild, nullptr);
  node->firstChild = CreateandInitXmlTagInfo();
  node->nextSibling = CreateandInitXmlTagInfo();
  EXPECT_TRUE(FreeXmlTagInfoList(node));  // LeakSanitizer checks the three went
  EXPECT_EQ(ParseTableInfo(nullptr), 0);
  EXPECT_EQ(ParseColumnsInfo(nullptr, nullptr), 0);
  EXPECT_EQ(AllocateAndStrcpyAttrib(nullptr, nullptr), 0);
  EXPECT_FALSE(LoadTableDefnFromTagInfo());
}

TEST_F(LoaderTest, RunningOutOfMemoryDropsTablesCleanly) {
  const std::string path = (kTestData / "shop.xml").string();
  for (long n = 1; n <= 400; n += 3) {
    SCOPED_TRACE(n);
    VtFailAllocationAt(n);
    EXPECT_TRUE(LoadDataDictFromXMLFile(path.c_str()));
    VtFailAllocationAt(0);
    // Whatever was added is whole: every registered table has its columns.
    for (VectorNode* link = GetTableDefnVector()->head; link != nullptr; link = link->next) {
      auto* table = static_cast<TableDefn*>(link->element);
      EXPECT_GT(table->columns->count, 0) << table->name;
    }
    FreeAllTableDefns();
  }
}

}  // namespace
