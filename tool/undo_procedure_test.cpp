#include "tool/undo_procedure.h"

#include <gtest/gtest.h>

namespace {

// No 32-bit program runs on this build machine, so the choice that protects the
// native System32 of a 64-bit machine is proven on its own.
TEST(NeedsNativeSystem32, OnlyARedirectedProgramOnA64BitMachineSwitchesRedirectionOff) {
  struct Case {
    bool machine64;
    bool wow64Process;
    bool expected;
  };
  const Case cases[] = {
      {true, true, true},     // 32-bit program on 64-bit Windows: System32 would be SysWOW64
      {true, false, false},   // 64-bit program: sees the native System32 already
      {false, false, false},  // 32-bit Windows: nothing is redirected
      {false, true, false},   // architecture unreadable or not AMD64: leave redirection alone
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NeedsNativeSystem32(c.machine64, c.wow64Process), c.expected)
        << "machine64=" << c.machine64 << " wow64=" << c.wow64Process;
  }
}

}  // namespace
