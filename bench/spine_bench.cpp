// The installer's own cost on its way to the services stage: the
// installation manager fetching a 50 MiB desktop client from the
// development store, unpacking it into the applications folder and running
// it once silently, against the same work done by plain programs in the
// same run (curl, then bsdtar, then the client's executable).
//
// The manager gets a services factory that refuses the system management
// service at once, so the flow ends (state "services failed") right after
// the client's silent run; its figure runs from `installWithProgressBlock`
// to the callback. The overhead is the share of the manager's time that the
// plain programs do not need.

#include "BenchRatios.h"
#include "BenchSupport.h"
#include "installer/AFXInstallationManager.h"
#include "installer/AFXInstallationState.h"
#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <condition_variable>
#include <cstdio>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include <unistd.h>

namespace {

constexpr std::int64_t kClientResourceSize = 50 * 1024 * 1024;
constexpr std::int64_t kAppID = 230;
constexpr auto kInstallTimeout = std::chrono::seconds(300);
const QString kRefusalDomain = QStringLiteral("com.kestrel.bench");
// A run takes a tenth of a second, within which the disk and the scheduler
// easily move a few per cent; the medians of many keep the figure steady.
constexpr int kRepetitions = 11;

// A factory whose system management service is never there.
class RefusingFactory : public AFXServicesFactory {
public:
    RefusingFactory(const QList<AFXServiceClass>& classes, const QString& tierName,
                    const std::shared_ptr<AFXServicesFactoryDelegate>& delegate)
        : AFXServicesFactory(classes, tierName, nullptr, delegate) {}

    void fetchSystemManagementServiceWithCallback(AFXSystemManagementServiceCallback callback) override {
        callback(BRValueOrError<std::shared_ptr<AFXSystemManagementService>>::makeWithError(platform::Error(
            kRefusalDomain, 1, {{platform::NSLocalizedDescriptionKey, QStringLiteral("no services here")}})));
    }
};

// The store serving the client, made once per run on first use.
class SpineFixture : public bench::RunFixture<SpineFixture> {
public:
    QString archiveURL() const {
        return store_->baseURL() + QStringLiteral("/com.kestrel.DesktopClient/Kestrel.zip");
    }
    QString caBundlePath() const { return store_->caBundlePath(); }
    const QString& folder() const { return folder_; }
    std::int64_t archiveSize() const { return archiveSize_; }
    // How many silent runs the client has had so far.
    int clientRuns() const {
        QFile log(runLog_);
        return log.open(QIODevice::ReadOnly) ? static_cast<int>(log.readAll().count('\n')) : 0;
    }

private:
    friend class bench::RunFixture<SpineFixture>;
    SpineFixture() = default;

    bool prepare() {
        useFreshFolder(QStringLiteral("spine-bench"));
        runLog_ = folder_ + QStringLiteral("/client-runs.log");
        const QString bundle = folder_ + QStringLiteral("/source/Kestrel.app");
        const QString served = folder_ + QStringLiteral("/served");
        const QString archive = served + QStringLiteral("/com.kestrel.DesktopClient/Kestrel.zip");
        QDir().mkpath(QFileInfo(archive).absolutePath());
        if (!bench::makeClientBundle(bundle, kClientResourceSize, runLog_) ||
            !bench::makeStoredZip(bundle, archive)) {
            std::fprintf(stderr, "spine bench: cannot make the client archive\n");
            return false;
        }
        bench::removeItem(folder_ + QStringLiteral("/source"));
        archiveSize_ = bench::fileSize(archive);
        store_ = bench::StoreProcess::start(served);
        if (!store_) {
            return false;
        }
        store_->serveDownloads();
        return true;
    }

