// SPDX-License-Identifier: Apache-2.0
// Scrambled text on arbitrary input: hex_decode never writes past its capacity and always
// terminates; unscramble_value of any text returns a terminated value of the length it
// reports, or none; every value scrambled with any seed unscrambles to itself.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "scramble_codec.h"
#include "tarnwick/corvane.h"

using twfuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const size_t capacity = in.ConsumeIntegralInRange<size_t>(0, 64);
    const uint32_t seed = in.ConsumeIntegral<uint32_t>();
    const std::string text = in.ConsumeRandomLengthString(4096);

    // Exactly capacity bytes on the heap, so that one byte too many is caught.
    std::vector<uint8_t> out(capacity);
    const size_t n = tw::hex_decode(text.c_str(), out.data(), capacity);
    if (capacity == 0) {
        check(n == 0, "hex_decode decoded into no room");
    } else {
        check(n < capacity, "hex_decode left no room for its terminator");
        check(out[n] == 0, "hex_decode did not terminate");
    }

    int32_t length = -7;
    char* clear = tw::unscramble_text(text.c_str(), &length);
    if (clear == nullptr) {
        check(length == 0, "no value with a length");
    } else {
        check(length >= 0 && clear[length] == 0, "value not terminated at its length");
        maw_free(clear);
    }

    // Round trip of the remaining bytes, NUL bytes included.
    const std::string value = in.ConsumeRemainingBytesAsString();
    char* scrambled = tw::scramble_value_with_seed(value.data(), static_cast<int32_t>(value.size()), seed);
    check(scrambled != nullptr, "scrambling failed");
    check(std::strlen(scrambled) == 2 * value.size() + 8 + (value.empty() ? 1 : 0), "scrambled text length");
    clear = tw::unscramble_text(scrambled, &length);
    check(clear != nullptr, "scrambled text did not unscramble");
    check(std::string(clear, static_cast<size_t>(length)) == value, "round trip changed the value");
    maw_free(clear);
    maw_free(scrambled);
    return 0;
}
