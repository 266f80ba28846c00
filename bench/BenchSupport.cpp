#include "BenchSupport.h"

#include "platform/Tools.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace bench {

namespace {

constexpr auto kStoreStartTimeout = std::chrono::seconds(10);
constexpr auto kStoreStopTimeout = std::chrono::seconds(10);

QByteArray local(const QString& text) {
    return QFile::encodeName(text);
}

// Our environment with the given entries added or replaced, as posix_spawn takes it.
class EnvironmentBlock {
public:
    explicit EnvironmentBlock(const QMap<QByteArray, QByteArray>& changes) {
        for (char** entry = environ; *entry; ++entry) {
            const QByteArray line(*entry);
            const qsizetype equals = line.indexOf('=');
            if (equals > 0 && changes.contains(line.left(equals))) {
                continue;
            }
            lines_.append(line);
        }
        for (auto change = changes.begin(); change != changes.end(); ++change) {
            lines_.append(change.key() + '=' + change.value());
        }
        for (QByteArray& line : lines_) {
            pointers_.push_back(line.data());
        }
        pointers_.push_back(nullptr);
    }
    char** data() { return pointers_.data(); }

private:
    QList<QByteArray> lines_;
    std::vector<char*> pointers_;
};

class ArgumentBlock {
public:
    ArgumentBlock(const QString& path, const QStringList& arguments) {
        lines_.append(local(path));
        for (const QString& argument : arguments) {
            lines_.append(local(argument));
        }
        for (QByteArray& line : lines_) {
            pointers_.push_back(line.data());
        }
        pointers_.push_back(nullptr);
    }
    char** data() { return pointers_.data(); }

private:
    QList<QByteArray> lines_;
    std::vector<char*> pointers_;
};

int statusOf(int waitStatus) {
    if (WIFEXITED(waitStatus)) {
        return WEXITSTATUS(waitStatus);
    }
    return WIFSIGNALED(waitStatus) ? 128 + WTERMSIG(waitStatus) : -1;
}

// "NAME=value" lines as the store prints them: the value is one shell word,
// single-quoted when it has to be.
QString unquote(const QByteArray& value) {
    if (value.size() >= 2 && value.startsWith('\'') && value.endsWith('\'')) {
        QByteArray inner = value.mid(1, value.size() - 2);
        inner.replace("'\\''", "'");
        return QString::fromLocal8Bit(inner);
    }
    return QString::fromLocal8Bit(value);
}

// SplitMix64: fast, and its output passes for random to any compressor.
std::uint64_t nextRandom(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

} // namespace

QString root() {
    static const QString folder = [] {
        QString existing = qEnvironmentVariable("KESTREL_ROOT");
        if (!existing.isEmpty()) {
            QDir().mkpath(existing);
            return existing;
        }
        QByteArray pattern = local(QDir::tempPath()) + "/kestrel-bench-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::fprintf(stderr, "bench: cannot make a root folder: %s\n", std::strerror(errno));
            std::exit(1);
        }
        ::setenv("KESTREL_ROOT", pattern.constData(), 1);
        // Made here, so gone when the program ends.
        static std::string made;
        made = pattern.toStdString();
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(made, ignored);
        });
        return QFile::decodeName(pattern);
    }();
    return folder;
}

QString toolPath(const QString& name) {
    return platform::Tools::directory() + QLatin1Char('/') + name;
}

QString systemProgram(const QString& name) {
    return QStandardPaths::findExecutable(name);
}

std::optional<DownloadAndUnpackPrograms> downloadAndUnpackPrograms(benchmark::State& state) {
    DownloadAndUnpackPrograms programs{systemProgram(QStringLiteral("curl")),
                                       systemProgram(QStringLiteral("bsdtar"))};
    if (programs.curl.isEmpty() || programs.bsdtar.isEmpty()) {
        state.SkipWithError("curl or bsdtar is not installed");
        return std::nullopt;
    }
    return programs;
}

