#include "store/util/oid.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "store/util/alloc.h"
#include "store/util/log_capture_for_tests.h"

namespace {

struct AllocationFailure {
  explicit AllocationFailure(long n) { VtFailAllocationAt(n); }
  ~AllocationFailure() { VtFailAllocationAt(0); }
};

using SubIds = std::vector<std::uint32_t>;

TEST(OidCopies, ReallocateAndSetOIDCopiesWithATrailingZero) {
  LogCapture log;
  std::uint32_t* target = nullptr;
  std::int32_t count = -1;
  const SubIds source{1, 3, 6};
  ASSERT_EQ(ReallocateAndSetOID(&target, &count, source.data(), 3), 1);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(SubIds(target, target + 4), (SubIds{1, 3, 6, 0}));
  // The new copy may come from the old target itself.
  ASSERT_EQ(ReallocateAndSetOID(&target, &count, target + 1, 2), 1);
  EXPECT_EQ(SubIds(target, target + 2), (SubIds{3, 6}));
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(log.HasTrace("\n\t@@@@@ Inside ReallocateAndSetOID() @@@@@ \n"));

  std::uint32_t* before = target;
  {
    AllocationFailure fail(1);
    EXPECT_EQ(ReallocateAndSetOID(&target, &count, source.data(), 3), 99);
  }
  EXPECT_EQ(target, before);
  EXPECT_EQ(count, 2);
  // The message carries no line feed of its own, so it ends the log text.
  EXPECT_TRUE(log.Text().ends_with("] [ERROR] Unable to allocate memory"));
  std::free(target);
}

TEST(OidText, LengthAndValidity) {
  struct Case {
    const char* text;
    int length;
    std::int32_t dots;
    std::uint8_t valid;
  };
  const Case cases[] = {
      {".1.3.6.1", 8, 4, 1}, {".1", 2, 1, 0}, {"1.3.6", 5, 2, 0}, {".1.3.6.1", 4, 2, 1},
      {".1.3", 99, 2, 1},  // stops at the NUL
      {"", 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(GetOidLength(c.text, c.length), c.dots);
    EXPECT_EQ(IsValidOid(c.text, c.length), c.valid);
  }
  EXPECT_EQ(GetOidLength(nullptr, 3), 0);
}

TEST(OidCompare, CompareOidTable) {
  struct Case {
    SubIds a, b;
    std::int8_t expected;
  };
  const Case cases[] = {
      {{1, 3, 6}, {1, 3, 6, 1}, -1},
      {{1, 3, 7}, {1, 3, 6, 1}, 1},
      {{1, 3, 6}, {1, 3, 6}, 0},
      {{4294967295u}, {1}, 1},  // unsigned
      {{}, {}, 0},
      {{1}, {}, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CompareOid(c.a.data(), static_cast<int>(c.a.size()), c.b.data(), static_cast<int>(c.b.size())),
              c.expected);
  }
}

TEST(OidCopies, CopySetAndNext) {
  SubIds target(5, 0);
  const SubIds source{7, 8, 9};
  CopyOid(target.data(), source.data(), 2);
  EXPECT_EQ(target, (SubIds{7, 8, 0, 0, 0}));
  SetNOid(target.data(), source.data(), 2, 3);
  EXPECT_EQ(target, (SubIds{7, 8, 7, 8, 9}));
  EXPECT_EQ(GetNextSubId(7, target.data(), 5), 8u);
  EXPECT_EQ(GetNextSubId(9, target.data(), 5), 0u);
  const SubIds big{1, 4294967295u};
  EXPECT_EQ(GetNextSubId(2, big.data(), 2), 4294967295u);
}

TEST(OidText, ConvertToStringFromOIDUsesUnsignedDecimals) {
  LogCapture log;
  const SubIds ids{1, 3, 4294967295u};
  std::int32_t length = 12;
  char* text = ConvertToStringFromOID(ids.data(), &length);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, ".1.3.4294967295");
  EXPECT_EQ(length, 15);
  std::free(text);
  EXPECT_TRUE(log.HasTrace("The SubId IS 4294967295\n"));
  EXPECT_TRUE(log.HasTrace("The String rep as SubId is 3\n"));
  EXPECT_TRUE(log.HasTrace("The String rep as OID is .1.3.4294967295\n"));

  length = 0;
  text = ConvertToStringFromOID(ids.data(), &length);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "");
  std::free(text);
  length = -4;
  EXPECT_EQ(ConvertToStringFromOID(ids.data(), &length), nullptr);
}

TEST(OidText, BoundedWritersRefuseTooSmallBuffers) {
  const SubIds ids{10, 1, 2, 3, 4294967295u};
  char out[16];
  EXPECT_EQ(ConvertToStringFromOid(ids.data(), 4, out, sizeof out), 1);
  EXPECT_STREQ(out, ".10.1.2.3");
  EXPECT_EQ(ConvertToStringFromOid(ids.data(), 5, out, sizeof out), 0);  // 20 characters
  EXPECT_STREQ(out, "");
  EXPECT_EQ(ConvertToStringFromOid(ids.data(), 4, out, 9), 0);  // no room for the NUL
  EXPECT_EQ(ConvertToStringFromOid(ids.data(), 4, out, 10), 1);

  LogCapture log;
  EXPECT_EQ(ConvertToIpAddressFromOid(out, sizeof out, ids.data(), 0, 4), 1);
  EXPECT_STREQ(out, "10.1.2.3");
  EXPECT_EQ(ConvertToIpAddressFromOid(out, sizeof out, ids.data(), 1, 3), 1);
  EXPECT_STREQ(out, "1.2");
  EXPECT_EQ(ConvertToIpAddressFromOid(out, 4, ids.data(), 0, 4), 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(ConvertToIpAddressFromOid(out, sizeof out, ids.data(), 3, 1), 0);
  EXPECT_TRUE(log.HasTrace("\n\t@@@@@ Inside ConvertToIpAddressFromOid()\t@@@@@ \n"));
}

TEST(OidBytes, CharArrayAndStringCopies) {
  const SubIds ids{255, 256, 65, 510};
  std::uint8_t out[5];
  std::memset(out, 0xEE, sizeof out);
  ConvertToCharArray(out, ids.data(), 0, 4);
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + 5), (std::vector<std::uint8_t>{0, 1, 65, 0, 0}));

  SubIds fromText(3, 7);
  CopyStringToOid(fromText.data(), "a\xFF");
  EXPECT_EQ(fromText, (SubIds{97, 4294967295u, 7}));  // signed bytes
  SubIds fromBytes(3, 7);
  const std::uint8_t bytes[] = {97, 0xFF};
  CopyStringToOID(fromBytes.data(), bytes, 2);
  EXPECT_EQ(fromBytes, (SubIds{97, 255, 7}));
}

