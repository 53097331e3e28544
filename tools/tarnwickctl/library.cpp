// SPDX-License-Identifier: Apache-2.0
#include "library.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <stdexcept>
#include <system_error>

#include "scramble_codec.h"
#include "system.h"
#include "tarnwick/config.h"
#include "tarnwick/corvane.h"

namespace twctl {

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

// Releases a block of the codec.
struct Block {
    explicit Block(char* p) : p(p) {}
    ~Block() { maw_free(p); }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    char* p;
};

const char* fault_text(tw::ScrambledFault fault) {
    switch (fault) {
        case tw::ScrambledFault::kSound: break;
        case tw::ScrambledFault::kNotHex: return "it holds characters that are not hex digits";
        case tw::ScrambledFault::kTooShort: return "it is shorter than the 8 digits of a seed";
        case tw::ScrambledFault::kNoValue: return "it holds a seed and no value";
        case tw::ScrambledFault::kOddLength: return "its length is odd: a digit is missing or extra";
        case tw::ScrambledFault::kZeroSeed: return "its seed is 0, which scrambling never writes";
    }
    return "";
}

}  // namespace

int32_t located_path(std::string* path) { return read_text(attrib_mngr_get_null_filename, path); }

int32_t library_code(int32_t store_code) {
    return store_code == CONFIG_E_UNTRUSTED ? ATTRIB_MNGR_UNTRUSTED_FILE : store_code;
}

int32_t FileView::load(const std::string& path) {
    const config_handle cfg = new_config();
    if (cfg == 0) return ATTRIB_MNGR_NO_CONFIG;
    int32_t rc = config_add_ini_file_source(cfg, path.c_str());
    if (rc == CONFIG_OK) rc = load_from(cfg, path);
    delete_config(cfg);
    return library_code(rc);
}

int32_t FileView::load_from(uint32_t cfg, const std::string& path) {
    lines_.clear();
    const int32_t rc = config_enum_lines(cfg, path.c_str(), collect_line, &lines_);
    index();
    return library_code(rc);
}

Store::Store() : cfg_(new_config()) {}

Store::~Store() {
    if (cfg_ != 0) delete_config(cfg_);
}

int32_t Store::open(const std::string& path) {
    if (cfg_ == 0) return ATTRIB_MNGR_NO_CONFIG;
    int32_t rc = config_add_ini_file_source(cfg_, path.c_str());
    exists_ = rc == CONFIG_OK;
    if (rc == CONFIG_E_NOT_FOUND) rc = config_add_ini_new_file_source(cfg_, path.c_str());
    if (rc == CONFIG_OK) rc = view_.load_from(cfg_, path);
    return library_code(rc);
}

void FileView::index() {
    first_.clear();
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == CONFIG_LINE_ENTRY) first_.emplace(tw::fold_name(lines_[i].key), i);
    }
}

const Line* FileView::first_entry(std::string_view key) const {
    const auto it = first_.find(tw::fold_name(key));
    return it == first_.end() ? nullptr : &lines_[it->second];
}

// Section "" names the entries before the first header, as the store's removal takes it; the
// entries under a header "[]" are in no section a command can name (the store refuses to set
// one), so the search for "" ends at the first header.
bool FileView::has_section(std::string_view section) const {
    for (const Line& l : lines_) {
        if (section.empty() && l.kind == CONFIG_LINE_SECTION) return false;
        if ((l.kind == CONFIG_LINE_SECTION || l.kind == CONFIG_LINE_ENTRY) && tw::same_name(l.section, section))
            return true;
    }
    return false;
}

const Line* FileView::find(std::string_view section, std::string_view key) const {
    for (const Line& l : lines_) {
        if (section.empty() && l.kind == CONFIG_LINE_SECTION) return nullptr;
        if (l.kind == CONFIG_LINE_ENTRY && tw::same_name(l.key, key) && tw::same_name(l.section, section)) return &l;
    }
    return nullptr;
}

bool FileView::scrambled(std::string_view key) const { return first_entry(tw::marker_key(key)) != nullptr; }

bool FileView::scrambled_entry(const Line& l) const {
    return l.kind == CONFIG_LINE_ENTRY && !tw::same_name(l.section, tw::kMarkerSection) && scrambled(l.key);
}

