#include "store/util/hash_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "store/util/alloc.h"

namespace {

struct AllocationFailure {
  explicit AllocationFailure(long n) { VtFailAllocationAt(n); }
  ~AllocationFailure() { VtFailAllocationAt(0); }
};

// An initialised table released at the end of the test.
class HashTableTest : public ::testing::Test {
 protected:
  void Init(std::int32_t size) { ASSERT_EQ(InitHashTable(&table_, size), 1); }
  void TearDown() override { FreeHashTable(&table_); }

  // The keys of one bucket in chain order.
  std::vector<std::string> Chain(std::int32_t bucket) const {
    std::vector<std::string> keys;
    for (HashEntry* e = table_.buckets[bucket]; e != nullptr; e = e->next) {
      if (e->name != nullptr) keys.emplace_back(e->name);
    }
    return keys;
  }

  std::vector<std::string> Keys() const {
    std::vector<std::string> keys;
    char** array = GetHashKeys(&table_);
    for (char** k = array; *k != nullptr; ++k) keys.emplace_back(*k);
    std::free(array);
    return keys;
  }

  HashTable table_{};
};

// The reference hash, written out independently of the table.
std::int32_t ExpectedHash(const std::string& key, std::int32_t buckets) {
  std::int64_t h = 0;
  for (unsigned char c : key) h = (h * 26 + c) % buckets;
  return static_cast<std::int32_t>(h);
}

TEST_F(HashTableTest, SizeZeroMeansTenBucketsEachWithAnEmptyHead) {
  Init(0);
  ASSERT_EQ(table_.bucketCount, 10);
  for (std::int32_t i = 0; i < 10; ++i) {
    ASSERT_NE(table_.buckets[i], nullptr);
    EXPECT_EQ(table_.buckets[i]->name, nullptr);
    EXPECT_EQ(table_.buckets[i]->next, nullptr);
  }
  EXPECT_EQ(GetHashEntryCount(&table_), 0);
}

TEST_F(HashTableTest, HashIsTheExactPolynomialOverUnsignedBytes) {
  Init(50);
  struct Case {
    std::string key;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"ab", ((0 * 26 + 97) * 26 + 98) % 50},
      {"", 0},
      {"a", 97 % 50},
      {"\xFF\xFE", ((255 % 50) * 26 + 254) % 50},
      {std::string(10000, 'z'), ExpectedHash(std::string(10000, 'z'), 50)},
      {"SeqGenState", ExpectedHash("SeqGenState", 50)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key.substr(0, 12));
    EXPECT_EQ(GetHashIndex(&table_, c.key.c_str()), c.expected);
    EXPECT_EQ(GetHashBucket(&table_, c.key.c_str()), table_.buckets[c.expected]);
  }
  EXPECT_EQ(GetHashIndex(&table_, nullptr), -1);
  EXPECT_EQ(GetHashIndex(nullptr, "a"), -1);
}

TEST_F(HashTableTest, HashOfAbWithTenBuckets) {
  Init(0);
  EXPECT_EQ(GetHashIndex(&table_, "ab"), ((0 * 26 + 97) * 26 + 98) % 10);
}

TEST_F(HashTableTest, CollidingKeysChainInInsertionOrder) {
  Init(1);  // every key collides
  int values[3] = {1, 2, 3};
  ASSERT_EQ(PutHashValue(&table_, "k1", &values[0]), 1);
  ASSERT_EQ(PutHashValue(&table_, "k2", &values[1]), 1);
  ASSERT_EQ(PutHashValue(&table_, "k3", &values[2]), 1);
  EXPECT_EQ(Chain(0), (std::vector<std::string>{"k1", "k2", "k3"}));
  EXPECT_EQ(GetHashValue(&table_, "k2"), &values[1]);
  EXPECT_EQ(GetHashEntryCount(&table_), 3);
}

TEST_F(HashTableTest, PutCopiesTheKeyAndReplacesValues) {
  Init(5);
  char key[] = "name";
  int first = 1;
  int second = 2;
  ASSERT_EQ(PutHashValue(&table_, key, &first), 1);
  key[0] = 'N';  // the table holds its own copy
  EXPECT_EQ(GetHashValue(&table_, "name"), &first);
  EXPECT_EQ(GetHashValue(&table_, "Name"), nullptr);  // keys are case-sensitive
  ASSERT_EQ(PutHashValue(&table_, "name", &second), 1);
  EXPECT_EQ(GetHashValue(&table_, "name"), &second);
  EXPECT_EQ(GetHashEntryCount(&table_), 1);
}

TEST_F(HashTableTest, NullValuesAreKeysToo) {
  Init(5);
  ASSERT_EQ(PutHashValue(&table_, "empty", nullptr), 1);
  EXPECT_EQ(ContainsHashKey(&table_, "empty"), 1);
  EXPECT_EQ(GetHashValue(&table_, "empty"), nullptr);
  EXPECT_NE(GetHashEntry(&table_, "empty"), nullptr);
  EXPECT_EQ(ContainsHashKey(&table_, "other"), 0);
  EXPECT_EQ(GetHashEntry(&table_, "other"), nullptr);
}

