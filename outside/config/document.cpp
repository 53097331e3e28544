#include "document.h"

#include <algorithm>
#include <utility>

#include "config.h"

namespace cfg {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool is_blank(char c) { return c == ' ' || c == '\t'; }

bool blank_edged(std::string_view s) { return !s.empty() && (is_blank(s.front()) || is_blank(s.back())); }

bool has_line_break(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + ('a' - 'A'));
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + ('a' - 'A'));
        if (x != y) return false;
    }
    return true;
}

uint32_t section_hash(std::string_view section) { return fold_hash(hash_name(section)); }

uint32_t section_key_hash(std::string_view section, std::string_view key) {
    // The separator keeps ("ab", "c") and ("a", "bc") apart.
    return fold_hash(hash_name(key, hash_name("\n", hash_name(section))));
}

uint32_t key_hash(std::string_view key) { return fold_hash(hash_name(key)); }

uint8_t eol_code(std::string_view eol) { return eol == "\r\n" ? 2 : 1; }

std::string_view eol_text(uint8_t code) { return code == 2 ? "\r\n" : code == 1 ? "\n" : ""; }

}  // namespace

int32_t check_section(std::string_view name) {
    if (name.empty() || blank_edged(name) || has_line_break(name) || name.find(']') != std::string_view::npos)
        return CONFIG_E_SECTION;
    return CONFIG_OK;
}

int32_t check_key(std::string_view name) {
    if (name.empty() || blank_edged(name) || has_line_break(name) || name.find('=') != std::string_view::npos ||
        name.front() == '[' || name.front() == ';' || name.front() == '#')
        return CONFIG_E_KEY;
    return CONFIG_OK;
}

int32_t check_value(std::string_view value) {
    if (blank_edged(value) || has_line_break(value)) return CONFIG_E_VALUE;
    return CONFIG_OK;
}

Document::Document(std::string_view line_ending) : line_ending_(line_ending) { clear(); }

void Document::clear() {
    original_.clear();
    edited_.clear();
    lines_.clear();
    blocks_.assign(1, Block{kNone, kNone});
    first_ = last_ = kNone;
    prefix_ = 0;
    by_key_.clear();
    by_section_key_.clear();
    by_section_.clear();
    returned_.clear();
    modified_ = false;
}

int32_t Document::load(std::string bytes, std::string_view default_line_ending) {
    // Line positions and numbers are 32-bit, with UINT32_MAX kept for "none".
    if (bytes.size() >= kNone - 1) return CONFIG_E_TOO_LARGE;
    clear();
    original_ = std::move(bytes);
    const std::string_view all(original_);
    prefix_ = all.substr(0, kBom.size()) == kBom ? kBom.size() : 0;

    const size_t breaks = static_cast<size_t>(std::count(all.begin() + prefix_, all.end(), '\n'));
    lines_.reserve(breaks + 1);
    by_key_.reserve(breaks + 1);
    by_section_key_.reserve(breaks + 1);

    line_ending_ = std::string(default_line_ending);
    bool style_found = false;
    uint32_t block = 0;
    size_t pos = prefix_;
    while (pos < all.size()) {
        const size_t lf = all.find('\n', pos);
        const size_t end = lf == std::string_view::npos ? all.size() : lf;
        size_t text_end = end;
        uint8_t eol = 0;
        if (lf != std::string_view::npos) {
            eol = 1;
            if (end > pos && all[end - 1] == '\r') {
                eol = 2;
                --text_end;
            }
            if (!style_found) {
                line_ending_ = std::string(eol_text(eol));
                style_found = true;
            }
        }
        const uint32_t i = static_cast<uint32_t>(lines_.size());
        Line line{static_cast<uint32_t>(pos), static_cast<uint32_t>(text_end - pos), kNone, block, Kind::kOther,
                  false, eol};
        const Parsed p = parse(all.substr(pos, text_end - pos));
        if (p.kind == Kind::kSection) {
            block = static_cast<uint32_t>(blocks_.size());
            blocks_.push_back(Block{i, i});
            line.block = block;
            line.kind = Kind::kSection;
        } else if (p.kind == Kind::kEntry) {
            line.kind = Kind::kEntry;
            blocks_[block].last_entry = i;
        }
        if (last_ != kNone) lines_[last_].next = i;
        lines_.push_back(line);
        if (first_ == kNone) first_ = i;
        last_ = i;
        if (p.kind == Kind::kSection && find_section(p.name) == kNone) by_section_.insert(section_hash(p.name), i);
        if (p.kind == Kind::kEntry) index_entry(i);
        pos = end == all.size() ? end : end + 1;
    }
    return CONFIG_OK;
}

