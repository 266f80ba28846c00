#pragma once

#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

// Starts programs that must outlive the one starting them: each gets a
// session of its own (no terminal hang-up or job-control signal of ours
// reaches it), the null device as its standard streams and none of our other
// descriptors (a caller reading our output to its end must not wait for it),
// and "/" as its working folder. Without Qt: the `launchctl` stand-in uses
// it too. Strings are the file system's bytes.
class DetachedLauncher {
public:
    // The new process's identifier, or nothing with `problem` set.
    static std::optional<pid_t> launch(const std::string& executable,
                                       const std::vector<std::string>& arguments, std::string* problem);
};
