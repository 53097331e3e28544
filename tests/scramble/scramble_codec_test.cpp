#include "scramble/scramble_codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "corvane.h"
#include "platform/platform.h"

namespace {

// Owns a block from the codec.
struct Block {
    explicit Block(char* p) : p(p) {}
    ~Block() { maw_free(p); }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    char* p;
};

std::string scramble_seeded(const std::string& value, uint32_t seed) {
    Block text(tw::scramble_value_with_seed(value.data(), static_cast<int32_t>(value.size()), seed));
    return text.p ? std::string(text.p) : std::string("<null>");
}

std::string round_trip(const std::string& value) {
    Block text(tw::scramble_value(value.data(), static_cast<int32_t>(value.size())));
    EXPECT_NE(text.p, nullptr);
    if (text.p == nullptr) return "<null>";
    EXPECT_EQ(std::strlen(text.p), value.empty() ? 9 : 8 + 2 * value.size());
    int32_t length = -1;
    Block clear(tw::unscramble_value(text.p, &length));
    EXPECT_NE(clear.p, nullptr);
    if (clear.p == nullptr) return "<null>";
    EXPECT_EQ(clear.p[length], '\0');
    return std::string(clear.p, static_cast<size_t>(length));
}

// Vectors worked out independently of this code, bit by bit. For seed 1 and "A" (0x41):
//   state 00000001: bit 0x80, low bit 1 -> state B4D2C719, flip
//   bit 0x40: low 1 -> (5A69638C ^ mask) EEBBA495, flip; bit 0x20: low 1 -> C38F1553, flip
//   bit 0x10: low 1 -> D5154DB0, flip; bits 0x08..0x01: low 0 -> shifts only
//   key stream F0; 0x41 ^ 0xF0 = 0xB1.
// The others were checked with this independent model:
//   M=0xB4D2C719
//   def sb(b,s):
//       for bit in (128,64,32,16,8,4,2,1):
//           if s&1: s=(s>>1)^M; b^=bit
//           else: s>>=1
//       return b,s
//   def scr(seed,data):
//       s=seed; out=seed.to_bytes(4,'big').hex()
//       for c in data: b,s=sb(c,s); out+='%02x'%b
//       return out
struct Vector {
    uint32_t seed;
    std::string value;
    const char* text;
};

TEST(ScrambleCodec, KnownVectors) {
    const Vector vectors[] = {
        {1, "A", "00000001b1"},
        {1, "ab", "0000000191f9"},
        {0, "A", "00000001b1"},  // a clock reading of 0 is written as seed 1
        {0x12345678, "pw", "123456786563"},
        {0x12345678, std::string("\0\xff", 2), "1234567815eb"},
        {1, "", "00000001e"},
    };
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.text);
        EXPECT_EQ(scramble_seeded(v.value, v.seed), v.text);
        int32_t length = -1;
        Block clear(tw::unscramble_value(v.text, &length));
        ASSERT_NE(clear.p, nullptr);
        EXPECT_EQ(std::string(clear.p, static_cast<size_t>(length)), v.value);
    }
}

TEST(ScrambleCodec, MissingAndInvalidValues) {
    Block missing(tw::scramble_value_with_seed(nullptr, -1, 0x0A0B0C0D));
    ASSERT_NE(missing.p, nullptr);
    EXPECT_STREQ(missing.p, "0a0b0c0d");
    Block missing_zero(tw::scramble_value_with_seed(nullptr, 0, 7));
    ASSERT_NE(missing_zero.p, nullptr);
    EXPECT_STREQ(missing_zero.p, "00000007");
    EXPECT_EQ(tw::scramble_value(nullptr, 3), nullptr);
    EXPECT_EQ(tw::scramble_value("abc", -2), nullptr);
}

TEST(ScrambleCodec, RoundTripsOfManyLengths) {
    for (size_t n : {0u, 1u, 5u, 255u, 65536u}) {
        std::string value(n, '\0');
        for (size_t i = 0; i < n; ++i) value[i] = static_cast<char>('!' + (i * 7) % 90);
        EXPECT_EQ(round_trip(value), value) << "length " << n;
    }
    std::string every_byte;
    for (int b = 1; b <= 255; ++b) every_byte += static_cast<char>(b);
    EXPECT_EQ(round_trip(every_byte), every_byte);
    // An explicit length carries 0 bytes through.
    const std::string with_zeros("a\0b\0", 4);
    EXPECT_EQ(round_trip(with_zeros), with_zeros);
}

