#include "store/util/vector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "store/util/alloc.h"
#include "store/util/log_capture_for_tests.h"

namespace {

struct AllocationFailure {
  explicit AllocationFailure(long n) { VtFailAllocationAt(n); }
  ~AllocationFailure() { VtFailAllocationAt(0); }
};

std::int8_t CompareInts(VectorNode* candidate, VectorNode* other) {
  int a = *static_cast<int*>(candidate->element);
  int b = *static_cast<int*>(other->element);
  return static_cast<std::int8_t>(a < b ? -1 : (a > b ? 1 : 0));
}

// Checks the invariants (count matches the links, tail is the last) and returns the
// elements in list order.
std::vector<void*> Walk(const Vector& v) {
  std::vector<void*> elements;
  const VectorNode* last = nullptr;
  for (const VectorNode* link = v.head; link != nullptr; link = link->next) {
    elements.push_back(link->element);
    last = link;
  }
  EXPECT_EQ(static_cast<std::int32_t>(elements.size()), v.count);
  EXPECT_EQ(v.tail, last);
  return elements;
}

std::vector<int> Ints(const Vector& v) {
  std::vector<int> values;
  for (void* e : Walk(v)) values.push_back(*static_cast<int*>(e));
  return values;
}

VectorNode* NewLink(void* element) {
  auto* link = static_cast<VectorNode*>(std::calloc(1, sizeof(VectorNode)));
  link->element = element;
  return link;
}

// A vector record released at the end of the test, with a pool of int elements.
class VectorTest : public ::testing::Test {
 protected:
  VectorTest() : values_(64) { std::iota(values_.begin(), values_.end(), 0); }
  void TearDown() override { FreeVector(&v_); }
  void Sorted() {
    static const VectorCompare compare = CompareInts;
    InitVector(&v_, &compare);
  }
  void Unsorted() { InitVector(&v_, nullptr); }
  void Add(std::initializer_list<int> values) {
    for (int value : values) ASSERT_EQ(AddElementData(&v_, &values_[value]), 1) << value;
  }
  int* Value(int n) { return &values_[n]; }

  Vector v_{};
  std::vector<int> values_;
};

TEST_F(VectorTest, InitEmptiesAndKeepsTheComparator) {
  v_.head = reinterpret_cast<VectorNode*>(8);
  v_.count = 5;
  v_.tail = reinterpret_cast<VectorNode*>(8);
  Sorted();
  EXPECT_EQ(v_.head, nullptr);
  EXPECT_EQ(v_.tail, nullptr);
  EXPECT_EQ(v_.count, 0);
  EXPECT_EQ(v_.compare, &CompareInts);
  Unsorted();
  EXPECT_EQ(v_.compare, nullptr);
}

TEST_F(VectorTest, UnsortedAppendsDuplicatesInOrder) {
  Unsorted();
  Add({3, 1, 3, 2});
  EXPECT_EQ(Ints(v_), (std::vector<int>{3, 1, 3, 2}));
}

TEST_F(VectorTest, SortedInsertKeepsOrderAtFrontMiddleAndEnd) {
  Sorted();
  Add({20});
  Add({10});  // front
  Add({30});  // end
  Add({25});  // middle
  Add({15});
  Add({5});
  Add({40});
  EXPECT_EQ(Ints(v_), (std::vector<int>{5, 10, 15, 20, 25, 30, 40}));
}

TEST_F(VectorTest, SortedRefusesDuplicatesAndLeavesTheLinkToTheCaller) {
  Sorted();
  Add({1, 3, 5, 7});
  int equal = 5;  // same value, other address
  VectorNode* link = NewLink(&equal);
  link->next = reinterpret_cast<VectorNode*>(link);  // cleared by AddElement
  EXPECT_EQ(AddElement(&v_, link), 0);
  EXPECT_EQ(Ints(v_), (std::vector<int>{1, 3, 5, 7}));
  std::free(link);
  for (int duplicate : {1, 7, 3}) EXPECT_EQ(AddElementData(&v_, Value(duplicate)), 0);
  EXPECT_EQ(Ints(v_), (std::vector<int>{1, 3, 5, 7}));
}

TEST_F(VectorTest, SortedInsertOfEveryPermutationOrderIsAscending) {
  std::mt19937 random(20260209);
  for (int round = 0; round < 200; ++round) {
    Sorted();
    int n = 1 + static_cast<int>(random() % 40);
    std::vector<int> order(static_cast<std::size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), random);
    for (int value : order) ASSERT_EQ(AddElementData(&v_, Value(value)), 1);
    for (int value : order) ASSERT_EQ(AddElementData(&v_, Value(value)), 0);
    std::vector<int> expected(static_cast<std::size_t>(n));
    std::iota(expected.begin(), expected.end(), 0);
    ASSERT_EQ(Ints(v_), expected) << "round " << round;
    FreeVector(&v_);
  }
}

