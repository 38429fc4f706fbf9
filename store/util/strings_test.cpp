#include "store/util/strings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "store/util/alloc.h"
#include "store/util/log_capture_for_tests.h"

namespace {

// Takes ownership of a routine's new string; nullopt stands for null.
std::optional<std::string> Take(char* text) {
  if (text == nullptr) return std::nullopt;
  std::string copy(text);
  std::free(text);
  return copy;
}

std::vector<std::string> TakeArray(char** pieces) {
  std::vector<std::string> result;
  if (pieces == nullptr) return result;
  for (char** p = pieces; *p != nullptr; ++p) {
    result.emplace_back(*p);
    std::free(*p);
  }
  std::free(pieces);
  return result;
}

// Disarms an armed allocation failure however a test ends.
struct AllocationFailure {
  explicit AllocationFailure(long n) { VtFailAllocationAt(n); }
  ~AllocationFailure() { VtFailAllocationAt(0); }
};

const std::nullopt_t none = std::nullopt;

// ---------------------------------------------------------------- copies

TEST(StringCopies, AllocateAndSetStringCopiesAndReportsFailures) {
  char* target = nullptr;
  const char* text = "abc";
  ASSERT_EQ(AllocateAndSetString(&target, text), 1);
  EXPECT_NE(target, text);
  EXPECT_STREQ(target, "abc");
  std::free(target);

  char* kept = nullptr;
  EXPECT_EQ(AllocateAndSetString(&kept, nullptr), 0);
  EXPECT_EQ(AllocateAndSetString(nullptr, "x"), 0);
  {
    AllocationFailure fail(1);
    EXPECT_EQ(AllocateAndSetString(&kept, "abc"), 99);
  }
  EXPECT_EQ(kept, nullptr);
}

TEST(StringCopies, AllocateAndSetBytesTerminatesAndLogsFailure) {
  LogCapture log;
  char* target = nullptr;
  ASSERT_EQ(AllocateAndSetBytes(&target, "ab\0cd", 5), 1);
  EXPECT_EQ(std::memcmp(target, "ab\0cd\0", 6), 0);
  std::free(target);

  target = nullptr;
  ASSERT_EQ(AllocateAndSetBytes(&target, nullptr, 0), 1);
  EXPECT_STREQ(target, "");
  std::free(target);

  char* kept = nullptr;
  EXPECT_EQ(AllocateAndSetBytes(&kept, "x", -1), 0);
  EXPECT_EQ(AllocateAndSetBytes(&kept, nullptr, 3), 0);
  EXPECT_FALSE(log.HasError("Unable to allocate memory\n"));
  {
    AllocationFailure fail(1);
    EXPECT_EQ(AllocateAndSetBytes(&kept, "abc", 3), 99);
  }
  EXPECT_EQ(kept, nullptr);
  EXPECT_TRUE(log.HasError("Unable to allocate memory\n"));
}

TEST(StringCopies, ReallocateAndSetStringReplacesAndMayReadTheOldTarget) {
  LogCapture log;
  char* target = nullptr;
  ASSERT_EQ(AllocateAndSetString(&target, "hello world"), 1);
  // The new text lies inside the old target: it must be copied before the old one goes.
  ASSERT_EQ(ReallocateAndSetString(&target, target + 6, 5), 1);
  EXPECT_STREQ(target, "world");
  EXPECT_TRUE(log.HasTrace("\n\t@@@@@ Inside ReallocateAndSetString() @@@@@ \n"));

  char* before = target;
  {
    AllocationFailure fail(1);
    EXPECT_EQ(ReallocateAndSetString(&target, "xyz", 3), 99);
  }
  EXPECT_EQ(target, before);
  EXPECT_STREQ(target, "world");
  EXPECT_TRUE(log.HasError("Unable to allocate memory\n"));
  std::free(target);
}

// ---------------------------------------------------------------- searching and cutting

struct SearchCase {
  const char* text;
  const char* pattern;
  int count, index, lastIndex;
  std::optional<std::string> before, after, removeAll, removeFirst, removeLast;
};

TEST(StringSearch, OccurrenceRoutinesAgree) {
  const SearchCase cases[] = {
      {"a:b:c", ":", 2, 1, 3, "a", "b:c", "abc", "ab:c", "a:bc"},
      {"abc", ":", 0, 0, -1, "", "bc", "abc", none, none},
      {":abc", ":", 1, 0, 0, "", "abc", "abc", "abc", "abc"},
      {"aaa", "aa", 1, 0, 0, "", "a", "a", "a", "a"},
      {"aaaa", "aa", 2, 0, 2, "", "aa", "", "aa", "aa"},
      {"aab", "ab", 1, 1, 1, "a", "", "a", "a", "a"},
      {"x.log.log", ".log", 2, 1, 5, "x", ".log", "x", "x.log", "x.log"},
      // Absent and longer than the text: nothing may be read behind the text.
      {"ab", "abcd", 0, 0, -1, "", "", "ab", none, none},
      {"", ":", 0, 0, -1, "", "", "", none, none},
      {"abc", "", 0, 0, -1, "", "abc", "abc", none, none},
  };
  for (const SearchCase& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " / " + c.pattern);
    EXPECT_EQ(CountSubString(c.text, c.pattern), c.count);
    EXPECT_EQ(IndexOfSubString(c.text, c.pattern), c.index);
    EXPECT_EQ(LastIndexOfSubString(c.text, c.pattern), c.lastIndex);
    EXPECT_EQ(Take(GetTextBefore(c.text, c.pattern)), c.before);
    EXPECT_EQ(Take(GetTextAfter(c.text, c.pattern)), c.after);
    EXPECT_EQ(Take(RemoveSubStrings(c.text, c.pattern)), c.removeAll);
    EXPECT_EQ(Take(RemoveFirstSubString(c.text, c.pattern)), c.removeFirst);
    EXPECT_EQ(Take(RemoveLastSubString(c.text, c.pattern)), c.removeLast);
  }
}

