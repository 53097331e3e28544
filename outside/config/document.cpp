// SPDX-License-Identifier: Apache-2.0
#include "document.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

#include "file_system.h"
#include "tarnwick/config.h"

namespace cfg {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Eight bytes at a time, each word folded to lower case as hash_name folds it. Against a loop
// folding byte by byte, lookups take 23 to 25 % less time on 64-bit Linux and 12 to 15 % less
// on i686 Windows (bench/RESULTS.md).
bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    const char* p = a.data();
    const char* q = b.data();
    size_t n = a.size();
    for (; n >= 8; p += 8, q += 8, n -= 8) {
        uint64_t x, y;
        std::memcpy(&x, p, 8);
        std::memcpy(&y, q, 8);
        if (x != y && fold_case_word(x) != fold_case_word(y)) return false;
    }
    if (n == 0) return true;
    const uint64_t x = load_partial(p, n);
    const uint64_t y = load_partial(q, n);
    return x == y || fold_case_word(x) == fold_case_word(y);
}

uint32_t key_hash(std::string_view key) { return hash_name(key, kKeyHashSeed ^ process_hash_seed()); }
uint32_t section_hash(std::string_view section) {
    return hash_name(section, kSectionHashSeed ^ process_hash_seed());
}

uint8_t eol_code(std::string_view eol) { return eol == "\r\n" ? 2 : 1; }

std::string_view eol_text(uint8_t code) { return code == 2 ? "\r\n" : code == 1 ? "\n" : ""; }

// The first delimiter or LF at or after from, or n: a sweep of memchr for the delimiter, then,
// unless the text is one line, one over the bytes before it for an LF. (Lookups read from the
// start of a header's or entry's line, whose delimiter is in that line.)
size_t find_delimiter(const char* p, size_t from, size_t n, char delimiter, bool one_line) {
    const void* hit = std::memchr(p + from, delimiter, n - from);
    const size_t at = hit != nullptr ? static_cast<size_t>(static_cast<const char*>(hit) - p) : n;
    if (one_line) return at;
    const void* lf = std::memchr(p + from, '\n', at - from);
    return lf != nullptr ? static_cast<size_t>(static_cast<const char*>(lf) - p) : at;
}

}  // namespace

// The one reading of a line. text holds the line, alone or followed by its line ending and
// whatever comes after: the line ends at the first LF (a CR right before it belongs to the
// ending) or at the end of text. After leading blanks (space, tab):
//   nothing, or ';' or '#'               a comment
//   '[' name ']' anything                a header; name trimmed of blanks
//   key '=' value                        an entry; key and value trimmed of blanks, the key
//                                        not empty (the first '=' ends it)
//   anything else                        other
// A name or value may hold any other byte, a CR that no LF follows included. extent says how
// far to read: the name only (kName), also where the value starts (kValueStart), or the whole
// line (kWhole: the value's end and the line's length too). one_line: text is the line alone,
// without its ending (so it holds no LF), and a delimiter is searched for in one sweep.
Reading read_text(std::string_view text, Extent extent, bool one_line) {
    using Kind = Document::LineKind;
    const char* const p = text.data();
    const size_t n = text.size();
    Reading r{};
    r.kind = Kind::kOther;
    size_t i = 0;
    while (i < n && is_blank(p[i])) ++i;
    // Where the line ends, when it ends at i: the end of text, an LF, or a CR before an LF.
    const auto ends_at = [&](size_t at) { return at == n || p[at] == '\n' || (p[at] == '\r' && at + 1 < n && p[at + 1] == '\n'); };
    size_t at = i;
    if (ends_at(i) || p[i] == ';' || p[i] == '#') {
        r.kind = Kind::kComment;
    } else if (p[i] == '[') {
        at = find_delimiter(p, i + 1, n, ']', one_line);
        if (at < n && p[at] == ']') {
            r.kind = Kind::kSection;
            r.name_begin = i + 1;
            r.name_end = at;
            ++at;
        }
    } else {
        at = find_delimiter(p, i, n, '=', one_line);
        if (at < n && p[at] == '=' && at > i) {
            r.kind = Kind::kEntry;
            r.name_begin = i;
            r.name_end = at;
            ++at;
        }
    }
    if (r.kind == Kind::kSection || r.kind == Kind::kEntry) {
        while (r.name_begin < r.name_end && is_blank(p[r.name_begin])) ++r.name_begin;
        while (r.name_end > r.name_begin && is_blank(p[r.name_end - 1])) --r.name_end;
        if (r.name_begin == r.name_end && r.kind == Kind::kEntry) r.kind = Kind::kOther;  // only blanks before '='
    }
    if (extent == Extent::kName) return r;
    if (r.kind == Kind::kEntry) {
        while (at < n && is_blank(p[at])) ++at;
        r.value_begin = r.value_end = at;
    }
    if (extent == Extent::kValueStart) return r;
    const char* const lf = static_cast<const char*>(std::memchr(p + at, '\n', n - at));
    r.end = lf == nullptr ? n : static_cast<size_t>(lf - p);
    if (lf != nullptr && r.end > at && p[r.end - 1] == '\r') --r.end;
    if (r.kind == Kind::kEntry) {
        r.value_end = std::max(r.end, r.value_begin);
        while (r.value_end > r.value_begin && is_blank(p[r.value_end - 1])) --r.value_end;
    }
    return r;
}

