#pragma once

// What the benchmarks that work with files, archives, programs and the
// development store share. Nothing here is timed: these are the tools a
// benchmark uses to set up, run its baseline programs and clean up.

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include <sys/types.h>

namespace bench {

// What a benchmark program sets up once per run, on first use: `Derived`
// answers from `prepare()` whether it could be made and keeps what it
// wrote in `folder_`, which `tearDown` removes once the fixture is gone.
template <typename Derived> class RunFixture {
public:
    static Derived* shared(benchmark::State& state) {
        if (!made_) {
            made_ = true;
            auto fixture = std::unique_ptr<Derived>(new Derived);
            if (fixture->prepare()) {
                instance_ = std::move(fixture);
            }
        }
        if (!instance_) {
            state.SkipWithError("the benchmark's files and store could not be prepared (see above)");
        }
        return instance_.get();
    }
    static void tearDown();

protected:
    // Makes `folder_` the folder `name` of the run's root, without what an
    // earlier run left there.
    void useFreshFolder(const QString& name);

    QString folder_;

private:
    static inline bool made_ = false;
    static inline std::unique_ptr<Derived> instance_;
};

using Clock = std::chrono::steady_clock;

inline double secondsBetween(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double>(end - start).count();
}

// The folder every path of the run lives in: KESTREL_ROOT, or a new
// temporary folder that becomes KESTREL_ROOT when none is set (and is
// removed when the program ends).
QString root();

// The stand-in tools' folder (next to the bench programs).
QString toolPath(const QString& name);
// A program of the system, found on PATH; empty when there is none.
QString systemProgram(const QString& name);

// curl and bsdtar, the programs that download and unpack for the
// baselines; null, with the benchmark skipped, when either is missing.
struct DownloadAndUnpackPrograms {
    QString curl;
    QString bsdtar;
};
std::optional<DownloadAndUnpackPrograms> downloadAndUnpackPrograms(benchmark::State& state);

struct ProgramRun {
    // The exit status; 128 + the signal for a program ended by one; -1 when
    // it could not be started.
    int status = -1;
    // Its standard output, when asked for.
    QByteArray output;
};

// Runs a program to its end with the null device as its standard input
// and, unless `captureOutput`, as its standard output; its standard error
// stays ours, so a failing baseline says why. `environment` entries are
// added to (or replace) ours.
ProgramRun runProgram(const QString& path, const QStringList& arguments,
                      const QMap<QByteArray, QByteArray>& environment = {}, bool captureOutput = false);

// The largest resident set this process has had so far, in bytes (the
// kernel's high-water mark of its own memory). A child's rusage would not
// do: a child started by vfork or fork begins with its parent's high-water
// mark.
std::int64_t peakResidentBytes();

bool writeFile(const QString& path, const QByteArray& data, int mode = 0644);
// Writes `size` bytes that no compressor can shrink, the same bytes for the same seed.
bool writeIncompressibleFile(const QString& path, std::int64_t size, std::uint64_t seed);
// Removes a file or a folder with everything in it; missing is fine.
void removeItem(const QString& path);
// Regular files below a folder, and their total size.
struct TreeSummary {
    std::int64_t files = 0;
    std::int64_t bytes = 0;
};
TreeSummary summarizeTree(const QString& folder);
std::int64_t fileSize(const QString& path);

// Packs `folder` (kept as the archive's top item) into a PKZip archive
// whose entries are stored as they are, so the archive's size is the
// content's; written by Python's zipfile, not by our tools.
bool makeStoredZip(const QString& folder, const QString& zipPath);

// A stand-in desktop client bundle at `bundlePath` ("…/Kestrel.app"): its
// information dictionary, an executable script that answers "-silentLaunch"
// with success (and notes the run in `runLogPath`), and an incompressible
// resource of `resourceSize` bytes.
bool makeClientBundle(const QString& bundlePath, std::int64_t resourceSize, const QString& runLogPath);

// The development store (`kestrel-store`) as a process of its own, serving
// a folder over HTTPS on a free loopback port with a CA of its own. Stopped
// when the object goes away.
class StoreProcess {
public:
    // The running store, or null (with the reason on standard error).
    static std::unique_ptr<StoreProcess> start(const QString& servedFolder);
    ~StoreProcess();
    StoreProcess(const StoreProcess&) = delete;
    StoreProcess& operator=(const StoreProcess&) = delete;

    // "https://127.0.0.1:PORT"
    const QString& baseURL() const { return baseURL_; }
    // The PEM file of the store's CA.
    const QString& caBundlePath() const { return caBundlePath_; }
    // Makes the store the download host of the programs this process runs
    // or is from now on (KESTREL_DOWNLOAD_HOST, trusting its CA through
    // KESTREL_CA_BUNDLE).
    void serveDownloads() const;

private:
    StoreProcess() = default;

    pid_t pid_ = -1;
    int output_ = -1;
    QString baseURL_;
    QString caBundlePath_;
};

template <typename Derived> void RunFixture<Derived>::useFreshFolder(const QString& name) {
    folder_ = root() + QLatin1Char('/') + name;
    removeItem(folder_);
}

template <typename Derived> void RunFixture<Derived>::tearDown() {
    if (instance_) {
        const QString folder = instance_->folder_;
        instance_.reset();
        removeItem(folder);
    }
}

} // namespace bench
