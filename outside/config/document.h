// cfg::Document: one INI file held in memory as the exact bytes it was loaded from plus the
// lines changed or added since, with a case-insensitive index of sections and keys.
//
// Lossless: serialize() of an unchanged document returns the loaded bytes, whatever they are
// (invalid text, NUL bytes, lone CRs, mixed line endings, a byte-order mark, no final line
// break). A line is the bytes up to LF; a CR just before the LF belongs to the line ending.
//
// Reading a line, after leading blanks (space, tab) are skipped:
//   empty, or starting with ';' or '#'         kept as it is, means nothing
//   '[' name ']' anything                      section header; name trimmed of blanks
//   key '=' value                              entry; key and value trimmed of blanks, the
//                                              value taken verbatim up to the line ending
//   anything else ('[' without ']', no '=',    kept as it is, means nothing
//   an empty key)
// A UTF-8 byte-order mark at the start of the file is kept and not part of the first line.
// Entries before the first header belong to no section: only find(key) sees them.
// Names compare ignoring ASCII case; the spelling in the file is kept.
#ifndef CONFIG_DOCUMENT_H
#define CONFIG_DOCUMENT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "line_index.h"

namespace cfg {

// What a caller may store: a name or value is accepted only when it reads back exactly.
// Each returns CONFIG_OK or the refusal code (CONFIG_E_SECTION, _KEY, _VALUE).
int32_t check_section(std::string_view name);
int32_t check_key(std::string_view name);
int32_t check_value(std::string_view value);

class Document {
public:
    // An empty document whose new lines end with line_ending ("\n" or "\r\n").
    explicit Document(std::string_view line_ending);

    // Parses bytes in one linear pass. CONFIG_E_TOO_LARGE when they exceed 4 GiB - 1 (line
    // positions are 32-bit); the document is unchanged then. May throw std::bad_alloc.
    int32_t load(std::string bytes, std::string_view default_line_ending);

    // The value of the first entry in file order whose key matches, or nullptr. The text is
    // NUL-terminated (a value holding a NUL byte reads up to it) and stays valid until the
    // next call of set() that changes the document.
    const char* find(std::string_view key);

    // True when a section of that name (any of its duplicates) holds the key.
    bool contains(std::string_view section, std::string_view key) const;

    // Sets the first entry of the key in that section (any duplicate of the section), rewriting
    // only the value part of its line. A new key goes right after the last entry of the first
    // occurrence of the section, a new section at the end of the file. Refused names and
    // values return their code and change nothing.
    int32_t set(std::string_view section, std::string_view key, std::string_view value);

    // Removes every entry of the key in every occurrence of the section, each line with its
    // line ending; every other byte stays. Returns how many were removed (0 for names set()
    // refuses, which no entry can have).
    uint32_t remove(std::string_view section, std::string_view key);

    // Calls visit(section, key, value) for every entry in file order; stops at the first
    // non-zero result and returns it, else 0. Entries before any header have section "".
    template <typename Visit>
    int32_t for_each_entry(Visit&& visit) const;

    // The whole file as it would be saved.
    std::string serialize() const;

    // False until set() or remove() changes something; while false, serialize() equals loaded().
    bool modified() const { return modified_; }
    const std::string& loaded() const { return original_; }

    const std::string& line_ending() const { return line_ending_; }

private:
    static constexpr uint32_t kNone = LineIndex::kEmpty;
    enum class Kind : uint8_t { kOther, kSection, kEntry };

    struct Line {
        uint32_t pos;    // offset in original_, or index in edited_ when edited
        uint32_t len;    // length in original_ (unused when edited)
        uint32_t next;   // next line in file order, or kNone
        uint32_t block;  // ordinal of the section block holding the line (0: before any header)
        Kind kind;
        bool edited;
        uint8_t eol;     // 0: none, 1: "\n", 2: "\r\n"
    };

    struct Block {
        uint32_t header;     // header line, or kNone for the lines before the first header
        uint32_t last_entry; // line after which a new key goes (the header when it has no entry)
    };

    struct Parsed {
        Kind kind = Kind::kOther;
        std::string_view name;  // section name or key
        size_t value_pos = 0;   // entry value within the line
        size_t value_len = 0;
    };

    std::string_view text(uint32_t line) const;
    static Parsed parse(std::string_view text);
    std::string_view name_of(uint32_t line) const { return parse(text(line)).name; }
    std::string_view section_of(uint32_t line) const;
    uint32_t find_entry(std::string_view section, std::string_view key) const;
    uint32_t find_section(std::string_view section) const;
    uint32_t append_line(std::string text, Kind kind, uint32_t block, uint32_t after);
    void index_entry(uint32_t line);
    void reindex();
    void clear();

    std::string original_;             // the loaded bytes, never changed
    std::vector<std::string> edited_;  // text of changed and added lines
    std::vector<Line> lines_;
    std::vector<Block> blocks_;
    uint32_t first_ = kNone;
    uint32_t last_ = kNone;
    size_t prefix_ = 0;                // byte-order mark length
    std::string line_ending_;

    // Only the first occurrence of a name is indexed.
    LineIndex by_key_;          // key -> entry line
    LineIndex by_section_key_;  // section, key -> entry line
    LineIndex by_section_;      // section -> header line
    bool modified_ = false;

    // NUL-terminated copies handed out by find(); dropped when the document changes.
    std::unordered_map<uint32_t, std::string> returned_;
};

template <typename Visit>
int32_t Document::for_each_entry(Visit&& visit) const {
    for (uint32_t i = first_; i != kNone; i = lines_[i].next) {
        if (lines_[i].kind != Kind::kEntry) continue;
        const std::string_view t = text(i);
        const Parsed p = parse(t);
        const int32_t rc = visit(section_of(i), p.name, t.substr(p.value_pos, p.value_len));
        if (rc != 0) return rc;
    }
    return 0;
}

}  // namespace cfg

#endif