namespace {

// What set() writes for a name or value is accepted only when it reads back exactly: the line
// it would write, with a line ending after it, is read as the file is.
bool reads_back(std::string_view before, std::string_view name, std::string_view after,
                Document::LineKind kind, bool value) {
    std::string line;
    line.reserve(before.size() + name.size() + after.size() + 1);
    line.append(before).append(name).append(after).push_back('\n');
    const Reading r = read_text(line, value ? Extent::kWhole : Extent::kName);
    if (r.kind != kind) return false;
    return value ? r.value(line) == name : r.name(line) == name;
}

}  // namespace

uint64_t process_hash_seed() {
    // Drawn once, on first use; a system without a random generator still gets a value that
    // differs between processes and runs (where the code is loaded, and when).
    static const uint64_t seed = [] {
        uint64_t value = 0;
        if (!os_random(&value, sizeof value)) {
            value = reinterpret_cast<uintptr_t>(&value) ^
                    static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        }
        return value;
    }();
    return seed;
}

int32_t check_section(std::string_view name) {
    // "[]" reads back too, but "" names the entries before the first header.
    if (name.empty()) return CONFIG_E_SECTION;
    return reads_back("[", name, "]", Document::LineKind::kSection, false) ? CONFIG_OK : CONFIG_E_SECTION;
}

int32_t check_key(std::string_view name) {
    return reads_back("", name, "=", Document::LineKind::kEntry, false) ? CONFIG_OK : CONFIG_E_KEY;
}

int32_t check_value(std::string_view value) {
    return reads_back("k=", value, "", Document::LineKind::kEntry, true) ? CONFIG_OK : CONFIG_E_VALUE;
}

Document::Document(std::string_view line_ending) : line_ending_(line_ending) { clear(); }

void Document::clear() {
    buf_.clear();
    records_.clear();
    flags_.clear();
    added_.clear();
    edits_.clear();
    groups_.clear();
    loaded_ = 0;
    end_first_ = end_last_ = kNone;
    prefix_ = 0;
    index_.clear();
    last_section_ = kNone;
    modified_ = false;
}

std::string_view Document::text_from(uint32_t c, uint32_t text) const {
    return text != kNone ? std::string_view(buf_.data() + text, buf_.size() - text) : raw_text(c);
}

