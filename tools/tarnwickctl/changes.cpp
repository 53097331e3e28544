// SPDX-License-Identifier: Apache-2.0
#include "changes.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <ostream>
#include <utility>

#include "json.h"
#include "messages.h"
#include "tarnwick/config.h"

namespace twctl {

namespace {

using Name = std::pair<std::string, std::string>;  // section and key, folded

Name name_of(const Line& l) { return {tw::fold_name(l.section), tw::fold_name(l.key)}; }

// A value to mask: of a key scrambled in either file, or named in extra.
struct Secrets {
    const FileView* before;
    const FileView& after;
    const std::set<std::string>& extra;

    bool operator()(const Line& l) const {
        if (l.kind != CONFIG_LINE_ENTRY || tw::same_name(l.section, tw::kMarkerSection)) return false;
        return (before != nullptr && before->scrambled(l.key)) || after.scrambled(l.key) ||
               extra.count(tw::fold_name(l.key)) != 0;
    }
};

// The first entry of every name, in file order.
std::vector<const Line*> first_entries(const std::vector<Line>& lines, std::map<Name, const Line*>* index) {
    std::vector<const Line*> order;
    for (const Line& l : lines) {
        if (l.kind == CONFIG_LINE_ENTRY && index->emplace(name_of(l), &l).second) order.push_back(&l);
    }
    return order;
}

// The line's text with its value replaced by mask. The value stands after the first '=' and
// the blanks that follow it.
std::string masked_line(const Line& l, const std::string& mask) {
    size_t at = l.text.find('=');
    if (at == std::string::npos) return l.text;
    ++at;
    while (at < l.text.size() && (l.text[at] == ' ' || l.text[at] == '\t')) ++at;
    const size_t length = std::min(l.value.size(), l.text.size() - at);
    return l.text.substr(0, at) + mask + l.text.substr(at + length);
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

struct Op {
    char kind;     // ' ', '-' or '+'
    size_t a, b;   // lines of before and of after that precede this one
    const std::string* text;
};

// The edit script from a to b: common head and tail, and between them a longest common
// subsequence where the table stays small, else everything removed and added.
std::vector<Op> edit_script(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
    size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) ++tail;
    const size_t n = a.size() - head - tail, m = b.size() - head - tail;

    std::vector<Op> ops;
    size_t i = 0, j = 0;
    const auto keep = [&] { ops.push_back({' ', i, j, &a[i]}), ++i, ++j; };
    const auto remove = [&] { ops.push_back({'-', i, j, &a[i]}), ++i; };
    const auto add = [&] { ops.push_back({'+', i, j, &b[j]}), ++j; };
    while (i < head) keep();
    if (n != 0 && m != 0 && (n + 1) * (m + 1) <= (size_t{1} << 22)) {
        // lcs[x][y]: the longest common subsequence of a's and b's middles from x and y on.
        std::vector<uint32_t> lcs((n + 1) * (m + 1), 0);
        const auto at = [&](size_t x, size_t y) -> uint32_t& { return lcs[x * (m + 1) + y]; };
        for (size_t x = n; x-- > 0;) {
            for (size_t y = m; y-- > 0;) {
                at(x, y) = a[head + x] == b[head + y] ? at(x + 1, y + 1) + 1 : std::max(at(x + 1, y), at(x, y + 1));
            }
        }
        size_t x = 0, y = 0;
        while (x < n && y < m) {
            if (a[head + x] == b[head + y]) {
                keep(), ++x, ++y;
            } else if (at(x + 1, y) >= at(x, y + 1)) {
                remove(), ++x;
            } else {
                add(), ++y;
            }
        }
        while (x < n) remove(), ++x;
        while (y < m) add(), ++y;
    } else {
        for (size_t x = 0; x < n; ++x) remove();
        for (size_t y = 0; y < m; ++y) add();
    }
    while (i < a.size()) keep();
    return ops;
}

std::string range(size_t start, size_t count) {
    return std::to_string(count == 0 ? start : start + 1) + "," + std::to_string(count);
}

// Each line of text passed through printable, its line break kept.
std::string printable_lines(const std::string& text) {
    std::string out;
    for (const std::string& line : split_lines(text)) out += printable(line) + "\n";
    return out;
}

}  // namespace

const FileView* report_base(const FileWrite& w) {
    if (!w.existed()) return nullptr;
    const ChangeReport between = compare_files(w.path(), &w.before(), w.loaded(), {});
    const bool only_added = std::all_of(between.changes.begin(), between.changes.end(),
                                        [](const Change& c) { return c.action == "add"; });
    return only_added ? &w.before() : &w.loaded();
}

ChangeReport compare_files(const std::string& file, const FileView* before_file, const FileView& after_file,
                           const std::set<std::string>& secret_keys) {
    ChangeReport report;
    report.file = file;
    const Secrets is_secret{before_file, after_file, secret_keys};
    static const std::vector<Line> none;
    const std::vector<Line>& before = before_file != nullptr ? before_file->lines() : none;
    const std::vector<Line>& after = after_file.lines();

    report.created = before_file == nullptr;
    report.changed = report.created || before.size() != after.size();
    for (size_t i = 0; !report.changed && i < before.size(); ++i) report.changed = before[i].text != after[i].text;

    std::map<Name, const Line*> old_index, new_index;
    const std::vector<const Line*> old_order = first_entries(before, &old_index);
    for (const Line* l : first_entries(after, &new_index)) {
        const auto old = old_index.find(name_of(*l));
        if (old == old_index.end()) {
            report.changes.push_back({l->section, l->key, "add", is_secret(*l)});
        } else if (old->second->value != l->value) {
            report.changes.push_back({l->section, l->key, "set", is_secret(*l)});
        }
    }
    for (const Line* l : old_order) {
        if (new_index.count(name_of(*l)) == 0)
            report.changes.push_back({l->section, l->key, "remove", is_secret(*l)});
    }

    // Each entry of a secret key, the nth of its name, against the nth of before.
    std::map<Name, std::vector<const std::string*>> old_values;
    for (const Line& l : before) {
        if (is_secret(l)) old_values[name_of(l)].push_back(&l.value);
        report.before += (is_secret(l) ? masked_line(l, "(secret)") : l.text) + "\n";
    }
    std::map<Name, size_t> seen;
    for (const Line& l : after) {
        if (!is_secret(l)) {
            report.after += l.text + "\n";
            continue;
        }
        const std::vector<const std::string*>& old = old_values[name_of(l)];
        const size_t nth = seen[name_of(l)]++;
        const bool same = nth < old.size() && *old[nth] == l.value;
        report.after += masked_line(l, same ? "(secret)" : "(secret, changed)") + "\n";
    }
    return report;
}

void print_report(std::ostream& out, const ChangeReport& report, const ReportStyle& style) {
    if (style.json) {
        out << "{\"changed\": " << (report.changed ? "true" : "false") << ", \"file\": " << json_string(report.file)
            << ", \"changes\": [";
        for (size_t i = 0; i < report.changes.size(); ++i) {
            const Change& c = report.changes[i];
            out << (i == 0 ? "" : ", ") << "{\"section\": " << json_string(c.section)
                << ", \"key\": " << json_string(c.key) << ", \"action\": " << json_string(c.action)
                << ", \"scrambled\": " << (c.scrambled ? "true" : "false") << "}";
        }
        out << "]";
        if (style.diff) {
            out << ", \"diff\": {\"before\": " << json_string(report.before)
                << ", \"after\": " << json_string(report.after) << "}";
        }
        out << "}\n";
        return;
    }
    out << printable(report.file) << ": ";
    if (!report.changed) {
        out << (style.check ? "nothing would change" : "nothing changed") << "\n";
    } else if (!report.created) {
        out << (style.check ? "would change" : "changed");
        for (size_t i = 0; i < report.changes.size(); ++i) {
            const Change& c = report.changes[i];
            out << (i == 0 ? ": " : ", ") << c.action << " " << printable(c.section) << "/" << printable(c.key)
                << (c.scrambled ? " (scrambled)" : "");
        }
        out << "\n";
    } else {
        out << (style.check ? "would be created with " : "created with ") << report.changes.size() << " keys\n";
    }
    if (style.diff) {
        out << printable_lines(
            unified_diff(report.before, report.after, report.file + " (before)", report.file + " (after)"));
    }
}

std::string unified_diff(const std::string& before, const std::string& after, const std::string& before_label,
                         const std::string& after_label) {
    if (before == after) return "";
    const std::vector<std::string> a = split_lines(before), b = split_lines(after);
    const std::vector<Op> ops = edit_script(a, b);
    const size_t context = 3;
    std::string out = "--- " + before_label + "\n+++ " + after_label + "\n";
    size_t i = 0;
    while (i < ops.size()) {
        while (i < ops.size() && ops[i].kind == ' ') ++i;
        if (i == ops.size()) break;
        const size_t start = i >= context ? i - context : 0;
        // The hunk runs on while the next change is close enough for the contexts to meet.
        size_t end = i;
        for (;;) {
            while (end < ops.size() && ops[end].kind != ' ') ++end;
            size_t next = end;
            while (next < ops.size() && ops[next].kind == ' ' && next - end <= 2 * context) ++next;
            if (next < ops.size() && ops[next].kind != ' ' && next - end <= 2 * context) {
                end = next;
                continue;
            }
            break;
        }
        const size_t stop = std::min(ops.size(), end + context);
        size_t a_count = 0, b_count = 0;
        for (size_t k = start; k < stop; ++k) {
            a_count += ops[k].kind != '+';
            b_count += ops[k].kind != '-';
        }
        out += "@@ -" + range(ops[start].a, a_count) + " +" + range(ops[start].b, b_count) + " @@\n";
        for (size_t k = start; k < stop; ++k) out += ops[k].kind + *ops[k].text + "\n";
        i = stop;
    }
    return out;
}

}  // namespace twctl
