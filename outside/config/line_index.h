/* SPDX-License-Identifier: Apache-2.0 */
// cfg::LineIndex: a hash table from names to record numbers that holds no copy of any name.
// Each slot keeps a 32-bit hash of the name, a record and the position of the record's text;
// a lookup confirms a candidate with the caller's match function, which reads that text.
// Open addressing with linear probing, at most three quarters full; nothing is ever removed,
// so no tombstones are needed. A slot may be pointed to another record (the caller keeps the
// name the same).
#ifndef CONFIG_LINE_INDEX_H
#define CONFIG_LINE_INDEX_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>


namespace cfg {

// ASCII upper case to lower case in each byte of a word; other bytes unchanged.
inline uint64_t fold_case_word(uint64_t x) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    const uint64_t low7 = x & (0x7F * kOnes);
    const uint64_t at_least_a = low7 + (0x80 - 'A') * kOnes;  // bit 7 set where low7 >= 'A'
    const uint64_t above_z = low7 + (0x7F - 'Z') * kOnes;     // bit 7 set where low7 > 'Z'
    const uint64_t upper = at_least_a & ~above_z & ~x & (0x80 * kOnes);
    return x | (upper >> 2);
}

// The n < 8 bytes at p as the low bytes of a word, the rest zero: what memcpy into a zeroed
// word gives, without the round trip through memory that costs a stall when the word is read.
inline uint64_t load_partial(const char* p, size_t n) {
    if (n >= 4) {
        uint32_t lo, hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + n - 4, 4);
        return uint64_t{lo} | (uint64_t{hi} << (8 * (n - 4)));
    }
    if (n >= 2) {
        uint16_t lo, hi;
        std::memcpy(&lo, p, 2);
        std::memcpy(&hi, p + n - 2, 2);
        return uint64_t{lo} | (uint64_t{hi} << (8 * (n - 2)));
    }
    return n == 1 ? static_cast<unsigned char>(*p) : 0;
}

// Keys and section names share one index; different seeds keep their hashes apart.
constexpr uint64_t kKeyHashSeed = 0x243F6A8885A308D3ull;
constexpr uint64_t kSectionHashSeed = 0x13198A2E03707344ull;

// A random value drawn once per process (file_system.h's os_random) and mixed into every seed.
// Without it, anyone who reads this file can write names that all share one hash, and a file of
// them takes time that grows with the square of their count to load. Hashes are never stored,
// so they may differ from one process to the next.
uint64_t process_hash_seed();

// A 31-bit hash of the ASCII-lower-cased bytes, eight at a time; seed keeps kinds of names
// apart.
inline uint32_t hash_name(std::string_view name, uint64_t seed) {
    constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
    uint64_t h = seed ^ (name.size() * kMul);
    const char* p = name.data();
    size_t n = name.size();
    for (; n >= 8; p += 8, n -= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ fold_case_word(w)) * kMul;
        h ^= h >> 29;
    }
    if (n > 0) h = (h ^ fold_case_word(load_partial(p, n))) * kMul;
    h ^= h >> 32;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 31;
    return static_cast<uint32_t>(h >> 33);  // 31 bits: LineIndex keeps a mark in the 32nd
}

class LineIndex {
public:
    static constexpr uint32_t kEmpty = UINT32_MAX;

    // Hashes use 31 bits; the top bit of a slot's hash word is the caller's mark.
    static constexpr uint32_t kHashBits = 0x7FFFFFFF;

    // One name: its hash, its record, and where its line's text starts in the loaded bytes
    // (kEmpty for a line that is not there). With the text at hand, a lookup can read the
    // line and the record at once instead of one after the other. A slot may be marked (see
    // Document::find); pointing it elsewhere clears the mark.
    struct Slot {
        uint32_t hash;
        uint32_t record;
        uint32_t text;

        void point_to(uint32_t r, uint32_t t) {
            record = r;
            text = t;
            hash &= kHashBits;
        }
        bool marked() const { return (hash & ~kHashBits) != 0; }
        void mark() { hash |= ~kHashBits; }
        void unmark() { hash &= kHashBits; }
    };

    // Makes room for n names without growing.
    void reserve(size_t n) {
        const size_t want = n + n / 3 + 16;
        if (want > slots_.size()) rehash(want);
    }

    // The slot of the first name with this hash (31 bits) that match(record, text) accepts,
    // or nullptr. The pointer is valid until the next insertion.
    template <typename Match>
    Slot* find_slot(uint32_t hash, Match&& match) {
        if (slots_.empty()) return nullptr;
        for (size_t i = home(hash);; i = next(i)) {
            Slot& s = slots_[i];
            if (s.record == kEmpty) return nullptr;
            if ((s.hash & kHashBits) == hash && match(s.record, s.text)) return &s;
        }
    }

    // The record of that slot, or kEmpty.
    template <typename Match>
    uint32_t find(uint32_t hash, Match&& match) const {
        const Slot* s = const_cast<LineIndex*>(this)->find_slot(hash, match);
        return s == nullptr ? kEmpty : s->record;
    }

    // The slot of the name match accepts; a new slot holding record and text when there is
    // none (then *added is true). The reference is valid until the next insertion.
    template <typename Match>
    Slot& find_or_add(uint32_t hash, Match&& match, uint32_t record, uint32_t text, bool* added) {
        if (4 * (count_ + 1) > 3 * slots_.size()) rehash(slots_.empty() ? 16 : 2 * slots_.size());
        for (size_t i = home(hash);; i = next(i)) {
            Slot& s = slots_[i];
            if (s.record == kEmpty) {
                s = Slot{hash, record, text};
                ++count_;
                *added = true;
                return s;
            }
            if ((s.hash & kHashBits) == hash && match(s.record, s.text)) {
                *added = false;
                return s;
            }
        }
    }

    // Starts loading the slot where a lookup of hash begins, so that a later find_or_add finds
    // it in the cache.
    void prefetch(uint32_t hash) const {
        if (!slots_.empty()) __builtin_prefetch(&slots_[home(hash)]);
    }

    void clear() {
        slots_.clear();
        count_ = 0;
    }

    // The mean number of slots a lookup of a name in the table reads: 1 when every name sits
    // in its home slot, about half the count when all names share one hash.
    double mean_probes() const {
        if (count_ == 0) return 0;
        uint64_t total = 0;
        for (size_t i = 0; i < slots_.size(); ++i) {
            if (slots_[i].record == kEmpty) continue;
            const size_t h = home(slots_[i].hash);
            total += 1 + (i >= h ? i - h : i + slots_.size() - h);
        }
        return static_cast<double>(total) / static_cast<double>(count_);
    }

private:
    // Any table size works: the hash, read as a fraction of 2^32, scales to a slot number.
    size_t home(uint32_t hash) const {
        return static_cast<size_t>((uint64_t{hash & kHashBits} * slots_.size()) >> 31);
    }
    size_t next(size_t i) const { return i + 1 == slots_.size() ? 0 : i + 1; }

    void rehash(size_t size) {
        std::vector<Slot> old(size, Slot{0, kEmpty, kEmpty});
        old.swap(slots_);
        for (const Slot& s : old) {
            if (s.record == kEmpty) continue;
            size_t i = home(s.hash);  // the mark is ignored
            while (slots_[i].record != kEmpty) i = next(i);
            slots_[i] = s;
        }
    }

    std::vector<Slot> slots_;  // at most three quarters full
    size_t count_ = 0;
};

}  // namespace cfg

#endif