std::vector<std::pair<int, int>> gv_comparisons;

std::int8_t RecordingCompare(VectorNode* candidate, VectorNode* other) {
  gv_comparisons.emplace_back(*static_cast<int*>(candidate->element), *static_cast<int*>(other->element));
  return CompareInts(candidate, other);
}

TEST_F(VectorTest, ComparatorGetsTheCandidateFirstAndAboutLogNCalls) {
  static const VectorCompare compare = RecordingCompare;
  InitVector(&v_, &compare);
  for (int i = 0; i < 32; i += 2) ASSERT_EQ(AddElementData(&v_, Value(i)), 1);
  gv_comparisons.clear();
  ASSERT_EQ(AddElementData(&v_, Value(17)), 1);
  ASSERT_FALSE(gv_comparisons.empty());
  for (auto [candidate, other] : gv_comparisons) EXPECT_EQ(candidate, 17);
  EXPECT_LE(gv_comparisons.size(), 7u);  // log2(16) + 2 placements
  EXPECT_EQ(Ints(v_)[9], 17);
}

TEST_F(VectorTest, InsertElementAtBoundsAndTail) {
  Unsorted();
  Add({1, 2, 3});
  struct Case {
    int index;
    std::uint8_t result;
    std::vector<int> after;
  };
  const Case cases[] = {
      {0, 1, {10, 1, 2, 3}},
      {2, 1, {10, 1, 11, 2, 3}},
      {5, 1, {10, 1, 11, 2, 3, 12}},  // count: appends
      {7, 0, {10, 1, 11, 2, 3, 12}},  // count + 1
      {-1, 0, {10, 1, 11, 2, 3, 12}},
  };
  int next = 10;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    VectorNode* link = NewLink(Value(next));
    std::uint8_t result = InsertElementAt(&v_, link, c.index);
    EXPECT_EQ(result, c.result);
    if (result == 1) {
      ++next;
    } else {
      std::free(link);
    }
    EXPECT_EQ(Ints(v_), c.after);
  }
  Add({4});  // the tail moved with the insert at count
  EXPECT_EQ(Ints(v_).back(), 4);
}

TEST_F(VectorTest, InsertElementAtIgnoresTheComparator) {
  Sorted();
  Add({1, 2});
  ASSERT_EQ(InsertElementAt(&v_, NewLink(Value(9)), 0), 1);
  EXPECT_EQ(Ints(v_), (std::vector<int>{9, 1, 2}));
  VectorNode* link = NewLink(Value(5));
  ASSERT_EQ(InsertElementAt(&v_, link, 0), 1);
  EXPECT_EQ(v_.head, link);
}

TEST_F(VectorTest, InsertIntoEmptyVectorSetsHeadAndTail) {
  Unsorted();
  VectorNode* link = NewLink(Value(1));
  ASSERT_EQ(InsertElementAt(&v_, link, 0), 1);
  EXPECT_EQ(v_.head, link);
  EXPECT_EQ(v_.tail, link);
  EXPECT_EQ(v_.count, 1);
}

TEST_F(VectorTest, ElementAtAndGetNthElementBounds) {
  Unsorted();
  EXPECT_EQ(ElementAt(&v_, 0), nullptr);
  Add({5, 6, 7});
  EXPECT_EQ(ElementAt(&v_, 0)->element, Value(5));
  EXPECT_EQ(ElementAt(&v_, 2)->element, Value(7));
  EXPECT_EQ(ElementAt(&v_, 3), nullptr);
  EXPECT_EQ(ElementAt(&v_, -1), nullptr);
  EXPECT_EQ(ElementAt(nullptr, 0), nullptr);
  VectorNode* second = ElementAt(&v_, 1);
  EXPECT_EQ(GetNthElement(&v_, 0, second), second);
  EXPECT_EQ(GetNthElement(&v_, 1, second)->element, Value(7));
  EXPECT_EQ(GetNthElement(&v_, 2, second), nullptr);  // runs off the end
  EXPECT_EQ(GetNthElement(&v_, 3, v_.head), nullptr);  // not below count
  EXPECT_EQ(GetNthElement(&v_, -1, v_.head), nullptr);
}

