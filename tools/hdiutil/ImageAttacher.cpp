#include "ImageAttacher.h"

#include "FolderRemover.h"
#include "platform/Pipe.h"
#include "platform/Task.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

namespace {

QString posixText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// 7-Zip's errors are lines of their own on standard error; the one that
// says the file is no archive it knows ("Cannot open the file as archive",
// "Can not open the file as [Dmg] archive") means the image is not one.
bool saysNotAnArchive(const QString& errors) {
    return errors.contains(QLatin1String("open the file as"), Qt::CaseInsensitive) ||
           errors.contains(QLatin1String("is not supported archive"), Qt::CaseInsensitive);
}

// 7-Zip's error lines without the ones that only name the image or head a list.
QString summary(const QString& errors, const QString& image) {
    const QString name = QFileInfo(image).fileName();
    QStringList kept;
    for (const QString& line : errors.split(QLatin1Char('\n'))) {
        QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1String("ERROR:"))) {
            trimmed = trimmed.mid(6).trimmed();
        }
        if (trimmed.isEmpty() || trimmed == name || trimmed == image || trimmed == QLatin1String("ERRORS:") ||
            trimmed == QLatin1String("System ERROR:")) {
            continue;
        }
        kept << trimmed;
    }
    return kept.isEmpty() ? QStringLiteral("7-Zip failed") : kept.join(QLatin1String("; "));
}

} // namespace

bool ImageAttacher::attach(QString* reason) {
    if (!checkImage(reason)) {
        return false;
    }
    const QString sevenZip = QStandardPaths::findExecutable(QStringLiteral("7z"));
    if (sevenZip.isEmpty()) {
        *reason = QStringLiteral("7z (from p7zip-full) was not found on PATH");
        return false;
    }
    if (!prepareMountPoint(reason)) {
        return false;
    }
    if (!unpack(sevenZip, reason)) {
        undo();
        return false;
    }
    return true;
}

bool ImageAttacher::checkImage(QString* reason) const {
    struct stat status {};
    if (::stat(QFile::encodeName(image_).constData(), &status) != 0) {
        *reason = posixText(errno);
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        *reason = QStringLiteral("image not recognized");
        return false;
    }
    return true;
}

bool ImageAttacher::prepareMountPoint(QString* reason) {
    const QFileInfo info(mountPoint_);
    if (info.exists() || info.isSymLink()) {
        if (!info.isDir() ||
            !QDir(mountPoint_)
                 .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            *reason = QStringLiteral("mount point %1 exists and is not an empty folder").arg(mountPoint_);
            return false;
        }
        return true;
    }
    // Remember the outermost missing folder: it and all below it are ours to remove on failure.
    QString outermost = info.absoluteFilePath();
    for (QFileInfo parent(QFileInfo(outermost).absolutePath()); !parent.exists() && !parent.isRoot();
         parent = QFileInfo(parent.absolutePath())) {
        outermost = parent.absoluteFilePath();
    }
    if (!QDir().mkpath(mountPoint_)) {
        *reason = QStringLiteral("could not make the mount point %1").arg(mountPoint_);
        return false;
    }
    madeFolder_ = outermost;
    return true;
}

bool ImageAttacher::unpack(const QString& sevenZip, QString* reason) const {
    auto errors = platform::Pipe::make();
    auto task = platform::Task::make();
    task->setLaunchPath(sevenZip);
    // An absolute image path cannot be taken for a switch. -bd: no progress
    // display; standard input stays closed so an encrypted image fails instead of asking.
    task->setArguments({QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-bd"),
                        QStringLiteral("-o") + QFileInfo(mountPoint_).absoluteFilePath(),
                        QFileInfo(image_).absoluteFilePath()});
    task->setStandardInput(platform::Task::Stream::NullDevice);
    task->setStandardOutput(platform::Task::Stream::NullDevice);
    if (errors) {
        task->setStandardError(errors);
    }
    platform::Error error(QString(), 0);
    if (!task->launch(&error)) {
        *reason = error.localizedDescription();
        return false;
    }
    const QString text = errors ? QString::fromLocal8Bit(errors->readDataToEndOfFile()) : QString();
    task->waitUntilExit();
    if (task->terminationReason() == platform::Task::TerminationReason::Exit &&
        task->terminationStatus() == 0) {
        return true;
    }
    if (saysNotAnArchive(text)) {
        *reason = QStringLiteral("image not recognized");
    } else {
        *reason =
            QStringLiteral("corrupt image (%1)").arg(summary(text, QFileInfo(image_).absoluteFilePath()));
    }
    return false;
}

void ImageAttacher::undo() {
    QString ignored;
    if (!madeFolder_.isEmpty()) {
        FolderRemover::remove(madeFolder_, &ignored);
    } else {
        FolderRemover::removeContents(mountPoint_, &ignored);
    }
}
