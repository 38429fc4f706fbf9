#include "store/db/conn_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "agent/object_lock.h"
#include "store/db/conn_params.h"
#include "store/db/db_test_support.h"
#include "store/imds/result_set.h"
#include "store/util/log_capture_for_tests.h"

namespace {

std::atomic<std::uint32_t> gv_fakeNow{1'000'000};
std::uint32_t FakeClock() { return gv_fakeNow.load(); }

// Runs `work` on a thread of its own and waits for it.
template <typename Work>
void OnOtherThread(Work work) {
  std::thread thread(work);
  thread.join();
}

// A thread that takes a connection and keeps it until told to let go.
class Holder {
 public:
  explicit Holder(const char* source) : thread_([this, source] {
    std::unique_lock lock(mutex_);
    held_ = GetDBConnection(source);
    got_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return letGo_; });
    ReleaseDBConnection(source);
  }) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return got_; });
  }
  ~Holder() {
    {
      std::lock_guard lock(mutex_);
      letGo_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  DBConnection* Held() {
    std::lock_guard lock(mutex_);
    return held_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  DBConnection* held_ = nullptr;
  bool got_ = false;
  bool letGo_ = false;
  std::thread thread_;
};

class ConnPoolTest : public DatabaseTest {
 protected:
  void SetUp() override {
    DatabaseTest::SetUp();
    if (Unavailable()) return;
    InitMutex();
    ASSERT_TRUE(session_.Ok());
    gv_fakeNow = 1'000'000;
    SetDBClock(&FakeClock);
  }

  // The number in "select 1" answered on `connection`: proves it is open and usable.
  bool Works(DBConnection* connection) {
    ResultSet* rs = ExecuteQuery(connection, "select 1");
    bool ok = rs != nullptr && rs->rowCount == 1;
    FreeResultSet(rs);
    return ok;
  }

  LogCapture log_;
  ProviderSession session_;
};

TEST_P(ConnPoolTest, ThreadGetsItsOwnConnectionBackUntilItReleasesIt) {
  ASSERT_NE(session_.AddSource("main", db_->ConnectionString(), TestDbType(GetParam())), nullptr);
  ASSERT_TRUE(EstablishDBConnectionPool(3));
  DBConnection* first = GetDBConnection("main");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetDBConnection("main"), first);
  EXPECT_NE(first->ownerThread, -1);
  EXPECT_NE(first->ownerThread, 1);
  DBConnection* other = nullptr;
  OnOtherThread([&] {
    other = GetDBConnection("main");
    ReleaseDBConnection("main");
  });
  EXPECT_NE(other, first);
  EXPECT_TRUE(Works(first));
  EXPECT_TRUE(ReleaseDBConnection("main"));
  EXPECT_EQ(first->ownerThread, -1);
  EXPECT_FALSE(ReleaseDBConnection("main"));  // one release frees it; nothing is left held
}

TEST_P(ConnPoolTest, OneConnectionSourceIsSharedByAllThreads) {
  ASSERT_NE(session_.AddSource("main", db_->ConnectionString(), TestDbType(GetParam())), nullptr);
  ASSERT_TRUE(EstablishDBConnections());
  EXPECT_TRUE(log_.HasDebug(" main : Connection Established\n"));
  DBConnection* mine = GetDBConnection("main");
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(mine->ownerThread, 1);
  DBConnection* theirs = nullptr;
  bool released = false;
  OnOtherThread([&] {
    theirs = GetDBConnection("main");
    released = ReleaseDBConnection("main");
  });
  EXPECT_EQ(theirs, mine);
  EXPECT_TRUE(released);
  EXPECT_EQ(mine->ownerThread, -1);  // either thread's release frees it
}

TEST_P(ConnPoolTest, AllConnectionsHeldGivesNullAtOnce) {
  ASSERT_NE(session_.AddSource("main", db_->ConnectionString(), TestDbType(GetParam())), nullptr);
  ASSERT_TRUE(EstablishDBConnectionPool(2));
  Holder a("main");
  Holder b("main");
  ASSERT_NE(a.Held(), nullptr);
  ASSERT_NE(b.Held(), nullptr);
  EXPECT_NE(a.Held(), b.Held());
  // Returns while both holders still hold theirs: it does not wait for one.
  EXPECT_EQ(GetDBConnection("main"), nullptr);
}

TEST_P(ConnPoolTest, NullNameMeansTheOnlySourceForGetAndTheFirstForRelease) {
  ASSERT_NE(session_.AddSource("main", db_->ConnectionString(), TestDbType(GetParam())), nullptr);
  ASSERT_NE(session_.AddSource("second", db_->ConnectionString(), TestDbType(GetParam())), nullptr);
  ASSERT_TRUE(EstablishDBConnections());
  EXPECT_EQ(GetDBConnection(nullptr), nullptr);
  EXPECT_EQ(GetDBConnection("unknown"), nullptr);
  EXPECT_FALSE(ReleaseDBConnection("unknown"));
  DBConnection* first = GetDBConnection("main");
  DBConnection* second = GetDBConnection("second");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_TRUE(ReleaseDBConnection(nullptr));
  EXPECT_EQ(first->ownerThread, -1);
  EXPECT_EQ(second->ownerThread, 1);
  EXPECT_TRUE(ReleaseDBConnection("second"));
}

TEST_P(ConnPoolTest, ConnectionIsReopenedWhenHandedOutAfterMaxAge) {
  ASSERT_NE(session_.AddSource("main", db_->ConnectionString(), TestDbType(GetParam())), nullptr);
  ASSERT_TRUE(EstablishDBConnectionPool(2));
  const std::uint32_t opened = gv_fakeNow;
  gv_fakeNow = opened + kConnectionMaxAge;
  DBConnection* first = GetDBConnection("main");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->openedAt, opened);
  ASSERT_TRUE(ReleaseDBConnection("main"));
  gv_fakeNow = opened + kConnectionMaxAge + 1;
  DBConnection* fresh = GetDBConnection("main");
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->openedAt, opened + kConnectionMaxAge + 1);
  EXPECT_NE(fresh->ownerThread, -1);  // the caller holds the new connection
  EXPECT_TRUE(Works(fresh));
  ConnPoolEntry* entry = static_cast<ConnPoolEntry*>(gv_connPoolVect.head->element);
  EXPECT_EQ(entry->connections.count, 2);
  EXPECT_EQ(entry->connections.tail->element, fresh);
  EXPECT_TRUE(ReleaseDBConnection("main"));
}