InitLock::~InitLock() {
    if (lock_ == 0) return;
    if (held_) leave_interprocess_critical_section(lock_);
    destroy_interprocess_critical_section(lock_);
}

int32_t InitLock::acquire(uint32_t timeout_ms) {
    if (held_) return ATTRIB_MNGR_OK;
    if (lock_ == 0) lock_ = init_interprocess_critical_section(TARNWICK_INIT_LOCK_NAME);
    if (lock_ == 0) throw std::runtime_error("the machine-wide lock could not be opened; nothing was written");
    held_ = try_enter_interprocess_critical_section(lock_, timeout_ms) != 0;
    return held_ ? ATTRIB_MNGR_OK : ATTRIB_MNGR_LOCK_TIMEOUT;
}

FileWrite::~FileWrite() {
    if (cfg_ != 0) delete_config(cfg_);
}

int32_t FileWrite::open(const std::optional<std::string>& file, bool lock_now) {
    if (file) {
        path_ = *file;
    } else {
        const int32_t rc = located_path(&path_);
        if (rc != ATTRIB_MNGR_OK) return rc;
    }
    const int32_t read = before_.load(path_);
    existed_ = read == ATTRIB_MNGR_OK;
    if (!existed_ && read != CONFIG_E_NOT_FOUND) return read;

    {
        Handle prepared;
        const int32_t rc = prepared.open(file);
        if (rc != ATTRIB_MNGR_OK) return rc;
        path_ = attrib_mngr_get_filename(prepared.get());
    }

    if (lock_now) {
        const int32_t rc = lock_.acquire();
        if (rc != ATTRIB_MNGR_OK) return rc;
    }
    cfg_ = new_config();
    if (cfg_ == 0) return ATTRIB_MNGR_NO_CONFIG;
    int32_t rc = config_add_ini_file_source(cfg_, path_.c_str());
    if (rc == CONFIG_OK) return loaded_.load_from(cfg_, path_);
    delete_config(cfg_);
    cfg_ = 0;
    return library_code(rc);
}

FileWrite::Opening FileWrite::opening() const {
    if (!existed_) return kCreated;
    const std::vector<Line>& was = before_.lines();
    const std::vector<Line>& now = loaded_.lines();
    const bool same = std::equal(was.begin(), was.end(), now.begin(), now.end(),
                                 [](const Line& a, const Line& b) { return a.text == b.text; });
    return same ? kUntouched : kCompleted;
}

int32_t FileWrite::save() {
    const int32_t rc = lock_.acquire();
    if (rc != ATTRIB_MNGR_OK) return rc;
    return library_code(config_save(cfg_, path_.c_str(), CONFIG_SAVE_IF_UNCHANGED));
}

int32_t reveal(const std::string& stored, std::string* clear, std::string* why) {
    const tw::ScrambledFault fault = tw::scrambled_text_fault(stored.data(), stored.size());
    if (fault != tw::ScrambledFault::kSound) {
        if (why != nullptr) *why = fault_text(fault);
        return ATTRIB_MNGR_UNSCRAMBLE_FAILED;
    }
    int32_t length = 0;
    Block text(tw::unscramble_text(stored.c_str(), &length));
    if (text.p == nullptr) return ATTRIB_MNGR_NO_MEMORY;
    clear->assign(text.p, static_cast<size_t>(length));
    // The clear copy in the codec's block goes the way of every secret.
    volatile char* p = text.p;
    for (int32_t i = 0; i < length; ++i) p[i] = '\0';
    return ATTRIB_MNGR_OK;
}

std::string scramble(const std::string& clear) {
    Block text(tw::scramble_value_with_seed(clear.data(), static_cast<int32_t>(clear.size()),
                                            static_cast<uint32_t>(std::time(nullptr))));
    if (text.p == nullptr) throw std::bad_alloc();
    return text.p;
}

void wipe(std::string* secret) {
    volatile char* p = secret->empty() ? nullptr : &(*secret)[0];
    for (size_t i = 0; i < secret->size(); ++i) p[i] = '\0';
    secret->clear();
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
