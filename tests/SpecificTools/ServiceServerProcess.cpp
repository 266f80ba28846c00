#include "ServiceServerProcess.h"

#include "platform/Class.h"
#include "platform/Error.h"
#include "platform/KeyedArchiver.h"
#include "platform/Pipe.h"
#include "platform/Task.h"
#include "platform/Tools.h"

#include <gtest/gtest.h>

#include <chrono>

#include <signal.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

std::unique_ptr<ServiceServerProcess> ServiceServerProcess::start(const QString& service,
                                                                  const QStringList& arguments) {
    std::unique_ptr<ServiceServerProcess> server(new ServiceServerProcess);
    server->input_ = platform::Pipe::make();
    server->output_ = platform::Pipe::make();
    server->task_ = platform::Task::make();
    server->task_->setLaunchPath(platform::Tools::directory() + u"/service_test_server"_s);
    server->task_->setArguments(QStringList{service} + arguments);
    server->task_->setStandardInput(server->input_);
    server->task_->setStandardOutput(server->output_);
    platform::Error error(QString(), 0);
    if (!server->task_->launch(&error)) {
        ADD_FAILURE() << error.description().toStdString();
        return nullptr;
    }
    server->reader_ = std::thread([server = server.get()] { server->readNotes(); });
    if (!server->replies_.waitFor(1) || server->replies_.all().first() != u"ready"_s) {
        ADD_FAILURE() << "service_test_server did not come up for " << service.toStdString();
        return nullptr;
    }
    return server;
}

ServiceServerProcess::~ServiceServerProcess() {
    stop();
}

void ServiceServerProcess::stop() {
    if (task_->isRunning()) {
        ::kill(task_->processIdentifier(), SIGKILL);
        task_->waitUntilExit(std::chrono::seconds(10));
    }
    // The output ends with the process.
    if (reader_.joinable()) {
        reader_.join();
    }
}

void ServiceServerProcess::readNotes() {
    QByteArray pending;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(output_->readDescriptor(), buffer, sizeof buffer);
        if (count <= 0) {
            return;
        }
        pending.append(buffer, count);
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            const QString line = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            const QString kind = line.section(u' ', 0, 0);
            const QString text = line.section(u' ', 1);
            if (kind == u"seen"_s) {
                seen.add(text);
            } else if (kind == u"stream"_s) {
                streams.add(QUuid::fromString(text));
            } else {
                replies_.add(line);
            }
        }
    }
}

bool ServiceServerProcess::command(const QString& line) {
    const qsizetype answered = replies_.count();
    if (!input_->writeData((line + u'\n').toUtf8()) || !replies_.waitFor(answered + 1)) {
        ADD_FAILURE() << "service_test_server did not answer " << line.toStdString();
        return false;
    }
    return replies_.all().value(answered) == u"ok"_s;
}

bool ServiceServerProcess::control(const QString& name, const QString& argument) {
    return command(u"control %1 %2"_s.arg(name, argument));
}

bool ServiceServerProcess::serve(const QString& server) {
    return command(u"serve "_s + server);
}

bool ServiceServerProcess::answerWith(const platform::Class* responseClass) {
    return command(u"answer "_s + responseClass->name());
}

bool ServiceServerProcess::refuseWith(const platform::Error& error) {
    const auto archive = platform::KeyedArchiver::archivedDataWithRootObject(platform::Value(error));
    return archive && command(u"refuse "_s + QString::fromLatin1(archive->toBase64()));
}
