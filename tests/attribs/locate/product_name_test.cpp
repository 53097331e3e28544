// SPDX-License-Identifier: Apache-2.0
// Product names that would lead the attribute file out of its directory, or into a
// subdirectory, count as no product name.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "attribs/locate.h"
#include "files.h"

namespace {

TEST(ProductName, OnlyAPlainFileNameIsUsed) {
    const struct {
        const char* label;
        std::string name;
        std::string expected;  // "" where the name counts as none
    } cases[] = {
        {"plain", "Agent", "Agent"},
        {"dots inside", "my.agent..v2", "my.agent..v2"},
        {"leading dots", "...", "..."},
        {"dot dot prefix", "..agent", "..agent"},
        {"blank becomes underscore", "a b", "a_b"},
        {"escape upwards", "../../../root/.ssh/authorized_keys #", ""},
        {"subdirectory", "a/b", ""},
        {"backslash", "a\\b", ""},
        {"backslash upwards", "..\\..\\x", ""},
        {"drive", "C:x", ""},
        {"stream", "agent:secret", ""},
        {"tab", "a\tb", ""},
        {"escape character", "a\x1b[2Jb", ""},
        {"delete", "a\x7f", ""},
        {"dot", ".", ""},
        {"dot dot", "..", ""},
        {"absolute", "/etc/passwd", ""},
    };
    const twtest::ScratchDir dir("product_name");
    const std::string file = dir.path("brix_agent.cfg");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        twtest::write_file(file, "[Product]\nUniqueConfiguration=1\nProductName=" + c.name + "\n");
        char product[tw::kProductNameSize];
        std::memset(product, 'x', sizeof product);
        tw::read_product_name_from(file.c_str(), product);
        EXPECT_EQ(std::string(product), c.expected);
    }
}

}  // namespace
