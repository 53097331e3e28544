// SPDX-License-Identifier: Apache-2.0
// Benchmarks of the store and the attribute library against their floors: a plain read of
// the same file, a public INI parser on the same bytes, and a plain durable write.
// TW_BENCH_SMOKE=1 shrinks every file, for a quick run that only checks the programs work.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <ini.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tarnwick.h"
#include "tarnwick/config.h"

namespace {

namespace fs = std::filesystem;

bool smoke() {
    static const bool on = std::getenv("TW_BENCH_SMOKE") != nullptr;
    return on;
}

// Key counts of the files: the large one (about 10 MB, sections of 200 keys, LF) and one of
// the same size shaped like an administrator's (CRLF, "Key = value", sections of 50 keys each
// after a comment); the lookup files hold as many keys, and 1 200.
int large_keys() { return smoke() ? 2000 : 200000; }
int shaped_keys() { return smoke() ? 2700 : 270000; }
int lookup_small_keys() { return smoke() ? 120 : 1200; }
int lookup_distinct_names() { return smoke() ? 1000 : 10000; }

// Never destroyed: the exit handler that removes the directory is registered while the path
// is made, so it runs after the path's destructor would have.
const fs::path& work_dir() {
    static const fs::path* const dir = [] {
        auto* d = new fs::path(fs::temp_directory_path() / ("tw_bench_" + std::to_string(getpid())));
        fs::create_directories(*d);
        std::atexit([] { std::error_code ec; fs::remove_all(work_dir(), ec); });
        return d;
    }();
    return *dir;
}

std::string key_name(int i) { return "key_" + std::to_string(i); }

// keys entries in sections of 200, about 52 bytes a line.
std::string generate_ini(int keys) {
    std::mt19937 random(42);
    std::uniform_int_distribution<int> letter('a', 'z');
    std::string out;
    out.reserve(static_cast<size_t>(keys) * 56);
    for (int i = 0; i < keys; ++i) {
        if (i % 200 == 0) out += "[Section_" + std::to_string(i / 200) + "]\n";
        out += key_name(i) + " = ";
        for (int c = 0; c < 36; ++c) out += static_cast<char>(letter(random));
        out += '\n';
    }
    return out;
}

// keys entries in sections of 50, each section after a comment, CRLF, about 38 bytes a line.
int shaped_section_of(int key) { return key / 50; }
std::string generate_shaped_ini(int keys) {
    std::mt19937 random(43);
    std::uniform_int_distribution<int> letter('a', 'z');
    std::string out;
    out.reserve(static_cast<size_t>(keys) * 40);
    for (int i = 0; i < keys; ++i) {
        if (i % 50 == 0) {
            out += "; settings of group " + std::to_string(i / 50) + "\r\n";
            out += "[Group_" + std::to_string(shaped_section_of(i)) + "]\r\n";
        }
        out += key_name(i) + " = ";
        for (int c = 0; c < 23; ++c) out += static_cast<char>(letter(random));
        out += "\r\n";
    }
    return out;
}

std::string write_file(const std::string& name, const std::string& bytes) {
    const std::string path = (work_dir() / name).string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string write_ini(const std::string& name, int keys) {
    const std::string path = (work_dir() / name).string();
    return fs::exists(path) ? path : write_file(name, generate_ini(keys));
}

const std::string& large_file() {
    static const std::string path = write_ini("large.ini", large_keys());
    return path;
}

const std::string& shaped_file() {
    static const std::string path = write_file("shaped.ini", generate_shaped_ini(shaped_keys()));
    return path;
}

const std::string& file_of(int which) { return which == 0 ? large_file() : shaped_file(); }

std::string read_plain(const std::string& path) {
    std::string bytes;
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return bytes;
    bytes.resize(static_cast<size_t>(fs::file_size(path)));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = read(fd, &bytes[done], bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    close(fd);
    bytes.resize(done);
    return bytes;
}

void fail(benchmark::State& state, const char* what) { state.SkipWithError(what); }

// ---- Loading a 10 MB file: the store, the public parser, a plain read.

// Argument 0: the large file; 1: the administrator-shaped one.
void BM_LoadStore(benchmark::State& state) {
    const std::string& path = file_of(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const config_handle cfg = new_config();
        if (config_add_ini_file_source(cfg, path.c_str()) != CONFIG_OK) return fail(state, "load failed");
        delete_config(cfg);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(path)));
}
BENCHMARK(BM_LoadStore)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

int count_entry(void* user, const char*, const char*, const char*) {
    ++*static_cast<long*>(user);
    return 1;
}

void BM_LoadInih(benchmark::State& state) {
    const std::string& path = file_of(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        long entries = 0;
        if (ini_parse(path.c_str(), count_entry, &entries) != 0) return fail(state, "parse failed");
        benchmark::DoNotOptimize(entries);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(path)));
}
BENCHMARK(BM_LoadInih)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_LoadPlainRead(benchmark::State& state) {
    const std::string& path = file_of(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(read_plain(path));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(path)));
}
BENCHMARK(BM_LoadPlainRead)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// ---- Lookups by key: config_get_attrib of up to 10 000 distinct keys, spread over the file
// in random order and repeated, on the administrator-shaped file and on one of 1 200 keys.