TEST(StringSearch, NullArgumentsGiveMinusOneOrNull) {
  for (auto [text, pattern] : {std::pair<const char*, const char*>{nullptr, ":"}, {"a:b", nullptr}}) {
    EXPECT_EQ(CountSubString(text, pattern), -1);
    EXPECT_EQ(IndexOfSubString(text, pattern), -1);
    EXPECT_EQ(LastIndexOfSubString(text, pattern), -1);
    EXPECT_EQ(GetTextBefore(text, pattern), nullptr);
    EXPECT_EQ(GetTextAfter(text, pattern), nullptr);
    EXPECT_EQ(SplitString(text, pattern), nullptr);
    EXPECT_EQ(GetTextAfterLast(text, pattern), nullptr);
    EXPECT_EQ(RemoveSubStrings(text, pattern), nullptr);
    EXPECT_EQ(RemoveFirstSubString(text, pattern), nullptr);
    EXPECT_EQ(RemoveLastSubString(text, pattern), nullptr);
    EXPECT_EQ(SubString(text, pattern), nullptr);
    EXPECT_EQ(FindSubString(text, pattern), 0);
  }
  EXPECT_EQ(KeepLetters(nullptr), nullptr);
  EXPECT_EQ(TrimChar(nullptr, ' '), nullptr);
  EXPECT_EQ(StringLength(nullptr), 0);
}