    QString runLog_;
    std::int64_t archiveSize_ = 0;
    std::unique_ptr<bench::StoreProcess> store_;
};

// What the manager's callback delivered, waited for from the benchmark's thread.
class Outcome {
public:
    void finish(const std::optional<platform::Error>& error) {
        const auto now = bench::Clock::now();
        std::lock_guard lock(mutex_);
        if (!finishedAt_) {
            finishedAt_ = now;
            error_ = error;
        }
        changed_.notify_all();
    }
    bool wait() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kInstallTimeout, [&] { return finishedAt_.has_value(); });
    }
    bench::Clock::time_point finishedAt() const {
        std::lock_guard lock(mutex_);
        return *finishedAt_;
    }
    std::optional<platform::Error> error() const {
        std::lock_guard lock(mutex_);
        return error_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<bench::Clock::time_point> finishedAt_;
    std::optional<platform::Error> error_;
};

// The transfer removes its download file once the manager's handling of
// the download has returned, which can be just after the callback; the
// next iteration starts when nothing of the last one is still working.
void waitForDownloadFilesToGo() {
    const QString folder = platform::Paths::temporaryDirectory();
    const auto deadline = bench::Clock::now() + std::chrono::seconds(30);
    while (!QDir(folder).entryList({QStringLiteral("CFNetworkDownload_*")}, QDir::Files).isEmpty() &&
           bench::Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// Milliseconds per stage, summed over the iterations and shown as counters
// (averaged per iteration): where the time of either side goes.
class StageTimes {
public:
    void add(const std::string& stage, bench::Clock::time_point from, bench::Clock::time_point to) {
        milliseconds_[stage] += bench::secondsBetween(from, to) * 1000.0;
    }
    void report(benchmark::State& state) const {
        for (const auto& [stage, total] : milliseconds_) {
            state.counters[stage + "_ms"] = benchmark::Counter(total, benchmark::Counter::kAvgIterations);
        }
    }

private:
    std::map<std::string, double> milliseconds_;
};

void BM_PlainProgramsBaseline(benchmark::State& state) {
    SpineFixture* fixture = SpineFixture::shared(state);
    if (!fixture) {
        return;
    }
    const auto programs = bench::downloadAndUnpackPrograms(state);
    if (!programs) {
        return;
    }
    const auto& [curl, bsdtar] = *programs;
    const QString download = fixture->folder() + QStringLiteral("/baseline-download/Kestrel.zip");
    const QString applications = fixture->folder() + QStringLiteral("/baseline-applications");
    const QString executable = applications + QStringLiteral("/Kestrel.app/Contents/MacOS/Kestrel");
    QDir().mkpath(QFileInfo(download).absolutePath());
    StageTimes stages;
    for (auto _ : state) {
        bench::removeItem(download);
        bench::removeItem(applications);
        QDir().mkpath(applications);
        ::sync();
        const int runsBefore = fixture->clientRuns();
        const auto start = bench::Clock::now();
        const int fetched = bench::runProgram(curl, {QStringLiteral("--silent"),
                                                     QStringLiteral("--show-error"), QStringLiteral("--fail"),
                                                     QStringLiteral("--cacert"), fixture->caBundlePath(),
                                                     QStringLiteral("-o"), download, fixture->archiveURL()})
                                .status;
        const auto downloaded = bench::Clock::now();
        const int unpacked = fetched == 0 ? bench::runProgram(bsdtar, {QStringLiteral("-xf"), download,
                                                                       QStringLiteral("-C"), applications})
                                                .status
                                          : -1;
        const auto placed = bench::Clock::now();
        const int ran =
            unpacked == 0 ? bench::runProgram(executable, {QStringLiteral("-silentLaunch")}).status : -1;
        const auto end = bench::Clock::now();
        if (ran != 0 || fixture->clientRuns() != runsBefore + 1) {
            state.SkipWithError("the plain programs did not fetch, unpack and run the client");
            break;
        }
        state.SetIterationTime(bench::secondsBetween(start, end));
        stages.add("1_download", start, downloaded);
        stages.add("2_unpack", downloaded, placed);
        stages.add("3_launch", placed, end);
    }
    bench::removeItem(download);
    bench::removeItem(applications);
    state.SetBytesProcessed(state.iterations() * fixture->archiveSize());
    stages.report(state);
}
BENCHMARK(BM_PlainProgramsBaseline)
    ->UseManualTime()
    ->Iterations(2)
    ->Repetitions(kRepetitions)
    ->Unit(benchmark::kMillisecond);

// When the manager's overall progress first reached each milestone: the
// download's end (0.3), the client placed and unquarantined (0.31), and
// its silent run done (0.36). Reports come from several threads.
class Milestones {
public:
    void progress(double value) {
        const auto now = bench::Clock::now();
        std::lock_guard lock(mutex_);
        ++reports_;
        for (std::size_t i = 0; i < std::size(kValues); ++i) {
            if (!reached_[i] && value >= kValues[i] - 1e-9) {
                reached_[i] = now;
            }
        }
    }
    std::optional<bench::Clock::time_point> reached(std::size_t index) const {
        std::lock_guard lock(mutex_);
        return reached_[index];
    }
    std::int64_t reports() const {
        std::lock_guard lock(mutex_);
        return reports_;
    }

    static constexpr double kValues[] = {0.3, 0.31, 0.36};

private:
    mutable std::mutex mutex_;
    std::optional<bench::Clock::time_point> reached_[std::size(kValues)];
    std::int64_t reports_ = 0;
};

void BM_InstallationManagerToServices(benchmark::State& state) {
    SpineFixture* fixture = SpineFixture::shared(state);
    if (!fixture) {
        return;
    }
    const QString client = platform::Paths::resolve(QStringLiteral("/Applications/Kestrel.app"));
    std::int64_t progressReports = 0;
    StageTimes stages;
    for (auto _ : state) {
        bench::removeItem(client);
        ::sync();
        const int runsBefore = fixture->clientRuns();
        auto manager = AFXInstallationManager::makeWithAppID(kAppID);
        manager->setServicesFactoryMaker([](const QList<AFXServiceClass>& classes, const QString& tierName,
                                            const std::shared_ptr<AFXServicesFactoryDelegate>& delegate) {
            return std::make_shared<RefusingFactory>(classes, tierName, delegate);
        });
        auto outcome = std::make_shared<Outcome>();
        auto milestones = std::make_shared<Milestones>();
        const auto start = bench::Clock::now();
        manager->installWithProgressBlock(
            [milestones](std::int64_t, double progress) { milestones->progress(progress); },
            [outcome](const std::optional<platform::Error>& error) { outcome->finish(error); });
        if (!outcome->wait()) {
            state.SkipWithError("the manager did not finish in time");
            break;
        }
        const std::optional<platform::Error> error = outcome->error();
        if (!error || error->domain() != kRefusalDomain ||
            manager->state() != AFXInstallationStateServicesFailed ||
            fixture->clientRuns() != runsBefore + 1) {
            state.SkipWithError(("the manager did not reach the services stage: " +
                                 (error ? error->description() : QStringLiteral("it reported success")))
                                    .toStdString()
                                    .c_str());
            break;
        }
        const auto end = outcome->finishedAt();
        state.SetIterationTime(bench::secondsBetween(start, end));
        const auto downloaded = milestones->reached(0).value_or(end);
        const auto placed = milestones->reached(1).value_or(end);
        const auto launched = milestones->reached(2).value_or(end);
        stages.add("1_download", start, downloaded);
        stages.add("2_unpack", downloaded, placed);
        stages.add("3_launch", placed, launched);
        stages.add("4_services", launched, end);
        progressReports += milestones->reports();
        manager.reset();
        waitForDownloadFilesToGo();
    }
    bench::removeItem(client);
    state.SetBytesProcessed(state.iterations() * fixture->archiveSize());
    stages.report(state);
    state.counters["progress_reports"] =
        benchmark::Counter(static_cast<double>(progressReports), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_InstallationManagerToServices)
    ->UseManualTime()
    ->Iterations(2)
    ->Repetitions(kRepetitions)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    const int status = runBenchmarksWithRatios(
        argc, argv,
        {{"BM_InstallationManagerToServices", "BM_PlainProgramsBaseline", "< 0.05", BenchFigure::Overhead}},
        interleavedRepetitionFlags());
    SpineFixture::tearDown();
    return status;
}