TEST_F(VectorTest, DeletingTheOnlyLinkEmptiesTheVector) {
  Unsorted();
  Add({1});
  EXPECT_EQ(DeleteElement(&v_, v_.head), 1);
  EXPECT_EQ(v_.head, nullptr);
  EXPECT_EQ(v_.tail, nullptr);
  EXPECT_EQ(v_.count, 0);
  Add({2, 3});
  EXPECT_EQ(Ints(v_), (std::vector<int>{2, 3}));
}

TEST_F(VectorTest, DeleteElementOfAStrangerChangesNothing) {
  Unsorted();
  VectorNode stranger{Value(9), nullptr};
  EXPECT_EQ(DeleteElement(&v_, &stranger), 0);  // empty
  Add({1, 2});
  EXPECT_EQ(DeleteElement(&v_, &stranger), 1);
  EXPECT_EQ(Ints(v_), (std::vector<int>{1, 2}));
  EXPECT_EQ(DeleteElement(nullptr, &stranger), 0);
}

TEST_F(VectorTest, DeleteElementAtEveryPositionKeepsTheTail) {
  for (int position = 0; position < 4; ++position) {
    SCOPED_TRACE(position);
    Unsorted();
    Add({0, 1, 2, 3});
    ASSERT_EQ(DeleteElementAt(&v_, position), 1);
    std::vector<int> expected{0, 1, 2, 3};
    expected.erase(expected.begin() + position);
    EXPECT_EQ(Ints(v_), expected);
    Add({9});  // appends behind the right tail
    expected.push_back(9);
    EXPECT_EQ(Ints(v_), expected);
    FreeVector(&v_);
  }
  Add({1});
  EXPECT_EQ(DeleteElementAt(&v_, 1), 0);
  EXPECT_EQ(DeleteElementAt(&v_, -1), 0);
  EXPECT_EQ(Ints(v_), (std::vector<int>{1}));
}

TEST_F(VectorTest, DeleteTheTailLinkMovesTheTailBack) {
  Unsorted();
  Add({1, 2, 3});
  ASSERT_EQ(DeleteElement(&v_, v_.tail), 1);
  EXPECT_EQ(v_.tail->element, Value(2));
  Add({4});
  EXPECT_EQ(Ints(v_), (std::vector<int>{1, 2, 4}));
}

TEST_F(VectorTest, DeleteLCDVectorComparesPointersNotContent) {
  Unsorted();
  char first[] = "same";
  char second[] = "same";
  ASSERT_EQ(AddElementData(&v_, first), 1);
  char other[] = "same";
  EXPECT_EQ(DeleteLCDVector(&v_, other), 0);
  EXPECT_EQ(v_.count, 1);
  ASSERT_EQ(AddElementData(&v_, second), 1);
  ASSERT_EQ(AddElementData(&v_, first), 1);
  EXPECT_EQ(DeleteLCDVector(&v_, first), 1);  // only the first link holding it
  EXPECT_EQ(Walk(v_), (std::vector<void*>{second, first}));
  EXPECT_EQ(DeleteLCDVector(&v_, first), 1);
  EXPECT_EQ(Walk(v_), (std::vector<void*>{second}));
  EXPECT_EQ(DeleteLCDVector(nullptr, first), 0);
}

TEST_F(VectorTest, FreeVectorKeepsElementsAndTheRecordUsable) {
  Sorted();
  Add({3, 1, 2});
  FreeVector(&v_);
  EXPECT_EQ(v_.count, 0);
  EXPECT_EQ(v_.head, nullptr);
  EXPECT_EQ(v_.compare, &CompareInts);
  EXPECT_EQ(*Value(3), 3);
  Add({2, 1});
  EXPECT_EQ(Ints(v_), (std::vector<int>{1, 2}));
}

