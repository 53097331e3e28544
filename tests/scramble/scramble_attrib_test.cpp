// SPDX-License-Identifier: Apache-2.0
// The scrambled branches of set and get on a real store.
#include "scramble/scramble.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "files.h"
#include "platform/platform.h"
#include "scramble/scramble_codec.h"
#include "tarnwick.h"
#include "tarnwick/config.h"
#include "tarnwick/corvane.h"

namespace {

class ScrambledAttrib : public ::testing::Test {
protected:
    void SetUp() override {
        // A file that is never saved: the store only needs a path that does not exist.
        path_ = dir_.path("agent.cfg");
        cfg_ = new_config();
        ASSERT_NE(cfg_, 0u);
        ASSERT_EQ(config_add_ini_new_file_source(cfg_, path_.c_str()), CONFIG_OK);
    }
    void TearDown() override { delete_config(cfg_); }

    int32_t set(const char* key, const char* value) {
        return tw::set_scrambled_attrib(cfg_, path_.c_str(), "Security", key, value);
    }
    int32_t set_plain(const char* section, const char* key, const char* value) {
        return config_set_attrib(cfg_, path_.c_str(), section, key, value);
    }
    std::string stored(const char* key) {
        const char* text = config_get_attrib(cfg_, key);
        return text ? text : "<none>";
    }
    // The get with flags bit 0, as the entry point makes it.
    int32_t get(const char* name, char* buffer, int32_t* size) {
        const char* text = config_get_attrib(cfg_, name);
        if (text == nullptr) return ATTRIB_MNGR_NOT_FOUND;
        return tw::get_scrambled_attrib(cfg_, name, text, buffer, size);
    }
    std::string get_value(const char* name, int32_t* code) {
        std::vector<char> buffer(70000, '#');
        int32_t size = static_cast<int32_t>(buffer.size());
        *code = get(name, buffer.data(), &size);
        EXPECT_EQ(size, static_cast<int32_t>(buffer.size()));
        return *code == ATTRIB_MNGR_OK ? std::string(buffer.data()) : "<none>";
    }
    bool has_marker(const std::string& key) {
        const std::string marker = key + "Encrypted";
        const char* value = config_get_attrib(cfg_, marker.c_str());
        return config_get_attrib_val(cfg_, path_.c_str(), "Encription", marker.c_str()) != 0 && value != nullptr &&
               *value == '\0';
    }