bool Document::is_entry_of(uint32_t c, uint32_t text, std::string_view key, size_t* value_begin) const {
    const std::string_view t = text_from(c, text);
    const Reading r = read_text(t, Extent::kValueStart);
    if (r.kind != LineKind::kEntry || !equal_ignoring_case(r.name(t), key)) return false;
    if (value_begin != nullptr) *value_begin = r.value_begin;
    return true;
}

bool Document::is_header_named(uint32_t c, uint32_t text, std::string_view name) const {
    const std::string_view t = text_from(c, text);
    const Reading r = read_text(t, Extent::kName);
    return r.kind == LineKind::kSection && equal_ignoring_case(r.name(t), name);
}

auto Document::entry_match(std::string_view key, size_t* value_begin) const {
    return [this, key, value_begin](uint32_t c, uint32_t text) {
        // The record and its flags are wanted next: fetch them while the text is compared.
        __builtin_prefetch(&records_[c]);
        __builtin_prefetch(&flags_[c]);
        return is_entry_of(c, text, key, value_begin);
    };
}

auto Document::header_match(std::string_view name) const {
    return [this, name](uint32_t c, uint32_t text) { return is_header_named(c, text, name); };
}

int32_t Document::load(std::string bytes, std::string_view default_line_ending) {
    // Line positions and numbers are 32-bit, with UINT32_MAX kept for "none".
    if (bytes.size() >= kNone - 1) return CONFIG_E_TOO_LARGE;
    clear();
    buf_ = std::move(bytes);
    const char* const b = buf_.data();
    const size_t n = buf_.size();
    prefix_ = std::string_view(buf_).substr(0, kBom.size()) == kBom ? kBom.size() : 0;

    // Counting the lines first sizes every table once: no growth, no copy.
    size_t lines = 1;
    for (const char* p = b + prefix_; (p = static_cast<const char*>(std::memchr(p, '\n', b + n - p))); ++p) ++lines;
    records_.reserve(lines);
    flags_.reserve(lines);
    index_.reserve(lines);

    line_ending_ = std::string(default_line_ending);
    bool style_found = false;
    uint32_t header = kNone;
    loaded_ = kNone;  // every record made below is a loaded one

    // Indexing a name waits until a few more names are found, so that the slot it needs,
    // fetched meanwhile, is in the cache by then: the index is far larger than the cache, and
    // waiting for each slot in turn is most of a load's time otherwise.
    struct Pending {
        uint32_t record;
        uint32_t hash;
        std::string_view name;
    };
    constexpr size_t kAhead = 8;  // a power of two
    Pending pending[kAhead];
    size_t queued = 0;  // names found so far; the last min(queued, kAhead) wait in pending
    const auto index_pending = [&](const Pending& p) {
        const uint32_t r = p.record;
        const std::string_view name = p.name;
        bool added = false;
        if (is_header(r)) {
            records_[r].section = index_.find_or_add(p.hash, header_match(name), r, records_[r].pos, &added).record;
            return;
        }
        LineIndex::Slot& slot = index_.find_or_add(p.hash, entry_match(name), r, records_[r].pos, &added);
        if (!added) {
            // Onto the end of the ring of entries of this key.
            const uint32_t last = slot.record;
            records_[r].link = records_[last].link;
            records_[last].link = r;
            slot.point_to(r, records_[r].pos);
        }
    };
    const auto index_later = [&](uint32_t r, uint32_t hash, std::string_view name) {
        index_.prefetch(hash);
        Pending& slot = pending[queued % kAhead];
        if (queued >= kAhead) index_pending(slot);
        slot = Pending{r, hash, name};
        ++queued;
    };

    size_t pos = prefix_;
    while (pos < n) {
        const char* const line = b + pos;
        const char* const lf = static_cast<const char*>(std::memchr(line, '\n', n - pos));
        size_t len;
        uint8_t eol = 0;
        size_t next;
        if (lf != nullptr) {
            len = static_cast<size_t>(lf - line);
            eol = 1;
            if (len > 0 && line[len - 1] == '\r') {
                eol = 2;
                --len;
            }
            next = pos + static_cast<size_t>(lf - line) + 1;
            if (!style_found) {
                line_ending_ = std::string(eol_text(eol));
                style_found = true;
            }
        } else {
            len = n - pos;
            next = n;
        }

        const std::string_view text(line, len);
        const Reading reading = read_text(text, Extent::kName, true);
        const uint32_t r = static_cast<uint32_t>(records_.size());
        if (reading.kind == LineKind::kSection) {
            records_.push_back(Record{static_cast<uint32_t>(pos), static_cast<uint32_t>(len), r, r});
            flags_.push_back(static_cast<uint8_t>(kHeader | (eol << kEolShift)));
            index_later(r, section_hash(reading.name(text)), reading.name(text));
            header = r;
        } else if (reading.kind == LineKind::kEntry) {
            records_.push_back(Record{static_cast<uint32_t>(pos), static_cast<uint32_t>(len), header, r});
            flags_.push_back(static_cast<uint8_t>(eol << kEolShift));
            if (header != kNone) records_[header].link = r;
            index_later(r, key_hash(reading.name(text)), reading.name(text));
        }
        pos = next;
    }
    for (size_t q = queued > kAhead ? queued - kAhead : 0; q < queued; ++q) index_pending(pending[q % kAhead]);
    loaded_ = static_cast<uint32_t>(records_.size());
    return CONFIG_OK;
}

