#include "json_reader.h"

#include <cstdlib>

namespace twtest {

namespace {

class Reader {
public:
    explicit Reader(const std::string& text) : t_(text) {}

    bool document(Json* v) {
        blanks();
        if (!value(v)) return false;
        blanks();
        return i_ == t_.size() || fail("text after the value");
    }
    std::string error;

private:
    bool fail(const std::string& what) {
        if (error.empty()) error = what + " at " + std::to_string(i_);
        return false;
    }
    void blanks() {
        while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\n' || t_[i_] == '\r' || t_[i_] == '\t')) ++i_;
    }
    bool literal(const char* word) {
        const std::string w = word;
        if (t_.compare(i_, w.size(), w) != 0) return fail("bad literal");
        i_ += w.size();
        return true;
    }
    bool hex4(unsigned* out) {
        if (i_ + 4 > t_.size()) return fail("short \\u escape");
        *out = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = t_[i_++];
            *out <<= 4;
            if (c >= '0' && c <= '9') *out |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f') *out |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') *out |= static_cast<unsigned>(c - 'A' + 10);
            else return fail("bad hex digit");
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
    bool string(std::string* s) {
        if (i_ >= t_.size() || t_[i_] != '"') return fail("expected a string");
        ++i_;
        while (i_ < t_.size() && t_[i_] != '"') {
            const unsigned char c = static_cast<unsigned char>(t_[i_]);
            if (c < 0x20) return fail("raw control character in a string");
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
                    if (cp >= 0xD800 && cp <= 0xDBFF && t_.compare(i_, 2, "\\u") == 0) {
                        i_ += 2;
                        unsigned low = 0;
                        if (!hex4(&low) || low < 0xDC00 || low > 0xDFFF) return fail("bad surrogate pair");
                        utf8(0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00), s);
                    } else if (cp >= 0xDC80 && cp <= 0xDCFF) {
                        *s += static_cast<char>(cp - 0xDC00);  // a byte that was not UTF-8
                    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
                        return fail("lone surrogate");
                    } else {
                        utf8(cp, s);
                    }
                    break;
                }
                default: return fail("bad escape");
            }
        }
        if (i_ >= t_.size()) return fail("unfinished string");
        ++i_;
        return true;
    }
    bool value(Json* v) {
        if (i_ >= t_.size()) return fail("expected a value");
        const char c = t_[i_];
        if (c == '"') {
            v->type = Json::kString;
            return string(&v->string);
        }
        if (c == '{') {
            v->type = Json::kObject;
            ++i_;
            blanks();
            if (i_ < t_.size() && t_[i_] == '}') return ++i_, true;
            for (;;) {
                blanks();
                std::string key;
                if (!string(&key)) return false;
                blanks();
                if (i_ >= t_.size() || t_[i_++] != ':') return fail("expected ':'");
                blanks();
                if (v->object.count(key)) return fail("key twice: " + key);
                if (!value(&v->object[key])) return false;
                blanks();
                if (i_ < t_.size() && t_[i_] == ',') { ++i_; continue; }
                if (i_ < t_.size() && t_[i_] == '}') return ++i_, true;
                return fail("expected ',' or '}'");
            }
        }
        if (c == '[') {
            v->type = Json::kArray;
            ++i_;
            blanks();
            if (i_ < t_.size() && t_[i_] == ']') return ++i_, true;
            for (;;) {
                blanks();
                v->array.emplace_back();
                if (!value(&v->array.back())) return false;
                blanks();
                if (i_ < t_.size() && t_[i_] == ',') { ++i_; continue; }
                if (i_ < t_.size() && t_[i_] == ']') return ++i_, true;
                return fail("expected ',' or ']'");
            }
        }
        if (c == 't') return v->type = Json::kBool, v->boolean = true, literal("true");
        if (c == 'f') return v->type = Json::kBool, v->boolean = false, literal("false");
        if (c == 'n') return v->type = Json::kNull, literal("null");
        const char* begin = t_.c_str() + i_;
        char* end = nullptr;
        v->type = Json::kNumber;
        v->number = std::strtod(begin, &end);
        if (end == begin) return fail("expected a value");
        i_ += static_cast<size_t>(end - begin);
        return true;
    }

    const std::string& t_;
    size_t i_ = 0;
};

}  // namespace

bool parse_json(const std::string& text, Json* value, std::string* error) {
    Reader reader(text);
    const bool ok = reader.document(value);
    if (!ok && error != nullptr) *error = reader.error;
    return ok;
}

}  // namespace twtest
