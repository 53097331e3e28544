// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <string>

#include "environment.h"
#include "tarnwick/corvane.h"

namespace {

// A name in the abstract socket namespace takes every byte as it is: names the old lock files
// had to spell alike (escapes, dots, separators) are distinct locks, up to the address's size.
TEST(AbstractLockName, EveryByteCountsUpToTheAddressSize) {
    twtest::EnvGuard env;
    env.use_private_locks();
    const std::string prefix = *twtest::get_env("CORVANE_LOCK_PREFIX");
    const std::string longest = std::string(99 - prefix.size(), 'n');
    const struct {
        const char* held;
        std::string other;
    } distinct[] = {{"a/b", "a%2Fb"}, {"a/b", "a_b"}, {"..", "."}, {"sp ace\xff", "sp ace"}, {longest.c_str(), longest.substr(1)}};
    for (const auto& c : distinct) {
        SCOPED_TRACE(c.other);
        const uint32_t held = init_interprocess_critical_section(c.held);
        const uint32_t other = init_interprocess_critical_section(c.other.c_str());
        ASSERT_NE(held, 0u);
        ASSERT_NE(other, 0u);
        ASSERT_EQ(try_enter_interprocess_critical_section(held, 0), 1);
        EXPECT_EQ(try_enter_interprocess_critical_section(other, 0), 1);
        destroy_interprocess_critical_section(other);
        destroy_interprocess_critical_section(held);
    }
    EXPECT_EQ(init_interprocess_critical_section((longest + "n").c_str()), 0u);
}

}  // namespace
