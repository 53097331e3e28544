// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <string>

#include "environment.h"
#include "tarnwick/corvane.h"

namespace {

TEST(PipeLockName, PathsAndNamesPastThePipeLimitCannotBeOpened) {
    twtest::EnvGuard env;
    env.use_private_locks();
    const std::string prefix = *twtest::get_env("CORVANE_LOCK_PREFIX");
    const std::string longest = std::string(239 - prefix.size(), 'n');
    const uint32_t lock = init_interprocess_critical_section(longest.c_str());
    ASSERT_NE(lock, 0u);
    EXPECT_EQ(try_enter_interprocess_critical_section(lock, 0), 1);
    destroy_interprocess_critical_section(lock);
    EXPECT_EQ(init_interprocess_critical_section((longest + "n").c_str()), 0u);
    // A backslash would make the name a path.
    EXPECT_EQ(init_interprocess_critical_section("name\\sub"), 0u);
}

}  // namespace
