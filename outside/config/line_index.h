// cfg::LineIndex: a hash table from names to line numbers that holds no copy of any name.
// Each slot keeps a 32-bit hash of the name and the line; a lookup confirms a candidate with
// the caller's match function, which reads the line's own text. Open addressing with linear
// probing, at most half full; nothing is ever removed (lines are never deleted), so no
// tombstones are needed. A name may be pointed to another line (repoint).
#ifndef CONFIG_LINE_INDEX_H
#define CONFIG_LINE_INDEX_H

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace cfg {

// FNV-1a over the ASCII-lower-cased bytes; seed chains several names into one hash.
inline uint64_t hash_name(std::string_view name, uint64_t seed = 14695981039346656037ull) {
    uint64_t h = seed;
    for (char c : name) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b + ('a' - 'A'));
        h ^= b;
        h *= 1099511628211ull;
    }
    return h;
}

inline uint32_t fold_hash(uint64_t h) { return static_cast<uint32_t>(h ^ (h >> 32)); }

class LineIndex {
public:
    static constexpr uint32_t kEmpty = UINT32_MAX;

    // Makes room for n names without growing.
    void reserve(size_t n) {
        size_t want = 16;
        while (want < 2 * n) want *= 2;
        if (want > slots_.size()) rehash(want);
    }

    // The line of the first name with this hash that match(line) accepts, or kEmpty.
    template <typename Match>
    uint32_t find(uint32_t hash, Match&& match) const {
        const size_t i = locate(hash, match);
        return i == kNoSlot ? kEmpty : slots_[i].line;
    }

    // Points the name that find() would answer to another line; false when there is none.
    template <typename Match>
    bool repoint(uint32_t hash, Match&& match, uint32_t line) {
        const size_t i = locate(hash, match);
        if (i == kNoSlot) return false;
        slots_[i].line = line;
        return true;
    }

    // Adds a name the index does not hold yet.
    void insert(uint32_t hash, uint32_t line) {
        if (2 * (count_ + 1) > slots_.size()) rehash(slots_.empty() ? 16 : 2 * slots_.size());
        place(hash, line);
        ++count_;
    }

    void clear() {
        slots_.clear();
        count_ = 0;
    }

private:
    static constexpr size_t kNoSlot = SIZE_MAX;

    struct Slot {
        uint32_t hash;
        uint32_t line;
    };

    template <typename Match>
    size_t locate(uint32_t hash, Match&& match) const {
        if (slots_.empty()) return kNoSlot;
        const size_t mask = slots_.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& s = slots_[i];
            if (s.line == kEmpty) return kNoSlot;
            if (s.hash == hash && match(s.line)) return i;
        }
    }

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
