/* SPDX-License-Identifier: Apache-2.0 */
// The scrambled-text format: a 32-bit Galois shift register, seeded from the clock, that
// scrambles each byte of a value, and the hexadecimal text that stores seed and bytes.
//
// Pure functions: no I/O, no store, no handle; the clock and the readability checks of the
// library's boundary stand in scramble.h. The library and tarnwickctl both link this part.
//
// Text: 8 digits of the seed (most significant byte first), 2 digits per scrambled byte
// (high nibble first), then "e" only when the value was the empty string. Lower-case digits
// are written; upper-case digits are accepted on reading. The seed stands in the text and
// the feedback mask is a constant, so this hides a value from a glance and nothing more.
#ifndef TARNWICK_SCRAMBLE_SCRAMBLE_CODEC_H
#define TARNWICK_SCRAMBLE_SCRAMBLE_CODEC_H

#include <cstddef>
#include <cstdint>

namespace tw {

constexpr uint32_t kScrambleMask = 0xB4D2C719u;

// Scrambles one byte with the shift register in *state and advances it by eight steps.
// Scrambling a scrambled byte from the same state gives the byte back; a state of 0 stays
// 0 and changes nothing.
uint8_t scramble_byte(uint8_t byte, uint32_t* state);

// Scrambles value with seed (a seed of 0 is written as 1). length: the value's length in
// bytes, or -1 for a terminated value (an explicit length lets the value hold 0 bytes); the
// caller vouches that those bytes are readable. A NULL value (only with length -1 or 0) is a
// missing value and gives the seed digits alone. Returns a new block of 2n + 10 bytes from
// maw_malloc, owned by the caller (maw_free), or NULL when the length is invalid or memory
// runs out.
char* scramble_value_with_seed(const char* value, int32_t length, uint32_t seed);

// Writes two lower-case digits for each of the count bytes, then "e" when empty_mark is
// set, then a terminator, at out (which holds 2 * count + 2 bytes). Returns the position of
// the terminator.
char* hex_encode(char* out, size_t count, const uint8_t* bytes, bool empty_mark);

// Decodes pairs of digits of text into out while two characters remain and fewer than
// capacity - 1 bytes were decoded; stops early at a pair that is not two hex digits. A single
// trailing character is ignored. Writes a 0 byte after the decoded bytes and returns their
// number. A capacity of 0 writes nothing and returns 0.
size_t hex_decode(const char* text, uint8_t* out, size_t capacity);

// 1 when every character of text before its terminator is a hex digit of either case (the
// empty text included); the number of characters is then written to *length unless length
// is NULL. 0 otherwise, with *length untouched.
int is_hex_text(const char* text, size_t* length);

// Reads a stored text back into a new clear value (maw_malloc; the caller frees it), or
// returns NULL for no value. In this order: NULL text: no value; a character
// that is not a hex digit: the text unchanged; empty: ""; 1 to 7 digits: the text unchanged;
// 8 digits: no value; 9 digits: ""; 10 or more: the unscrambled bytes after the seed (an odd
// last digit is ignored). The clear length (without terminator; it may hold 0 bytes) goes to
// *length unless length is NULL; 0 with no value.
char* unscramble_text(const char* text, int32_t* length);

// What keeps a stored text from being one that scrambling writes, which unscramble_text would
// otherwise read as something else than a scrambled value (the text itself, garbage, or no
// value): kSound when nothing does.
enum class ScrambledFault {
    kSound,
    kNotHex,       // a character that is not a hex digit: read back as the text itself
    kTooShort,     // fewer than the 8 digits of the seed: read back as the text itself
    kNoValue,      // the seed alone: no value
    kOddLength,    // neither the seed and "e" nor whole bytes after the seed: a digit was lost
    kZeroSeed,     // a seed of 0, which scrambling never writes: the bytes read back unscrambled
};
ScrambledFault scrambled_text_fault(const char* text, size_t length);

}  // namespace tw

#endif
