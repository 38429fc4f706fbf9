#include "store/db/db_provider.h"

#include <gtest/gtest.h>

#include <string>

#include "agent/object_lock.h"
#include "store/db/conn_params.h"
#include "store/db/db_test_support.h"
#include "store/imds/result_set.h"
#include "store/util/log_capture_for_tests.h"
#include "store/util/strings.h"

namespace {

TEST(DBProviderRegistry, InitLoadsOdbcIntoSlotZeroOnlyOnce) {
  LogCapture log;
  {
    ProviderSession session;
    ASSERT_TRUE(session.Ok());
    ASSERT_NE(gv_loadedProviders[0], nullptr);
    EXPECT_STREQ(gv_loadedProviders[0]->name, "ODBC");
    EXPECT_EQ(gv_loadedProviders[1], nullptr);  // "SQLITE" is not a registered provider
    EXPECT_FALSE(InitDBProvider());
    EXPECT_TRUE(log.HasError("InitDBProvider Failed as already initialized\n"));
    EXPECT_EQ(gv_registeredProviders.count, 1);
  }
  EXPECT_EQ(gv_loadedProviders[0], nullptr);
}

TEST(DBProviderRegistry, SlotsFillInOrderAndUnloadEmptiesTheFirstMatch) {
  ProviderSession session;
  ASSERT_TRUE(session.Ok());
  EXPECT_FALSE(LoadDBProvider("odbc"));  // names match exactly
  EXPECT_TRUE(LoadDBProvider("ODBC"));
  EXPECT_EQ(gv_loadedProviders[1], gv_loadedProviders[0]);
  EXPECT_FALSE(LoadDBProvider("ODBC"));  // both slots filled
  EXPECT_TRUE(UnloadDBProvider("ODBC"));
  EXPECT_EQ(gv_loadedProviders[0], nullptr);
  EXPECT_NE(gv_loadedProviders[1], nullptr);
  EXPECT_TRUE(UnloadDBProvider("ODBC"));
  EXPECT_FALSE(UnloadDBProvider("ODBC"));
  EXPECT_EQ(FindRegisteredProvider(nullptr), nullptr);
  EXPECT_EQ(FindRegisteredProvider("Nope"), nullptr);
}

TEST(DBProviderRegistry, LoadFromConnParamsUsesTheFirstSourcesType) {
  LogCapture log;
  ProviderSession session;
  ASSERT_TRUE(UnloadDBProvider("ODBC"));
  EXPECT_FALSE(LoadDBProviderFromConnParams());
  EXPECT_TRUE(log.HasError("Cannot Load DB provider.\n"));
  ASSERT_NE(session.AddSource("main", "x", "ODBC"), nullptr);
  EXPECT_TRUE(LoadDBProviderFromConnParams());
  EXPECT_STREQ(gv_loadedProviders[0]->name, "ODBC");
  FreeAllConnParams();
  ASSERT_NE(session.AddSource("main", "x", "MYSQL"), nullptr);
  EXPECT_FALSE(LoadDBProviderFromConnParams());
  EXPECT_TRUE(log.HasError("Cannot Load MYSQL provider.\n"));
}

TEST(DBProviderEntryPoints, MissingConnectionOrStatementIsReported) {
  LogCapture log;
  EXPECT_EQ(ExecuteUpdate(nullptr, "update t set a = 1"), 0);
  EXPECT_TRUE(log.HasError("ConnectionHandle NULL in ExecuteUpdate for Query update t set a = 1 \n"));
  EXPECT_EQ(ExecuteUpdateBlob(nullptr, "insert", nullptr, nullptr), 0);
  EXPECT_TRUE(log.HasError("ConnectionHandle NULL in ExecuteUpdateBlob for Query insert \n"));
  EXPECT_EQ(ExecuteQuery(nullptr, "select 1"), nullptr);
  EXPECT_TRUE(log.HasError("ConnectionHandle NULL in ExecuteQuery for Query select 1 \n"));
  EXPECT_EQ(ExecuteQueryBlob(nullptr, "select 2", nullptr, nullptr), nullptr);
  EXPECT_TRUE(log.HasError("ConnectionHandle NULL in ExecuteQueryBlob for Query select 2 \n"));

  DBConnection detached{};  // a record whose provider slot is empty
  detached.providerIndex = 1;
  EXPECT_EQ(ExecuteUpdate(&detached, nullptr), 0);
  EXPECT_EQ(ExecuteUpdateBlob(&detached, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(log.Count("[ERROR]", " No Query To be Updated \n"), 2);
  EXPECT_EQ(ExecuteQuery(&detached, nullptr), nullptr);
  EXPECT_EQ(ExecuteQueryBlob(&detached, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(log.Count("[ERROR]", " No Query To be Executed \n"), 2);
  EXPECT_EQ(ExecuteUpdate(&detached, "x"), 0);
  EXPECT_EQ(ExecuteQuery(&detached, "x"), nullptr);
  EXPECT_FALSE(BeginTransaction(&detached));
  EXPECT_FALSE(CloseDBConnection(&detached));
  EXPECT_FALSE(CloseDBConnection(nullptr));
}

class DBProviderTest : public DatabaseTest {
 protected:
  void SetUp() override {
    DatabaseTest::SetUp();
    if (Unavailable()) return;
    InitMutex();
    ASSERT_TRUE(session_.Ok());
    params_ = session_.AddSource("main", db_->ConnectionString(), TestDbType(GetParam()));
    ASSERT_NE(params_, nullptr);
  }

  LogCapture log_;
  ProviderSession session_;
  ConnParams* params_ = nullptr;
};

TEST_P(DBProviderTest, OpenCompletesTheRecord) {
  std::uint32_t before = GetDBTime();
  DBConnection* connection = OpenDBConnection(params_);
  ASSERT_NE(connection, nullptr);
  EXPECT_TRUE(log_.HasTrace("## Inside OpenDBConnection ##\n"));
  EXPECT_STREQ(connection->name, "main");
  EXPECT_EQ(connection->providerIndex, 0);
  EXPECT_EQ(connection->ownerThread, -1);
  EXPECT_EQ(connection->inTransaction, 0);
  EXPECT_GE(connection->openedAt, before);
  EXPECT_TRUE(CloseDBConnection(connection));
}

TEST_P(DBProviderTest, OpenWithAnUnloadedProviderGivesNull) {
  std::free(params_->providerName);
  params_->providerName = nullptr;
  EXPECT_EQ(OpenDBConnection(params_), nullptr);
  ASSERT_EQ(AllocateAndSetString(&params_->providerName, "Other"), 1);
  EXPECT_EQ(OpenDBConnection(params_), nullptr);
  EXPECT_EQ(OpenDBConnection(nullptr), nullptr);
}

TEST_P(DBProviderTest, TransactionMarkFollowsBeginCommitAndRollback) {
  DBConnection* connection = OpenDBConnection(params_);
  ASSERT_NE(connection, nullptr);
  EXPECT_FALSE(CommitTransaction(connection));
  EXPECT_FALSE(RollbackTransaction(connection));
  // Without a begin the provider is not asked at all.
  EXPECT_FALSE(log_.HasTrace("\t@@@@@ ODBCCommitTransaction() @@@@@\n"));
  EXPECT_FALSE(log_.HasTrace("\t@@@@@ ODBCRollbackTransaction() @@@@@\n"));
  ASSERT_TRUE(BeginTransaction(connection));
  EXPECT_EQ(connection->inTransaction, 1);
  EXPECT_TRUE(CommitTransaction(connection));
  EXPECT_EQ(connection->inTransaction, 0);
  EXPECT_TRUE(log_.HasTrace("\t@@@@@ ODBCCommitTransaction() @@@@@\n"));
  ASSERT_TRUE(BeginTransaction(connection));
  EXPECT_TRUE(RollbackTransaction(connection));
  EXPECT_EQ(connection->inTransaction, 0);
  EXPECT_TRUE(CloseDBConnection(connection));
}

TEST_P(DBProviderTest, RowCountOfAConditionalUpdate) {
  DBConnection* connection = OpenDBConnection(params_);
  ASSERT_NE(connection, nullptr);
  ASSERT_EQ(ExecuteUpdate(connection, "create table counted (id int, v int)"), 1);
  ASSERT_EQ(ExecuteUpdate(connection, "insert into counted values (1, 10)"), 1);
  ASSERT_EQ(ExecuteUpdate(connection, "insert into counted values (2, 10)"), 1);
  std::int64_t rows = 0;
  EXPECT_EQ(ExecuteUpdateRowCount(connection, "update counted set v = 11 where v = 10", &rows), 1);
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(ExecuteUpdateRowCount(connection, "update counted set v = 12 where v = 10", &rows), 1);
  EXPECT_EQ(rows, 0);
  EXPECT_EQ(ExecuteUpdateRowCount(connection, "update nowhere set v = 1", &rows), 0);
  EXPECT_EQ(rows, -1);
  EXPECT_TRUE(CloseDBConnection(connection));
}

VT_INSTANTIATE_ON_ALL_DATABASES(DBProviderTest);

}  // namespace
