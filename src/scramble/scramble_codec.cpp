// SPDX-License-Identifier: Apache-2.0
#include "scramble_codec.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "tarnwick/corvane.h"

namespace tw {
namespace {

const char kDigits[] = "0123456789abcdef";

// Value of a hex digit of either case, or -1.
int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A new terminated copy of length bytes of text, reporting length; NULL when it cannot be
// made or its length does not fit the 32-bit length.
char* copy_text(const char* text, size_t length, int32_t* reported) {
    if (length > static_cast<size_t>(INT32_MAX)) return nullptr;
    char* copy = static_cast<char*>(maw_malloc(length + 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    if (reported != nullptr) *reported = static_cast<int32_t>(length);
    return copy;
}

}  // namespace

uint8_t scramble_byte(uint8_t byte, uint32_t* state) {
    uint32_t s = *state;
    for (unsigned bit = 0x80; bit != 0; bit >>= 1) {
        if (s & 1u) {
            s = (s >> 1) ^ kScrambleMask;
            byte = static_cast<uint8_t>(byte ^ bit);
        } else {
            s >>= 1;
        }
    }
    *state = s;
    return byte;
}

char* scramble_value_with_seed(const char* value, int32_t length, uint32_t seed) {
    const bool missing = value == nullptr;
    if (length < -1 || (missing && length > 0)) return nullptr;

    size_t n = 0;
    if (!missing) {
        n = length == -1 ? std::strlen(value) : static_cast<size_t>(length);
    }
    if (n > (SIZE_MAX - 10) / 2) return nullptr;
    char* text = static_cast<char*>(maw_malloc(2 * n + 10));
    if (text == nullptr) return nullptr;

    if (seed == 0) seed = 1;
    const uint8_t seed_bytes[4] = {static_cast<uint8_t>(seed >> 24), static_cast<uint8_t>(seed >> 16),
                                   static_cast<uint8_t>(seed >> 8), static_cast<uint8_t>(seed)};
    char* end = hex_encode(text, 4, seed_bytes, false);

    // The scrambled bytes go out in chunks, so that no scratch copy of the value is needed.
    uint32_t state = seed;
    const uint8_t* in = reinterpret_cast<const uint8_t*>(value);
    uint8_t chunk[256];
    for (size_t done = 0; done < n;) {
        const size_t count = std::min(n - done, sizeof chunk);
        for (size_t i = 0; i < count; ++i) chunk[i] = scramble_byte(in[done + i], &state);
        end = hex_encode(end, count, chunk, false);
        done += count;
    }
    if (n == 0 && !missing) hex_encode(end, 0, nullptr, true);
    return text;
}

char* hex_encode(char* out, size_t count, const uint8_t* bytes, bool empty_mark) {
    for (size_t i = 0; i < count; ++i) {
        *out++ = kDigits[bytes[i] >> 4];
        *out++ = kDigits[bytes[i] & 0x0F];
    }
    if (empty_mark) *out++ = 'e';
    *out = '\0';
    return out;
}

size_t hex_decode(const char* text, uint8_t* out, size_t capacity) {
    if (capacity == 0) return 0;
    size_t count = 0;
    while (count < capacity - 1 && text[0] != '\0' && text[1] != '\0') {
        const int high = digit_value(text[0]);
        const int low = digit_value(text[1]);
        if (high < 0 || low < 0) break;
        out[count++] = static_cast<uint8_t>(high << 4 | low);
        text += 2;
    }
    out[count] = 0;
    return count;
}

int is_hex_text(const char* text, size_t* length) {
    size_t n = 0;
    for (; text[n] != '\0'; ++n) {
        if (digit_value(text[n]) < 0) return 0;
    }
    if (length != nullptr) *length = n;
    return 1;
}

char* unscramble_text(const char* text, int32_t* length) {
    if (length != nullptr) *length = 0;
    if (text == nullptr) return nullptr;

    size_t digits = 0;
    if (!is_hex_text(text, &digits)) return copy_text(text, std::strlen(text), length);
    if (digits == 0 || digits == 9) return copy_text("", 0, length);
    if (digits < 8) return copy_text(text, digits, length);
    if (digits == 8) return nullptr;

    // The clear value is decoded and unscrambled in its own block: d bytes decode from the
    // text, the last d - 4 of them move to the front.
    uint8_t* bytes = static_cast<uint8_t*>(maw_malloc(digits));
    if (bytes == nullptr) return nullptr;
    const size_t decoded = hex_decode(text, bytes, digits);
    const size_t clear = decoded - 4;
    if (clear > static_cast<size_t>(INT32_MAX)) {
        maw_free(bytes);
        return nullptr;
    }
    uint32_t state = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
                     static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
    for (size_t i = 0; i < clear; ++i) bytes[i] = scramble_byte(bytes[i + 4], &state);
    bytes[clear] = 0;
    if (length != nullptr) *length = static_cast<int32_t>(clear);
    return reinterpret_cast<char*>(bytes);
}

ScrambledFault scrambled_text_fault(const char* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (digit_value(text[i]) < 0) return ScrambledFault::kNotHex;
    }
    if (length < 8) return ScrambledFault::kTooShort;
    if (length == 8) return ScrambledFault::kNoValue;
    const bool empty_value = length == 9 && (text[8] == 'e' || text[8] == 'E');
    if (length % 2 != 0 && !empty_value) return ScrambledFault::kOddLength;
    for (size_t i = 0; i < 8; ++i) {
        if (text[i] != '0') return ScrambledFault::kSound;
    }
    return ScrambledFault::kZeroSeed;
}

}  // namespace tw
