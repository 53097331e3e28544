// SPDX-License-Identifier: Apache-2.0
#include "tarnwick/corvane.h"

#include <gtest/gtest.h>
#include <cstring>

TEST(Alloc, ReallocKeepsContent) {
    char* p = static_cast<char*>(maw_malloc(4));
    ASSERT_NE(p, nullptr);
    std::memcpy(p, "abc", 4);
    p = static_cast<char*>(maw_realloc(p, 1 << 20));
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p, "abc");
    maw_free(p);
    maw_free(nullptr);
}
