#include "store/db/conn_params.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "agent/store_root.h"
#include "store/util/alloc.h"
#include "store/util/log_capture_for_tests.h"

namespace {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::random_device device;
    path_ = fs::temp_directory_path() / ("vt-connparams-" + std::to_string(device()));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string Write(const std::string& name, const std::string& text) const {
    fs::path file = path_ / name;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

struct ExpectedParams {
  std::string host;
  int port;
  std::string dsn;
  std::string user;
  std::optional<std::string> password;
  std::string connection;
  std::string provider;
  std::string dbType;
  int useConnectString;
  std::optional<std::string> connectString;
};

struct ReaderCase {
  const char* what;
  std::string file;
  std::vector<ExpectedParams> expected;
};

std::optional<std::string> Text(const char* text) {
  return text != nullptr ? std::optional<std::string>(text) : std::nullopt;
}

class ConnParamsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    FreeAllConnParams();
    gv_storeRoot = nullptr;
  }
  TempDir dir_;
};

TEST_F(ConnParamsTest, ReaderFollowsEveryRuleOfTheFormat) {
  const std::string longToken(300, 'h');
  const std::string longRest(400, 'r');
  const std::vector<ReaderCase> cases = {
      {"plain line without connect string",
       "dbhost 100 storedsn admin NULL x main ODBC MYSQL NO\n",
       {{"dbhost", 100, "storedsn", "admin", std::nullopt, "main", "ODBC", "MYSQL", 0, std::nullopt}}},
      {"lower-case null is a real password",
       "h 1 d u null x main ODBC PGSQL no\n",
       {{"h", 1, "d", "u", "null", "main", "ODBC", "PGSQL", 0, std::nullopt}}},
      {"yes in any case; one blank dropped, further blanks kept",
       "h 1 d u p x main ODBC SQLITE yEs   Driver=SQLite3;Database=/tmp/a.db;\n",
       {{"h", 1, "d", "u", "p", "main", "ODBC", "SQLITE", 1, "  Driver=SQLite3;Database=/tmp/a.db;"}}},
      {"rest of line read but ignored without YES",
       "h 1 d u p x main ODBC MYSQL NO trailing words here\nh2 2 d2 u2 p2 x m2 ODBC MYSQL NO\n",
       {{"h", 1, "d", "u", "p", "main", "ODBC", "MYSQL", 0, std::nullopt},
        {"h2", 2, "d2", "u2", "p2", "m2", "ODBC", "MYSQL", 0, std::nullopt}}},
      {"line breaks between tokens do not matter",
       "h\n7\nd u\n\np x\tmain ODBC\nMYSQL YES DSN=a;UID=b;\n",
       {{"h", 7, "d", "u", "p", "main", "ODBC", "MYSQL", 1, "DSN=a;UID=b;"}}},
      {"incomplete last record dropped",
       "h 1 d u p x main ODBC MYSQL NO\nh 2 d u p x second ODBC\n",
       {{"h", 1, "d", "u", "p", "main", "ODBC", "MYSQL", 0, std::nullopt}}},
      {"port keeps its low 16 bits",
       "h 65537 d u p x main ODBC MYSQL NO\n",
       {{"h", 1, "d", "u", "p", "main", "ODBC", "MYSQL", 0, std::nullopt}}},
      {"a port that is not a number reads as 0",
       "h abc d u p x main ODBC MYSQL NO\n",
       {{"h", 0, "d", "u", "p", "main", "ODBC", "MYSQL", 0, std::nullopt}}},
      {"carriage return before the line feed is not part of the connect string",
       "h 1 d u p x main ODBC MYSQL YES DSN=a;\r\n",
       {{"h", 1, "d", "u", "p", "main", "ODBC", "MYSQL", 1, "DSN=a;"}}},
      {"last record without a final line feed is kept",
       "h 1 d u p x main ODBC MYSQL NO",
       {{"h", 1, "d", "u", "p", "main", "ODBC", "MYSQL", 0, std::nullopt}}},
      {"long tokens and a long rest of line are not split",
       longToken + " 1 d u p x main ODBC MYSQL YES " + longRest + "\nh 2 d u p x second ODBC MYSQL NO\n",
       {{longToken, 1, "d", "u", "p", "main", "ODBC", "MYSQL", 1, longRest},
        {"h", 2, "d", "u", "p", "second", "ODBC", "MYSQL", 0, std::nullopt}}},
      {"empty file", "", {}},
  };
  for (const ReaderCase& c : cases) {
    SCOPED_TRACE(c.what);
    FreeAllConnParams();
    std::string path = dir_.Write("connparams.txt", c.file);
    ASSERT_TRUE(LoadConnParamsEntryFromFile(path.c_str()));
    ASSERT_EQ(gv_connParamsVect.count, static_cast<int>(c.expected.size()));
    VectorNode* link = gv_connParamsVect.head;
    for (const ExpectedParams& e : c.expected) {
      const auto* p = static_cast<const ConnParams*>(link->element);
      EXPECT_EQ(p->host, e.host);
      EXPECT_EQ(p->port, e.port);
      EXPECT_EQ(p->dsnName, e.dsn);
      EXPECT_EQ(p->userId, e.user);
      EXPECT_EQ(Text(p->password), e.password);
      EXPECT_EQ(p->reserved, 0);
      EXPECT_EQ(p->connectionName, e.connection);
      EXPECT_EQ(p->providerName, e.provider);
      EXPECT_EQ(p->dbType, e.dbType);
      EXPECT_EQ(p->useConnectString, e.useConnectString);
      EXPECT_EQ(Text(p->connectString), e.connectString);
      link = link->next;
    }
  }
}

