// A scratch directory that lives as long as the object.
#ifndef TARNWICK_TESTS_IPC_TEMP_DIR_H
#define TARNWICK_TESTS_IPC_TEMP_DIR_H

#include <string>

namespace twtest {

class TempDir {
public:
    TempDir();   // a new, empty directory under the system's temporary directory
    ~TempDir();  // removes it with everything in it
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() joined with name by the platform's separator.
    std::string file(const std::string& name) const;

private:
    std::string m_path;
};

// The whole content of a file ("" when it cannot be read); exists reports whether it could.
std::string read_file(const std::string& path, bool* exists = nullptr);
void write_file(const std::string& path, const std::string& content);

}  // namespace twtest

#endif
