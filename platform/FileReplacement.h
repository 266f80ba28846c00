#pragma once

#include <string>
#include <string_view>

#include <sys/types.h>

namespace platform {

// Replaces a file's contents in one step: readers see the old file or the
// whole new one, never a part. The new bytes go to a temporary file beside
// it (mode 0600 while it is written), which then gets `mode` and takes the
// file's name. Without Qt, for the small tools as well.
class FileReplacement {
public:
    enum class Durability {
        // On disk before the name is taken: what must survive a crash.
        Synced,
        // As the file system pleases: what is rewritten when lost.
        Cached,
    };

    // False with the errno value of the failed step in `failure` (when
    // given); the temporary file is gone then.
    static bool replace(const std::string& path, std::string_view data, mode_t mode, Durability durability,
                        int* failure = nullptr);
    // The mode a newly created file gets from 0666 and the process's umask.
    static mode_t newFileMode();
};

} // namespace platform