Document::Parsed Document::parse(std::string_view t) {
    Parsed p;
    size_t i = 0;
    while (i < t.size() && is_blank(t[i])) ++i;
    if (i == t.size() || t[i] == ';' || t[i] == '#') return p;
    if (t[i] == '[') {
        const size_t close = t.find(']', i + 1);
        if (close == std::string_view::npos) return p;
        p.kind = Kind::kSection;
        p.name = trim(t.substr(i + 1, close - i - 1));
        return p;
    }
    const size_t eq = t.find('=', i);
    if (eq == std::string_view::npos) return p;
    const std::string_view key = trim(t.substr(i, eq - i));
    if (key.empty()) return p;
    p.kind = Kind::kEntry;
    p.name = key;
    size_t begin = eq + 1;
    size_t end = t.size();
    while (begin < end && is_blank(t[begin])) ++begin;
    while (end > begin && is_blank(t[end - 1])) --end;
    p.value_pos = begin;
    p.value_len = end - begin;
    return p;
}

std::string_view Document::text(uint32_t line) const {
    const Line& l = lines_[line];
    if (l.edited) return edited_[l.pos];
    return std::string_view(original_).substr(l.pos, l.len);
}

std::string_view Document::section_of(uint32_t line) const {
    const uint32_t header = blocks_[lines_[line].block].header;
    return header == kNone ? std::string_view() : name_of(header);
}

uint32_t Document::find_entry(std::string_view section, std::string_view key) const {
    return by_section_key_.find(section_key_hash(section, key), [&](uint32_t line) {
        return equal_ignoring_case(name_of(line), key) && equal_ignoring_case(section_of(line), section);
    });
}

uint32_t Document::find_section(std::string_view section) const {
    return by_section_.find(section_hash(section),
                            [&](uint32_t line) { return equal_ignoring_case(name_of(line), section); });
}

void Document::index_entry(uint32_t line) {
    const std::string_view key = name_of(line);
    const auto same_key = [&](uint32_t other) { return equal_ignoring_case(name_of(other), key); };
    const uint32_t h = key_hash(key);
    const uint32_t first = by_key_.find(h, same_key);
    if (first == kNone) {
        by_key_.insert(h, line);
    } else if (lines_[first].block > lines_[line].block) {
        // A key added to an earlier section now comes first in file order. Blocks are numbered
        // in file order, and a new key never joins a block that already holds its name.
        by_key_.repoint(h, same_key, line);
    }
    const uint32_t header = blocks_[lines_[line].block].header;
    if (header == kNone) return;
    const std::string_view section = name_of(header);
    if (find_entry(section, key) == kNone) by_section_key_.insert(section_key_hash(section, key), line);
}

const char* Document::find(std::string_view key) {
    const uint32_t line = by_key_.find(key_hash(key), [&](uint32_t l) { return equal_ignoring_case(name_of(l), key); });
    if (line == kNone) return nullptr;
    auto it = returned_.find(line);
    if (it == returned_.end()) {
        const std::string_view t = text(line);
        const Parsed p = parse(t);
        it = returned_.emplace(line, std::string(t.substr(p.value_pos, p.value_len))).first;
    }
    return it->second.c_str();
}

bool Document::contains(std::string_view section, std::string_view key) const {
    if (check_section(section) != CONFIG_OK || check_key(key) != CONFIG_OK) return false;
    return find_entry(section, key) != kNone;
}

uint32_t Document::append_line(std::string line_text, Kind kind, uint32_t block, uint32_t after) {
    const uint32_t i = static_cast<uint32_t>(lines_.size());
    edited_.push_back(std::move(line_text));
    lines_.push_back(Line{static_cast<uint32_t>(edited_.size() - 1), 0, kNone, block, kind, true,
                          eol_code(line_ending_)});
    if (after == kNone) {
        lines_[i].next = first_;
        first_ = i;
        if (last_ == kNone) last_ = i;
        return i;
    }
    // Only the last line of a file can lack a line break; it needs one now.
    if (lines_[after].eol == 0) lines_[after].eol = eol_code(line_ending_);
    lines_[i].next = lines_[after].next;
    lines_[after].next = i;
    if (last_ == after) last_ = i;
    return i;
}

