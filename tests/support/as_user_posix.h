/* SPDX-License-Identifier: Apache-2.0 */
// Steps run as another user, for tests of a victim and an attacker on one machine (POSIX,
// header only). Each step runs in a forked child that has become the user with setresuid, so
// these need root; a test skips where it is not root.
#ifndef TARNWICK_TESTS_SUPPORT_AS_USER_POSIX_H
#define TARNWICK_TESTS_SUPPORT_AS_USER_POSIX_H

#include <grp.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <functional>

namespace twtest {

constexpr uid_t kVictim = 1001;
constexpr uid_t kAttacker = 1002;

// A child process that has become uid, ran body and reported what it returned, and then stays
// until the object ends (it keeps what body opened, as a process of that user would).
class AsUser {
public:
    AsUser(uid_t uid, const std::function<int32_t()>& body) {
        int report[2], hold[2];
        if (::pipe(report) != 0) return;
        if (::pipe(hold) != 0) {
            ::close(report[0]);
            ::close(report[1]);
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(report[0]);
            ::close(hold[1]);
            ::alarm(30);
            int32_t result = INT32_MIN;
            if (::setgroups(0, nullptr) == 0 && ::setresgid(uid, uid, uid) == 0 && ::setresuid(uid, uid, uid) == 0)
                result = body();
            if (::write(report[1], &result, sizeof result) != sizeof result) ::_exit(1);
            char end;
            while (::read(hold[0], &end, 1) > 0) {
            }
            ::_exit(0);  // the parent closed its end
        }
        ::close(report[1]);
        ::close(hold[0]);
        hold_ = hold[1];
        if (pid_ < 0 || ::read(report[0], &result_, sizeof result_) != sizeof result_) result_ = INT32_MIN;
        ::close(report[0]);
    }
    ~AsUser() { end(); }
    AsUser(const AsUser&) = delete;
    AsUser& operator=(const AsUser&) = delete;

    // What body returned; INT32_MIN when the child could not become the user or did not report.
    int32_t result() const { return result_; }
    // Lets the child end, and waits for it.
    void end() {
        if (hold_ >= 0) ::close(hold_);
        hold_ = -1;
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    // Ends the child at once, as a crash would, and waits for it.
    void kill() {
        if (pid_ > 0) ::kill(pid_, SIGKILL);
        end();
    }

private:
    pid_t pid_ = -1;
    int hold_ = -1;
    int32_t result_ = INT32_MIN;
};

// Runs body as uid in a child process and returns what it returned (INT32_MIN as above).
inline int32_t as_user(uid_t uid, const std::function<int32_t()>& body) { return AsUser(uid, body).result(); }

}  // namespace twtest

#endif
