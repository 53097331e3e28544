// SPDX-License-Identifier: Apache-2.0
// attrib_mngr_error_text against the two lists of codes it is made from.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tarnwick.h"
#include "tarnwick/config.h"

namespace {

struct Listed {
    int32_t code;
    const char* name;
    const char* text;
};

#define TW_LISTED(name, value, text) {name, #name, text},
const Listed kLibrary[] = {TARNWICK_RESULT_CODES(TW_LISTED)};
const Listed kStore[] = {CONFIG_RESULT_CODES(TW_LISTED)};
#undef TW_LISTED

const std::string kUnknown = attrib_mngr_error_text(-21);

TEST(ErrorText, EveryListedCodeHasATextOfItsOwn) {
    std::set<std::string> seen;
    std::vector<Listed> all(std::begin(kLibrary), std::end(kLibrary));
    all.insert(all.end(), std::begin(kStore), std::end(kStore));
    {
        for (const Listed& c : all) {
            SCOPED_TRACE(c.name);
            const char* text = attrib_mngr_error_text(c.code);
            ASSERT_NE(text, nullptr);
            if (c.code == 0) {
                EXPECT_STREQ(text, "success");  // both lists agree on 0
                continue;
            }
            EXPECT_STREQ(text, c.text);
            EXPECT_NE(text, kUnknown);
            EXPECT_GT(std::strlen(text), 8u);
            EXPECT_NE(text[std::strlen(text) - 1], '.');
            EXPECT_TRUE(seen.insert(text).second) << "text shared with another code: " << text;
        }
    }
    // Codes the host interface documents, and the two that opening may add.
    for (int32_t code : {-12, -17, -18, -19, -20, -22, -23, -24, -25, -26, -27, -28, -29, -30}) {
        EXPECT_NE(attrib_mngr_error_text(code), kUnknown) << code;
    }
    EXPECT_STREQ(attrib_mngr_error_text(ATTRIB_MNGR_UNTRUSTED_FILE), attrib_mngr_error_text(-29));
    EXPECT_STREQ(attrib_mngr_error_text(ATTRIB_MNGR_LOCK_TIMEOUT), attrib_mngr_error_text(-30));
}

TEST(ErrorText, CodesOnNoListShareOneTextThatSaysSo) {
    EXPECT_NE(kUnknown.find("unknown"), std::string::npos) << kUnknown;
    for (int32_t code : {1, -1, -11, -13, -21, -31, -999, -1000, -1027, -1097, -1099, -1100, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(code);
        const char* text = attrib_mngr_error_text(code);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text, kUnknown);
    }
    // Every value in the ranges either lists or is unknown: no code falls between the lists.
    size_t known = 0;
    for (int32_t code = 0; code >= -1100; --code) {
        if (attrib_mngr_error_text(code) != kUnknown) ++known;
    }
    EXPECT_EQ(known, std::size(kLibrary) + std::size(kStore) - 1);  // 0 is in both
}

TEST(ErrorText, TextsAreTheSameStaticStringsOnEveryThread) {
    std::vector<const char*> first;
    for (const Listed& c : kStore) first.push_back(attrib_mngr_error_text(c.code));
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 2000; ++round) {
                for (size_t i = 0; i < std::size(kStore); ++i) {
                    if (attrib_mngr_error_text(kStore[i].code) != first[i]) ++mismatches[t];
                }
            }
        });
    }
    for (std::thread& th : threads) th.join();
    for (int m : mismatches) EXPECT_EQ(m, 0);
}

}  // namespace
