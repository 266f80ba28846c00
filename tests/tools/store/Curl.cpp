#include "Curl.h"

#include "platform/Pipe.h"
#include "platform/Task.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

#include <atomic>
#include <chrono>

namespace store_tests {

std::optional<QByteArray> CurlResult::header(const QByteArray& lowerCaseName) const {
    for (const auto& [name, value] : headers) {
        if (name == lowerCaseName) {
            return value;
        }
    }
    return std::nullopt;
}

QString storeURL(const testing_support::StoreProcess& store, const QString& path) {
    return store.baseURL().toString() + path;
}

CurlResult curl(const testing_support::StoreProcess& store, const QString& path,
                const QStringList& arguments) {
    static std::atomic<int> counter{0};
    const QString stem =
        QStringLiteral("%1/curl-%2").arg(testing_support::testRoot()).arg(counter.fetch_add(1));
    const QString headFile = stem + QStringLiteral(".head");
    const QString bodyFile = stem + QStringLiteral(".body");

    CurlResult result;
    const QString program = QStandardPaths::findExecutable(QStringLiteral("curl"));
    if (program.isEmpty()) {
        ADD_FAILURE() << "curl is not installed";
        return result;
    }
    auto output = platform::Pipe::make();
    auto task = platform::Task::make();
    task->setLaunchPath(program);
    // -q: no ~/.curlrc; no proxy may stand between us and the loopback store.
    task->setArguments(QStringList{QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("--noproxy"),
                                   QStringLiteral("*"), QStringLiteral("--max-time"), QStringLiteral("60"),
                                   QStringLiteral("--cacert"), store.caBundlePath(), QStringLiteral("-D"),
                                   headFile} +
                       arguments + QStringList{QStringLiteral("-o"), bodyFile, storeURL(store, path)});
    task->setStandardInput(platform::Task::Stream::NullDevice);
    task->setStandardOutput(output);
    task->setStandardError(platform::Task::Stream::NullDevice);
    platform::Error error(QString(), 0);
    if (!task->launch(&error)) {
        ADD_FAILURE() << error.description().toStdString();
        return result;
    }
    // curl ends by itself within --max-time, closing its output.
    result.writeOut = output->readDataToEndOfFile();
    if (!task->waitUntilExit(std::chrono::seconds(30))) {
        task->terminate();
        task->waitUntilExit();
        ADD_FAILURE() << "curl did not end after closing its output";
    }
    result.exitCode = task->terminationStatus();
    result.body = testing_support::readFile(bodyFile);

    // -D keeps the heads of every response of the run; the last one is ours.
    for (const QByteArray& rawLine : testing_support::readFile(headFile).split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith("HTTP/")) {
            result.status = line.split(' ').value(1).toInt();
            result.headers.clear();
        } else if (const qsizetype colon = line.indexOf(':'); colon > 0) {
            result.headers.append({line.left(colon).toLower(), line.mid(colon + 1).trimmed()});
        }
    }
    return result;
}

QByteArray httpDateOfModification(const QString& path) {
    return QLocale::c()
        .toString(QFileInfo(path).lastModified().toUTC(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
        .toLatin1();
}

} // namespace store_tests
