/* SPDX-License-Identifier: Apache-2.0 */
// cfg::Document: one INI file held in memory as the bytes it was loaded from plus the lines
// changed, added or removed since, with a case-insensitive index of sections and keys. Only
// headers and entries have a record; every other line is kept as the bytes between records.
// A value handed out is ended by a NUL written over the byte after it, which serialize() puts
// back.
//
// Lossless: serialize() of an unchanged document returns the loaded bytes, whatever they are
// (invalid text, NUL bytes, lone CRs, mixed line endings, a byte-order mark, no final line
// break). A line is the bytes up to LF; a CR just before the LF belongs to the line ending.
//
// How a line reads is read_text's alone (below): loading, lookups, edits, removal and the
// name checks all take it. A name or value that set() would write is accepted only when that
// line reads back with exactly it; every name a loaded file holds can so be tested, set and
// removed.
// A UTF-8 byte-order mark at the start of the file is kept and not part of the first line.
// Entries before the first header belong to no section: find(key), remove("", key) and the
// visits see them, nothing else.
// Names compare ignoring ASCII case; the spelling in the file is kept.
#ifndef CONFIG_DOCUMENT_H
#define CONFIG_DOCUMENT_H

#include <cstddef>
#include <cstdint>
#include <deque>
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

    // Parses bytes in one linear pass. CONFIG_E_TOO_LARGE when they exceed 4 GiB - 2 (line
    // positions are 32-bit); the document is unchanged then. May throw std::bad_alloc.
    int32_t load(std::string bytes, std::string_view default_line_ending);
    // Empties the document; new lines keep their line ending.
    void clear();

    // The value of the first entry in file order whose key matches, or nullptr. The text is
    // NUL-terminated (a value holding a NUL byte reads up to it) and stays valid until the
    // value of that entry is set again, or the document is loaded again or destroyed.
    // Allocates nothing: the terminating NUL is written into the held bytes.
    const char* find(std::string_view key);

    // True when a section of that name (any of its duplicates) holds the key.
    bool contains(std::string_view section, std::string_view key) const;

    // Sets the first entry of the key in that section (any duplicate of the section), rewriting
    // only the value part of its line. A new key goes right after the last entry of the first
    // occurrence of the section, a new section at the end of the file. Refused names and
    // values return their code and change nothing.
    int32_t set(std::string_view section, std::string_view key, std::string_view value);

    // Removes every entry of the key in every occurrence of the section (section "" names the
    // entries before the first header), each line with its line ending; every other byte
    // stays. Returns how many were removed (0 for other names set() refuses, which no entry
    // can have).
    uint32_t remove(std::string_view section, std::string_view key);

    // Calls visit(section, key, value) for every entry in file order; stops at the first
    // non-zero result and returns it, else 0. Entries before any header have section "".
    template <typename Visit>
    int32_t for_each_entry(Visit&& visit) const;

    // What a line is, as for_each_line reports it.
    enum class LineKind { kComment = 0, kSection = 1, kEntry = 2, kOther = 3 };  // the CONFIG_LINE_* values

    // Calls visit(number, kind, text, section, key, value) for every line of serialize() in
    // file order, read exactly as load() reads it: number counts from 1, text is the line
    // without its line ending, section the section the line belongs to (a header's own name;
    // "" before the first header), key and value those of an entry, else empty. Stops at the
    // first non-zero result and returns it, else 0. The views are valid during the call only.
    // May throw std::bad_alloc (it works on a copy of the file).
    template <typename Visit>
    int32_t for_each_line(Visit&& visit) const;

    // The whole file as it would be saved.
    std::string serialize() const;

    // True when set() or remove() changed something since the load or mark_saved().
    bool modified() const { return modified_; }
    void mark_saved() { modified_ = false; }

    const std::string& line_ending() const { return line_ending_; }

    // The mean number of index slots a lookup reads (see LineIndex::mean_probes).
    double mean_index_probes() const { return index_.mean_probes(); }