TEST_P(ConnPoolTest, ReplacedSharedConnectionStaysUsableForItsOtherHolder) {
  ASSERT_NE(session_.AddSource("main", db_->ConnectionString(), TestDbType(GetParam())), nullptr);
  ASSERT_TRUE(EstablishDBConnections());
  DBConnection* old = GetDBConnection("main");
  ASSERT_NE(old, nullptr);
  gv_fakeNow += kConnectionMaxAge + 1;
  DBConnection* fresh = nullptr;
  OnOtherThread([&] { fresh = GetDBConnection("main"); });
  ASSERT_NE(fresh, nullptr);
  EXPECT_NE(fresh, old);
  EXPECT_EQ(fresh->ownerThread, 1);
  // The first thread still has the old record in hand and may still be using it.
  EXPECT_TRUE(Works(old));
  EXPECT_TRUE(Works(fresh));
  EXPECT_EQ(static_cast<ConnPoolEntry*>(gv_connPoolVect.head->element)->connections.count, 1);
}

TEST_P(ConnPoolTest, FailedReopenKeepsTheConnectionInThePool) {
  ConnParams* params = session_.AddSource("main", db_->ConnectionString(), TestDbType(GetParam()));
  ASSERT_NE(params, nullptr);
  ASSERT_TRUE(EstablishDBConnections());
  std::string good = params->connectString;
  std::free(params->connectString);
  params->connectString = strdup("Driver=NoSuchDriver;");
  gv_fakeNow += kConnectionMaxAge + 1;
  EXPECT_EQ(GetDBConnection("main"), nullptr);
  EXPECT_TRUE(log_.HasError(
      "Cannot return connection handle. Error in opening connection while re-establishing connection hanlde.\n"));
  ConnPoolEntry* entry = static_cast<ConnPoolEntry*>(gv_connPoolVect.head->element);
  ASSERT_EQ(entry->connections.count, 1);
  EXPECT_EQ(static_cast<DBConnection*>(entry->connections.head->element)->ownerThread, -1);
  std::free(params->connectString);
  params->connectString = strdup(good.c_str());
  DBConnection* fresh = GetDBConnection("main");
  ASSERT_NE(fresh, nullptr);
  EXPECT_TRUE(Works(fresh));
}

TEST_P(ConnPoolTest, ConnectionInATransactionIsNotReopened) {
  ASSERT_NE(session_.AddSource("main", db_->ConnectionString(), TestDbType(GetParam())), nullptr);
  ASSERT_TRUE(EstablishDBConnections());
  DBConnection* connection = GetDBConnection("main");
  ASSERT_NE(connection, nullptr);
  ASSERT_TRUE(BeginTransaction(connection));
  gv_fakeNow += kConnectionMaxAge + 1;
  EXPECT_EQ(GetDBConnection("main"), connection);
  EXPECT_TRUE(RollbackTransaction(connection));
}