TEST(ScrambleCodec, TextShapeAndSeedFromClock) {
    const uint32_t before = tw::platform::clock_seconds();
    Block text(tw::scramble_value("secret", -1));
    const uint32_t after = tw::platform::clock_seconds();
    ASSERT_NE(text.p, nullptr);
    ASSERT_EQ(std::strlen(text.p), 8u + 2 * 6);
    for (const char* c = text.p; *c; ++c) EXPECT_NE(std::strchr("0123456789abcdef", *c), nullptr) << text.p;
    const uint32_t seed = static_cast<uint32_t>(std::stoul(std::string(text.p, 8), nullptr, 16));
    EXPECT_GE(seed, before);
    EXPECT_LE(seed, after);

    Block empty(tw::scramble_value("", -1));
    ASSERT_NE(empty.p, nullptr);
    EXPECT_EQ(std::strlen(empty.p), 9u);
    EXPECT_EQ(empty.p[8], 'e');
}

struct StoredCase {
    const char* text;
    const char* clear;  // nullptr: no value
    int32_t length;
};

TEST(ScrambleCodec, UnscrambleSortsStoredTexts) {
    const StoredCase cases[] = {
        {"proxy.example.com", "proxy.example.com", 17},  // not hex: unchanged
        {"10.0.0.1", "10.0.0.1", 8},
        {"0000000g41", "0000000g41", 10},
        {"", "", 0},
        {"a", "a", 1},                      // 1 to 7 digits: unchanged
        {"abc1234", "abc1234", 7},
        {"12345678", nullptr, 0},           // seed alone: a missing value
        {"123456789", "", 0},               // seed and any ninth digit: the empty string
        {"12345678e", "", 0},
        {"00000000414243", "ABC", 3},       // a state of 0 leaves the body as it is
        {"00000000414243f", "ABC", 3},      // an odd last digit is ignored
        {"0000000000", "\0", 1},
        {"00000001B1", "A", 1},             // upper-case digits read alike
        {"0000000191F9", "ab", 2},
        {"123456786563", "pw", 2},
    };
    for (const StoredCase& c : cases) {
        SCOPED_TRACE(c.text);
        int32_t length = -1;
        Block clear(tw::unscramble_value(c.text, &length));
        EXPECT_EQ(length, c.length);
        if (c.clear == nullptr) {
            EXPECT_EQ(clear.p, nullptr);
        } else {
            ASSERT_NE(clear.p, nullptr);
            EXPECT_EQ(std::string(clear.p, static_cast<size_t>(length)), std::string(c.clear, c.length));
            EXPECT_EQ(clear.p[length], '\0');
        }
    }
    int32_t length = -1;
    EXPECT_EQ(tw::unscramble_value(nullptr, &length), nullptr);
    EXPECT_EQ(length, 0);
    Block no_length(tw::unscramble_value("00000001b1", nullptr));
    ASSERT_NE(no_length.p, nullptr);
    EXPECT_STREQ(no_length.p, "A");
}

TEST(ScrambleCodec, HexDecodeStopsAtCapacityAndBadPairs) {
    struct Case {
        const char* text;
        size_t capacity;
        std::string bytes;
    };
    const Case cases[] = {
        {"", 8, ""},
        {"41", 8, "A"},
        {"414", 8, "A"},
        {"4a4B", 8, "JK"},
        {"414243", 3, "AB"},  // at most capacity - 1 bytes
        {"414243", 1, ""},
        {"41zz42", 8, "A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        uint8_t out[16];
        std::memset(out, 0xEE, sizeof out);
        const size_t n = tw::hex_decode(c.text, out, c.capacity);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(out), n), c.bytes);
        EXPECT_EQ(out[n], 0);
        EXPECT_EQ(out[n + 1], 0xEE);
    }
    uint8_t untouched = 0xEE;
    EXPECT_EQ(tw::hex_decode("4142", &untouched, 0), 0u);
    EXPECT_EQ(untouched, 0xEE);
}

TEST(ScrambleCodec, IsHexText) {
    const struct {
        const char* text;
        int hex;
        size_t length;
    } cases[] = {{"", 1, 0}, {"0123456789abcdefABCDEF", 1, 22}, {"12 3", 0, 0}, {"g", 0, 0}, {"0x12", 0, 0}};
    for (const auto& c : cases) {
        size_t length = 999;
        EXPECT_EQ(tw::is_hex_text(c.text, &length), c.hex) << c.text;
        EXPECT_EQ(length, c.hex ? c.length : 999u) << c.text;
    }
    EXPECT_EQ(tw::is_hex_text("ab", nullptr), 1);
}

}  // namespace
