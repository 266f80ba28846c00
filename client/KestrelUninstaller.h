#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>

// The client's uninstaller ("--uninstall", run from the client's bundle):
// unloads the launch agent, then removes the installed agent copy and its
// property list, the bus service files of the agent's names, the client's
// preferences, what it kept and downloaded for each environment (its
// "Databases" and "Resources"), then the client bundle, and last the
// client's folders left empty. Nothing else: logs and any other file in its
// folders stay. An agent that stays loaded stops it before it removes
// anything, and the bundle stays while anything else is left, so a failed
// run can be run again from the same bundle.
class KestrelUninstaller {
public:
    // 0 once everything is gone; 1 with what is left on `errors` otherwise.
    static int run(std::FILE* output, std::FILE* errors);

private:
    // The "MachServices" names of the property list, or none it cannot be read.
    static QStringList machServicesOf(const QString& plistPath);
    // Removes the folder if it holds nothing but empty folders; whether it did.
    static bool removeEmptyFolders(const QString& path);
};