void BM_GetAttrib(benchmark::State& state, bool large) {
    const int keys = large ? shaped_keys() : lookup_small_keys();
    const std::string path = large ? shaped_file() : write_file("lookup_small.ini", generate_shaped_ini(keys));
    const config_handle cfg = new_config();
    if (config_add_ini_file_source(cfg, path.c_str()) != CONFIG_OK) return fail(state, "load failed");
    std::vector<int> order(static_cast<size_t>(keys));
    for (int i = 0; i < keys; ++i) order[static_cast<size_t>(i)] = i;
    std::mt19937 random(7);
    std::shuffle(order.begin(), order.end(), random);
    order.resize(std::min<size_t>(order.size(), static_cast<size_t>(lookup_distinct_names())));
    std::vector<std::string> names;
    for (int i : order) names.push_back(key_name(i));
    size_t i = 0;
    for (auto _ : state) {
        const char* value = config_get_attrib(cfg, names[i].c_str());
        if (value == nullptr) return fail(state, "get failed");
        benchmark::DoNotOptimize(value);
        if (++i == names.size()) i = 0;
    }
    state.counters["keys"] = keys;
    state.counters["distinct"] = static_cast<double>(names.size());
    delete_config(cfg);
}
BENCHMARK_CAPTURE(BM_GetAttrib, small, false);
BENCHMARK_CAPTURE(BM_GetAttrib, large, true);

// ---- Many sets, one save: 10 000 sets spread over the administrator-shaped file (one in ten
// a new key, the others a changed value), then the save; against loading the same file.

