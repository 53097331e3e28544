// Platform parts of the lock tests (lock_test_posix.cpp / lock_test_win.cpp).
#ifndef CORVANE_LOCK_SUPPORT_H
#define CORVANE_LOCK_SUPPORT_H

#include <string>

// Points this process and the children it starts at a private lock directory, where the
// platform keeps its locks in one (POSIX); does nothing elsewhere.
void use_private_lock_dir(const std::string& dir);

#endif
