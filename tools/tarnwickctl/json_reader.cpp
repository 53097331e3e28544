// SPDX-License-Identifier: Apache-2.0
#include "json_reader.h"

#include <cstdlib>
#include <unordered_set>

namespace twctl {

namespace {

class Reader {
public:
    Reader(std::string_view text, int max_depth) : t_(text), max_depth_(max_depth) {}

    bool document(Json* v) {
        blanks();
        if (!value(v, 0)) return false;
        blanks();
        return i_ == t_.size() || fail("text after the value");
    }
    std::string error;

private:
    bool fail(const std::string& what) {
        if (error.empty()) error = text_position(t_, i_) + ": " + what;
        return false;
    }
    bool more() const { return i_ < t_.size(); }
    char peek() const { return t_[i_]; }
    void blanks() {
        while (more() && (peek() == ' ' || peek() == '\n' || peek() == '\r' || peek() == '\t')) ++i_;
    }
    bool literal(std::string_view word) {
        if (t_.substr(i_, word.size()) != word) return fail("not a JSON value");
        i_ += word.size();
        return true;
    }
    bool hex4(unsigned* out) {
        *out = 0;
        for (int k = 0; k < 4; ++k, ++i_) {
            const char c = more() ? peek() : '\0';
            *out <<= 4;
            if (c >= '0' && c <= '9') *out |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f') *out |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') *out |= static_cast<unsigned>(c - 'A' + 10);
            else return fail("a \\u escape needs four hex digits");
        }
        return true;
    }
    static void utf8(unsigned cp, std::string* s) {
        if (cp < 0x80) {
            *s += static_cast<char>(cp);
        } else if (cp < 0x800) {
            *s += static_cast<char>(0xC0 | (cp >> 6));
            *s += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *s += static_cast<char>(0xE0 | (cp >> 12));
            *s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *s += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            *s += static_cast<char>(0xF0 | (cp >> 18));
            *s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            *s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *s += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    // The decoded text is never longer than its escaped form: reserving that (on the heap,
    // past the short-string buffer) keeps the string where it is while it fills and moves.
    void reserve_for_string(std::string* s) const {
        size_t end = i_ + 1;
        while (end < t_.size() && t_[end] != '"') end += t_[end] == '\\' ? 2 : 1;
        const size_t wanted = end - i_;
        s->reserve(wanted < 32 ? 32 : wanted);
    }
    bool string(std::string* s) {
        if (!more() || peek() != '"') return fail("expected a string");
        reserve_for_string(s);
        ++i_;
        while (more() && peek() != '"') {
            const unsigned char c = static_cast<unsigned char>(peek());
            if (c < 0x20) return fail("a control character in a string (write it as an escape)");
            if (c != '\\') {
                *s += t_[i_++];
                continue;
            }
            if (++i_ >= t_.size()) return fail("unfinished escape");
            const char e = t_[i_++];
            switch (e) {
                case '"': *s += '"'; break;
                case '\\': *s += '\\'; break;
                case '/': *s += '/'; break;
                case 'b': *s += '\b'; break;
                case 'f': *s += '\f'; break;
                case 'n': *s += '\n'; break;
                case 'r': *s += '\r'; break;
                case 't': *s += '\t'; break;
                case 'u': {
                    unsigned cp = 0;
                    if (!hex4(&cp)) return false;
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        unsigned low = 0;
                        if (t_.substr(i_, 2) != "\\u") return fail("a high surrogate without its low half");
                        i_ += 2;
                        if (!hex4(&low)) return false;
                        if (low < 0xDC00 || low > 0xDFFF) return fail("a high surrogate without its low half");
                        utf8(0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00), s);
                    } else if (cp >= 0xDC80 && cp <= 0xDCFF) {
                        *s += static_cast<char>(cp - 0xDC00);  // a byte that was not UTF-8
                    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                        return fail("a lone low surrogate");
                    } else {
                        utf8(cp, s);
                    }
                    break;
                }
                default: --i_; return fail("an unknown escape");
            }
        }
        if (!more()) return fail("unfinished string");
        ++i_;
        return true;
    }
    bool digits() {
        const size_t start = i_;
        while (more() && peek() >= '0' && peek() <= '9') ++i_;
        return i_ > start;
    }
    bool number(Json* v) {
        const size_t start = i_;
        if (more() && peek() == '-') ++i_;
        if (more() && peek() == '0') {
            ++i_;
        } else if (!digits()) {
            return fail("not a JSON value");
        }
        if (more() && peek() == '.') {
            ++i_;
            if (!digits()) return fail("a digit must follow the decimal point");
        }
        if (more() && (peek() == 'e' || peek() == 'E')) {
            ++i_;
            if (more() && (peek() == '+' || peek() == '-')) ++i_;
            if (!digits()) return fail("a digit must follow the exponent");
        }
        v->type = Json::kNumber;
        v->number = std::strtod(std::string(t_.substr(start, i_ - start)).c_str(), nullptr);
        return true;
    }
    bool value(Json* v, int depth) {
        if (!more()) return fail("expected a value");
        v->offset = i_;
        const char c = peek();
        if (c == '"') {
            v->type = Json::kString;
            return string(&v->string);
        }
        if (c == '{' || c == '[') {
            if (depth >= max_depth_) return fail("nested too deeply");
            return c == '{' ? object(v, depth + 1) : array(v, depth + 1);
        }
        if (c == 't') return v->type = Json::kBool, v->boolean = true, literal("true");
        if (c == 'f') return v->type = Json::kBool, v->boolean = false, literal("false");
        if (c == 'n') return v->type = Json::kNull, literal("null");
        return number(v);
    }
    bool object(Json* v, int depth) {
        v->type = Json::kObject;
        ++i_;
        blanks();
        if (more() && peek() == '}') return ++i_, true;
        std::unordered_set<std::string> names;
        for (;;) {
            blanks();
            const size_t name_at = i_;
            std::string name;
            if (!string(&name)) return false;
            if (!names.insert(name).second) {
                i_ = name_at;
                return fail("a name twice in one object");
            }
            v->object.emplace_back(std::move(name), Json());
            blanks();
            if (!more() || peek() != ':') return fail("expected ':'");
            ++i_;
            blanks();
            if (!value(&v->object.back().second, depth)) return false;
            blanks();
            if (more() && peek() == ',') {
                ++i_;
                continue;
            }
            if (more() && peek() == '}') return ++i_, true;
            return fail("expected ',' or '}'");
        }
    }
    bool array(Json* v, int depth) {
        v->type = Json::kArray;
        ++i_;
        blanks();
        if (more() && peek() == ']') return ++i_, true;
        for (;;) {
            blanks();
            v->array.emplace_back();
            if (!value(&v->array.back(), depth)) return false;
            blanks();
            if (more() && peek() == ',') {
                ++i_;
                continue;
            }
            if (more() && peek() == ']') return ++i_, true;
            return fail("expected ',' or ']'");
        }
    }

    std::string_view t_;
    int max_depth_;
    size_t i_ = 0;
};

}  // namespace

const Json& Json::operator[](const std::string& key) const {
    static const Json none;
    for (const auto& member : object) {
        if (member.first == key) return member.second;
    }
    return none;
}

bool parse_json(std::string_view text, Json* value, std::string* error, int max_depth) {
    Reader reader(text, max_depth);
    const bool ok = reader.document(value);
    if (!ok && error != nullptr) *error = reader.error;
    return ok;
}

void wipe(Json* value) {
    const auto overwrite = [](std::string* text) {
        volatile char* p = text->data();
        for (size_t i = 0; i < text->size(); ++i) p[i] = '\0';
        text->clear();
    };
    overwrite(&value->string);
    for (Json& item : value->array) wipe(&item);
    for (auto& member : value->object) {
        overwrite(&member.first);
        wipe(&member.second);
    }
}

std::string text_position(std::string_view text, size_t offset) {
    size_t line = 1, column = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

}  // namespace twctl
