// The desktop client's download, against curl fetching the same archive
// from the same development store in the same run.
//
// The workflow's figure runs from making the workflow to its
// "finished downloading" report; the archive is a real client bundle (a
// stored ZIP), so the workflow goes on to unpack it untimed, and every
// iteration checks that the client arrived. The unpacking has a benchmark
// of its own (unpack_bench).
//
// The download's peak memory is measured in a child process of its own
// (this program again, stopping at the "finished downloading" report) for a
// 50 MiB and a 200 MiB archive: a download that keeps its memory flat
// whatever the size shows the same peak for both, and little above the
// peak of fetching next to nothing.

#include "BenchRatios.h"
#include "BenchSupport.h"
#include "installer/AFXDownloaderWorkflow.h"
#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include <unistd.h>

namespace {

constexpr std::int64_t kMiB = 1024 * 1024;
constexpr auto kDownloadTimeout = std::chrono::seconds(300);
const QString kChildSwitch = QStringLiteral("--download-child");

// What one workflow reported, waited for from the benchmark's thread.
class WaitingDelegate : public AFXDownloaderDelegate {
public:
    struct Outcome {
        std::optional<bench::Clock::time_point> downloadedAt;
        QUrl location;
        std::int64_t downloadedBytes = -1;
        bool unarchived = false;
        bool failed = false;
        QString failure;
    };

    // With a size given, the "finished downloading" report ends the process,
    // successfully when the download had that size (see `runDownloadChild`).
    explicit WaitingDelegate(std::int64_t exitAfterDownloadOf = -1)
        : exitAfterDownloadOf_(exitAfterDownloadOf) {}

    void downloaderDidFinishDownloadingToURL(AFXDownloaderWorkflow&, const QUrl& location) override {
        const auto now = bench::Clock::now();
        const std::int64_t size = bench::fileSize(location.toLocalFile());
        if (exitAfterDownloadOf_ >= 0) {
            QFile::remove(location.toLocalFile());
            if (size != exitAfterDownloadOf_) {
                std::fprintf(stderr, "download child: got %lld bytes, not %lld\n",
                             static_cast<long long>(size), static_cast<long long>(exitAfterDownloadOf_));
            }
            std::printf("%lld\n", static_cast<long long>(bench::peakResidentBytes()));
            std::fflush(nullptr);
            std::_Exit(size == exitAfterDownloadOf_ ? 0 : 2);
        }
        std::lock_guard lock(mutex_);
        outcome_.downloadedAt = now;
        outcome_.location = location;
        outcome_.downloadedBytes = size;
        changed_.notify_all();
    }
    void downloaderDidFinishUnarchivingToURL(AFXDownloaderWorkflow&, const QUrl&) override {
        std::lock_guard lock(mutex_);
        outcome_.unarchived = true;
        changed_.notify_all();
    }
    void downloaderDidFailWithError(AFXDownloaderWorkflow&,
                                    const std::optional<platform::Error>& error) override {
        std::lock_guard lock(mutex_);
        outcome_.failed = true;
        outcome_.failure = error ? error->description() : QStringLiteral("no error given");
        changed_.notify_all();
    }

    // Waits until the download was reported and, unless `downloadOnly`,
    // the unpacking too, or until anything failed.
    Outcome wait(bool downloadOnly) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, kDownloadTimeout, [&] {
            return outcome_.failed || outcome_.unarchived || (downloadOnly && outcome_.downloadedAt);
        });
        return outcome_;
    }

private:
    const std::int64_t exitAfterDownloadOf_;
    std::mutex mutex_;
    std::condition_variable changed_;
    Outcome outcome_;
};

// The store and the archives it serves, made once per run on first use:
// "sN/com.kestrel.DesktopClient/Kestrel.zip" holds a client bundle of N MiB,
// so "STORE/sN" is the download host of an N MiB download.
class DownloadFixture : public bench::RunFixture<DownloadFixture> {
public:
    QString host(int mebibytes) const { return store_->baseURL() + QStringLiteral("/s%1").arg(mebibytes); }
    QString archiveURL(int mebibytes) const {
        return host(mebibytes) + QStringLiteral("/com.kestrel.DesktopClient/Kestrel.zip");
    }
    std::int64_t archiveSize(int mebibytes) const { return archiveSizes_.value(mebibytes, -1); }
    QString caBundlePath() const { return store_->caBundlePath(); }
    QString folder() const { return folder_; }

private:
    friend class bench::RunFixture<DownloadFixture>;
    DownloadFixture() = default;

