#pragma once

#include <QString>
#include <QStringList>

#include <optional>

#include <sys/types.h>

// Starts programs that must outlive the one starting them: each gets a
// session of its own (no terminal hang-up or job-control signal of ours
// reaches it), the null device as its standard streams and none of our other
// descriptors (a caller reading our output to its end must not wait for it),
// and "/" as its working folder.
class DetachedLauncher {
public:
    // The new process's identifier, or nothing with `problem` set.
    static std::optional<pid_t> launch(const QString& executable, const QStringList& arguments,
                                       QString* problem);
};