TEST_F(VectorTest, AddElementDataFailureChangesNothing) {
  Unsorted();
  Add({1});
  {
    AllocationFailure fail(1);
    EXPECT_EQ(AddElementData(&v_, Value(2)), 0);
  }
  EXPECT_EQ(Ints(v_), (std::vector<int>{1}));
  EXPECT_EQ(AddElementData(nullptr, Value(2)), 0);
  EXPECT_EQ(AddElement(&v_, nullptr), 0);
}

TEST_F(VectorTest, MergeMovesElementPointersAndEmptiesTheSource) {
  Unsorted();
  Add({1, 2});
  Vector source{};
  InitVector(&source, nullptr);
  AddElementData(&source, Value(3));
  AddElementData(&source, Value(1));
  EXPECT_EQ(MergeVector(&v_, &source), 1);
  EXPECT_EQ(Walk(v_), (std::vector<void*>{Value(1), Value(2), Value(3), Value(1)}));
  EXPECT_EQ(source.count, 0);
  EXPECT_EQ(source.head, nullptr);
  ASSERT_EQ(AddElementData(&source, Value(4)), 1);  // still usable
  EXPECT_EQ(Walk(source), (std::vector<void*>{Value(4)}));
  FreeVector(&source);
}

TEST_F(VectorTest, MergeIntoSortedTargetDropsDuplicates) {
  Sorted();
  Add({2, 4});
  Vector source{};
  InitVector(&source, nullptr);
  for (int value : {5, 2, 1, 4}) AddElementData(&source, Value(value));
  EXPECT_EQ(MergeVector(&v_, &source), 1);
  EXPECT_EQ(Ints(v_), (std::vector<int>{1, 2, 4, 5}));
  EXPECT_EQ(source.count, 0);
}

TEST_F(VectorTest, MergeFailureLeavesBothVectorsUnchanged) {
  Unsorted();
  Add({1});
  Vector source{};
  InitVector(&source, nullptr);
  for (int value : {2, 3, 4}) AddElementData(&source, Value(value));
  for (long n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    AllocationFailure fail(n);
    EXPECT_EQ(MergeVector(&v_, &source), 99);
    EXPECT_EQ(Ints(v_), (std::vector<int>{1}));
    EXPECT_EQ(Ints(source), (std::vector<int>{2, 3, 4}));
  }
  EXPECT_EQ(MergeVector(&v_, nullptr), 0);
  EXPECT_EQ(MergeVector(&v_, &v_), 0);
  FreeVector(&source);
}

TEST(VectorCreate, CreateVectorAndItsFailureMessage) {
  LogCapture log;
  Vector* vector = CreateVector();
  ASSERT_NE(vector, nullptr);
  EXPECT_EQ(vector->count, 0);
  EXPECT_EQ(vector->compare, nullptr);
  std::free(vector);
  {
    AllocationFailure fail(1);
    EXPECT_EQ(CreateVector(), nullptr);
  }
  EXPECT_TRUE(log.HasError("MEMORY_ALLOCATION_FAILURE\n"));
}

TEST(VectorClone, CloneCopiesStringsInOrderWithoutTheComparator) {
  static const VectorCompare compare = [](VectorNode* a, VectorNode* b) {
    return static_cast<std::int8_t>(std::clamp(std::strcmp(static_cast<char*>(a->element), static_cast<char*>(b->element)), -1, 1));
  };
  Vector source{};
  InitVector(&source, &compare);
  char b[] = "beta";
  char a[] = "alpha";
  AddElementData(&source, b);
  AddElementData(&source, a);
  Vector* clone = CloneVector(&source);
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->compare, nullptr);
  std::vector<std::string> texts;
  for (void* e : Walk(*clone)) {
    EXPECT_NE(e, a);
    EXPECT_NE(e, b);
    texts.emplace_back(static_cast<char*>(e));
    std::free(e);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"alpha", "beta"}));
  FreeVector(clone);
  std::free(clone);
  FreeVector(&source);
}

