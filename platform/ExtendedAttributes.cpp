#include "ExtendedAttributes.h"

#include "ExtendedAttributeNamespace.h"

#include <QFile>

#include <cerrno>

#include <sys/xattr.h>

namespace platform {

namespace {
const QByteArray kNamespace(ExtendedAttributeNamespace);

QByteArray systemName(const QString& name) {
    return kNamespace + name.toUtf8();
}
} // namespace

bool ExtendedAttributes::set(const QString& path, const QString& name, const QByteArray& value,
                             Error* error) {
    if (::setxattr(QFile::encodeName(path).constData(), systemName(name).constData(), value.constData(),
                   static_cast<size_t>(value.size()), 0) != 0) {
        if (error) {
            *error = Error::posix(errno, QStringLiteral("Could not set attribute %1 of %2").arg(name, path));
        }
        return false;
    }
    return true;
}

std::optional<QByteArray> ExtendedAttributes::get(const QString& path, const QString& name) {
    const QByteArray file = QFile::encodeName(path);
    const QByteArray attribute = systemName(name);
    for (;;) {
        const ssize_t size = ::getxattr(file.constData(), attribute.constData(), nullptr, 0);
        if (size < 0) {
            return std::nullopt;
        }
        QByteArray value(size, Qt::Uninitialized);
        const ssize_t read =
            ::getxattr(file.constData(), attribute.constData(), value.data(), static_cast<size_t>(size));
        if (read >= 0) {
            value.resize(read);
            return value;
        }
        if (errno != ERANGE) {
            return std::nullopt;
        }
    }
}

bool ExtendedAttributes::remove(const QString& path, const QString& name, Error* error) {
    if (::removexattr(QFile::encodeName(path).constData(), systemName(name).constData()) != 0 &&
        errno != ENODATA) {
        if (error) {
            *error =
                Error::posix(errno, QStringLiteral("Could not remove attribute %1 of %2").arg(name, path));
        }
        return false;
    }
    return true;
}

QStringList ExtendedAttributes::list(const QString& path) {
    const QByteArray file = QFile::encodeName(path);
    const ssize_t size = ::listxattr(file.constData(), nullptr, 0);
    if (size <= 0) {
        return {};
    }
    QByteArray names(size, Qt::Uninitialized);
    const ssize_t read = ::listxattr(file.constData(), names.data(), static_cast<size_t>(size));
    QStringList result;
    for (const QByteArray& entry : names.left(read > 0 ? read : 0).split('\0')) {
        if (entry.startsWith(kNamespace)) {
            result << QString::fromUtf8(entry.mid(kNamespace.size()));
        }
    }
    return result;
}

void ExtendedAttributes::copyAll(int from, int to, const QStringList& leftBehind) {
    // Most files have none: one call with a buffer of a usual size answers
    // that, and a larger list asks for its size first.
    QByteArray names(1024, Qt::Uninitialized);
    ssize_t size = ::flistxattr(from, names.data(), static_cast<size_t>(names.size()));
    if (size < 0 && errno == ERANGE) {
        size = ::flistxattr(from, nullptr, 0);
        if (size > 0) {
            names.resize(size);
            size = ::flistxattr(from, names.data(), static_cast<size_t>(names.size()));
        }
    }
    if (size <= 0) {
        return;
    }
    for (const QByteArray& entry : names.left(size).split('\0')) {
        if (!entry.startsWith(kNamespace) ||
            leftBehind.contains(QString::fromUtf8(entry.mid(kNamespace.size())))) {
            continue;
        }
        const ssize_t valueSize = ::fgetxattr(from, entry.constData(), nullptr, 0);
        if (valueSize < 0) {
            continue;
        }
        QByteArray value(valueSize, Qt::Uninitialized);
        const ssize_t read =
            ::fgetxattr(from, entry.constData(), value.data(), static_cast<size_t>(valueSize));
        if (read >= 0) {
            ::fsetxattr(to, entry.constData(), value.constData(), static_cast<size_t>(read), 0);
        }
    }
}

} // namespace platform