private:
    static constexpr uint32_t kNone = LineIndex::kEmpty;

    // One record per section header and per entry; other lines have none and are kept only as
    // the bytes between records. Loaded records come first, in file order; lines added later
    // follow, each placed right after another line (see Added).
    struct Record {
        uint32_t pos;      // loaded: offset of the line in buf_; added: index in added_
        uint32_t len;      // loaded: length of the line without its line ending
        uint32_t section;  // entry: its header record (kNone before the first header);
                           // header: the first header of the same name
        uint32_t link;     // entry: next entry of the same key in file order (a ring);
                           // header: the block's last entry (the header itself when none)
    };

    // Flag bits, one byte per record.
    static constexpr uint8_t kHeader = 1;     // else an entry
    static constexpr uint8_t kEdited = 2;     // loaded entry whose value is in edits_
    static constexpr uint8_t kRemoved = 4;
    static constexpr uint8_t kEolShift = 3;   // 2 bits: 0 none, 1 "\n", 2 "\r\n"
    static constexpr uint8_t kEolMask = 3 << kEolShift;
    static constexpr uint8_t kPatchShift = 5; // 2 bits: the byte replaced by the NUL after the
    static constexpr uint8_t kPatchMask = 3 << kPatchShift;  // value: 0 none, 1 ' ', 2 '\t',
                                                              // 3 the line ending's first byte
    static constexpr uint8_t kGroup = 128;    // loaded record followed by added lines

    struct Added {
        std::string text;  // the line without line ending
        uint32_t next;     // next added line of the same group, or kNone
        uint32_t anchor;   // the loaded record the group follows, or kNone: end of the file
    };

    struct Span {
        size_t begin;
        size_t end;
    };

    // One line of bytes as load() reads it; name is a header's name or an entry's key.
    struct Line {
        LineKind kind;
        std::string_view text;  // without its line ending
        std::string_view name;
        std::string_view value;  // an entry's, else empty
    };
    // read_text of the line starting at *pos in bytes; moves *pos past its line ending.
    static Line read_line(std::string_view bytes, size_t* pos);

    bool is_added(uint32_t r) const { return r >= loaded_; }
    bool is_header(uint32_t r) const { return (flags_[r] & kHeader) != 0; }
    bool is_removed(uint32_t r) const { return (flags_[r] & kRemoved) != 0; }
    std::string_view eol_of(uint32_t r) const;
    // The line's text as loaded or added, an edit not applied. A loaded line still holds the
    // NUL written after a value handed out (its patch bits say which byte it replaced).
    std::string_view raw_text(uint32_t r) const;
    std::string_view name_of(uint32_t r) const;          // section name or key
    Span value_span(uint32_t r) const;                   // within raw_text(r)
    std::string_view value_of(uint32_t r) const;         // with edits applied
    uint32_t canonical_section(uint32_t entry) const;    // kNone before the first header
    uint32_t text_hint(uint32_t r) const;                // the index's text position of r
    // Whether record c, whose text starts at text in buf_ (kNone: read the record), is an
    // entry of key, or a header of that name, as read_text reads its line.
    // An entry's match also gives where its value starts in that text.
    std::string_view text_from(uint32_t c, uint32_t text) const;
    bool is_entry_of(uint32_t c, uint32_t text, std::string_view key, size_t* value_begin) const;
    bool is_header_named(uint32_t c, uint32_t text, std::string_view name) const;
    // The index's matchers, for every lookup and insertion: an entry of key, a header of name.
    // value_begin (where one is given) gets where the matched line's value starts.
    auto entry_match(std::string_view key, size_t* value_begin = nullptr) const;
    auto header_match(std::string_view name) const;
    // For a key that passed check_key: its slot, or nullptr; the last entry of its ring, or
    // kNone.
    LineIndex::Slot* key_slot(std::string_view key);
    uint32_t find_key(std::string_view key) const;
    uint32_t find_section(std::string_view section) const;
    uint32_t next_in_file(uint32_t r) const;
    uint32_t add_line(std::string text, uint8_t flags, uint32_t after);
    void link_entry(uint32_t entry, std::string_view key);
    void recompute_last_entry(uint32_t header);
    void append_line(std::string& out, uint32_t r) const;

    std::string buf_;                     // the loaded bytes; NULs written after returned values
    std::vector<Record> records_;
    std::vector<uint8_t> flags_;
    std::deque<Added> added_;          // never moves its elements
    std::unordered_map<uint32_t, std::string> edits_;   // new values of loaded entries
    std::unordered_map<uint32_t, uint32_t> groups_;     // loaded record -> first added line
    uint32_t loaded_ = 0;              // number of loaded records
    uint32_t end_first_ = kNone;       // the added lines at the end of the file
    uint32_t end_last_ = kNone;
    size_t prefix_ = 0;                // byte-order mark length
    std::string line_ending_;
    LineIndex index_;                  // key -> last entry of its ring; section -> first header
    mutable uint32_t last_section_ = kNone;  // the header find_section found last
    bool modified_ = false;
};

// How far read_text reads a line: its name only, also where its value starts, or all of it.
enum class Extent { kName, kValueStart, kWhole };

// How a line reads: its kind, and the spans of its name (a header's name, an entry's key) and
// value (an entry's) as offsets into the text read; end is the line's length without its
// ending. The spans are set as far as the extent asked for, the others are zero.
struct Reading {
    Document::LineKind kind;
    size_t name_begin, name_end;
    size_t value_begin, value_end;
    size_t end;

    std::string_view name(std::string_view text) const { return text.substr(name_begin, name_end - name_begin); }
    std::string_view value(std::string_view text) const { return text.substr(value_begin, value_end - value_begin); }
};

// The one reading of the file's syntax (document.cpp says it line by line).
Reading read_text(std::string_view text, Extent extent, bool one_line = false);

template <typename Visit>
int32_t Document::for_each_entry(Visit&& visit) const {
    uint32_t r = loaded_ > 0 ? 0 : end_first_;
    for (; r != kNone; r = next_in_file(r)) {
        if (is_header(r) || is_removed(r)) continue;
        const uint32_t header = records_[r].section;
        const int32_t rc = visit(header == kNone ? std::string_view() : name_of(header), name_of(r), value_of(r));
        if (rc != 0) return rc;
    }
    return 0;
}

template <typename Visit>
int32_t Document::for_each_line(Visit&& visit) const {
    const std::string bytes = serialize();
    std::string_view section;
    uint32_t number = 0;
    for (size_t pos = prefix_; pos < bytes.size();) {
        const Line line = read_line(bytes, &pos);
        if (line.kind == LineKind::kSection) section = line.name;
        const std::string_view key = line.kind == LineKind::kEntry ? line.name : std::string_view();
        const int32_t rc = visit(++number, line.kind, line.text, section, key, line.value);
        if (rc != 0) return rc;
    }
    return 0;
}

}  // namespace cfg

#endif
