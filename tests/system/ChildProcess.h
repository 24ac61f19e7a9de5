// Running part of a test in a child process of its own, and what identifies a file (inode, owner,
// mode). The child runs under limits the test sets for itself:
// how far the address space may grow (RLIMIT_AS over what the child starts with, so that the
// sanitizers' own reservations do not count), how large a file may grow (RLIMIT_FSIZE, with
// SIGXFSZ ignored so that a write past it fails instead of ending the child), and which user
// it runs as (the suite runs as root, and root passes every permission check).
//
// A bound is shown by what the child reports, never by time: an operation that tried to take
// more than it may fails inside the limit, and the growth of its peak address space tells how
// far it got.
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <fstream>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

struct TChildLimits {
    // Bytes the address space may grow by; -1 for no limit.
    int64_t AddressSpaceGrowth = -1;
    // Largest file the child may write, in bytes; -1 for no limit.
    int64_t FileSize = -1;
    // User and group the child runs as; -1 keeps the test's own.
    int UserId = -1;
};

struct TChildResult {
    // The child ended normally (not by a signal, a crash or a sanitizer report).
    bool Ended = false;
    // The body returned true.
    bool Passed = false;
    // How far the child's peak address space grew while the body ran, in bytes.
    int64_t PeakGrowth = -1;
};

// The user nobody, which owns nothing the tests make.
constexpr int NobodyId = 65534;

// What identifies a file and who may use it.
struct TFileIdentity {
    uint64_t Inode = 0;
    int UserId = -1, GroupId = -1;
    unsigned Mode = 0;
};

inline TFileIdentity IdentityOf(const std::string& Path) {
    struct stat st {};
    if (stat(Path.c_str(), &st) != 0) return {};
    return {static_cast<uint64_t>(st.st_ino), static_cast<int>(st.st_uid),
            static_cast<int>(st.st_gid), static_cast<unsigned>(st.st_mode & 07777)};
}

// Gives the file or folder to the user and group Id; false when that is not allowed.
inline bool GiveTo(const std::string& Path, int Id) {
    return chown(Path.c_str(), static_cast<uid_t>(Id), static_cast<gid_t>(Id)) == 0;
}

inline bool RunsAsRoot() {
    return geteuid() == 0;
}

// A field of /proc/self/status in bytes ("VmPeak", "VmSize"); -1 when missing.
inline int64_t ProcessStatusBytes(const std::string& Field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(Field + ":", 0) == 0)
            return std::stoll(line.substr(Field.size() + 1)) * 1024;
    return -1;
}

inline bool SetLimit(int Resource, int64_t Value) {
    const rlimit limit{static_cast<rlim_t>(Value), static_cast<rlim_t>(Value)};
    return setrlimit(Resource, &limit) == 0;
}

// Runs Body in a forked child under Limits. Body must not rely on threads of the parent.
inline TChildResult RunInChild(const TChildLimits& Limits, const std::function<bool()>& Body) {
    int channel[2];
    if (pipe(channel) != 0) return {};
    const pid_t pid = fork();
    if (pid < 0) return {};
    if (pid == 0) {
        close(channel[0]);
        bool ready = true;
        if (Limits.FileSize >= 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            ready = SetLimit(RLIMIT_FSIZE, Limits.FileSize);
        }
        if (Limits.UserId >= 0)
            ready = ready && setgroups(0, nullptr) == 0 &&
                    setresgid(Limits.UserId, Limits.UserId, Limits.UserId) == 0 &&
                    setresuid(Limits.UserId, Limits.UserId, Limits.UserId) == 0;
        const int64_t start = ProcessStatusBytes("VmSize");
        if (Limits.AddressSpaceGrowth >= 0)
            ready = ready && SetLimit(RLIMIT_AS, start + Limits.AddressSpaceGrowth);
        bool passed = false;
        if (ready) {
            try {
                passed = Body();
            } catch (...) {
                passed = false;
            }
        }
        const int64_t growth = ProcessStatusBytes("VmPeak") - start;
        (void)!write(channel[1], &growth, sizeof(growth));
        _exit(!ready ? 3 : passed ? 0 : 1);
    }
    close(channel[1]);
    TChildResult result;
    int64_t growth = -1;
    if (read(channel[0], &growth, sizeof(growth)) == static_cast<ssize_t>(sizeof(growth)))
        result.PeakGrowth = growth;
    close(channel[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.Ended = WIFEXITED(status) && WEXITSTATUS(status) <= 1;
    result.Passed = result.Ended && WEXITSTATUS(status) == 0;
    return result;
}

// Body passed in a child whose address space could grow by 512 MiB, and the child grew by less
// than 64 MiB: what a file merely declares was refused before it was allocated.
inline ::testing::AssertionResult BoundedInChild(const std::function<bool()>& Body) {
    TChildLimits limits;
    limits.AddressSpaceGrowth = int64_t{512} << 20;
    const TChildResult result = RunInChild(limits, Body);
    if (!result.Ended) return ::testing::AssertionFailure() << "the child crashed or was stopped";
    if (!result.Passed) return ::testing::AssertionFailure() << "the child's checks failed";
    if (result.PeakGrowth < 0 || result.PeakGrowth >= (int64_t{64} << 20))
        return ::testing::AssertionFailure()
               << "the address space grew by " << result.PeakGrowth << " bytes";
    return ::testing::AssertionSuccess();
}