TEST(OidParse, ConvertToOidOrIpFromStringTable) {
  struct Case {
    const char* text;
    std::uint8_t isIp;
    std::int32_t result;
    SubIds ids;
  };
  const Case cases[] = {
      {".1.3.6.1", 0, 4, {1, 3, 6, 1}},
      {"10.0.0.1", 1, 4, {10, 0, 0, 1}},
      {"1..2", 1, -1, {}},
      {"1.a.2", 1, -1, {}},
      {"12", 1, -1, {}},
      {"12", 0, -1, {}},
      {".1.+", 0, -1, {}},   // zero value not written with a final "0"
      {".1.+0", 0, 2, {1, 0}},
      {".1.", 0, -1, {}},    // empty last component
      {"12.3", 0, 0, {2, 3}},  // more components than dots promise: kept, but 0
      {".1.12345678901234567890", 0, -1, {}},  // 20 characters
      {".1.0000000000000000007", 0, 2, {1, 7}},  // 19 characters
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::uint32_t* ids = reinterpret_cast<std::uint32_t*>(16);  // must be overwritten
    EXPECT_EQ(ConvertToOidOrIpFromString(&ids, c.text, c.isIp), c.result);
    if (c.result == -1) {
      EXPECT_EQ(ids, nullptr);
    } else {
      ASSERT_NE(ids, nullptr);
      EXPECT_EQ(SubIds(ids, ids + c.ids.size()), c.ids);
      std::free(ids);
    }
  }
}

TEST(OidParse, MessagesForTextsWithoutDots) {
  LogCapture log;
  std::uint32_t* ids = nullptr;
  EXPECT_EQ(ConvertToOidOrIpFromString(&ids, "12", 1), -1);
  EXPECT_TRUE(log.HasError("Incorrect format of IpAddress\n"));
  EXPECT_FALSE(log.HasError("Incorrect format of OID\n"));
  EXPECT_EQ(ConvertToOidOrIpFromString(&ids, "12", 0), -1);
  EXPECT_TRUE(log.HasError("Incorrect format of OID\n"));
  EXPECT_TRUE(log.HasTrace("\n\t@@@@@ Inside ConvertToOidOrIpFromString() @@@@@ \n"));
  EXPECT_EQ(ConvertToOidOrIpFromString(nullptr, "1.2", 1), -1);
  EXPECT_EQ(ConvertToOidOrIpFromString(&ids, nullptr, 1), -1);
  {
    AllocationFailure fail(1);
    EXPECT_EQ(ConvertToOidOrIpFromString(&ids, "1.2.3.4", 1), -1);
  }
  EXPECT_EQ(ids, nullptr);
  EXPECT_TRUE(log.HasError("Unable to allocate buffer !!! \n"));
}

TEST(OidParse, IsValidIPAddressTable) {
  struct Case {
    const char* text;
    std::uint8_t valid;
  };
  const Case cases[] = {
      {"10.0.0.1", 1},   {"192.168.000.1", 1}, {"255.255.255.255", 1}, {"256.1.1.1", 0},
      {"1.2.3", 0},      {"1.2.3.", 0},        {".1.2.3", 0},          {"1..2.3", 0},
      {"1.2.3.4.5", 0},  {"1.a.3.4", 0},       {"1.-1.3.4", 0},        {"1.+0.3.4", 0},
      {"1.2.3.00000000000000000001", 0},  // a component longer than 19 characters
      {"", 0},
  };
  LogCapture log;
  for (const Case& c : cases) {
    EXPECT_EQ(IsValidIPAddress(c.text, static_cast<int>(std::strlen(c.text))), c.valid) << c.text;
  }
  EXPECT_EQ(IsValidIPAddress("10.0.0.1junk", 8), 1);
  EXPECT_EQ(IsValidIPAddress(nullptr, 8), 0);
  EXPECT_TRUE(log.HasTrace("len is 8\n"));
}

TEST(OidPrint, PrintStreamAndPrintOidWriteDebugLines) {
  LogCapture log;
  const std::uint8_t bytes[] = {0x0A, 0xFF};
  PrintStream(bytes, 2, "%02x ");
  const SubIds ids{1, 4294967295u};
  PrintOid(ids.data(), 2);
  EXPECT_TRUE(log.HasDebug("0a "));
  EXPECT_TRUE(log.HasDebug("ff "));
  EXPECT_TRUE(log.HasDebug("1\t"));
  EXPECT_TRUE(log.HasDebug("4294967295\t"));
  EXPECT_EQ(log.Count("[DEBUG]", "\n"), 2);
}

}  // namespace