    bool prepare() {
        useFreshFolder(QStringLiteral("download-bench"));
        const QString served = folder_ + QStringLiteral("/served");
        for (const int mebibytes : {0, 50, 200}) {
            const QString bundle = folder_ + QStringLiteral("/source/Kestrel.app");
            const QString archive =
                served + QStringLiteral("/s%1/com.kestrel.DesktopClient/Kestrel.zip").arg(mebibytes);
            QDir().mkpath(QFileInfo(archive).absolutePath());
            if (!bench::makeClientBundle(bundle, mebibytes * kMiB,
                                         folder_ + QStringLiteral("/client-runs.log")) ||
                !bench::makeStoredZip(bundle, archive)) {
                std::fprintf(stderr, "download bench: cannot make the %d MiB archive\n", mebibytes);
                return false;
            }
            archiveSizes_.insert(mebibytes, bench::fileSize(archive));
            bench::removeItem(folder_ + QStringLiteral("/source"));
        }
        store_ = bench::StoreProcess::start(served);
        if (!store_) {
            return false;
        }
        // Read by every session the workflow makes, and inherited by the children.
        qputenv("KESTREL_CA_BUNDLE", QFile::encodeName(store_->caBundlePath()));
        return true;
    }

    QMap<int, std::int64_t> archiveSizes_;
    std::unique_ptr<bench::StoreProcess> store_;
};

