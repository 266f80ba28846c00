#include "TestSupport.h"

#include "platform/MainRunLoop.h"
#include "platform/Pipe.h"
#include "platform/Task.h"
#include "platform/Tools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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

bool writeRunCountingTool(const QString& folder, const QString& systemPath) {
    const QString tool = folder + QLatin1Char('/') + QFileInfo(systemPath).fileName();
    return writeFile(tool, "#!/bin/sh\necho run >> \"$(dirname \"$0\")/runs.log\"\nexec '" +
                               platform::Tools::path(systemPath).toUtf8() + "' \"$@\"\n") &&
           QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

int toolRuns(const QString& folder) {
    return static_cast<int>(readFile(folder + QStringLiteral("/runs.log")).count("run\n"));
}

ProgramResult runProgram(const QString& program, const QStringList& arguments, const QByteArray& input) {
    ProgramResult result;
    auto stdinPipe = platform::Pipe::make(), stdoutPipe = platform::Pipe::make(),
         stderrPipe = platform::Pipe::make();
    auto task = platform::Task::make();
    task->setLaunchPath(program);
    task->setArguments(arguments);
    task->setStandardInput(stdinPipe);
    task->setStandardOutput(stdoutPipe);
    task->setStandardError(stderrPipe);
    if (!task->launch()) {
        return result;
    }
    // Writing all the input first could block on a child that writes much
    // before it reads; inputs here are small, and the pipe holds 64 KiB.
    stdinPipe->writeData(input);
    stdinPipe->closeWriteEnd();

    // Both outputs are drained together, so a child filling one of them
    // never waits on us while we wait on the other.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    pollfd fds[2] = {{stdoutPipe->readDescriptor(), POLLIN, 0}, {stderrPipe->readDescriptor(), POLLIN, 0}};
    QByteArray* sinks[2] = {&result.output, &result.errors};
    int open = 2;
    while (open > 0 && std::chrono::steady_clock::now() < deadline) {
        if (::poll(fds, 2, 1000) < 0 && errno != EINTR) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                char buffer[65536];
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    sinks[i]->append(buffer, n);
                } else if (n == 0 || errno != EINTR) {
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
    }
    if (!task->waitUntilExit(std::chrono::seconds(5))) {
        ::kill(task->processIdentifier(), SIGKILL);
        task->waitUntilExit();
        return result;
    }
    result.status =
        task->terminationReason() == platform::Task::TerminationReason::Exit ? task->terminationStatus() : -1;
    return result;
}

int loopbackSocket(bool listening, quint16* port) {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (socket < 0 || ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        (listening && ::listen(socket, 8) != 0) ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (socket >= 0) {
            ::close(socket);
        }
        return -1;
    }
    *port = ntohs(address.sin_port);
    return socket;
}

} // namespace testing_support
