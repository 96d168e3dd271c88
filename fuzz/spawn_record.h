// spawn_record.h - the launcher fuzz_exec links in place of the real one
// (spawn_record.cpp). It starts nothing: it notes each launch and each wait,
// answers a made-up process id or a scripted status, and leaves the checks
// to the target. It also notes every file the shell opens and every close
// of a descriptor that was not open: fuzz_exec is linked with --wrap=open
// and --wrap=close, which send each call of those in its objects through
// here.
#ifndef HUSK_FUZZ_SPAWN_RECORD_H
#define HUSK_FUZZ_SPAWN_RECORD_H

#include <set>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

// A descriptor of the shell as it was at a launch.
struct fd_seen {
    int fd = -1;      // -1: none was handed over
    mode_t type = 0;  // S_IFIFO, S_IFREG, S_IFCHR; 0 when it was not open
    dev_t dev = 0;
    ino_t ino = 0;
    int flags = 0;  // the access mode and O_APPEND
    bool cloexec = false;
    bool hup = false;  // the read end of a pipe that has no writer left (for
                       // a command's input, once any other process that
                       // looked at it has let go, within 5 s)
};

struct launch_seen {
    std::vector<std::string> words;
    fd_seen in, out;            // what was handed over for descriptors 0 and 1
    std::vector<fd_seen> held;  // every other descriptor the shell held that
                                // it did not hold before the line
};

// A wait: how many launches were made before it, and the launch waited
// for (-1: an unknown pid).
using wait_seen = std::pair<size_t, int>;

struct open_seen {
    std::string name;
    int flags;
    bool operator==(const open_seen &) const = default;
};

struct spawn_record {
    std::set<int> before;     // the shell's descriptors before the line
    std::vector<int> status;  // what launch k reports: scripted(status, k)
    std::vector<launch_seen> launches;
    std::vector<wait_seen> waits;
    std::vector<open_seen> opens;
    int bad_closes = 0;  // closes of a descriptor that was not open
    int collects = 0;    // calls of spawn_collect
};

extern spawn_record rec;

// The status of launch k: the script taken in turn; 0 without one.
inline int scripted(const std::vector<int> &status, size_t k)
{
    return status.empty() ? 0 : status[k % status.size()];
}

// The process id answered for launch k.
constexpr pid_t rec_pid = 4000;

// The descriptors this process holds, of those numbered below a limit set
// at the first call, well above the lowest then free.
std::set<int> open_fds();

#endif