TEST_F(HashTableTest, RemovingTheHeadKeepsTheChain) {
  Init(1);
  int v = 0;
  for (const char* k : {"a", "b", "c"}) ASSERT_EQ(PutHashValue(&table_, k, &v), 1);
  EXPECT_EQ(RemoveHashKey(&table_, "a"), 1);
  EXPECT_EQ(Chain(0), (std::vector<std::string>{"b", "c"}));
  EXPECT_EQ(RemoveHashKey(&table_, "c"), 1);  // the end of the chain
  EXPECT_EQ(Chain(0), (std::vector<std::string>{"b"}));
  EXPECT_EQ(RemoveHashKey(&table_, "b"), 1);  // a lone head becomes an empty head
  ASSERT_NE(table_.buckets[0], nullptr);
  EXPECT_EQ(table_.buckets[0]->name, nullptr);
  EXPECT_EQ(table_.buckets[0]->value, nullptr);
  EXPECT_EQ(GetHashEntryCount(&table_), 0);
  // The empty head takes the next key.
  ASSERT_EQ(PutHashValue(&table_, "d", &v), 1);
  EXPECT_EQ(Chain(0), (std::vector<std::string>{"d"}));
}

TEST_F(HashTableTest, RemovingTwiceGivesOneThenZero) {
  Init(3);
  int v = 0;
  ASSERT_EQ(PutHashValue(&table_, "x", &v), 1);
  EXPECT_EQ(RemoveHashKey(&table_, "x"), 1);
  EXPECT_EQ(RemoveHashKey(&table_, "x"), 0);
  EXPECT_EQ(RemoveHashKey(&table_, nullptr), 0);
}

TEST_F(HashTableTest, KeysComeInBucketThenChainOrder) {
  Init(1);
  EXPECT_TRUE(Keys().empty());
  FreeHashTable(&table_);
  Init(10);
  int v = 0;
  // "b" (98 % 10 = 8), "a" (7), "k" (107 % 10 = 7): bucket 7 holds a then k.
  for (const char* k : {"b", "a", "k"}) ASSERT_EQ(PutHashValue(&table_, k, &v), 1);
  std::vector<std::string> keys = Keys();
  EXPECT_EQ(keys, (std::vector<std::string>{"a", "k", "b"}));
  char** array = GetHashKeys(&table_);
  EXPECT_EQ(array[0], table_.buckets[7]->name);  // the table's own copies
  EXPECT_EQ(array[3], nullptr);
  std::free(array);
}

TEST_F(HashTableTest, MergeFillsOnlyKeysWhoseTargetValueIsNull) {
  Init(4);
  HashTable source{};
  ASSERT_EQ(InitHashTable(&source, 7), 1);
  int s1 = 1, s2 = 2, s3 = 3, t1 = 10;
  PutHashValue(&source, "kept", &s1);
  PutHashValue(&source, "nulled", &s2);
  PutHashValue(&source, "new", &s3);
  PutHashValue(&table_, "kept", &t1);
  PutHashValue(&table_, "nulled", nullptr);
  EXPECT_EQ(MergeHashTable(&source, &table_), 1);
  EXPECT_EQ(GetHashValue(&table_, "kept"), &t1);
  EXPECT_EQ(GetHashValue(&table_, "nulled"), &s2);
  EXPECT_EQ(GetHashValue(&table_, "new"), &s3);  // shared, not copied
  EXPECT_EQ(GetHashEntryCount(&source), 3);
  EXPECT_EQ(MergeHashTable(nullptr, &table_), 0);
  EXPECT_EQ(MergeHashTable(&source, nullptr), 0);
  FreeHashTable(&source);
}

TEST_F(HashTableTest, FailedAllocationsLeaveTheTableUnchanged) {
  Init(1);
  int v = 0;
  ASSERT_EQ(PutHashValue(&table_, "head", &v), 1);
  for (long n = 1; n <= 2; ++n) {  // the new entry, then its key copy
    AllocationFailure fail(n);
    EXPECT_EQ(PutHashValue(&table_, "second", &v), 0);
    EXPECT_EQ(Chain(0), (std::vector<std::string>{"head"}));
  }
  ASSERT_EQ(RemoveHashKey(&table_, "head"), 1);
  {
    AllocationFailure fail(1);  // the key copy for an empty head
    EXPECT_EQ(PutHashValue(&table_, "head", &v), 0);
  }
  EXPECT_EQ(table_.buckets[0]->name, nullptr);
  EXPECT_EQ(GetHashEntryCount(&table_), 0);
}

TEST(HashTableInit, FailureAtAnyAllocationReleasesEverything) {
  for (long n = 1; n <= 4; ++n) {  // the bucket array, then three heads
    SCOPED_TRACE(n);
    HashTable table{};
    AllocationFailure fail(n);
    EXPECT_EQ(InitHashTable(&table, 3), 0);
    EXPECT_EQ(table.buckets, nullptr);
  }
  HashTable table{};
  EXPECT_EQ(InitHashTable(&table, -1), 0);
  EXPECT_EQ(InitHashTable(nullptr, 3), 0);
}

TEST(HashTableInit, FreedTableIsEmptyAndCanBeInitialisedAgain) {
  HashTable table{};
  ASSERT_EQ(InitHashTable(&table, 2), 1);
  int v = 0;
  PutHashValue(&table, "a", &v);
  PutHashValue(&table, "b", &v);
  PutHashValue(&table, "c", &v);
  FreeHashTable(&table);
  EXPECT_EQ(table.buckets, nullptr);
  EXPECT_EQ(table.bucketCount, 0);
  EXPECT_EQ(GetHashValue(&table, "a"), nullptr);
  EXPECT_EQ(PutHashValue(&table, "a", &v), 0);
  ASSERT_EQ(InitHashTable(&table, 2), 1);
  EXPECT_EQ(PutHashValue(&table, "a", &v), 1);
  FreeHashTable(&table);
}

}  // namespace
