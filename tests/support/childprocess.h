#pragma once

// What the tests that run a case in a child process share: the limits a child puts on itself
// before it runs its case, and how much longer the sanitizers make everything take.

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <grp.h>

#if defined(__SANITIZE_ADDRESS__)
#define POSTLINT_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define POSTLINT_UNDER_ASAN 1
#endif
#endif

namespace childprocess {

#ifdef POSTLINT_UNDER_ASAN
// The sanitizers reserve terabytes of address space and slow everything down: a limit on memory
// is then put on resident memory by the sanitizer itself, and time limits are stretched.
constexpr bool underSanitizer = true;
#else
constexpr bool underSanitizer = false;
#endif

// A time limit of a case, stretched under the sanitizers.
inline int secondsAllowed(int seconds)
{
    return underSanitizer ? 6 * seconds : seconds;
}

inline constexpr int nobodyId = 65534;

// In the child: gives up root for the unprivileged user, so that permission bits bind it as they
// bind a user (without root they bind already). False when root cannot be given up.
inline bool dropPrivileges()
{
    return ::geteuid() != 0 ||
           (::setgroups(0, nullptr) == 0 && ::setresgid(nobodyId, nobodyId, nobodyId) == 0 &&
            ::setresuid(nobodyId, nobodyId, nobodyId) == 0);
}

// In the child: at most megabytes of address space, so that running out of memory comes as a
// failed allocation.
inline void limitAddressSpace(long megabytes)
{
    const rlimit limit{rlim_t(megabytes) << 20, rlim_t(megabytes) << 20};
    ::setrlimit(RLIMIT_AS, &limit);
}

// In the child: past bytes a write fails with EFBIG, as on a full disk, instead of a signal.
inline void limitFileSize(rlim_t bytes)
{
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, bytes};
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

} // namespace childprocess