std::string_view Document::eol_of(uint32_t r) const {
    return eol_text(static_cast<uint8_t>((flags_[r] & kEolMask) >> kEolShift));
}

std::string_view Document::raw_text(uint32_t r) const {
    const Record& rec = records_[r];
    if (is_added(r)) return added_[rec.pos].text;
    return std::string_view(buf_).substr(rec.pos, rec.len);
}

std::string_view Document::name_of(uint32_t r) const {
    const std::string_view t = raw_text(r);
    return read_text(t, Extent::kName).name(t);
}

Document::Span Document::value_span(uint32_t r) const {
    const Reading reading = read_text(raw_text(r), Extent::kWhole);
    const size_t begin = reading.value_begin;
    size_t end = reading.value_end;
    // A NUL written over the first trailing blank ends the value one byte earlier.
    const unsigned patch = (flags_[r] & kPatchMask) >> kPatchShift;
    if (patch == 1 || patch == 2) --end;
    return Span{begin, end};
}

std::string_view Document::value_of(uint32_t r) const {
    if (flags_[r] & kEdited) return edits_.at(r);
    const Span s = value_span(r);
    return raw_text(r).substr(s.begin, s.end - s.begin);
}

uint32_t Document::canonical_section(uint32_t entry) const {
    const uint32_t header = records_[entry].section;
    return header == kNone ? kNone : records_[header].section;
}

uint32_t Document::text_hint(uint32_t r) const { return is_added(r) ? kNone : records_[r].pos; }

LineIndex::Slot* Document::key_slot(std::string_view key) {
    return index_.find_slot(key_hash(key), entry_match(key));
}

uint32_t Document::find_key(std::string_view key) const {
    const uint32_t last = index_.find(key_hash(key), entry_match(key));
    // A slot whose entry is removed marks a key that no entry has any more.
    return last == kNone || is_removed(last) ? kNone : last;
}

uint32_t Document::find_section(std::string_view section) const {
    // Callers mostly ask for the section they asked for last. Headers are never removed, so a
    // header once found stays the answer for its name.
    if (last_section_ != kNone && is_header_named(last_section_, kNone, section)) return last_section_;
    const uint32_t header = index_.find(section_hash(section), header_match(section));
    if (header != kNone) last_section_ = header;
    return header;
}

uint32_t Document::next_in_file(uint32_t r) const {
    uint32_t after;
    if (!is_added(r)) {
        if (flags_[r] & kGroup) return groups_.at(r);
        after = r;
    } else {
        const Added& a = added_[records_[r].pos];
        if (a.next != kNone) return a.next;
        if (a.anchor == kNone) return kNone;
        after = a.anchor;
    }
    return after + 1 < loaded_ ? after + 1 : end_first_;
}

