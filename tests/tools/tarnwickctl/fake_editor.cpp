// SPDX-License-Identifier: Apache-2.0
// An editor for tarnwickctl edit's tests: applies its operations, in order, to the file named
// by its last argument.
//   replace:OLD:NEW   the first OLD becomes NEW
//   append:TEXT       TEXT is added at the end ("\n" in TEXT stands for a line break)
//   other:PATH:::TEXT TEXT is added at the end of another file (the one being edited, say)
//   exit:N            ends at once with status N
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string unescape(std::string text) {
    for (size_t at = text.find("\\n"); at != std::string::npos; at = text.find("\\n", at + 1)) text.replace(at, 2, "\n");
    return text;
}

std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string file = argv[argc - 1];
    std::string text = read(file);
    for (int i = 1; i < argc - 1; ++i) {
        const std::string op = argv[i];
        const size_t colon = op.find(':');
        const std::string name = op.substr(0, colon);
        const std::string rest = colon == std::string::npos ? "" : op.substr(colon + 1);
        if (name == "exit") return std::atoi(rest.c_str());
        if (name == "append") {
            text += unescape(rest);
        } else if (name == "replace" || name == "other") {
            const size_t split = rest.find(name == "other" ? ":::" : ":");
            if (split == std::string::npos) return 2;
            const std::string first = rest.substr(0, split);
            const std::string second = unescape(rest.substr(split + (name == "other" ? 3 : 1)));
            if (name == "other") {
                if (!write(first, read(first) + second)) return 3;
                continue;
            }
            const size_t at = text.find(first);
            if (at == std::string::npos) return 4;
            text.replace(at, first.size(), second);
        } else {
            return 2;
        }
    }
    return write(file, text) ? 0 : 3;
}
