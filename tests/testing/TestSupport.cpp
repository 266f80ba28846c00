#include "TestSupport.h"

#include "platform/MainRunLoop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace testing_support {

QString testRoot() {
    return QString::fromLocal8Bit(qgetenv("KESTREL_ROOT"));
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    return platform::MainRunLoop::runUntil(condition, timeout);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

} // namespace testing_support