const char* Document::find(std::string_view key) {
    size_t value_begin = 0;  // in the matched line
    LineIndex::Slot* const slot = index_.find_slot(key_hash(key), entry_match(key, &value_begin));
    if (slot == nullptr) return nullptr;
    // A marked slot names the key's only entry, a loaded line whose value was handed out
    // before, is still the same and ends in a NUL: the line alone answers. (Lookups of such
    // keys take 14 to 26 % less time so, on both targets: bench/RESULTS.md.)
    if (slot->marked()) return buf_.data() + slot->text + value_begin;
    const uint32_t last = slot->record;
    if (is_removed(last)) return nullptr;
    const uint32_t r = records_[last].link;  // the first entry of the ring
    if (is_added(r)) return added_[records_[r].pos].text.c_str() + value_span(r).begin;
    if (flags_[r] & kEdited) return edits_.at(r).c_str();
    const Record& rec = records_[r];
    const Span s = value_span(r);
    const size_t end = rec.pos + s.end;
    // The value ends with a NUL written over the byte after it, remembered to be put back on
    // saving; the last line of the file already has the string's own NUL there.
    if ((flags_[r] & kPatchMask) == 0 && end < buf_.size()) {
        const uint8_t patch = end < rec.pos + rec.len ? (buf_[end] == ' ' ? 1 : 2) : 3;
        buf_[end] = '\0';
        flags_[r] = static_cast<uint8_t>(flags_[r] | (patch << kPatchShift));
    }
    if (r == last) slot->mark();
    return buf_.data() + rec.pos + s.begin;
}

bool Document::contains(std::string_view section, std::string_view key) const {
    // No name check: a name no line can hold matches no line. Section "" is the one name a
    // line can hold ("[]") that set refuses, since removal takes it for the entries before the
    // first header: it is in no section's answer, as for every other name set refuses.
    if (section.empty()) return false;
    const uint32_t header = find_section(section);
    const uint32_t last = header == kNone ? kNone : find_key(key);
    if (last == kNone) return false;
    for (uint32_t r = records_[last].link;; r = records_[r].link) {
        if (canonical_section(r) == header) return true;
        if (r == last) return false;
    }
}

uint32_t Document::add_line(std::string text, uint8_t flags, uint32_t after) {
    const uint32_t r = static_cast<uint32_t>(records_.size());
    const uint32_t anchor = after == kNone ? kNone : is_added(after) ? added_[records_[after].pos].anchor : after;
    added_.push_back(Added{std::move(text), kNone, anchor});
    records_.push_back(Record{static_cast<uint32_t>(added_.size() - 1), 0, kNone, r});
    flags_.push_back(static_cast<uint8_t>(flags | (eol_code(line_ending_) << kEolShift)));
    Added& line = added_.back();
    if (after == kNone) {
        if (end_last_ == kNone) {
            end_first_ = r;
        } else {
            added_[records_[end_last_].pos].next = r;
        }
        end_last_ = r;
    } else if (!is_added(after)) {
        const auto it = groups_.find(after);
        line.next = it == groups_.end() ? kNone : it->second;
        groups_[after] = r;
        flags_[after] = static_cast<uint8_t>(flags_[after] | kGroup);
    } else {
        Added& before = added_[records_[after].pos];
        line.next = before.next;
        before.next = r;
        if (end_last_ == after) end_last_ = r;
    }
    return r;
}

