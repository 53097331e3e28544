/* SPDX-License-Identifier: Apache-2.0 */
// Scratch directories and whole-file access for tests.
#ifndef TARNWICK_TESTS_SUPPORT_FILES_H
#define TARNWICK_TESTS_SUPPORT_FILES_H

#include <filesystem>
#include <string>
#include <vector>

namespace twtest {

namespace fs = std::filesystem;

// A new, empty directory under the system's temporary directory that lives as long as the
// object; the name carries tag, the process id and a counter. Throws std::runtime_error when
// none can be created. The destructor gives the owner back full rights on it and removes it
// with everything in it.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& tag = "test");
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const fs::path& dir() const { return dir_; }
    // The directory, and name within it, as narrow strings in the platform's syntax.
    std::string path() const { return dir_.string(); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    // Names of the entries, sorted.
    std::vector<std::string> names() const;

private:
    fs::path dir_;
};

// The whole content of a file as bytes ("" when it cannot be read); *exists reports whether
// it could.
std::string read_file(const fs::path& file, bool* exists = nullptr);
// Replaces the file's content with bytes; false (and a test failure) when it cannot.
bool write_file(const fs::path& file, const std::string& bytes);

}  // namespace twtest

#endif
