#include "store/util/str_buf.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "store/util/alloc.h"

namespace {

struct AllocationFailure {
  explicit AllocationFailure(long n) { VtFailAllocationAt(n); }
  ~AllocationFailure() { VtFailAllocationAt(0); }
};

class StrBufTest : public ::testing::Test {
 protected:
  void TearDown() override { std::free(buffer_.text); }
  StrBuf buffer_{};
};

TEST_F(StrBufTest, InitGivesAnEmptyTerminatedText) {
  ASSERT_EQ(StrBufInit(&buffer_, 16, 8), 1);
  EXPECT_EQ(buffer_.length, 0);
  EXPECT_EQ(buffer_.capacity, 16);
  EXPECT_EQ(buffer_.step, 8);
  ASSERT_NE(buffer_.text, nullptr);
  EXPECT_STREQ(buffer_.text, "");
}

TEST_F(StrBufTest, GrowsByTheFewestWholeSteps) {
  struct Case {
    int capacity, step, prefill, append, capacityAfter;
  };
  const Case cases[] = {
      {1000, 1000, 0, 2500, 3000},  // k = 2
      {1000, 1000, 0, 1000, 1000},  // exactly the room left: no growth
      {1000, 1000, 0, 1001, 2000},  // one byte more: one step
      {10, 3, 10, 1, 13},
      {10, 3, 10, 7, 19},           // k = 3
      {0, 512, 0, 1, 512},
      {512, 512, 500, 600, 1536},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.capacity) + "/" + std::to_string(c.step) + "+" + std::to_string(c.append));
    StrBuf buffer{};
    ASSERT_EQ(StrBufInit(&buffer, c.capacity, c.step), 1);
    std::string expected(static_cast<std::size_t>(c.prefill), 'p');
    if (c.prefill > 0) {
      ASSERT_EQ(StrBufAppend(&buffer, expected.c_str()), 1);
    }
    std::string more(static_cast<std::size_t>(c.append), 'x');
    ASSERT_EQ(StrBufAppend(&buffer, more.c_str()), 1);
    expected += more;
    EXPECT_EQ(buffer.capacity, c.capacityAfter);
    EXPECT_EQ(buffer.length, static_cast<int>(expected.size()));
    EXPECT_EQ(std::string(buffer.text), expected);
    std::free(buffer.text);
  }
}

TEST_F(StrBufTest, EmptyAppendChangesNothing) {
  ASSERT_EQ(StrBufInit(&buffer_, 4, 4), 1);
  ASSERT_EQ(StrBufAppend(&buffer_, "abcd"), 1);
  char* block = buffer_.text;
  EXPECT_EQ(StrBufAppend(&buffer_, ""), 1);
  EXPECT_EQ(buffer_.length, 4);
  EXPECT_EQ(buffer_.capacity, 4);
  EXPECT_EQ(buffer_.text, block);
}

TEST_F(StrBufTest, DefaultHoldsTenThousandBytesBeforeGrowing) {
  ASSERT_EQ(StrBufInitDefault(&buffer_), 1);
  EXPECT_EQ(buffer_.capacity, 10000);
  EXPECT_EQ(buffer_.step, 1000);
  std::string full(10000, 'a');
  ASSERT_EQ(StrBufAppend(&buffer_, full.c_str()), 1);
  EXPECT_EQ(buffer_.capacity, 10000);
  ASSERT_EQ(StrBufAppend(&buffer_, "b"), 1);
  EXPECT_EQ(buffer_.capacity, 11000);
  EXPECT_EQ(buffer_.length, 10001);
  EXPECT_EQ(buffer_.text[10000], 'b');
  EXPECT_EQ(buffer_.text[10001], '\0');
}

TEST_F(StrBufTest, FailedGrowthLeavesTheBufferUnchanged) {
  ASSERT_EQ(StrBufInit(&buffer_, 4, 4), 1);
  ASSERT_EQ(StrBufAppend(&buffer_, "abc"), 1);
  char* block = buffer_.text;
  {
    AllocationFailure fail(1);
    EXPECT_EQ(StrBufAppend(&buffer_, "defgh"), 99);
  }
  EXPECT_EQ(buffer_.text, block);
  EXPECT_STREQ(buffer_.text, "abc");
  EXPECT_EQ(buffer_.length, 3);
  EXPECT_EQ(buffer_.capacity, 4);
  EXPECT_EQ(StrBufAppend(&buffer_, "defgh"), 1);
  EXPECT_STREQ(buffer_.text, "abcdefgh");
}

TEST_F(StrBufTest, FailedInitLeavesNoText) {
  AllocationFailure fail(1);
  EXPECT_EQ(StrBufInit(&buffer_, 10, 10), 99);
  EXPECT_EQ(buffer_.text, nullptr);
}

TEST_F(StrBufTest, AppendingItsOwnTextWhileGrowing) {
  ASSERT_EQ(StrBufInit(&buffer_, 4, 2), 1);
  ASSERT_EQ(StrBufAppend(&buffer_, "abcd"), 1);
  ASSERT_EQ(StrBufAppend(&buffer_, buffer_.text + 1), 1);  // the source lies in the old block
  EXPECT_STREQ(buffer_.text, "abcdbcd");
  EXPECT_EQ(buffer_.capacity, 8);
}

TEST_F(StrBufTest, BadArgumentsAreRefused) {
  EXPECT_EQ(StrBufInit(nullptr, 4, 4), 0);
  EXPECT_EQ(StrBufInit(&buffer_, -1, 4), 0);
  EXPECT_EQ(StrBufAppend(nullptr, "a"), 0);
  EXPECT_EQ(StrBufAppend(&buffer_, "a"), 0);  // no block
  ASSERT_EQ(StrBufInit(&buffer_, 2, 0), 1);
  EXPECT_EQ(StrBufAppend(&buffer_, "ab"), 1);
  EXPECT_EQ(StrBufAppend(&buffer_, "c"), 0);  // must grow, but the step is 0
  EXPECT_STREQ(buffer_.text, "ab");
  EXPECT_EQ(StrBufAppend(&buffer_, nullptr), 0);
}

}  // namespace
