#include "Paths.h"

#include "PathRules.h"

#include <QDir>

#include <algorithm>
#include <optional>

namespace platform {

namespace {

QString fromRules(const std::string& path) {
    return QString::fromStdString(path);
}

QString xdgFolder(const char* variable, const QString& fallbackBelowHome) {
    return fromRules(PathRules::xdgFolder(variable, fallbackBelowHome.toStdString()));
}

// "prefix" or "prefix/rest" → "rest" (empty for the prefix itself); nothing when it does not match.
std::optional<QString> below(const QString& path, const QString& prefix) {
    if (path == prefix) {
        return QString();
    }
    if (path.startsWith(prefix + QLatin1Char('/'))) {
        return path.mid(prefix.size() + 1);
    }
    return std::nullopt;
}

QString join(const QString& folder, const QString& rest) {
    return rest.isEmpty() ? folder : QDir::cleanPath(folder + QLatin1Char('/') + rest);
}

// Without a root, these folders of the home (spelt "/~") go to XDG folders.
struct Mapping {
    const char* prefix;
    const char* xdgVariable;
    const char* fallback;
};
constexpr Mapping kXDGMappings[] = {
    {"/~/Library/Logs", "XDG_STATE_HOME", ".local/state"},
    {"/~/Library/Preferences", "XDG_CONFIG_HOME", ".config"},
    {"/~/Library/Caches", "XDG_CACHE_HOME", ".cache"},
    {"/~/Library/Application Support", "XDG_DATA_HOME", ".local/share"},
};

// A system path in one clean spelling with the home as "/~", or nothing
// for a path that is not absolute.
std::optional<QString> normalised(const QString& systemPath) {
    QString path = systemPath;
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/"))) {
        path = QStringLiteral("/~") + path.mid(1);
    }
    if (!path.startsWith(QLatin1Char('/'))) {
        return std::nullopt;
    }
    path = QDir::cleanPath(path);
    // ".." cannot climb above the top: "/../etc" is "/etc", inside the root.
    while (path == QLatin1String("/..") || path.startsWith(QLatin1String("/../"))) {
        path = path.size() == 3 ? QStringLiteral("/") : path.mid(3);
    }
    return path;
}

} // namespace

QString Paths::root() {
    return fromRules(PathRules::root());
}

QString Paths::homeDirectory() {
    return fromRules(PathRules::homeDirectory());
}

QString Paths::realHomeDirectory() {
    return fromRules(PathRules::realHomeDirectory());
}

QString Paths::temporaryDirectory() {
    return fromRules(PathRules::temporaryDirectory());
}

QString Paths::dataHomeDirectory() {
    return fromRules(PathRules::dataHomeDirectory());
}

QString Paths::runtimeDirectory() {
    return fromRules(PathRules::runtimeDirectory());
}

QString Paths::busServicesDirectory() {
    return fromRules(PathRules::busServicesDirectory());
}

std::optional<QString> Paths::busServiceFilePath(const QString& name) {
    const auto path = PathRules::busServiceFilePath(name.toStdString());
    return path ? std::optional<QString>(fromRules(*path)) : std::nullopt;
}

QString Paths::resolve(const QString& systemPath) {
    const std::optional<QString> normalisedPath = normalised(systemPath);
    if (!normalisedPath) {
        return systemPath;
    }
    const QString& path = *normalisedPath;

    const QString r = root();
    if (!r.isEmpty()) {
        if (const auto rest = below(path, QStringLiteral("/~"))) {
            return join(homeDirectory(), *rest);
        }
        return r + path;
    }

    for (const Mapping& mapping : kXDGMappings) {
        if (const auto rest = below(path, QLatin1String(mapping.prefix))) {
            const QString leaf = QString::fromLatin1(mapping.prefix).section(QLatin1Char('/'), -1);
            return join(xdgFolder(mapping.xdgVariable, QLatin1String(mapping.fallback)) +
                            QStringLiteral("/kestrel/") + leaf,
                        *rest);
        }
    }
    if (const auto rest = below(path, QStringLiteral("/~"))) {
        return join(homeDirectory(), *rest);
    }
    if (const auto rest = below(path, QStringLiteral("/Applications"))) {
        return join(homeDirectory() + QStringLiteral("/Applications"), *rest);
    }
    return xdgFolder("XDG_DATA_HOME", QStringLiteral(".local/share")) + QStringLiteral("/kestrel/root") +
           path;
}

QStringList Paths::resolveWithRedirectedFolders(const QString& systemPath) {
    const std::optional<QString> path = normalised(systemPath);
    QStringList folders{resolve(systemPath)};
    if (!path || !root().isEmpty()) {
        return folders;
    }
    // The home and the applications folder come first, so that a mapped
    // folder inside the home is not listed on its own.
    QStringList redirectedPrefixes{QStringLiteral("/~"), QStringLiteral("/Applications")};
    for (const Mapping& mapping : kXDGMappings) {
        redirectedPrefixes << QLatin1String(mapping.prefix);
    }
    for (const QString& redirected : std::as_const(redirectedPrefixes)) {
        if (redirected == *path || !below(redirected, *path)) {
            continue;
        }
        // Back from the "/~" spelling to the "~" one that `resolve` takes.
        const QString folder =
            resolve(redirected.startsWith(QLatin1String("/~")) ? redirected.mid(1) : redirected);
        if (std::none_of(folders.cbegin(), folders.cend(),
                         [&](const QString& known) { return below(folder, known).has_value(); })) {
            folders << folder;
        }
    }
    return folders;
}

} // namespace platform