ProgramRun runProgram(const QString& path, const QStringList& arguments,
                      const QMap<QByteArray, QByteArray>& environment, bool captureOutput) {
    ProgramRun run;
    ArgumentBlock argv(path, arguments);
    EnvironmentBlock envp(environment);
    int output[2] = {-1, -1};
    if (captureOutput && ::pipe2(output, O_CLOEXEC) != 0) {
        std::fprintf(stderr, "bench: cannot make a pipe: %s\n", std::strerror(errno));
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (captureOutput) {
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    const QByteArray file = local(path);
    const int spawned = ::posix_spawn(&pid, file.constData(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (captureOutput) {
        ::close(output[1]);
    }
    if (spawned != 0) {
        std::fprintf(stderr, "bench: cannot run %s: %s\n", file.constData(), std::strerror(spawned));
        if (captureOutput) {
            ::close(output[0]);
        }
        return run;
    }
    if (captureOutput) {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(output[0], buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            run.output.append(buffer, n);
        }
        ::close(output[0]);
    }
    int waitStatus = 0;
    while (::waitpid(pid, &waitStatus, 0) < 0) {
        if (errno != EINTR) {
            return run;
        }
    }
    run.status = statusOf(waitStatus);
    return run;
}

namespace {

// A "Name:   N kB" line of /proc/self/status, in bytes; -1 when missing.
std::int64_t statusFigure(const QByteArray& name) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(name + ':')) {
            const QList<QByteArray> words = line.mid(name.size() + 1).simplified().split(' ');
            bool ok = false;
            const std::int64_t kib = words.value(0).toLongLong(&ok);
            return ok ? kib * 1024 : -1;
        }
    }
    return -1;
}

} // namespace

std::int64_t peakResidentBytes() {
    return statusFigure("VmHWM");
}

bool writeFile(const QString& path, const QByteArray& data, int mode) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size()) {
        return false;
    }
    file.close();
    return ::chmod(local(path).constData(), static_cast<mode_t>(mode)) == 0;
}

bool writeIncompressibleFile(const QString& path, std::int64_t size, std::uint64_t seed) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    const int fd = ::open(local(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    std::vector<std::uint64_t> block(128 * 1024);
    std::uint64_t state = seed;
    bool written = true;
    for (std::int64_t left = size; left > 0 && written;) {
        for (std::uint64_t& word : block) {
            word = nextRandom(state);
        }
        const auto chunk = static_cast<std::size_t>(
            std::min<std::int64_t>(left, static_cast<std::int64_t>(block.size() * sizeof(std::uint64_t))));
        const char* data = reinterpret_cast<const char*>(block.data());
        for (std::size_t done = 0; done < chunk;) {
            const ssize_t n = ::write(fd, data + done, chunk - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                written = false;
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        left -= static_cast<std::int64_t>(chunk);
    }
    return ::close(fd) == 0 && written;
}

void removeItem(const QString& path) {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(local(path).toStdString()), ignored);
}

TreeSummary summarizeTree(const QString& folder) {
    TreeSummary summary;
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it(local(folder).toStdString(), error), end;
         !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error)) {
            ++summary.files;
            summary.bytes += static_cast<std::int64_t>(it->file_size(error));
        }
    }
    return summary;
}

std::int64_t fileSize(const QString& path) {
    struct stat status {};
    return ::stat(local(path).constData(), &status) == 0 ? static_cast<std::int64_t>(status.st_size) : -1;
}

bool makeStoredZip(const QString& folder, const QString& zipPath) {
    static const char* const script = R"PY(
import os, sys, zipfile
folder, archive_path = os.path.abspath(sys.argv[1]), sys.argv[2]
parent = os.path.dirname(folder)
with zipfile.ZipFile(archive_path, "w", zipfile.ZIP_STORED) as archive:
    for here, folders, files in os.walk(folder):
        folders.sort()
        archive.write(here, os.path.relpath(here, parent))
        for name in sorted(files):
            path = os.path.join(here, name)
            archive.write(path, os.path.relpath(path, parent))
)PY";
    removeItem(zipPath);
    const QString python = systemProgram(QStringLiteral("python3"));
    return !python.isEmpty() &&
           runProgram(python, {QStringLiteral("-c"), QString::fromLatin1(script), folder, zipPath}).status ==
               0;
}

