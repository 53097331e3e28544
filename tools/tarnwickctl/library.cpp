#include "library.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "config.h"
#include "system.h"

namespace twctl {

const char kMarkerSection[] = "Encription";
const char kMarkerSuffix[] = "Encrypted";

namespace {

// Calls call(buffer, &size) with a buffer grown to the size the library asks for, and on
// success stores the text.
template <class Call>
int32_t read_text(Call call, std::string* text) {
    std::vector<char> buffer(256);
    for (int attempt = 0; attempt < 8; ++attempt) {
        int32_t size = static_cast<int32_t>(buffer.size());
        const int32_t rc = call(buffer.data(), &size);
        if (rc == ATTRIB_MNGR_BUFFER_TOO_SMALL && size > static_cast<int32_t>(buffer.size())) {
            buffer.resize(static_cast<size_t>(size));
            continue;
        }
        if (rc == ATTRIB_MNGR_OK) text->assign(buffer.data());
        return rc;
    }
    return ATTRIB_MNGR_BUFFER_TOO_SMALL;
}

int32_t CONFIG_CALL collect_line(void* ctx, const config_line* l) {
    const auto str = [](const config_text& t) { return std::string(t.data, t.size); };
    static_cast<std::vector<Line>*>(ctx)->push_back(
        {l->number, l->kind, str(l->text), str(l->section), str(l->key), str(l->value)});
    return CONFIG_OK;
}

}  // namespace

int32_t read_attrib(AttribMngr* mngr, const std::string& name, uint32_t flags, std::string* value) {
    return read_text(
        [&](char* buffer, int32_t* size) { return attrib_mngr_get_attrib(mngr, name.c_str(), buffer, size, flags); },
        value);
}

bool has_marker(AttribMngr* mngr, const std::string& name) {
    std::string ignored;
    return read_attrib(mngr, name + kMarkerSuffix, 0, &ignored) == ATTRIB_MNGR_OK;
}

int32_t located_path(std::string* path) { return read_text(attrib_mngr_get_null_filename, path); }

int32_t read_lines(const std::string& path, std::vector<Line>* lines) {
    const config_handle cfg = new_config();
    if (cfg == 0) return ATTRIB_MNGR_NO_CONFIG;
    int32_t rc = config_add_ini_file_source(cfg, path.c_str());
    if (rc == CONFIG_OK) rc = config_enum_lines(cfg, path.c_str(), collect_line, lines);
    delete_config(cfg);
    return rc;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool marked(const std::vector<Line>& lines, std::string_view key) {
    const std::string marker = std::string(key) + kMarkerSuffix;
    for (const Line& l : lines) {
        if (l.kind == CONFIG_LINE_ENTRY && equal_ignoring_case(l.key, marker)) return true;
    }
    return false;
}

std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::set<std::string> marked_keys(const std::vector<Line>& lines) {
    const std::string suffix = ascii_lower(kMarkerSuffix);
    std::set<std::string> keys;
    for (const Line& l : lines) {
        if (l.kind != CONFIG_LINE_ENTRY || l.key.size() <= suffix.size()) continue;
        const std::string key = ascii_lower(l.key);
        if (key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0)
            keys.insert(key.substr(0, key.size() - suffix.size()));
    }
    return keys;
}

int32_t reveal_entry(AttribMngr* mngr, const std::vector<Line>& lines, size_t index, std::string* clear) {
    const Line& entry = lines[index];
    size_t first = index;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == CONFIG_LINE_ENTRY && equal_ignoring_case(lines[i].key, entry.key)) {
            first = i;
            break;
        }
    }
    if (first == index) return read_attrib(mngr, entry.key, ATTRIB_MNGR_FLAG_SCRAMBLED, clear);

    // A get by name reads the first entry only: the library unscrambles this one in a file of
    // its own.
    ScratchDir scratch;
    if (!scratch.ok()) return CONFIG_E_CREATE;
    const std::string path = scratch.path("reveal.cfg");
    const std::string section = entry.section.empty() ? std::string() : "[" + entry.section + "]\n";
    if (!write_private_file(path, section + entry.key + "=" + entry.value + "\n[" + kMarkerSection + "]\n" +
                                      entry.key + kMarkerSuffix + "=\n")) {
        return CONFIG_E_WRITE;
    }
    Handle alone;
    const int32_t rc = alone.open(path);
    if (rc != ATTRIB_MNGR_OK) return rc;
    return read_attrib(alone.get(), entry.key, ATTRIB_MNGR_FLAG_SCRAMBLED, clear);
}

ScratchDir::ScratchDir() {
    if (!make_private_directory(&dir_)) dir_.clear();
}

ScratchDir::~ScratchDir() {
    if (dir_.empty() || keep_) return;
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string ScratchDir::path(const std::string& name) const { return (std::filesystem::path(dir_) / name).string(); }

bool read_bytes(const std::string& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool write_private_file(const std::string& path, const std::string& bytes) {
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) return false;
    }
    std::error_code ec;
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::replace, ec);
    return true;
}

}  // namespace twctl
