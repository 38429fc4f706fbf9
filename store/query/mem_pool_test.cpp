#include "store/query/mem_pool.h"

#include <apr_strings.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// Counts how often a pool cleanup ran, so a test sees when a pool is destroyed.
apr_status_t CountCleanup(void* counter) {
  ++*static_cast<int*>(counter);
  return APR_SUCCESS;
}

TEST(MemPool, OnlyTheLastTerminationDestroysTheRoot) {
  ASSERT_EQ(GetRootMemPool(), nullptr);
  ASSERT_EQ(InitializeMemPool(), 1);
  apr_pool_t* root = GetRootMemPool();
  ASSERT_NE(root, nullptr);
  ASSERT_EQ(InitializeMemPool(), 1);
  EXPECT_EQ(GetRootMemPool(), root);  // the second initialisation only counts

  int destroyed = 0;
  apr_pool_t* child = CreateChildMemPool();
  ASSERT_NE(child, nullptr);
  apr_pool_cleanup_register(child, &destroyed, CountCleanup, apr_pool_cleanup_null);
  ASSERT_NE(apr_pstrdup(child, "kept"), nullptr);

  TerminateMemPool();
  EXPECT_EQ(GetRootMemPool(), root);
  EXPECT_EQ(destroyed, 0);
  apr_pool_t* another = CreateChildMemPool();
  ASSERT_NE(another, nullptr);
  apr_pool_destroy(another);

  TerminateMemPool();  // the last one: the root goes, and the child still in it
  EXPECT_EQ(GetRootMemPool(), nullptr);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(CreateChildMemPool(), nullptr);
}

TEST(MemPool, AnUnmatchedTerminationIsIgnored) {
  TerminateMemPool();
  EXPECT_EQ(GetRootMemPool(), nullptr);
  ASSERT_EQ(InitializeMemPool(), 1);
  TerminateMemPool();
  TerminateMemPool();
  EXPECT_EQ(GetRootMemPool(), nullptr);
  // The count did not go below zero: one initialisation is again matched by one.
  ASSERT_EQ(InitializeMemPool(), 1);
  EXPECT_NE(GetRootMemPool(), nullptr);
  TerminateMemPool();
  EXPECT_EQ(GetRootMemPool(), nullptr);
}

TEST(MemPool, CanStartAgainAfterTheLastTermination) {
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_EQ(InitializeMemPool(), 1);
    apr_pool_t* child = CreateChildMemPool();
    ASSERT_NE(child, nullptr);
    EXPECT_NE(apr_palloc(child, 100), nullptr);
    apr_pool_destroy(child);
    TerminateMemPool();
    EXPECT_EQ(GetRootMemPool(), nullptr);
  }
}

}  // namespace

namespace {

TEST(MemPool, ThreadsMayInitialiseAndTerminateTogether) {
  ASSERT_EQ(InitializeMemPool(), 1);  // keeps the root alive throughout
  apr_pool_t* root = GetRootMemPool();
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&failures] {
      for (int i = 0; i < 200; ++i) {
        if (InitializeMemPool() != 1) ++failures;
        apr_pool_t* child = CreateChildMemPool();
        if (child == nullptr) {
          ++failures;
        } else {
          apr_pool_destroy(child);
        }
        TerminateMemPool();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(GetRootMemPool(), root);
  TerminateMemPool();
  EXPECT_EQ(GetRootMemPool(), nullptr);
}

}  // namespace