    twtest::ScratchDir dir_{"scramble"};
    std::string path_;
    config_handle cfg_ = 0;
};

TEST_F(ScrambledAttrib, ValuesRoundTripAsScrambledText) {
    std::string every_byte;
    for (int b = 1; b <= 255; ++b) every_byte += static_cast<char>(b);
    const std::string values[] = {"secret", "", "p@ss w0rd;=#", std::string(255, 'x'), std::string(65536, 'k'),
                                  every_byte};
    int n = 0;
    for (const std::string& value : values) {
        const std::string key = "Key" + std::to_string(n++);
        SCOPED_TRACE(key);
        const uint32_t before = tw::platform::clock_seconds();
        ASSERT_EQ(set(key.c_str(), value.c_str()), ATTRIB_MNGR_OK);
        const uint32_t after = tw::platform::clock_seconds();

        const std::string text = stored(key.c_str());
        EXPECT_EQ(text.size(), value.empty() ? 9u : 8 + 2 * value.size());
        EXPECT_EQ(text.find_first_not_of("0123456789abcdef"), std::string::npos);
        const uint32_t seed = static_cast<uint32_t>(std::stoul(text.substr(0, 8), nullptr, 16));
        EXPECT_GE(seed, before);
        EXPECT_LE(seed, after);
        EXPECT_TRUE(has_marker(key));

        int32_t code = 0;
        EXPECT_EQ(get_value(key.c_str(), &code), value);
        EXPECT_EQ(code, ATTRIB_MNGR_OK);
    }
}

TEST_F(ScrambledAttrib, StoredTextsUnderAMarker) {
    const struct {
        const char* text;
        int32_t code;
        const char* clear;
    } cases[] = {
        {"proxy.example.com", ATTRIB_MNGR_OK, "proxy.example.com"},  // not hex: unchanged
        {"10.0.0.1", ATTRIB_MNGR_OK, "10.0.0.1"},
        {"0000000g41", ATTRIB_MNGR_OK, "0000000g41"},
        {"", ATTRIB_MNGR_OK, ""},
        {"a", ATTRIB_MNGR_OK, "a"},  // 1 to 7 digits: unchanged
        {"abc1234", ATTRIB_MNGR_OK, "abc1234"},
        {"12345678", ATTRIB_MNGR_UNSCRAMBLE_FAILED, nullptr},  // the seed alone: a missing value
        {"123456789", ATTRIB_MNGR_OK, ""},                     // seed and any ninth digit: empty
        {"12345678e", ATTRIB_MNGR_OK, ""},
        {"00000000414243", ATTRIB_MNGR_OK, "ABC"},  // a state of 0 leaves the body as it is
        {"00000000414243f", ATTRIB_MNGR_OK, "ABC"}, // an odd last digit is ignored
        {"00000001B1", ATTRIB_MNGR_OK, "A"},        // upper-case digits read alike
        {"123456786563", ATTRIB_MNGR_OK, "pw"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_EQ(set_plain("Security", "Password", c.text), CONFIG_OK);
        ASSERT_EQ(set_plain("Encription", "PasswordEncrypted", ""), CONFIG_OK);
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        int32_t size = sizeof buffer;
        EXPECT_EQ(get("Password", buffer, &size), c.code);
        EXPECT_EQ(size, static_cast<int32_t>(sizeof buffer));
        if (c.clear != nullptr) {
            EXPECT_STREQ(buffer, c.clear);
        } else {
            EXPECT_EQ(buffer[0], '#');
        }
    }
    // A plain value of ten or more hex digits is taken for scrambled text.
    ASSERT_EQ(set_plain("Security", "Password", "0123456789abcdef"), CONFIG_OK);
    int32_t code = 0;
    EXPECT_NE(get_value("Password", &code), "0123456789abcdef");
    EXPECT_EQ(code, ATTRIB_MNGR_OK);
}

TEST_F(ScrambledAttrib, WithoutAMarkerTheTextComesBackAsStored) {
    ASSERT_EQ(set_plain("Security", "Password", "00000001b1"), CONFIG_OK);
    int32_t code = 0;
    EXPECT_EQ(get_value("Password", &code), "00000001b1");
    EXPECT_EQ(code, ATTRIB_MNGR_OK);
    EXPECT_EQ(get_value("Missing", &code), "<none>");
    EXPECT_EQ(code, ATTRIB_MNGR_NOT_FOUND);
}

TEST_F(ScrambledAttrib, NullValueStoresTheSeedAloneAndReadsBackAsFailure) {
    ASSERT_EQ(set("Password", nullptr), ATTRIB_MNGR_OK);
    EXPECT_EQ(stored("Password").size(), 8u);
    EXPECT_TRUE(has_marker("Password"));
    char buffer[16] = "untouched";
    int32_t size = sizeof buffer;
    EXPECT_EQ(get("Password", buffer, &size), ATTRIB_MNGR_UNSCRAMBLE_FAILED);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(size, 16);
}

TEST_F(ScrambledAttrib, ClearValueSetsTheBufferSize) {
    ASSERT_EQ(set("Password", "abcde"), ATTRIB_MNGR_OK);
    const struct {
        int32_t size_in;
        int32_t code;
        int32_t size_out;
    } cases[] = {{5, ATTRIB_MNGR_BUFFER_TOO_SMALL, 6}, {6, ATTRIB_MNGR_OK, 6}, {0, ATTRIB_MNGR_BUFFER_TOO_SMALL, 6},
                 {-1, ATTRIB_MNGR_BUFFER_TOO_SMALL, 6}, {7, ATTRIB_MNGR_OK, 7}};
    for (const auto& c : cases) {
        char buffer[8] = "#######";
        int32_t size = c.size_in;
        EXPECT_EQ(get("Password", buffer, &size), c.code) << c.size_in;
        EXPECT_EQ(size, c.size_out) << c.size_in;
        EXPECT_STREQ(buffer, c.code == ATTRIB_MNGR_OK ? "abcde" : "#######") << c.size_in;
    }
    ASSERT_EQ(set("Empty", ""), ATTRIB_MNGR_OK);
    char buffer[1] = {'#'};
    int32_t size = 0;
    EXPECT_EQ(get("Empty", buffer, &size), ATTRIB_MNGR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, 1);
    EXPECT_EQ(get("Empty", buffer, &size), ATTRIB_MNGR_OK);
    EXPECT_EQ(buffer[0], '\0');
}

TEST_F(ScrambledAttrib, APlainSetKeepsTheMarker) {
    ASSERT_EQ(set("Password", "secret"), ATTRIB_MNGR_OK);
    ASSERT_EQ(set_plain("Security", "Password", "host.example"), CONFIG_OK);
    EXPECT_TRUE(has_marker("Password"));
    int32_t code = 0;
    EXPECT_EQ(get_value("Password", &code), "host.example");
}

TEST_F(ScrambledAttrib, SetsInDifferentSecondsDifferAndBothReadBack) {
    ASSERT_EQ(set("First", "secret"), ATTRIB_MNGR_OK);
    const uint32_t first_second = tw::platform::clock_seconds();
    while (tw::platform::clock_seconds() == first_second) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(set("Second", "secret"), ATTRIB_MNGR_OK);
    EXPECT_NE(stored("First"), stored("Second"));
    int32_t code = 0;
    EXPECT_EQ(get_value("First", &code), "secret");
    EXPECT_EQ(get_value("Second", &code), "secret");
}

TEST_F(ScrambledAttrib, RefusedSetsLeaveNoMarker) {
    EXPECT_EQ(set(nullptr, "secret"), ATTRIB_MNGR_NULL_ARGUMENT);
    EXPECT_EQ(stored("Encrypted"), "<none>");

    // The store refuses a path that is not its file: its code comes back, no marker is written.
    const std::string other = path_ + ".other";
    const int32_t code = tw::set_scrambled_attrib(cfg_, other.c_str(), "Security", "Password", "secret");
    EXPECT_LE(code, CONFIG_E_FIRST);
    EXPECT_GE(code, CONFIG_E_LAST);
    EXPECT_EQ(stored("PasswordEncrypted"), "<none>");
}

}  // namespace