bool makeClientBundle(const QString& bundlePath, std::int64_t resourceSize, const QString& runLogPath) {
    removeItem(bundlePath);
    QByteArray quotedLog = local(runLogPath);
    quotedLog.replace('\'', "'\\''");
    const QByteArray script = "#!/bin/sh\n"
                              "if [ \"$1\" = \"-silentLaunch\" ]; then\n"
                              "  echo silent >> '" +
                              quotedLog +
                              "'\n"
                              "  exit 0\n"
                              "fi\n"
                              "exit 1\n";
    const QByteArray info = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>CFBundleIdentifier</key><string>com.kestrel.DesktopClient</string>
<key>CFBundleExecutable</key><string>Kestrel</string>
<key>CFBundleShortVersionString</key><string>1.0</string>
</dict></plist>
)";
    return writeFile(bundlePath + QStringLiteral("/Contents/Info.plist"), info) &&
           writeFile(bundlePath + QStringLiteral("/Contents/MacOS/Kestrel"), script, 0755) &&
           writeIncompressibleFile(bundlePath + QStringLiteral("/Contents/Resources/Payload.bin"),
                                   resourceSize, static_cast<std::uint64_t>(resourceSize));
}

std::unique_ptr<StoreProcess> StoreProcess::start(const QString& servedFolder) {
    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0) {
        std::fprintf(stderr, "bench: kestrel-store: %s\n", std::strerror(errno));
        return nullptr;
    }
    const QByteArray logPath = local(root() + QStringLiteral("/kestrel-store.log"));
    const QByteArray program = local(toolPath(QStringLiteral("kestrel-store")));
    ArgumentBlock argv(toolPath(QStringLiteral("kestrel-store")),
                       {QStringLiteral("--root"), servedFolder, QStringLiteral("--parent-pid"),
                        QString::number(::getpid())});
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    // Its request log would only clutter the tables.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logPath.constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::unique_ptr<StoreProcess> store(new StoreProcess);
    const int spawned =
        ::posix_spawn(&store->pid_, program.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    store->output_ = output[0];
    if (spawned != 0) {
        store->pid_ = -1;
        std::fprintf(stderr, "bench: cannot run %s: %s\n", program.constData(), std::strerror(spawned));
        return nullptr;
    }

    QByteArray received;
    const auto deadline = Clock::now() + kStoreStartTimeout;
    while (store->baseURL_.isEmpty() || store->caBundlePath_.isEmpty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            std::fprintf(stderr, "bench: kestrel-store did not announce itself (see %s)\n",
                         logPath.constData());
            return nullptr;
        }
        pollfd watched{store->output_, POLLIN, 0};
        const int ready = ::poll(&watched, 1, static_cast<int>(left.count()));
        if (ready <= 0) {
            continue;
        }
        char buffer[1024];
        const ssize_t n = ::read(store->output_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            std::fprintf(stderr, "bench: kestrel-store ended before announcing itself (see %s)\n",
                         logPath.constData());
            return nullptr;
        }
        received.append(buffer, n);
        for (qsizetype end; (end = received.indexOf('\n')) >= 0;) {
            const QByteArray line = received.left(end);
            received.remove(0, end + 1);
            if (line.startsWith("KESTREL_STORE_URL=")) {
                store->baseURL_ = unquote(line.mid(18));
            } else if (line.startsWith("KESTREL_CA_BUNDLE=")) {
                store->caBundlePath_ = unquote(line.mid(18));
            }
        }
    }
    return store;
}

void StoreProcess::serveDownloads() const {
    qputenv("KESTREL_DOWNLOAD_HOST", baseURL_.toUtf8());
    qputenv("KESTREL_CA_BUNDLE", QFile::encodeName(caBundlePath_));
}

StoreProcess::~StoreProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int waitStatus = 0;
        const auto deadline = Clock::now() + kStoreStopTimeout;
        pid_t waited = 0;
        while ((waited = ::waitpid(pid_, &waitStatus, WNOHANG)) == 0 && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (waited == 0) {
            // Still running and not yet collected, so the identifier is the store's.
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &waitStatus, 0);
        }
    }
    if (output_ >= 0) {
        ::close(output_);
    }
}

} // namespace bench