void BM_ManySetsOneSave(benchmark::State& state) {
    const std::string original = generate_shaped_ini(shaped_keys());
    const std::string path = (work_dir() / "many_sets.ini").string();
    std::mt19937 random(11);
    std::uniform_int_distribution<int> pick(0, shaped_keys() - 1);
    const int sets = smoke() ? 100 : 10000;
    struct Set {
        std::string section, key, value;
    };
    std::vector<Set> plan;
    for (int n = 0; n < sets; ++n) {
        const int k = pick(random);
        plan.push_back(Set{"Group_" + std::to_string(shaped_section_of(k)), n % 10 == 0 ? "added_" + std::to_string(n) : key_name(k),
                           "changed value " + std::to_string(n)});
    }
    for (auto _ : state) {
        state.PauseTiming();
        write_file("many_sets.ini", original);
        const config_handle cfg = new_config();
        if (config_add_ini_file_source(cfg, path.c_str()) != CONFIG_OK) return fail(state, "load failed");
        state.ResumeTiming();
        for (const Set& s : plan)
            if (config_set_attrib(cfg, path.c_str(), s.section.c_str(), s.key.c_str(), s.value.c_str()) != CONFIG_OK)
                return fail(state, "set failed");
        if (config_save(cfg, path.c_str(), 0) != CONFIG_OK) return fail(state, "save failed");
        state.PauseTiming();
        delete_config(cfg);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ManySetsOneSave)->Unit(benchmark::kMillisecond);

// ---- Opening an existing complete attribute file, against a plain read of it.

std::string complete_file() {
    const std::string path = (work_dir() / "complete.cfg").string();
    if (!fs::exists(path)) {
        AttribMngr* mngr = nullptr;
        if (attrib_mngr_init(path.c_str(), &mngr) == 0) delete_attribs_mngr(mngr);
    }
    return path;
}

void BM_OpenExisting(benchmark::State& state) {
    const std::string path = complete_file();
    for (auto _ : state) {
        AttribMngr* mngr = nullptr;
        if (attrib_mngr_init(path.c_str(), &mngr) != 0) return fail(state, "init failed");
        delete_attribs_mngr(mngr);
    }
}
BENCHMARK(BM_OpenExisting)->Unit(benchmark::kMicrosecond);

void BM_OpenExistingPlainRead(benchmark::State& state) {
    const std::string path = complete_file();
    for (auto _ : state) benchmark::DoNotOptimize(read_plain(path));
}
BENCHMARK(BM_OpenExistingPlainRead)->Unit(benchmark::kMicrosecond);

// Two parts of an opening on their own, for where its floor lies. First the system calls that
// opening a complete file makes (bench/RESULTS.md lists them), in the same order and with
// nothing around them, on a lock file of the benchmark's own.
void BM_OpenSystemCallsAlone(benchmark::State& state) {
    const std::string path = complete_file();
    const std::string lock_path = (work_dir() / "alone.lock").string();
    close(open(lock_path.c_str(), O_RDWR | O_CREAT, 0666));
    char bytes[4096];
    struct stat st;
    for (auto _ : state) {
        const int lock = open(lock_path.c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (lock < 0) return fail(state, "lock failed");
        if (fstat(lock, &st) != 0 || flock(lock, LOCK_EX | LOCK_NB) != 0) {
            close(lock);
            return fail(state, "lock failed");
        }
        lstat(path.c_str(), &st);  // trust check
        benchmark::DoNotOptimize(geteuid());
        stat(path.c_str(), &st);  // existence test
        const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        const bool read_ok = fd >= 0 && fstat(fd, &st) == 0 && read(fd, bytes, sizeof bytes) > 0;
        if (fd >= 0) close(fd);
        if (!read_ok) {
            close(lock);
            return fail(state, "read failed");
        }
        stat(path.c_str(), &st);  // the unchanged save's version check
        flock(lock, LOCK_UN);
        close(lock);
    }
}
BENCHMARK(BM_OpenSystemCallsAlone)->Unit(benchmark::kMicrosecond);

// Then completion's tests: one config_get_attrib_val for each key of the complete file (all
// of them present), on a store loaded once.
void BM_CompletionTestsAlone(benchmark::State& state) {
    const std::string path = complete_file();
    const config_handle cfg = new_config();
    if (config_add_ini_file_source(cfg, path.c_str()) != CONFIG_OK) return fail(state, "load failed");
    std::vector<std::pair<std::string, std::string>> keys;
    config_enum_attribs(
        cfg, path.c_str(),
        [](void* ctx, const char* section, const char* key, const char*) -> int32_t {
            static_cast<std::vector<std::pair<std::string, std::string>>*>(ctx)->emplace_back(section, key);
            return 0;
        },
        &keys);
    for (auto _ : state) {
        int found = 0;
        for (const auto& [section, key] : keys)
            found += config_get_attrib_val(cfg, path.c_str(), section.c_str(), key.c_str());
        if (found != static_cast<int>(keys.size())) return fail(state, "a key is missing");
    }
    state.counters["keys"] = static_cast<double>(keys.size());
    delete_config(cfg);
}
BENCHMARK(BM_CompletionTestsAlone)->Unit(benchmark::kMicrosecond);

// ---- Opening a missing file (defaults, durable save), against a plain durable write.

void BM_OpenMissing(benchmark::State& state) {
    const std::string path = (work_dir() / "missing.cfg").string();
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(path);
        state.ResumeTiming();
        AttribMngr* mngr = nullptr;
        if (attrib_mngr_init(path.c_str(), &mngr) != 0) return fail(state, "init failed");
        delete_attribs_mngr(mngr);
    }
}
BENCHMARK(BM_OpenMissing)->Unit(benchmark::kMicrosecond);

void BM_OpenMissingPlainWrite(benchmark::State& state) {
    const std::string bytes = read_plain(complete_file());
    const std::string path = (work_dir() / "plain.cfg").string();
    const std::string temp = path + ".tmp";
    const std::string dir = work_dir().string();
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(path);
        state.ResumeTiming();
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) || fsync(fd) != 0)
            return fail(state, "write failed");
        close(fd);
        if (rename(temp.c_str(), path.c_str()) != 0) return fail(state, "rename failed");
        const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
        fsync(dfd);
        close(dfd);
    }
}
BENCHMARK(BM_OpenMissingPlainWrite)->Unit(benchmark::kMicrosecond);

// ---- Peak memory of a loaded 10 MB file, measured in a child process.

long status_kib(const char* field) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::string(field).size());
    return -1;
}

// In a fresh process, so that no freed memory of the benchmarks before is reused: the growth
// of the peak resident size while the file loads, in KiB; -1 when loading fails.
long peak_memory_of(const char* path) {
    const long before = status_kib("VmRSS:");
    const config_handle cfg = new_config();
    if (config_add_ini_file_source(cfg, path) != CONFIG_OK) return -1;
    return status_kib("VmHWM:") - before;
}

void BM_PeakMemory(benchmark::State& state) {
    const std::string& path = file_of(static_cast<int>(state.range(0)));
    long grown_kib = -1;
    for (auto _ : state) {
        const std::string command = fs::read_symlink("/proc/self/exe").string() + " --peak-memory-of '" + path + "'";
        std::FILE* child = popen(command.c_str(), "r");
        if (child == nullptr || std::fscanf(child, "%ld", &grown_kib) != 1) grown_kib = -1;
        if (child != nullptr) pclose(child);
    }
    if (grown_kib < 0) return fail(state, "measurement failed");
    state.counters["peak_kib"] = static_cast<double>(grown_kib);
    state.counters["file_kib"] = static_cast<double>(fs::file_size(path) / 1024);
    state.counters["ratio"] = static_cast<double>(grown_kib) * 1024.0 / static_cast<double>(fs::file_size(path));
}
BENCHMARK(BM_PeakMemory)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--peak-memory-of") {
        std::printf("%ld\n", peak_memory_of(argv[2]));
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