int32_t Document::set(std::string_view section, std::string_view key, std::string_view value) {
    int32_t rc = check_section(section);
    if (rc == CONFIG_OK) rc = check_key(key);
    if (rc == CONFIG_OK) rc = check_value(value);
    if (rc != CONFIG_OK) return rc;

    const uint32_t entry = find_entry(section, key);
    if (entry != kNone) {
        const std::string_view t = text(entry);
        const Parsed p = parse(t);
        if (t.substr(p.value_pos, p.value_len) == value) return CONFIG_OK;
        std::string changed;
        changed.reserve(t.size() - p.value_len + value.size());
        changed.append(t.substr(0, p.value_pos)).append(value).append(t.substr(p.value_pos + p.value_len));
        Line& l = lines_[entry];
        if (l.edited) {
            edited_[l.pos] = std::move(changed);
        } else {
            edited_.push_back(std::move(changed));
            l.pos = static_cast<uint32_t>(edited_.size() - 1);
            l.edited = true;
        }
        returned_.erase(entry);
        modified_ = true;
        return CONFIG_OK;
    }

    // At most two new lines; keep every number below kNone.
    if (lines_.size() + 2 >= kNone) return CONFIG_E_TOO_LARGE;
    std::string entry_text;
    entry_text.reserve(key.size() + 1 + value.size());
    entry_text.append(key).append("=").append(value);

    uint32_t header = find_section(section);
    if (header == kNone) {
        const uint32_t block = static_cast<uint32_t>(blocks_.size());
        std::string header_text;
        header_text.reserve(section.size() + 2);
        header_text.append("[").append(section).append("]");
        header = append_line(std::move(header_text), Kind::kSection, block, last_);
        blocks_.push_back(Block{header, header});
        by_section_.insert(section_hash(section), header);
    }
    const uint32_t block = lines_[header].block;
    const uint32_t line = append_line(std::move(entry_text), Kind::kEntry, block, blocks_[block].last_entry);
    blocks_[block].last_entry = line;
    index_entry(line);
    modified_ = true;
    return CONFIG_OK;
}

uint32_t Document::remove(std::string_view section, std::string_view key) {
    if (check_section(section) != CONFIG_OK || check_key(key) != CONFIG_OK) return 0;
    if (find_entry(section, key) == kNone) return 0;
    uint32_t removed = 0;
    uint32_t before = kNone;
    for (uint32_t i = first_; i != kNone;) {
        const uint32_t next = lines_[i].next;
        if (lines_[i].kind == Kind::kEntry && equal_ignoring_case(name_of(i), key) &&
            equal_ignoring_case(section_of(i), section)) {
            if (before == kNone) {
                first_ = next;
            } else {
                lines_[before].next = next;
            }
            if (last_ == i) last_ = before;
            returned_.erase(i);
            ++removed;
        } else {
            before = i;
        }
        i = next;
    }
    reindex();
    modified_ = true;
    return removed;
}

// Rebuilds the indexes and the insertion points from the lines still in the file.
void Document::reindex() {
    by_key_.clear();
    by_section_key_.clear();
    for (Block& b : blocks_) b.last_entry = b.header;
    for (uint32_t i = first_; i != kNone; i = lines_[i].next) {
        if (lines_[i].kind != Kind::kEntry) continue;
        blocks_[lines_[i].block].last_entry = i;
        index_entry(i);
    }
}

std::string Document::serialize() const {
    size_t size = prefix_;
    for (uint32_t i = first_; i != kNone; i = lines_[i].next) size += text(i).size() + eol_text(lines_[i].eol).size();
    std::string out;
    out.reserve(size);
    out.append(original_, 0, prefix_);
    for (uint32_t i = first_; i != kNone; i = lines_[i].next) out.append(text(i)).append(eol_text(lines_[i].eol));
    return out;
}

}  // namespace cfg