TEST(StringSearch, SplitStringGivesPiecesAndANullTerminator) {
  struct Case {
    const char* text;
    std::vector<std::string> pieces;
  };
  const Case cases[] = {
      {"a:b:c", {"a", "b", "c"}},
      {"abc", {"abc"}},
      {":a:", {"", "a", ""}},
      {"", {""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(TakeArray(SplitString(c.text, ":")), c.pieces);
  }
}

TEST(StringSearch, GetTextAfterLastCopiesOnlyWhenThePatternOccurs) {
  const char* text = "a:b:c";
  char* last = GetTextAfterLast(text, ":");
  ASSERT_NE(last, text);
  EXPECT_EQ(Take(last), "c");

  const char* plain = "abc";
  EXPECT_EQ(GetTextAfterLast(plain, ":"), plain);
  EXPECT_EQ(Take(GetTextAfterLast("x.log.log", ".log")), "");
}

TEST(StringSearch, FailedAllocationsLeaveNothingBehind) {
  // Each allocation fails once in turn; LeakSanitizer checks that nothing is left behind.
  for (long n = 1; n <= 5; ++n) {
    SCOPED_TRACE(n);
    AllocationFailure fail(n);
    std::vector<std::string> pieces = TakeArray(SplitString("a:b:c", ":"));  // 4 allocations
    const std::vector<std::string> whole{"a", "b", "c"};
    EXPECT_EQ(pieces, n <= 4 ? std::vector<std::string>() : whole);
  }
  for (long n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    AllocationFailure fail(n);
    EXPECT_EQ(Take(TrimChar("  x  ", ' ')), n <= 2 ? none : std::optional<std::string>("x"));
  }
}

TEST(StringFilters, KeepAndRemoveCharacterClasses) {
  const char* text = "a1-B2 c!\xE9";
  EXPECT_EQ(Take(KeepLetters(text)), "aBc");
  EXPECT_EQ(Take(KeepLettersAndDigits(text)), "a1B2c");
  EXPECT_EQ(Take(RemoveLettersAndDigits(text)), "- !\xE9");
  EXPECT_EQ(Take(KeepLetters("")), "");
}

TEST(StringFilters, TrimRemovesRunsAndGivesNullForNothingLeft) {
  struct Case {
    const char* text;
    char c;
    std::optional<std::string> leading, trailing, both;
  };
  const Case cases[] = {
      {"  x  ", ' ', "x  ", "  x", "x"},
      {"xxx", 'x', none, none, none},
      {"", 'x', none, none, none},
      {"xxabxx", 'x', "abxx", "xxab", "ab"},
      {"a b", ' ', "a b", "a b", "a b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Take(TrimLeadingChar(c.text, c.c)), c.leading);
    EXPECT_EQ(Take(TrimTrailingChar(c.text, c.c)), c.trailing);
    EXPECT_EQ(Take(TrimChar(c.text, c.c)), c.both);
  }
}

TEST(NextToken, CutsTokensInPlaceAndEndsWithNull) {
  char text[] = "  a,b;;c  ";
  char* cursor = reinterpret_cast<char*>(1);  // must be overwritten
  std::vector<std::string> tokens;
  for (char* token = NextToken(text, " ,;", &cursor); token != nullptr; token = NextToken(nullptr, " ,;", &cursor)) {
    tokens.emplace_back(token);
  }
  EXPECT_EQ(tokens, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(cursor, nullptr);
  EXPECT_EQ(text[3], '\0');  // the "," behind "a" was cut
}

TEST(NextToken, ATokenEndingTheStringClearsTheCursor) {
  char text[] = "ab";
  char* cursor = nullptr;
  EXPECT_STREQ(NextToken(text, ",", &cursor), "ab");
  EXPECT_EQ(cursor, nullptr);
  EXPECT_EQ(NextToken(nullptr, ",", &cursor), nullptr);
  EXPECT_EQ(NextToken(text, nullptr, &cursor), nullptr);
  EXPECT_EQ(NextToken(text, ",", nullptr), nullptr);
}

TEST(NextToken, TwoTokenizersKeepNoSharedState) {
  char first[] = "1 2 3";
  char second[] = "x y";
  char* a = nullptr;
  char* b = nullptr;
  EXPECT_STREQ(NextToken(first, " ", &a), "1");
  EXPECT_STREQ(NextToken(second, " ", &b), "x");
  EXPECT_STREQ(NextToken(nullptr, " ", &a), "2");
  EXPECT_STREQ(NextToken(nullptr, " ", &b), "y");
  EXPECT_STREQ(NextToken(nullptr, " ", &a), "3");
  EXPECT_EQ(NextToken(nullptr, " ", &b), nullptr);
}

TEST(StringSearch, SubStringPointsIntoTheTextAndLogsItsBanner) {
  LogCapture log;
  const char* text = "hello";
  EXPECT_EQ(SubString(text, "ll"), text + 2);
  EXPECT_EQ(SubString(text, ""), text);
  EXPECT_EQ(SubString("he", "hello"), nullptr);
  EXPECT_EQ(SubString(text, "xy"), nullptr);
  EXPECT_EQ(FindSubString(text, "lo"), 1);
  EXPECT_EQ(FindSubString(text, "ol"), 0);
  EXPECT_TRUE(log.HasTrace("\n\t@@@@@ Inside SubString() @@@@@ \n"));
  EXPECT_TRUE(log.HasTrace("\n\t@@@@@ Inside FindSubString() @@@@@ \n"));
}

TEST(StringSearch, GetIndexLooksOnlyWithinLength) {
  LogCapture log;
  EXPECT_EQ(GetIndex("abc", 3, 'c'), 2);
  EXPECT_EQ(GetIndex("abc", 2, 'c'), -1);
  EXPECT_EQ(GetIndex("a\0c", 3, 'c'), 2);
  EXPECT_EQ(GetIndex(nullptr, 3, 'c'), -1);
  EXPECT_EQ(GetIndex("abc", -1, 'a'), -1);
  EXPECT_TRUE(log.HasTrace("\n\t@@@@@ Inside GetIndex() @@@@@ \n"));
}

TEST(StringSearch, IsStringMatchedComparesWholeItems) {
  LogCapture log;
  struct Case {
    const char* list;
    int listLength;
    const char* candidate;
    std::uint8_t expected;
  };
  const Case cases[] = {
      {"a,bc,d", 6, "bc", 1}, {"a,bc,d", 6, "b", 0},  {"a,bc,d", 6, "a", 1}, {"a,bc,d", 6, "d", 1},
      {"a,bc,d", 4, "d", 0},  {"a, b", 4, " b", 1},   {"a, b", 4, "b", 0},   {"a,,b", 4, "", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.list) + " / " + c.candidate);
    EXPECT_EQ(IsStringMatched(c.list, c.listLength, c.candidate, static_cast<int>(std::strlen(c.candidate))),
              c.expected);
  }
  EXPECT_EQ(IsStringMatched(nullptr, 3, "a", 1), 0);
  EXPECT_TRUE(log.HasTrace("\n\t@@@@@ Inside IsStringMatched() @@@@@ \n"));
  EXPECT_TRUE(log.HasTrace("\n\t@@@@@ Inside FreeStringArray() @@@@@ \n"));
}

// ---------------------------------------------------------------- byte buffers

TEST(ByteBuffers, SplitBufferKeepsEmptyPiecesAndTheirLengths) {
  std::int32_t* lengths = nullptr;
  std::uint16_t count = 0;
  char** pieces = SplitBuffer("a,,bc,ignored", 5, ',', &lengths, &count);
  ASSERT_NE(pieces, nullptr);
  ASSERT_EQ(count, 3);
  EXPECT_STREQ(pieces[0], "a");
  EXPECT_STREQ(pieces[1], "");
  EXPECT_STREQ(pieces[2], "bc");
  EXPECT_EQ(lengths[0], 1);
  EXPECT_EQ(lengths[1], 0);
  EXPECT_EQ(lengths[2], 2);
  FreeStringArray(pieces, count);
  std::free(lengths);
}

TEST(ByteBuffers, SplitBufferRefusesMorePiecesThanItsCountHolds) {
  std::string many(65535, ',');  // 65536 pieces
  std::int32_t* lengths = nullptr;
  std::uint16_t count = 7;
  EXPECT_EQ(SplitBuffer(many.data(), static_cast<int>(many.size()), ',', &lengths, &count), nullptr);
  EXPECT_EQ(count, 7);
  many.pop_back();
  char** pieces = SplitBuffer(many.data(), static_cast<int>(many.size()), ',', &lengths, &count);
  ASSERT_NE(pieces, nullptr);
  EXPECT_EQ(count, 65535);
  FreeStringArray(pieces, count);
  std::free(lengths);
}

TEST(ByteBuffers, SplitBufferFailsCleanlyAtEveryAllocation) {
  for (long n = 1; n <= 5; ++n) {
    SCOPED_TRACE(n);
    AllocationFailure fail(n);
    std::int32_t* lengths = nullptr;
    std::uint16_t count = 0;
    EXPECT_EQ(SplitBuffer("a,b,c", 5, ',', &lengths, &count), nullptr);
    EXPECT_EQ(lengths, nullptr);
    EXPECT_EQ(count, 0);
  }
}

TEST(ByteBuffers, CountByteCountsWithinLengthAndSaturates) {
  EXPECT_EQ(CountByte("a,b,c", 5, ','), 2);
  EXPECT_EQ(CountByte("a,b,c", 2, ','), 1);
  std::string many(70000, 'x');
  EXPECT_EQ(CountByte(many.data(), static_cast<int>(many.size()), 'x'), 65535);
  EXPECT_EQ(CountByte(nullptr, 5, 'x'), 0);
}

TEST(ByteBuffers, ConvertToIntegerSignExtendsBigEndianBytes) {
  LogCapture log;
  struct Case {
    std::vector<std::uint8_t> bytes;
    std::int32_t expected;
  };
  const Case cases[] = {
      {{0xFF, 0x01}, -255},
      {{0x01, 0x00}, 256},
      {{0x80}, -128},
      {{0x7F}, 127},
      {{0x7F, 0xFF, 0xFF, 0xFF}, 2147483647},
      {{0x80, 0x00, 0x00, 0x00}, INT32_MIN},
      {{1, 2, 3, 4, 5}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes.size());
    EXPECT_EQ(ConvertToInteger(c.bytes.data(), static_cast<int>(c.bytes.size())), c.expected);
  }
  const std::uint8_t one = 1;
  EXPECT_EQ(ConvertToInteger(&one, 0), 0);
  EXPECT_EQ(ConvertToInteger(&one, -1), -1);
  EXPECT_EQ(ConvertToInteger(nullptr, 2), -1);
  EXPECT_TRUE(log.HasTrace("\n\t@@@@@ Inside ConvertToInteger() @@@@@ \n"));
}

TEST(ByteBuffers, ConvertToUnsignedIntegerTakesEveryByteUnsigned) {
  const std::uint8_t bytes[] = {0xFF, 0x01, 0x80, 0x00, 0x00, 0x01};
  EXPECT_EQ(ConvertToUnsignedInteger(bytes, 2), 65281u);
  EXPECT_EQ(ConvertToUnsignedInteger(bytes + 2, 4), 2147483649u);
  EXPECT_EQ(ConvertToUnsignedInteger(bytes, 6), 0x80000001u);  // the last four count
  EXPECT_EQ(ConvertToUnsignedInteger(nullptr, 2), 0u);
}

TEST(ByteBuffers, ReverseBytesReversesOnlyTheGivenLength) {
  char text[] = "abcde";
  ReverseBytes(text, 4);
  EXPECT_STREQ(text, "dcbae");
  ReverseBytes(text, 1);
  ReverseBytes(nullptr, 3);
  EXPECT_STREQ(text, "dcbae");
}

// ---------------------------------------------------------------- comparing

TEST(Comparing, NullsSortFirstEverywhere) {
  using Compare = std::int32_t (*)(const char*, const char*);
  for (Compare compare : {static_cast<Compare>(CompareNoCase), static_cast<Compare>(CompareStrings)}) {
    EXPECT_EQ(compare(nullptr, nullptr), 0);
    EXPECT_EQ(compare(nullptr, "a"), -1);
    EXPECT_EQ(compare("a", nullptr), 1);
  }
  EXPECT_EQ(CompareNoCaseN(nullptr, "a", 3), -1);
  EXPECT_EQ(CompareBytes("a", nullptr, 1), 1);
  EXPECT_EQ(CompareBytes(nullptr, nullptr, 1), 0);
}

TEST(Comparing, CompareStringsAndNoCaseGiveTheByteDifference) {
  struct Case {
    const char* a;
    const char* b;
    int exact, noCase;
  };
  const Case cases[] = {
      {"abc", "abc", 0, 0},     {"abc", "ABC", 'a' - 'A', 0}, {"abc", "abd", -1, -1},
      {"ab", "abc", -'c', -'c'}, {"ABD", "abc", 'A' - 'a', 1}, {"\xE9", "a", 0xE9 - 'a', 0xE9 - 'a'},
      {"[", "a", '[' - 'a', '[' - 'a'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    EXPECT_EQ(CompareStrings(c.a, c.b), c.exact);
    EXPECT_EQ(CompareNoCase(c.a, c.b), c.noCase);
  }
}

TEST(Comparing, CompareNoCaseNFoldsOnlyLetters) {
  struct Case {
    const char* a;
    const char* b;
    int limit, expected;
  };
  const Case cases[] = {
      {"abcdef", "ABCxyz", 3, 0}, {"abc", "ABC", 10, 0},  {"ab", "abc", 5, -1}, {"abc", "ab", 5, 1},
      {"ab", "abc", 2, 0},        {"a", "B", 1, -1},      {"b", "A", 1, 1},     {"1", "Q", 1, -1},
      {"@", "`", 1, -1},          {"abc", "xyz", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    EXPECT_EQ(CompareNoCaseN(c.a, c.b, c.limit), c.expected);
  }
}

TEST(Comparing, CompareBytesAndStartsWithBytesLookPastNuls) {
  EXPECT_EQ(CompareBytes("a\0b", "a\0c", 3), -1);
  EXPECT_EQ(CompareBytes("a\0b", "a\0c", 2), 0);
  EXPECT_EQ(CompareBytes("\xFF", "\x01", 1), 0xFE);
  EXPECT_EQ(StartsWithBytes("ab\0cd", 5, "ab\0c", 4), 1);
  EXPECT_EQ(StartsWithBytes("ab", 2, "abc", 3), 0);
  EXPECT_EQ(StartsWithBytes("abc", 3, "abd", 3), 0);
  EXPECT_EQ(StartsWithBytes("abc", 3, "", 0), 1);
  EXPECT_EQ(StartsWithBytes(nullptr, 3, "a", 1), 0);
}

// ---------------------------------------------------------------- numbers in text

TEST(NumbersInText, ParseSignedIntegerTable) {
  struct Case {
    const char* text;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"123", 123},          {"-45", -45},         {"+7", 7},         {"", 0},          {"-", 0},
      {"12a", -1},           {" 1", -1},           {"0", 0},          {"007", 7},       {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN}, {"2147483648", -1}, {"99999999999999999999999", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseSignedInteger(c.text), c.expected);
  }
  EXPECT_EQ(ParseSignedInteger(nullptr), -1);
}

TEST(NumbersInText, ParseUnsignedDecimalTable) {
  struct Case {
    const char* text;
    double expected;
  };
  const Case cases[] = {
      {"12.5", 12.5}, {"7", 7}, {"0.25", 0.25}, {".5", 0.5}, {"3.", 3}, {"1a", 0}, {"1.2.3", 0},
      {"-1", 0},      {"", 0},  {"1.x", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_DOUBLE_EQ(ParseUnsignedDecimal(c.text), c.expected);
  }
}

TEST(NumbersInText, IntegerAndDecimalTextChecks) {
  struct Case {
    const char* text;
    int length;
    std::uint8_t integer, decimal;
  };
  const Case cases[] = {
      {"123", 3, 1, 1}, {"-12", 3, 1, 0}, {"+1", 2, 1, 0}, {"1.5", 3, 0, 1}, {"1.5.", 4, 0, 0},
      {"12x", 2, 1, 1}, {"12x", 3, 0, 0}, {"", 0, 1, 1},   {"ab", 0, 1, 1},  {"1", 5, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + "/" + std::to_string(c.length));
    EXPECT_EQ(IsIntegerText(c.text, c.length), c.integer);
    EXPECT_EQ(IsDecimalText(c.text, c.length), c.decimal);
  }
}

TEST(NumbersInText, IntegerPowerMultipliesExponentTimes) {
  EXPECT_EQ(IntegerPower(2, 10), 1024);
  EXPECT_EQ(IntegerPower(-3, 3), -27);
  EXPECT_EQ(IntegerPower(10, 0), 1);
  EXPECT_EQ(IntegerPower(10, -2), 1);
}

// ---------------------------------------------------------------- bounded copies

TEST(BoundedCopies, CopyStringBoundedTruncatesAndReportsTheSourceLength) {
  char out[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(CopyStringBounded(out, "hello", 4), 5);
  EXPECT_STREQ(out, "hel");
  EXPECT_EQ(CopyStringBounded(out, "ab", sizeof out), 2);
  EXPECT_STREQ(out, "ab");
  out[0] = 'q';
  EXPECT_EQ(CopyStringBounded(out, "zz", 0), 0);
  EXPECT_EQ(out[0], 'q');
  EXPECT_EQ(CopyStringBounded(nullptr, "zz", 3), 0);
}

TEST(BoundedCopies, AppendStringBoundedFillsWhatFits) {
  char out[6] = "ab";
  EXPECT_EQ(AppendStringBounded(out, "cdefg", sizeof out), 7);
  EXPECT_STREQ(out, "abcde");
  EXPECT_EQ(AppendStringBounded(out, "x", sizeof out), 6);
  EXPECT_STREQ(out, "abcde");
  char unterminated[3] = {'a', 'b', 'c'};
  EXPECT_EQ(AppendStringBounded(unterminated, "xy", 3), 5);
  EXPECT_EQ(unterminated[2], 'c');
  EXPECT_EQ(AppendStringBounded(out, "x", 0), 0);
}

TEST(StandardPrimitives, BehaveAsTheStandardOnesAndRefuseNulls) {
  char out[8];
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(StringCopyN(out, "ab", 5), out);
  EXPECT_EQ(std::memcmp(out, "ab\0xx", 5), 0);  // stops after the terminator, no padding
  EXPECT_EQ(StringCopy(out, "hi"), out);
  EXPECT_EQ(StringAppend(out, "!"), out);
  EXPECT_STREQ(out, "hi!");
  EXPECT_EQ(StringCopy(out, nullptr), nullptr);
  EXPECT_EQ(StringCopy(nullptr, "a"), nullptr);
  const char* text = "abc";
  EXPECT_EQ(CharFind(text, 'c'), text + 2);
  EXPECT_EQ(CharBreak(text, "xc"), text + 2);
  EXPECT_EQ(CharSpan(text, "ba"), 2u);
  EXPECT_EQ(ByteFind(text, 'b', 3), text + 1);
  EXPECT_EQ(ByteFind(text, 'c', 2), nullptr);
  EXPECT_EQ(ByteFill(out, 'z', 2), out);
  EXPECT_EQ(out[1], 'z');
  EXPECT_EQ(ByteCopy(out, "12", 2), out);
  EXPECT_EQ(out[1], '2');
  EXPECT_LT(StringCompareN("abc", "abd", 3), 0);
  EXPECT_EQ(StringCompareN("abc", "abd", 2), 0);
  EXPECT_EQ(StringCompareN(nullptr, "a", 1), -1);
}

}  // namespace
