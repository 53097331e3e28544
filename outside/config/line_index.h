// cfg::LineIndex: a hash table from names to record numbers that holds no copy of any name.
// Each slot keeps a 32-bit hash of the name and a record; a lookup confirms a candidate with
// the caller's match function, which reads the record's own text. Open addressing with linear
// probing, at most three quarters full; nothing is ever removed, so no tombstones are needed.
// A slot may be pointed to another record (the caller keeps the name the same).
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

// A hash of the ASCII-lower-cased bytes, eight at a time; seed keeps kinds of names apart.
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
    if (n > 0) {
        uint64_t w = 0;
        std::memcpy(&w, p, n);
        h = (h ^ fold_case_word(w)) * kMul;
    }
    h ^= h >> 32;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 31;
    return static_cast<uint32_t>(h);
}

class LineIndex {
public:
    static constexpr uint32_t kEmpty = UINT32_MAX;

    // Makes room for n names without growing.
    void reserve(size_t n) {
        size_t want = 16;
        while (want - want / 4 < n) want *= 2;
        if (want > slots_.size()) rehash(want);
    }

    // The record of the first name with this hash that match(record) accepts, or kEmpty.
    template <typename Match>
    uint32_t find(uint32_t hash, Match&& match) const {
        if (slots_.empty()) return kEmpty;
        const size_t mask = slots_.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& s = slots_[i];
            if (s.line == kEmpty) return kEmpty;
            if (s.hash == hash && match(s.line)) return s.line;
        }
    }

    // The record slot of the name match accepts; a new slot holding record when there is none
    // (then *added is true). The reference is valid until the next insertion.
    template <typename Match>
    uint32_t& find_or_add(uint32_t hash, Match&& match, uint32_t record, bool* added) {
        if (4 * (count_ + 1) > 3 * slots_.size()) rehash(slots_.empty() ? 16 : 2 * slots_.size());
        const size_t mask = slots_.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& s = slots_[i];
            if (s.line == kEmpty) {
                s = Slot{hash, record};
                ++count_;
                *added = true;
                return s.line;
            }
            if (s.hash == hash && match(s.line)) {
                *added = false;
                return s.line;
            }
        }
    }

    // Starts loading the slot where a lookup of hash begins, so that a later find_or_add finds
    // it in the cache.
    void prefetch(uint32_t hash) const {
        if (!slots_.empty()) __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
    }

    void clear() {
        slots_.clear();
        count_ = 0;
    }

private:
    struct Slot {
        uint32_t hash;
        uint32_t line;
    };

    void place(uint32_t hash, uint32_t line) {
        const size_t mask = slots_.size() - 1;
        size_t i = hash & mask;
        while (slots_[i].line != kEmpty) i = (i + 1) & mask;
        slots_[i] = Slot{hash, line};
    }

    void rehash(size_t size) {
        std::vector<Slot> old(size, Slot{0, kEmpty});
        old.swap(slots_);
        for (const Slot& s : old)
            if (s.line != kEmpty) place(s.hash, s.line);
    }

    std::vector<Slot> slots_;  // size is zero or a power of two
    size_t count_ = 0;
};

}  // namespace cfg

#endif
