#include "store/db/odbc_dsn.h"

#include <gtest/gtest.h>
#include <odbcinst.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "agent/object_lock.h"
#include "store/db/conn_params.h"
#include "store/db/db_test_support.h"
#include "store/db/odbc_provider.h"
#include "store/util/log_capture_for_tests.h"

namespace {

namespace fs = std::filesystem;

// Points the user's ODBC configuration at a file of its own for one test.
class PrivateOdbcIni {
 public:
  PrivateOdbcIni() {
    std::random_device device;
    dir_ = fs::temp_directory_path() / ("vt-odbcini-" + std::to_string(device()));
    fs::create_directories(dir_);
    const char* old = std::getenv("ODBCINI");
    if (old != nullptr) previous_ = old;
    ::setenv("ODBCINI", Path().c_str(), 1);
  }
  ~PrivateOdbcIni() {
    if (previous_.empty()) {
      ::unsetenv("ODBCINI");
    } else {
      ::setenv("ODBCINI", previous_.c_str(), 1);
    }
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string Path() const { return (dir_ / "odbc.ini").string(); }
  std::string Text() const {
    std::ifstream in(Path());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(dir_ / name) << text;
    return (dir_ / name).string();
  }

 private:
  fs::path dir_;
  std::string previous_;
};

// The value of `key` in an ODBC connection string ("" when absent).
std::string AttributeOf(const std::string& connection, const std::string& key) {
  std::string lower = connection;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string needle = key + "=";
  for (char& c : needle) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::size_t at = lower.find(needle);
  if (at == std::string::npos) return "";
  std::size_t start = at + needle.size();
  return connection.substr(start, connection.find(';', start) - start);
}

TEST(OdbcDsnAttributes, ValuesNamedNullInAnyCaseAreLeftOut) {
  struct Case {
    const char* values[6];
    const char* expected;
  };
  const Case cases[] = {
      {{"d", "NULL", "s", "u", "p", "b"}, "DSN=d;SERVER=s;UID=u;PWD=p;DATABASE=b;"},
      {{"d", "desc", "null", "Null", "p", nullptr}, "DSN=d;DESCRIPTION=desc;PWD=p;"},
      {{"d", "NULL", "NULL", "NULL", "NULL", "NULL"}, "DSN=d;"},
  };
  for (const Case& c : cases) {
    char* text = BuildDSNAttributeString(c.values[0], c.values[1], c.values[2], c.values[3], c.values[4], c.values[5]);
    EXPECT_STREQ(text, c.expected);
    std::free(text);
  }
  EXPECT_EQ(BuildDSNAttributeString(nullptr, "x", "s", "u", "p", "b"), nullptr);
}

TEST(OdbcDsnCreation, DriverAndDsnNameAreRequired) {
  LogCapture log;
  PrivateOdbcIni ini;
  EXPECT_FALSE(CreateDSN("d", "NULL", "s", "u", "p", "b", nullptr));
  EXPECT_FALSE(CreateDSN(nullptr, "NULL", "s", "u", "p", "b", "SQLite3"));
  EXPECT_EQ(log.Count("[ERROR]", "DriverName or DSN name is NULL \n"), 2);
  EXPECT_EQ(ini.Text(), "");
}

TEST(OdbcDsnCreation, FileLinesCreateOneDsnEachAndFailuresDoNotStopTheFile) {
  LogCapture log;
  PrivateOdbcIni ini;
  std::string list = ini.Write("dsns.txt",
                               "one NULL NULL NULL NULL /tmp/one.db SQLite3\n"
                               "two desc srv user NULL vttest    PostgreSQL Unicode\n"
                               "three NULL NULL NULL NULL db\n"
                               "four\nNULL NULL NULL NULL /tmp/four.db SQLite3\n"
                               "five lonely");
  EXPECT_TRUE(CreateDSNsFromFile(list.c_str()));
  std::string text = ini.Text();
  EXPECT_NE(text.find("[one]\nDriver=SQLite3\nDATABASE=/tmp/one.db\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[two]\nDriver=PostgreSQL Unicode\nDESCRIPTION=desc\nSERVER=srv\nSERVERNAME=srv\nUID=user\n"
                      "DATABASE=vttest\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("[three]"), std::string::npos);
  EXPECT_TRUE(log.HasError("Creating DSN three Failed\n"));
  EXPECT_NE(text.find("[four]"), std::string::npos);
  EXPECT_EQ(text.find("[five]"), std::string::npos);
  EXPECT_FALSE(CreateDSNsFromFile((list + ".missing").c_str()));
  EXPECT_TRUE(log.HasError("Error opening File " + list + ".missing \n"));
}

class OdbcDsnTest : public DatabaseTest {
 protected:
  void SetUp() override {
    DatabaseTest::SetUp();
    if (Unavailable()) return;
    InitMutex();
  }
  LogCapture log_;
  PrivateOdbcIni ini_;
};

TEST_P(OdbcDsnTest, CreatedDsnConnectsThroughTheDebianDriver) {
  const std::string dsn = "vtdsn" + db_->Name();
  bool created = false;
  switch (GetParam()) {
    case TestDbKind::kSQLite:
      created = CreateDSN(dsn.c_str(), "scratch", "NULL", "NULL", "NULL", db_->File().c_str(), "SQLite3");
      break;
    case TestDbKind::kPostgreSQL:
      created = CreateDSN(dsn.c_str(), "NULL", "127.0.0.1", "postgres", "NULL", db_->Name().c_str(),
                          "PostgreSQL Unicode");
      break;
    case TestDbKind::kMariaDB:
      created = CreateDSN(dsn.c_str(), "NULL", "127.0.0.1", "root", "NULL", db_->Name().c_str(), "MariaDB Unicode");
      break;
  }
  ASSERT_TRUE(created) << log_.Text();
  std::string port = AttributeOf(db_->ConnectionString(), "Port");
  if (!port.empty()) {
    // The throwaway servers listen on ports of their own, which a DSN's six values do not name.
    SQLSetConfigMode(ODBC_USER_DSN);
    ASSERT_TRUE(SQLWritePrivateProfileString(dsn.c_str(), "PORT", port.c_str(), "odbc.ini"));
    SQLSetConfigMode(ODBC_BOTH_DSN);
  }
  // The MariaDB driver ignores a DSN's entries once a Driver= keyword follows in the
  // connection string, so it is reached with the DSN alone.
  bool bareDsn = GetParam() == TestDbKind::kMariaDB;
  std::string connectString = "DSN=" + dsn + ";UID=root;";
  const char* user = GetParam() == TestDbKind::kPostgreSQL ? "postgres" : "root";
  ConnParams* params = CreateConnParams("h", 0, dsn.c_str(), user, "NULL", 0, "main", bareDsn ? 1 : 0,
                                        bareDsn ? connectString.c_str() : nullptr, "ODBC", TestDbType(GetParam()));
  ASSERT_NE(params, nullptr);
  DBConnection* connection = ODBCOpenConnection(params);
  ASSERT_NE(connection, nullptr) << log_.Text();
  EXPECT_EQ(ODBCExecuteUpdate(connection, "create table through_dsn (id int)"), 1);
  ODBCCloseConnection(connection);
  std::free(connection->name);
  std::free(connection);
  FreeConnParams(params);
  AdminConnection admin(db_->ConnectionString());
  EXPECT_EQ(admin.Column("select count(*) from through_dsn"), (std::vector<std::string>{"0"}));
}

VT_INSTANTIATE_ON_ALL_DATABASES(OdbcDsnTest);

}  // namespace
