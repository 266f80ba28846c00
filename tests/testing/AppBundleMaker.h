#pragma once

#include "TestSupport.h"
#include "platform/PropertyList.h"
#include "platform/Value.h"

#include <QFile>
#include <QString>
#include <QUrl>

#include <string>
#include <vector>

namespace testing_support {

// The information dictionary of a test app: its identifier and executable
// name, plus whatever else is given.
inline platform::Value::Dictionary appInfo(const QString& bundleID, platform::Value::Dictionary more = {}) {
    more.insert(QStringLiteral("CFBundleIdentifier"), bundleID);
    more.insert(QStringLiteral("CFBundleExecutable"), QStringLiteral("Recorder"));
    return more;
}

// Makes an application bundle at `path`: "Contents/Info.plist" from `info`
// and, when a script is given, "Contents/MacOS/Recorder" running it.
inline bool makeAppBundle(const QString& path, const platform::Value::Dictionary& info,
                          const QByteArray& script = {}) {
    const auto plist = platform::PropertyList::write(info, platform::PropertyList::Format::XML);
    if (!plist || !writeFile(path + QStringLiteral("/Contents/Info.plist"), *plist)) {
        return false;
    }
    if (script.isEmpty()) {
        return true;
    }
    const QString executable = path + QStringLiteral("/Contents/MacOS/Recorder");
    return writeFile(executable, script) &&
           QFile::setPermissions(executable, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Paths of file URLs below the test root, as "/Applications/X.app", for
// readable comparisons.
inline std::vector<std::string> pathsBelowRoot(const QList<QUrl>& urls) {
    std::vector<std::string> paths;
    for (const QUrl& url : urls) {
        QString path = url.toLocalFile();
        if (path.startsWith(testRoot() + QLatin1Char('/'))) {
            path = path.mid(testRoot().size());
        }
        paths.push_back(path.toStdString());
    }
    return paths;
}

} // namespace testing_support
