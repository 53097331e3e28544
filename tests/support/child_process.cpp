// SPDX-License-Identifier: Apache-2.0
#include "child_process.h"

#include <utility>

namespace twtest {

fs::path helper_path(const std::string& base) { return program_dir() / executable_name(base); }

Child::~Child() {
    if (running_) {
        kill();
        wait();
    }
}

Child::Child(Child&& other) noexcept
    : running_(std::exchange(other.running_, false)),
      exit_code_(other.exit_code_),
      process_(std::exchange(other.process_, 0)) {}

Child& Child::operator=(Child&& other) noexcept {
    if (this != &other) {
        this->~Child();
        running_ = std::exchange(other.running_, false);
        exit_code_ = other.exit_code_;
        process_ = std::exchange(other.process_, 0);
    }
    return *this;
}

}  // namespace twtest
