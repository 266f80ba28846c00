#include "DesktopEntry.h"

#include "Bundle.h"
#include "FileManager.h"
#include "Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <cerrno>

namespace platform {

namespace {

// A string value of a desktop entry: one line, backslash escapes.
QString escapedValue(const QString& text) {
    QString escaped;
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            escaped += QStringLiteral("\\\\");
            break;
        case '\n':
            escaped += QStringLiteral("\\n");
            break;
        case '\t':
            escaped += QStringLiteral("\\t");
            break;
        case '\r':
            escaped += QStringLiteral("\\r");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

// One argument of an Exec line, quoted when it holds a reserved character,
// with "%" doubled so it is not taken for a field code.
QString execArgument(const QString& argument) {
    static const QRegularExpression reserved(QStringLiteral("[\\s\"'\\\\><~|&;$*?#()`]"));
    QString quoted = argument;
    if (argument.contains(reserved)) {
        quoted.clear();
        for (const QChar c : argument) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\')) {
                quoted += QLatin1Char('\\');
            }
            quoted += c;
        }
        quoted = QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    return quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
}

QString stringForKey(const Bundle& bundle, const QString& key) {
    const Value value = bundle.objectForInfoDictionaryKey(key);
    return value.kind() == Value::Kind::String ? value.toString() : QString();
}

QStringList declaredURLSchemes(const Bundle& bundle) {
    QStringList schemes;
    const Value types = bundle.objectForInfoDictionaryKey(QStringLiteral("CFBundleURLTypes"));
    if (types.kind() != Value::Kind::Array) {
        return schemes;
    }
    static const QRegularExpression validScheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*$"));
    for (const Value& type : types.toArray()) {
        if (type.kind() != Value::Kind::Dictionary) {
            continue;
        }
        const Value list = type.toDictionary().value(QStringLiteral("CFBundleURLSchemes"));
        if (list.kind() != Value::Kind::Array) {
            continue;
        }
        for (const Value& scheme : list.toArray()) {
            if (scheme.kind() == Value::Kind::String && validScheme.match(scheme.toString()).hasMatch() &&
                !schemes.contains(scheme.toString().toLower())) {
                schemes << scheme.toString().toLower();
            }
        }
    }
    return schemes;
}

// CFBundleIconFile may leave the extension out; a desktop can draw the
// Linux formats, so they are tried before the system's own.
QString iconPath(const Bundle& bundle) {
    const QString iconFile = stringForKey(bundle, QStringLiteral("CFBundleIconFile"));
    if (iconFile.isEmpty() || iconFile.contains(QLatin1Char('/'))) {
        return {};
    }
    const QFileInfo named(iconFile);
    if (!named.suffix().isEmpty()) {
        const QString path = bundle.pathForResource(named.completeBaseName(), named.suffix());
        if (!path.isEmpty()) {
            return path;
        }
    }
    for (const QString& type : {QStringLiteral("png"), QStringLiteral("svg"), QStringLiteral("icns")}) {
        const QString path = bundle.pathForResource(iconFile, type);
        if (!path.isEmpty()) {
            return path;
        }
    }
    return {};
}

} // namespace

QString DesktopEntry::pathForBundleIdentifier(const QString& bundleID) {
    QString name = bundleID;
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    return Paths::dataHomeDirectory() + QStringLiteral("/applications/kestrel-") + name +
           QStringLiteral(".desktop");
}

QString DesktopEntry::textForBundle(const Bundle& bundle) {
    QString name = stringForKey(bundle, QStringLiteral("CFBundleDisplayName"));
    if (name.isEmpty()) {
        name = stringForKey(bundle, QStringLiteral("CFBundleName"));
    }
    if (name.isEmpty()) {
        name = QFileInfo(bundle.bundlePath()).completeBaseName();
    }
    const QStringList schemes = declaredURLSchemes(bundle);
    const QString executable = bundle.executablePath();
    QString exec = execArgument(executable);
    if (!schemes.isEmpty()) {
        exec += QStringLiteral(" %U");
    }

    QStringList lines{QStringLiteral("[Desktop Entry]"),
                      QStringLiteral("Type=Application"),
                      QStringLiteral("Version=1.5"),
                      QStringLiteral("Name=") + escapedValue(name),
                      QStringLiteral("Exec=") + escapedValue(exec),
                      QStringLiteral("TryExec=") + escapedValue(executable),
                      QStringLiteral("Path=") + escapedValue(bundle.bundlePath()),
                      QStringLiteral("Terminal=false")};
    if (const QString icon = iconPath(bundle); !icon.isEmpty()) {
        lines << QStringLiteral("Icon=") + escapedValue(icon);
    }
    if (!schemes.isEmpty()) {
        QStringList types;
        for (const QString& scheme : schemes) {
            types << QStringLiteral("x-scheme-handler/") + scheme;
        }
        lines << QStringLiteral("MimeType=") + types.join(QLatin1Char(';')) + QLatin1Char(';');
    }
    lines << QStringLiteral("X-Kestrel-BundleIdentifier=") + escapedValue(bundle.bundleIdentifier());
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool DesktopEntry::writeForBundle(const Bundle& bundle, Error* error) {
    const QString path = pathForBundleIdentifier(bundle.bundleIdentifier());
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        if (error) {
            *error = Error::posix(EACCES, QStringLiteral("Could not make the folder of \"%1\"").arg(path));
        }
        return false;
    }
    return FileManager::writeDataAtomically(path, textForBundle(bundle).toUtf8(), error);
}

} // namespace platform
