// SPDX-License-Identifier: Apache-2.0
// Timings of the store and the attribute library that run on every target, Windows under Wine
// included (no benchmark framework: a timing loop). Each measure runs batches of calls long
// enough for the clock and prints the time of one call in the fastest batch:
//   <measure> <nanoseconds per call>
// Measures: loading, lookups by key alone and by section and key, on the file that a new
// attribute file with every default is and on a file of about 1 MB; opening the complete
// attribute file. bench/ab.py runs two builds of this program in turns and compares them.
// Usage: tw_timing [--smoke] [--rounds N]   (--smoke: one short batch each, to check it works)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tarnwick.h"
#include "tarnwick/config.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

bool g_smoke = false;
int g_rounds = 15;

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_all(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// Nanoseconds of one call of batch, which makes per_batch calls: the fastest of several runs
// of a few milliseconds each. On a shared machine a run can only be slowed by others, never
// sped up, so the fastest is the least disturbed.
double measure(const std::function<void()>& batch, size_t per_batch) {
    size_t repeat = 1;
    const auto target = std::chrono::milliseconds(g_smoke ? 1 : 5);
    for (;;) {
        const auto start = Clock::now();
        for (size_t i = 0; i < repeat; ++i) batch();
        if (g_smoke || Clock::now() - start >= target || repeat >= (size_t{1} << 24)) break;
        repeat *= 2;
    }
    double best = 0;
    for (int r = 0; r < (g_smoke ? 1 : g_rounds); ++r) {
        const auto start = Clock::now();
        for (size_t i = 0; i < repeat; ++i) batch();
        const std::chrono::duration<double, std::nano> took = Clock::now() - start;
        const double each = took.count() / static_cast<double>(repeat * per_batch);
        if (r == 0 || each < best) best = each;
    }
    return best;
}

void report(const char* name, double ns) { std::printf("%s %.1f\n", name, ns); }

struct Entry {
    std::string section, key;
};

int32_t CONFIG_CALL visit_entry(void* context, const char* section, const char* key, const char*) {
    static_cast<std::vector<Entry>*>(context)->push_back(Entry{section, key});
    return 0;
}

// The entries of a file, in file order, as the store reads them.
std::vector<Entry> entries_of(const std::string& path) {
    std::vector<Entry> out;
    const config_handle cfg = new_config();
    if (config_add_ini_file_source(cfg, path.c_str()) == CONFIG_OK) {
        config_enum_attribs(cfg, path.c_str(), visit_entry, &out);
    }
    delete_config(cfg);
    return out;
}

// About 1 MB: sections of 50 entries shaped like the attribute file's ("Name=value", short
// values), each section after a comment.
std::string generate_megabyte() {
    std::string out;
    for (int i = 0; out.size() < (g_smoke ? 20000u : 1000000u); ++i) {
        if (i % 50 == 0) out += "; group " + std::to_string(i / 50) + "\n[Group_" + std::to_string(i / 50) + "]\n";
        out += "SettingName_" + std::to_string(i) + "=value " + std::to_string(i * 7919 % 100003) + "\n";
    }
    return out;
}

void time_file(const char* label, const std::string& path) {
    const std::string prefix(label);
    report((prefix + "_load").c_str(), measure(
                                           [&] {
                                               const config_handle cfg = new_config();
                                               if (config_add_ini_file_source(cfg, path.c_str()) != CONFIG_OK)
                                                   std::abort();
                                               delete_config(cfg);
                                           },
                                           1));

    std::vector<Entry> entries = entries_of(path);
    if (entries.empty()) std::abort();
    // At most 4 096 names, spread over the whole file.
    const size_t step = std::max<size_t>(1, entries.size() / 4096);
    std::vector<Entry> asked;
    for (size_t i = 0; i < entries.size(); i += step) asked.push_back(entries[i]);

    const config_handle cfg = new_config();
    if (config_add_ini_file_source(cfg, path.c_str()) != CONFIG_OK) std::abort();
    volatile size_t sink = 0;
    report((prefix + "_get").c_str(), measure(
                                          [&] {
                                              for (const Entry& e : asked)
                                                  sink = sink + (config_get_attrib(cfg, e.key.c_str()) != nullptr);
                                          },
                                          asked.size()));
    report((prefix + "_contains").c_str(),
           measure(
               [&] {
                   for (const Entry& e : asked)
                       sink = sink + config_get_attrib_val(cfg, path.c_str(), e.section.c_str(), e.key.c_str());
               },
               asked.size()));
    delete_config(cfg);
    if (sink == 0) std::abort();
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0) g_smoke = true;
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) g_rounds = std::max(1, std::atoi(argv[++i]));
    }
    const fs::path dir = fs::temp_directory_path() /
                         ("tw_timing_" + std::to_string(Clock::now().time_since_epoch().count() % 1000000007));
    fs::create_directories(dir);

    // The product's file: what opening a missing file writes, every default in it.
    const fs::path product = dir / "agent.cfg";
    AttribMngr* mngr = nullptr;
    if (attrib_mngr_init(product.string().c_str(), &mngr) != ATTRIB_MNGR_OK) return 1;
    delete_attribs_mngr(mngr);
    std::printf("product_file_bytes %zu\n", read_all(product).size());
    time_file("product", product.string());

    report("product_open", measure(
                               [&] {
                                   AttribMngr* m = nullptr;
                                   if (attrib_mngr_init(product.string().c_str(), &m) != ATTRIB_MNGR_OK) std::abort();
                                   delete_attribs_mngr(m);
                               },
                               1));

    const fs::path megabyte = dir / "megabyte.ini";
    write_all(megabyte, generate_megabyte());
    std::printf("megabyte_file_bytes %zu\n", read_all(megabyte).size());
    time_file("megabyte", megabyte.string());

    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