TEST_P(ConnPoolTest, ConcurrentClaimsNeverShareAConnection) {
  ASSERT_NE(session_.AddSource("main", db_->ConnectionString(), TestDbType(GetParam())), nullptr);
  ASSERT_TRUE(EstablishDBConnectionPool(3));
  std::mutex mutex;
  std::map<DBConnection*, int> holders;
  std::atomic<int> overlaps{0};
  std::atomic<int> claims{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 random(static_cast<unsigned>(t));
      for (int i = 0; i < 300; ++i) {
        DBConnection* connection = GetDBConnection("main");
        if (connection == nullptr) continue;
        ++claims;
        {
          std::lock_guard lock(mutex);
          if (++holders[connection] != 1) ++overlaps;
        }
        if (random() % 8 == 0) std::this_thread::yield();
        {
          std::lock_guard lock(mutex);
          --holders[connection];
        }
        ReleaseDBConnection("main");
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(overlaps, 0);
  EXPECT_GT(claims, 0);
  for (VectorNode* link = static_cast<ConnPoolEntry*>(gv_connPoolVect.head->element)->connections.head;
       link != nullptr; link = link->next) {
    EXPECT_EQ(static_cast<DBConnection*>(link->element)->ownerThread, -1);
  }
}

TEST_P(ConnPoolTest, EstablishStopsAtASourceThatCannotBeOpened) {
  ASSERT_NE(session_.AddSource("main", db_->ConnectionString(), TestDbType(GetParam())), nullptr);
  ASSERT_NE(session_.AddSource("broken", "Driver=NoSuchDriver;", TestDbType(GetParam())), nullptr);
  ASSERT_NE(session_.AddSource("after", db_->ConnectionString(), TestDbType(GetParam())), nullptr);
  EXPECT_FALSE(EstablishDBConnections());
  EXPECT_TRUE(log_.HasError("Cannot establish connection.\n"));
  EXPECT_EQ(gv_connPoolVect.count, 1);  // the entry built before it stays
  EXPECT_NE(GetDBConnection("main"), nullptr);
  EXPECT_EQ(GetDBConnection("after"), nullptr);
  ReleaseDBConnection("main");
  CloseAllDBConnections();
  // The larger pool skips what cannot be opened and goes on.
  EXPECT_TRUE(EstablishDBConnectionPool(0));
  EXPECT_EQ(gv_connPoolVect.count, 3);
  EXPECT_EQ(static_cast<ConnPoolEntry*>(gv_connPoolVect.head->element)->connections.count, 5);
  EXPECT_EQ(static_cast<ConnPoolEntry*>(gv_connPoolVect.head->next->element)->connections.count, 0);
  EXPECT_TRUE(log_.HasDebug(" 4 : after : Connection Established\n"));
}

TEST_P(ConnPoolTest, EstablishWithoutSourcesFails) {
  EXPECT_FALSE(EstablishDBConnections());
  EXPECT_FALSE(EstablishDBConnectionPool(2));
  EXPECT_TRUE(log_.HasError("There is no entry in data source vector\n"));
  EXPECT_EQ(GetDBConnection(nullptr), nullptr);
  EXPECT_FALSE(ReleaseDBConnection(nullptr));
}

TEST_P(ConnPoolTest, CreateDBMakesADatabaseOnTheOnlySource) {
  EXPECT_FALSE(CreateDB("vtnone"));
  EXPECT_TRUE(log_.HasError("Cannot create DB.  Connection not established.\n"));
  ASSERT_NE(session_.AddSource("main", db_->ConnectionString(), TestDbType(GetParam())), nullptr);
  ASSERT_TRUE(EstablishDBConnections());
  // Longer than the 19 characters a fixed statement buffer would have held.
  std::string name = UniqueDbName() + "_created_by_test";
  if (GetParam() == TestDbKind::kSQLite) {
    EXPECT_FALSE(CreateDB(name.c_str()));  // SQLite has no such statement
  } else {
    EXPECT_TRUE(CreateDB(name.c_str()));
    EXPECT_FALSE(CreateDB(name.c_str()));
    AdminConnection admin(db_->ServerConnectionString());
    EXPECT_TRUE(admin.Exec("drop database " + name)) << admin.Error();
  }
  EXPECT_TRUE(log_.HasError("Cannot create database " + name + ".\n"));
  EXPECT_TRUE(log_.HasError("SQLExecute failed\n"));
  EXPECT_TRUE(log_.Has("[ERROR]", "STATE: "));
  DBConnection* connection = GetDBConnection(nullptr);
  EXPECT_NE(connection, nullptr);  // given back after the statement
  EXPECT_EQ(connection->ownerThread, 1);
}

VT_INSTANTIATE_ON_ALL_DATABASES(ConnPoolTest);

}  // namespace
