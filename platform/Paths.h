#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace platform {

// Maps the absolute paths the system names ("/Applications",
// "~/Library/Logs/Kestrel", "/Users/Shared/Kestrel/Apps", …) to places on
// this machine.
//
// With KESTREL_ROOT set, everything lives in that one folder: "~" is
// ROOT/home, any other absolute path P is ROOT/P, the temporary directory is
// ROOT/tmp and the runtime folder of named services is ROOT/run.
//
// Without it, the user's home is used the freedesktop way: "/Applications"
// is ~/Applications; "~/Library/Logs", "~/Library/Preferences",
// "~/Library/Caches" and "~/Library/Application Support" go to the XDG
// state, config, cache and data folders (each with a "kestrel" folder);
// other "~/…" paths stay in the home; other absolute paths go below the XDG
// data folder's "kestrel/root". The variable is read on every call, so a
// test can give each case a root of its own.
class Paths {
public:
    // The root folder, or an empty string when none is set.
    static QString root();
    static QString resolve(const QString& systemPath);
    // Every folder that holds what lies at or below a system path: its
    // resolved form first, then, without a root, the folders that parts of
    // it are mapped to elsewhere ("~/Library" also gives the XDG folders of
    // its Logs, Preferences, Caches and Application Support), so that a
    // path found on disk can be told to lie below the system path.
    static QStringList resolveWithRedirectedFolders(const QString& systemPath);
    static QString homeDirectory();
    // The home directory from the password database; the same as
    // `homeDirectory` unless the home is redirected (as in a sandbox).
    static QString realHomeDirectory();
    static QString temporaryDirectory();
    // Where the desktop looks for data of the user's programs (application
    // entries, icons): ROOT/home/.local/share with a root, else the XDG data
    // folder itself ($XDG_DATA_HOME, or ~/.local/share).
    static QString dataHomeDirectory();
    static QString runtimeDirectory();
    // Where the session bus looks for the service files of the programs it
    // starts on demand: the data home's "dbus-1/services", which every
    // session bus reads (with a root, the buses of tests and the demo are
    // configured to read the root's).
    static QString busServicesDirectory();
    // The file in that folder that starts the well-known bus name `name`,
    // or nothing when `name` is not one (two or more dot-separated elements
    // of letters, digits, "_" and "-", none starting with a digit): a name
    // read from a file can never lead outside the folder.
    static std::optional<QString> busServiceFilePath(const QString& name);
};

} // namespace platform