// The workflow's download file goes once its delegate has been told; the
// next iteration starts when it has, so that no two overlap.
void waitForDownloadFileToGo(const QUrl& location) {
    const auto deadline = bench::Clock::now() + std::chrono::seconds(30);
    while (QFile::exists(location.toLocalFile()) && bench::Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void BM_CurlDownload(benchmark::State& state) {
    DownloadFixture* fixture = DownloadFixture::shared(state);
    if (!fixture) {
        return;
    }
    const QString curl = bench::systemProgram(QStringLiteral("curl"));
    if (curl.isEmpty()) {
        state.SkipWithError("curl is not installed");
        return;
    }
    const QString output = fixture->folder() + QStringLiteral("/curl/Kestrel.zip");
    QDir().mkpath(QFileInfo(output).absolutePath());
    const std::int64_t expected = fixture->archiveSize(200);
    for (auto _ : state) {
        bench::removeItem(output);
        ::sync();
        const auto start = bench::Clock::now();
        const bench::ProgramRun run = bench::runProgram(
            curl, {QStringLiteral("--silent"), QStringLiteral("--show-error"), QStringLiteral("--fail"),
                   QStringLiteral("--cacert"), fixture->caBundlePath(), QStringLiteral("-o"), output,
                   fixture->archiveURL(200)});
        const auto end = bench::Clock::now();
        if (run.status != 0 || bench::fileSize(output) != expected) {
            state.SkipWithError("curl did not fetch the whole archive");
            break;
        }
        state.SetIterationTime(bench::secondsBetween(start, end));
    }
    bench::removeItem(output);
    state.SetBytesProcessed(state.iterations() * expected);
}
BENCHMARK(BM_CurlDownload)->UseManualTime()->Iterations(2)->Repetitions(5)->Unit(benchmark::kMillisecond);

void BM_WorkflowDownload(benchmark::State& state) {
    DownloadFixture* fixture = DownloadFixture::shared(state);
    if (!fixture) {
        return;
    }
    qputenv("KESTREL_DOWNLOAD_HOST", fixture->host(200).toUtf8());
    const QString client = platform::Paths::resolve(QStringLiteral("/Applications/Kestrel.app"));
    const QString resource = client + QStringLiteral("/Contents/Resources/Payload.bin");
    const std::int64_t expected = fixture->archiveSize(200);
    for (auto _ : state) {
        bench::removeItem(client);
        ::sync();
        auto delegate = std::make_shared<WaitingDelegate>();
        const auto start = bench::Clock::now();
        auto workflow = AFXDownloaderWorkflow::makeWithDelegate(delegate);
        workflow->start();
        const WaitingDelegate::Outcome outcome = delegate->wait(false);
        if (!outcome.downloadedAt || outcome.downloadedBytes != expected) {
            state.SkipWithError(
                ("the workflow did not download the archive: " + outcome.failure).toStdString().c_str());
            break;
        }
        if (!outcome.unarchived || bench::fileSize(resource) != 200 * kMiB) {
            state.SkipWithError(
                ("the workflow did not unpack the client: " + outcome.failure).toStdString().c_str());
            break;
        }
        state.SetIterationTime(bench::secondsBetween(start, *outcome.downloadedAt));
        waitForDownloadFileToGo(outcome.location);
    }
    bench::removeItem(client);
    state.SetBytesProcessed(state.iterations() * expected);
}
BENCHMARK(BM_WorkflowDownload)->UseManualTime()->Iterations(2)->Repetitions(5)->Unit(benchmark::kMillisecond);

// Each iteration is a child process that downloads once and stops; the
// counter "peak_rss" is the child's own peak resident set (the largest of
// a repetition's iterations; the table shows the median of the
// repetitions). The time is the child's whole life, start-up included.
// The archive of 0 MiB (a bundle of a few hundred bytes) gives the floor:
// a process that made a session and fetched next to nothing.
void BM_WorkflowDownloadPeakMemory(benchmark::State& state) {
    DownloadFixture* fixture = DownloadFixture::shared(state);
    if (!fixture) {
        return;
    }
    const int mebibytes = static_cast<int>(state.range(0));
    const QString program = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    const std::int64_t expected = fixture->archiveSize(mebibytes);
    std::int64_t peak = 0;
    for (auto _ : state) {
        const auto start = bench::Clock::now();
        const bench::ProgramRun run =
            bench::runProgram(program, {kChildSwitch, QString::number(expected)},
                              {{"KESTREL_DOWNLOAD_HOST", fixture->host(mebibytes).toUtf8()}}, true);
        const auto end = bench::Clock::now();
        bool reported = false;
        const std::int64_t childPeak = run.output.trimmed().toLongLong(&reported);
        if (run.status != 0 || !reported) {
            state.SkipWithError("the download child failed (see above)");
            break;
        }
        peak = std::max(peak, childPeak);
        state.SetIterationTime(bench::secondsBetween(start, end));
    }
    state.counters["peak_rss"] = benchmark::Counter(static_cast<double>(peak), benchmark::Counter::kDefaults,
                                                    benchmark::Counter::kIs1024);
    state.SetBytesProcessed(state.iterations() * expected);
}
BENCHMARK(BM_WorkflowDownloadPeakMemory)
    ->Arg(0)
    ->Arg(50)
    ->Arg(200)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

// The child's whole work: one download of the archive KESTREL_DOWNLOAD_HOST
// serves, which must be `expectedBytes` long. The delegate prints the
// process's peak resident set (in bytes) and ends the process as soon as
// the download is reported.
int runDownloadChild(std::int64_t expectedBytes) {
    auto delegate = std::make_shared<WaitingDelegate>(expectedBytes);
    auto workflow = AFXDownloaderWorkflow::makeWithDelegate(delegate);
    workflow->start();
    const WaitingDelegate::Outcome outcome = delegate->wait(true);
    std::fprintf(stderr, "download child: %s\n",
                 outcome.failed ? qPrintable(outcome.failure) : "no report within the time allowed");
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && QString::fromLocal8Bit(argv[1]) == kChildSwitch) {
        return runDownloadChild(std::atoll(argv[2]));
    }
    const int status = runBenchmarksWithRatios(
        argc, argv,
        {{"BM_WorkflowDownload", "BM_CurlDownload", ">= 0.95", BenchFigure::Throughput},
         {"BM_WorkflowDownloadPeakMemory/200", "BM_WorkflowDownloadPeakMemory/50", "<= 1.1",
          BenchFigure::CounterRatio, "peak_rss"},
         {"BM_WorkflowDownloadPeakMemory/200", "BM_WorkflowDownloadPeakMemory/0", "report",
          BenchFigure::CounterRatio, "peak_rss"}},
        interleavedRepetitionFlags());
    DownloadFixture::tearDown();
    return status;
}
