// SPDX-License-Identifier: Apache-2.0
// A scrambled value through the exported entry points, saved to the file and read back by a
// new handle.
#include <gtest/gtest.h>

#include <string>

#include "files.h"
#include "tarnwick.h"

namespace {

TEST(ScrambledFile, SavedTextAndMarkerReadBackInANewHandle) {
    const twtest::ScratchDir dir("scramble");
    const std::string path = dir.path("agent.cfg");

    AttribMngr* mngr = nullptr;
    ASSERT_EQ(attrib_mngr_init(path.c_str(), &mngr), ATTRIB_MNGR_OK);
    ASSERT_EQ(attrib_mngr_set_attrib(mngr, "Security", "Password", "s3cret", ATTRIB_MNGR_FLAG_SCRAMBLED),
              ATTRIB_MNGR_OK);
    ASSERT_EQ(attrib_mngr_save_attribs(mngr), ATTRIB_MNGR_OK);
    delete_attribs_mngr(mngr);

    mngr = nullptr;
    ASSERT_EQ(attrib_mngr_init(path.c_str(), &mngr), ATTRIB_MNGR_OK);
    char text[64];
    int32_t size = sizeof text;
    ASSERT_EQ(attrib_mngr_get_attrib(mngr, "Password", text, &size, 0), ATTRIB_MNGR_OK);
    EXPECT_EQ(std::string(text).size(), 8u + 2 * 6);
    char clear[64];
    size = sizeof clear;
    ASSERT_EQ(attrib_mngr_get_attrib(mngr, "Password", clear, &size, ATTRIB_MNGR_FLAG_SCRAMBLED), ATTRIB_MNGR_OK);
    EXPECT_STREQ(clear, "s3cret");
    delete_attribs_mngr(mngr);

    const std::string file = twtest::read_file(path);
    EXPECT_NE(file.find("[Encription]"), std::string::npos);
    EXPECT_NE(file.find("PasswordEncrypted"), std::string::npos);
    EXPECT_NE(file.find(text), std::string::npos);
    EXPECT_EQ(file.find("s3cret"), std::string::npos);
}

}  // namespace
