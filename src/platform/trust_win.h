// The judgement behind is_untrusted_file on Windows, on security descriptors already read, so
// that tests can give it descriptors of their own making.
#ifndef TARNWICK_PLATFORM_TRUST_WIN_H
#define TARNWICK_PLATFORM_TRUST_WIN_H

#include <windows.h>

namespace tw::platform {

// True when owner (the file's owner SID) is neither caller, SYSTEM nor the Administrators
// group, and directory (the security descriptor of the file's directory, with its access
// list) lets some other account add files: an access-allowed entry granting FILE_ADD_FILE,
// GENERIC_WRITE, GENERIC_ALL, WRITE_DAC or WRITE_OWNER to a SID other than those three, or no
// access list at all. Deny entries are not weighed: a directory is judged by what it grants.
bool planted_by_security(PSID owner, PSECURITY_DESCRIPTOR directory, PSID caller);

}  // namespace tw::platform

#endif
