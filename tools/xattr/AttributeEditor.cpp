#include "AttributeEditor.h"

#include "platform/ExtendedAttributes.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

QString posixText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

bool AttributeEditor::apply(const QStringList& paths) {
    prefixLines_ = recursive_ || paths.size() > 1;
    bool succeeded = true;
    for (const QString& path : paths) {
        struct stat status {};
        if (::lstat(QFile::encodeName(path).constData(), &status) != 0) {
            report(errno == ENOENT ? QStringLiteral("No such file: %1").arg(path)
                                   : QStringLiteral("%1: %2").arg(path, posixText(errno)));
            succeeded = false;
            continue;
        }
        if (!recursive_) {
            succeeded = applyTo(path) && succeeded;
        } else if (!S_ISLNK(status.st_mode)) {
            succeeded = applyToTree(path) && succeeded;
        }
    }
    return succeeded;
}

bool AttributeEditor::applyToTree(const QString& path) {
    bool succeeded = applyTo(path);
    std::error_code error;
    const fs::path top(QFile::encodeName(path).toStdString());
    if (fs::symlink_status(top, error).type() != fs::file_type::directory) {
        return succeeded;
    }
    // The iterator does not go through links to folders unless told to.
    fs::recursive_directory_iterator it(top, fs::directory_options::none, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::error_code ignored;
        if (it->symlink_status(ignored).type() != fs::file_type::symlink) {
            succeeded =
                applyTo(QFile::decodeName(QByteArray::fromStdString(it->path().string()))) && succeeded;
        }
    }
    if (error) {
        const QString where =
            it == fs::recursive_directory_iterator() ? path : QFile::decodeName(it->path().string().c_str());
        report(QStringLiteral("%1: %2").arg(where, QString::fromLocal8Bit(error.message().c_str())));
        succeeded = false;
    }
    return succeeded;
}

bool AttributeEditor::applyTo(const QString& path) {
    platform::Error error(QString(), 0);
    switch (operation_) {
    case Operation::List:
        for (const QString& name : platform::ExtendedAttributes::list(path)) {
            print(path, name.toUtf8());
        }
        return true;
    case Operation::Print:
        if (const auto value = platform::ExtendedAttributes::get(path, name_)) {
            print(path, *value);
            return true;
        }
        report(QStringLiteral("%1: No such xattr: %2").arg(path, name_));
        return false;
    case Operation::Write:
        if (platform::ExtendedAttributes::set(path, name_, value_, &error)) {
            return true;
        }
        report(QStringLiteral("%1: %2").arg(path, posixText(static_cast<int>(error.code()))));
        return false;
    case Operation::Delete:
        // A file system without user attributes cannot hold the attribute either: nothing to remove.
        if (platform::ExtendedAttributes::remove(path, name_, &error) || error.code() == ENOTSUP) {
            return true;
        }
        report(QStringLiteral("%1: %2").arg(path, posixText(static_cast<int>(error.code()))));
        return false;
    }
    return false;
}

void AttributeEditor::report(const QString& text) const {
    std::fprintf(stderr, "xattr: %s\n", text.toLocal8Bit().constData());
}

void AttributeEditor::print(const QString& path, const QByteArray& line) const {
    if (prefixLines_) {
        const QByteArray prefix = QFile::encodeName(path) + ": ";
        std::fwrite(prefix.constData(), 1, static_cast<size_t>(prefix.size()), stdout);
    }
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
}
