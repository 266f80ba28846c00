#include "Paths.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>
#include <optional>

#include <pwd.h>
#include <unistd.h>

namespace platform {

namespace {

QString environment(const char* name) {
    return QString::fromLocal8Bit(qgetenv(name));
}

QString xdgFolder(const char* variable, const QString& fallbackBelowHome) {
    const QString value = environment(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value)) {
        return QDir::cleanPath(value);
    }
    return QDir::cleanPath(Paths::homeDirectory() + QLatin1Char('/') + fallbackBelowHome);
}

QString passwordHome() {
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) {
        return QString::fromLocal8Bit(entry->pw_dir);
    }
    return environment("HOME");
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
    const QString value = environment("KESTREL_ROOT");
    return value.isEmpty() ? QString() : QDir::cleanPath(QDir(value).absolutePath());
}

QString Paths::homeDirectory() {
    const QString r = root();
    if (!r.isEmpty()) {
        return r + QStringLiteral("/home");
    }
    const QString home = environment("HOME");
    return home.isEmpty() ? passwordHome() : QDir::cleanPath(home);
}

QString Paths::realHomeDirectory() {
    const QString r = root();
    return r.isEmpty() ? QDir::cleanPath(passwordHome()) : r + QStringLiteral("/home");
}

QString Paths::temporaryDirectory() {
    const QString r = root();
    return r.isEmpty() ? QDir::tempPath() : r + QStringLiteral("/tmp");
}

QString Paths::dataHomeDirectory() {
    const QString r = root();
    if (!r.isEmpty()) {
        return homeDirectory() + QStringLiteral("/.local/share");
    }
    return xdgFolder("XDG_DATA_HOME", QStringLiteral(".local/share"));
}

QString Paths::runtimeDirectory() {
    const QString r = root();
    if (!r.isEmpty()) {
        return r + QStringLiteral("/run");
    }
    const QString xdg = environment("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty()) {
        return QDir::cleanPath(xdg) + QStringLiteral("/kestrel");
    }
    return QDir::tempPath() + QStringLiteral("/kestrel-runtime-%1").arg(getuid());
}

QString Paths::busServicesDirectory() {
    return dataHomeDirectory() + QStringLiteral("/dbus-1/services");
}

std::optional<QString> Paths::busServiceFilePath(const QString& name) {
    static const QRegularExpression wellKnownName(QRegularExpression::anchoredPattern(
        QStringLiteral("[A-Za-z_-][A-Za-z0-9_-]*(\\.[A-Za-z_-][A-Za-z0-9_-]*)+")));
    if (name.size() > 255 || !wellKnownName.match(name).hasMatch()) {
        return std::nullopt;
    }
    return busServicesDirectory() + QLatin1Char('/') + name + QStringLiteral(".service");
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