TEST(VectorClone, NullEmptyAndFailingClones) {
  LogCapture log;
  EXPECT_EQ(CloneVector(nullptr), nullptr);
  EXPECT_TRUE(log.HasError("Cannot clone vector.  Vector is NULL.\n"));
  EXPECT_TRUE(log.HasTrace("@@@@ Inside CloneVector @@@@\n"));

  Vector source{};
  InitVector(&source, nullptr);
  Vector* empty = CloneVector(&source);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->count, 0);
  std::free(empty);

  {
    AllocationFailure fail(1);
    EXPECT_EQ(CloneVector(&source), nullptr);
  }
  EXPECT_EQ(log.Count("[ERROR]", "MEMORY_ALLOCATION_FAILURE\n"), 2);  // CreateVector, then the clone

  char x[] = "x";
  char y[] = "y";
  AddElementData(&source, x);
  AddElementData(&source, y);
  // Record, copy, link, copy, link: each failure must leave nothing allocated.
  for (long n = 2; n <= 5; ++n) {
    SCOPED_TRACE(n);
    AllocationFailure fail(n);
    EXPECT_EQ(CloneVector(&source), nullptr);
  }
  EXPECT_EQ(source.count, 2);
  FreeVector(&source);
}

TEST(VectorLogging, EveryLockedOperationWritesItsBanner) {
  LogCapture log;
  Vector v{};
  InitVector(&v, nullptr);
  int one = 1;
  AddElementData(&v, &one);
  InsertElementAt(&v, NewLink(&one), 0);
  ElementAt(&v, 0);
  GetNthElement(&v, 0, v.head);
  DeleteElement(&v, v.head);
  DeleteElementAt(&v, 0);
  AddElementData(&v, &one);
  DeleteLCDVector(&v, &one);
  Vector other{};
  InitVector(&other, nullptr);
  MergeVector(&v, &other);
  FreeVector(&v);
  for (const char* name : {"InitVector", "AddElement", "InsertElementAt", "ElementAt", "GetNthElement",
                           "DeleteElement", "DeleteElementAt", "DeleteLCDVector", "MergeVector", "FreeVector"}) {
    EXPECT_TRUE(log.HasTrace(std::string("\n\t@@@@@ Inside ") + name + "() @@@@@ \n")) << name;
  }
  EXPECT_FALSE(log.HasTrace("\n\t@@@@@ Inside AddElementData() @@@@@ \n"));
}

// Several threads append, read and delete on one vector; run under TSan this checks that
// the object lock really serialises every operation.
TEST(VectorThreads, ConcurrentAppendsAndDeletesKeepTheListSound) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 150;
  Vector v{};
  InitVector(&v, nullptr);
  std::vector<std::vector<int>> values(kThreads, std::vector<int>(kPerThread));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&v, &values, t] {
      std::mt19937 random(static_cast<unsigned>(1000 + t));
      for (int i = 0; i < kPerThread; ++i) {
        values[t][i] = t * kPerThread + i;
        ASSERT_EQ(AddElementData(&v, &values[t][i]), 1);
        VectorNode* first = ElementAt(&v, 0);
        EXPECT_NE(first, nullptr);  // at least this thread's own element is in it
        if (i % 2 == 1) {
          // Delete one of this thread's own earlier elements (odd ones go, even stay).
          int victim = static_cast<int>(random() % static_cast<unsigned>(i / 2 + 1)) * 2 + 1;
          if (victim <= i && values[t][victim] >= 0) {
            ASSERT_EQ(DeleteLCDVector(&v, &values[t][victim]), 1);
            values[t][victim] = -1;  // this thread's own bookkeeping
          }
        }
      }
      for (int i = 1; i < kPerThread; i += 2) {
        if (values[t][i] >= 0) {
          ASSERT_EQ(DeleteLCDVector(&v, &values[t][i]), 1);
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::multiset<int> remaining;
  for (void* e : Walk(v)) remaining.insert(*static_cast<int*>(e));
  std::multiset<int> expected;
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kPerThread; i += 2) expected.insert(t * kPerThread + i);
  }
  EXPECT_EQ(remaining, expected);
  // Appends of one thread keep their relative order.
  std::vector<int> last(kThreads, -1);
  for (void* e : Walk(v)) {
    int value = *static_cast<int*>(e);
    EXPECT_GT(value, last[value / kPerThread]);
    last[value / kPerThread] = value;
  }
  FreeVector(&v);
}

}  // namespace
