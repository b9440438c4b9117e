// The shutdown-privilege steps of the real power services. No power or
// session call is made here: those run only against a mock logind on a
// private bus (tests/e2e) and never under Wine.

#include "plat/Power.h"

#include <gtest/gtest.h>

#include "plat/Error.h"

namespace {

TEST(PowerTest, PrivilegeStepsSucceedAndAnUnknownTokenIsInvalid) {
  plat::TPowerServices& power = plat::SystemPowerServices();
  plat::TokenHandle token = 0;
  ASSERT_TRUE(power.OpenProcessTokenForAdjust(&token)) << plat::LastError();
  EXPECT_NE(token, 0u);
  plat::Luid luid = {0, -1};
  EXPECT_TRUE(power.LookupShutdownPrivilege(&luid)) << plat::LastError();
  EXPECT_EQ(luid.low, 19u);  // SE_SHUTDOWN_PRIVILEGE
  EXPECT_EQ(luid.high, 0);
  EXPECT_TRUE(power.EnablePrivilege(token, luid)) << plat::LastError();
  EXPECT_TRUE(power.CloseToken(token)) << plat::LastError();
  plat::SetLastError(0);
  EXPECT_FALSE(power.CloseToken(0x7FFFFF00u));
  EXPECT_EQ(plat::LastError(), plat::kErrorInvalidHandle);
}

}  // namespace