TEST_F(ConnParamsTest, MissingFileFallsBackToDataDirectoryUnderStoreRoot) {
  LogCapture log;
  std::string root = dir_.Path().string();
  dir_.Write("data/connparams.txt", "h 1 d u p x fromroot ODBC MYSQL NO\n");
  gv_storeRoot = root.data();
  ASSERT_TRUE(LoadConnParamsEntryFromFile((root + "/nowhere.txt").c_str()));
  ASSERT_NE(GetConnParams("fromroot"), nullptr);
  EXPECT_TRUE(log.HasDebug("Opening " + root + "/data/connparams.txt\n"));
}

TEST_F(ConnParamsTest, UnreadableFileIsReportedAndLeavesTheListAlone) {
  LogCapture log;
  std::string root = dir_.Path().string();
  gv_storeRoot = root.data();
  ASSERT_TRUE(AddConnParams(CreateConnParams("h", 1, "d", "u", "p", 0, "kept", 0, nullptr, "ODBC", "MYSQL")));
  EXPECT_FALSE(LoadConnParamsEntryFromFile((root + "/nowhere.txt").c_str()));
  EXPECT_TRUE(log.HasError("Cannot open Connection Parameters File.\n"));
  EXPECT_EQ(gv_connParamsVect.count, 1);
  // A directory cannot be read as a file either.
  EXPECT_FALSE(LoadConnParamsEntryFromFile(root.c_str()));
}

TEST_F(ConnParamsTest, LookupsMatchConnectionNamesExactly) {
  LogCapture log;
  ASSERT_TRUE(AddConnParams(CreateConnParams("h", 1, "d", "u", "p", 0, "Main", 0, nullptr, "ODBC", "MYSQL")));
  ASSERT_TRUE(AddConnParams(CreateConnParams("h", 1, "d", "u", "p", 0, "other", 0, nullptr, "ODBC", "PGSQL")));
  EXPECT_EQ(GetConnParams("main"), nullptr);
  EXPECT_STREQ(GetConnParams("Main")->dbType, "MYSQL");
  EXPECT_EQ(GetConnParams(nullptr), nullptr);
  EXPECT_STREQ(GetDefaultConnectionName(), "Main");
  EXPECT_STREQ(GetProviderNameForConnection("other"), "ODBC");
  EXPECT_STREQ(GetDBTypeForConnection("other"), "PGSQL");
  EXPECT_EQ(GetDBTypeForConnection("nope"), nullptr);
  EXPECT_TRUE(log.HasError("dbConnPtr is NULL for Connection Name nope \n"));
  EXPECT_TRUE(DeleteConnParams("Main"));
  EXPECT_FALSE(DeleteConnParams("Main"));
  EXPECT_STREQ(GetDefaultConnectionName(), "other");
  FreeAllConnParams();
  EXPECT_EQ(GetDefaultConnectionName(), nullptr);
}

TEST_F(ConnParamsTest, DefaultNameOfAnUnnamedFirstSourceIsReported) {
  LogCapture log;
  ASSERT_TRUE(AddConnParams(CreateConnParams("h", 1, "d", "u", "p", 0, nullptr, 0, nullptr, "ODBC", "MYSQL")));
  EXPECT_EQ(GetDefaultConnectionName(), nullptr);
  EXPECT_TRUE(log.HasError("Connection Name IS NULL\n"));
}

TEST_F(ConnParamsTest, CreateConnParamsLeavesNothingBehindWhenACopyFails) {
  for (long n = 1; n <= 9; ++n) {
    SCOPED_TRACE(n);
    VtFailAllocationAt(n);
    ConnParams* p = CreateConnParams("h", 1, "d", "u", "p", 0, "c", 1, "cs", "ODBC", "MYSQL");
    VtFailAllocationAt(0);
    EXPECT_EQ(p, nullptr);  // ASan reports anything the failed creation kept
  }
  ConnParams* p = CreateConnParams("h", 1, "d", "u", "NULL", 0, "c", 1, "cs", "ODBC", "MYSQL");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->password, nullptr);
  FreeConnParams(p);
  FreeConnParams(nullptr);
}

}  // namespace