void Document::link_entry(uint32_t entry, std::string_view key) {
    bool added = false;
    LineIndex::Slot& slot = index_.find_or_add(key_hash(key), entry_match(key), entry, text_hint(entry), &added);
    if (added) return;  // its own ring
    slot.unmark();  // no longer the key's only entry
    const uint32_t last = slot.record;
    if (is_removed(last)) {
        slot.point_to(entry, text_hint(entry));
        return;
    }
    // Headers are numbered in file order, added ones after loaded ones, and a new entry is the
    // only one of its key in its block: the header number alone places it in the ring.
    const auto order = [&](uint32_t r) {
        const uint32_t h = records_[r].section;
        return h == kNone ? uint64_t{0} : uint64_t{h} + 1;
    };
    // In a ring, going after the last entry makes the entry the first one unless it is also
    // the last one in file order.
    const bool at_end = order(entry) >= order(last);
    uint32_t before = last;
    if (!at_end) {
        for (uint32_t r = records_[last].link; order(r) <= order(entry); r = records_[r].link) before = r;
    }
    records_[entry].link = records_[before].link;
    records_[before].link = entry;
    if (at_end) slot.point_to(entry, text_hint(entry));
}

int32_t Document::set(std::string_view section, std::string_view key, std::string_view value) {
    int32_t rc = check_section(section);
    if (rc == CONFIG_OK) rc = check_key(key);
    if (rc == CONFIG_OK) rc = check_value(value);
    if (rc != CONFIG_OK) return rc;

    uint32_t header = find_section(section);
    if (header != kNone) {
        LineIndex::Slot* const slot = key_slot(key);
        const uint32_t last = slot == nullptr || is_removed(slot->record) ? kNone : slot->record;
        if (last != kNone) {
            for (uint32_t r = records_[last].link;; r = records_[r].link) {
                if (canonical_section(r) == header) {
                    if (value_of(r) == value) return CONFIG_OK;
                    slot->unmark();
                    if (is_added(r)) {
                        std::string& text = added_[records_[r].pos].text;
                        text.resize(read_text(text, Extent::kValueStart).value_begin);
                        text.append(value);
                    } else {
                        edits_[r] = std::string(value);
                        flags_[r] = static_cast<uint8_t>(flags_[r] | kEdited);
                    }
                    modified_ = true;
                    return CONFIG_OK;
                }
                if (r == last) break;
            }
        }
    }

    // At most two new lines; keep every number below kNone.
    if (records_.size() + 2 >= kNone) return CONFIG_E_TOO_LARGE;
    if (header == kNone) {
        std::string text;
        text.reserve(section.size() + 2);
        text.append("[").append(section).append("]");
        header = add_line(std::move(text), kHeader, end_last_ == kNone ? kNone : end_last_);
        records_[header].section = header;
        bool added = false;
        index_.find_or_add(section_hash(section), header_match(section), header, text_hint(header), &added);
    }
    std::string text;
    text.reserve(key.size() + 1 + value.size());
    text.append(key).append("=").append(value);
    const uint32_t entry = add_line(std::move(text), 0, records_[header].link);
    records_[entry].section = header;
    records_[header].link = entry;
    link_entry(entry, key);
    modified_ = true;
    return CONFIG_OK;
}

uint32_t Document::remove(std::string_view section, std::string_view key) {
    // No name check: a name no line can hold matches no line.
    // kNone stands for the entries before the first header, named by "".
    uint32_t header = kNone;
    if (!section.empty()) {
        header = find_section(section);
        if (header == kNone) return 0;
    }
    const uint32_t last = find_key(key);
    if (last == kNone) return 0;

    std::vector<uint32_t> kept, blocks;
    uint32_t removed = 0;
    for (uint32_t r = records_[last].link;; r = records_[r].link) {
        if (canonical_section(r) == header) {
            flags_[r] = static_cast<uint8_t>(flags_[r] | kRemoved);
            edits_.erase(r);
            const uint32_t own = records_[r].section;
            if (own != kNone && records_[own].link == r) blocks.push_back(own);
            ++removed;
        } else {
            kept.push_back(r);
        }
        if (r == last) break;
    }
    if (removed == 0) return 0;
    for (size_t i = 0; i < kept.size(); ++i) records_[kept[i]].link = kept[(i + 1) % kept.size()];
    bool added = false;
    LineIndex::Slot& slot = index_.find_or_add(key_hash(key), entry_match(key), last, text_hint(last), &added);
    // With no entry left, the slot keeps a removed entry: the mark of an emptied ring.
    const uint32_t keep = kept.empty() ? last : kept.back();
    slot.point_to(keep, text_hint(keep));
    for (const uint32_t block : blocks) recompute_last_entry(block);
    modified_ = true;
    return removed;
}

Document::Line Document::read_line(std::string_view bytes, size_t* pos) {
    const size_t start = *pos;
    const size_t lf = bytes.find('\n', start);
    size_t end = lf == std::string_view::npos ? bytes.size() : lf;
    *pos = lf == std::string_view::npos ? bytes.size() : lf + 1;
    // A CR before the LF belongs to the line ending.
    if (lf != std::string_view::npos && end > start && bytes[end - 1] == '\r') --end;
    const std::string_view text = bytes.substr(start, end - start);
    const Reading reading = read_text(text, Extent::kWhole, true);
    return Line{reading.kind, text, reading.name(text), reading.value(text)};
}

void Document::recompute_last_entry(uint32_t header) {
    uint32_t last = header;
    for (uint32_t r = next_in_file(header); r != kNone && !is_header(r); r = next_in_file(r))
        if (!is_removed(r)) last = r;
    records_[header].link = last;
}

void Document::append_line(std::string& out, uint32_t r) const {
    const std::string_view t = raw_text(r);
    const unsigned patch = (flags_[r] & kPatchMask) >> kPatchShift;
    const char blank = patch == 1 ? ' ' : '\t';
    if (flags_[r] & kEdited) {
        const Span s = value_span(r);
        out.append(t.substr(0, s.begin)).append(edits_.at(r));
        if (patch == 1 || patch == 2) {
            out.push_back(blank);
            out.append(t.substr(s.end + 1));
        } else {
            out.append(t.substr(s.end));
        }
    } else {
        out.append(t);
        if (patch == 1 || patch == 2) out[out.size() - t.size() + value_span(r).end] = blank;
    }
    out.append(eol_of(r));
}

std::string Document::serialize() const {
    size_t size = buf_.size();
    for (const Added& a : added_) size += a.text.size() + 2;
    for (const auto& e : edits_) size += e.second.size();
    std::string out;
    out.reserve(size + 2);
    // An added line after one without a line break gives that line one: CRLF when the line
    // ends in a CR (so that the CR stays part of its text), else the file's own.
    const auto append_added = [&](uint32_t a) {
        if (is_removed(a)) return;
        if (out.size() > prefix_ && out.back() != '\n') out.append(out.back() == '\r' ? "\r\n" : line_ending_);
        out.append(added_[records_[a].pos].text).append(eol_of(a));
    };
    size_t copied = 0;  // buf_ is in out up to here
    for (uint32_t r = 0; r < loaded_; ++r) {
        const uint8_t f = flags_[r];
        if ((f & (kEdited | kRemoved | kPatchMask | kGroup)) == 0) continue;
        const Record& rec = records_[r];
        const size_t line_end = rec.pos + rec.len + eol_of(r).size();
        if (f & kRemoved) {
            out.append(buf_, copied, rec.pos - copied);
        } else if (f & (kEdited | kPatchMask)) {
            out.append(buf_, copied, rec.pos - copied);
            append_line(out, r);
        } else {
            out.append(buf_, copied, line_end - copied);
        }
        copied = line_end;
        if (f & kGroup)
            for (uint32_t a = groups_.at(r); a != kNone; a = added_[records_[a].pos].next) append_added(a);
    }
    out.append(buf_, copied, std::string::npos);
    for (uint32_t a = end_first_; a != kNone; a = added_[records_[a].pos].next) append_added(a);
    return out;
}

}  // namespace cfg
