// A whole installation of Orbit Notes against doing its work directly,
// both from the same development store in the same run.
//
// BM_Installation: every iteration gets a fresh root that trusts the
// development signing root and a session bus of its own whose service
// folder is the root's. The time runs from starting that bus to the exit
// of "install-orbit-notes --no-window --no-launch": downloading and
// unpacking the desktop client, its silent launch (which installs its
// agent, started by the bus on the first request), the agent downloading,
// unpacking, checking and placing the app, and preparing its resources.
// The bus and the agent are fixed costs the direct path has not, and they
// count. An iteration counts only with exit status 0 and the app's and
// the client's files in place. The counters sN are the seconds the
// installer says it spent in state N ("time in each state:"), averaged
// over the iterations; "bus" is the bus's start.
//
// BM_Direct: the same input and output by plain tools in a fresh root:
// curl fetches both archives, bsdtar unpacks them (the client straight
// into Applications, the app into a folder of its own), kestrel-codesign
// verifies the app's signature against the trusted root and `cp -a`
// places it in Applications.
//
// The archives are the ones the build put in its store;
// bench/run-e2e-bench pads both with random bytes so that the work on the
// files weighs as it does for a real app.

#include "BenchRatios.h"
#include "BenchSupport.h"
#include "platform/CodeSigningTrust.h"
#include "platform/Paths.h"
#include "platform/Tools.h"
#include "testing/SessionBusProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>
#include <map>

#include <unistd.h>

namespace {

const QString kClientArchive = QStringLiteral("/com.kestrel.DesktopClient/Kestrel.zip");
const QString kAppArchive = QStringLiteral("/api/store/apps/230/Orbit Notes.zip");
const QString kClientExecutable = QStringLiteral("/Applications/Kestrel.app/Contents/MacOS/Kestrel");
const QString kAppInformation = QStringLiteral("/Applications/Orbit Notes.app/Contents/Info.plist");

// The store, run once for all iterations, and what every iteration needs
// to find. The installer, the client and the agent the bus starts read
// this process's environment, which `prepare` and `enterFreshRoot` set.
class EndToEndFixture : public bench::RunFixture<EndToEndFixture> {
public:
    QString url(const QString& servedPath) const {
        return QUrl(store_->baseURL() + servedPath).toString(QUrl::FullyEncoded);
    }
    const QString& caBundlePath() const { return store_->caBundlePath(); }
    std::int64_t archiveBytes() const { return archiveBytes_; }

    // A new, empty root of its own for one iteration, made the current one
    // (KESTREL_ROOT), which trusts the development signing root; empty
    // when it cannot be made.
    QString enterFreshRoot(const QString& name) {
        const QString root = folder_ + QStringLiteral("/%1-%2").arg(name).arg(++roots_);
        bench::removeItem(root);
        qputenv("KESTREL_ROOT", QFile::encodeName(root));
        const QString trust = platform::Paths::resolve(platform::CodeSigningTrust::trustedRootsFolder);
        if (!QDir().mkpath(trust) ||
            !QFile::copy(QStringLiteral(KESTREL_SIGNING_DIR "/DevelopmentRoot.pem"),
                         trust + QStringLiteral("/DevelopmentRoot.pem"))) {
            std::fprintf(stderr, "e2e bench: cannot make the root %s\n", qPrintable(root));
            return {};
        }
        return root;
    }

private:
    friend class bench::RunFixture<EndToEndFixture>;
    EndToEndFixture() = default;

    bool prepare() {
        useFreshFolder(QStringLiteral("e2e-bench"));
        for (const QString& archive : {kClientArchive, kAppArchive}) {
            const std::int64_t bytes = bench::fileSize(QStringLiteral(KESTREL_STORE_ROOT) + archive);
            if (bytes < 0) {
                std::fprintf(stderr, "e2e bench: the build's store has no %s\n", qPrintable(archive));
                return false;
            }
            std::fprintf(stderr, "e2e bench: %s is %.1f MiB\n", qPrintable(archive),
                         static_cast<double>(bytes) / 1048576.0);
            archiveBytes_ += bytes;
        }
        store_ = bench::StoreProcess::start(QStringLiteral(KESTREL_STORE_ROOT));
        if (!store_) {
            return false;
        }
        store_->serveDownloads();
        qputenv("KESTREL_ENDPOINTS_MANIFEST_URL", (store_->baseURL() + QStringLiteral("/endpoints.json")).toUtf8());
        qputenv("KESTREL_TOOLS_DIR", QFile::encodeName(platform::Tools::directory()));
        return true;
    }

    std::unique_ptr<bench::StoreProcess> store_;
    std::int64_t archiveBytes_ = 0;
    int roots_ = 0;
};

// The "time in each state:" lines the installer ends with
// ("  [6] installing the app      4.21 s"), summed by state.
std::map<int, double> stateSeconds(const QString& output) {
    static const QRegularExpression line(QStringLiteral(R"(^\s+\[(\d+)\] .*\s(\d+(?:\.\d+)?) s$)"),
                                         QRegularExpression::MultilineOption);
    std::map<int, double> seconds;
    const qsizetype table = output.lastIndexOf(QStringLiteral("time in each state:"));
    if (table < 0) {
        return seconds;
    }
    for (auto it = line.globalMatch(output, table); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        seconds[match.captured(1).toInt()] += match.captured(2).toDouble();
    }
    return seconds;
}

bool landed(const QString& systemPath) {
    return QFileInfo(platform::Paths::resolve(systemPath)).isFile();
}

void BM_Installation(benchmark::State& state) {
    EndToEndFixture* fixture = EndToEndFixture::shared(state);
    if (!fixture) {
        return;
    }
    const QString installer = bench::toolPath(QStringLiteral("install-orbit-notes"));
    std::map<int, double> totals;
    double busSeconds = 0;
    for (auto _ : state) {
        const QString root = fixture->enterFreshRoot(QStringLiteral("installation"));
        if (root.isEmpty()) {
            state.SkipWithError("no root for the installation");
            break;
        }
        ::sync();
        const auto start = bench::Clock::now();
        std::unique_ptr<testing_support::SessionBusProcess> bus = testing_support::SessionBusProcess::start();
        if (!bus) {
            state.SkipWithError("the session bus did not start");
            break;
        }
        const auto busUp = bench::Clock::now();
        const bench::ProgramRun run =
            bench::runProgram(installer, {QStringLiteral("--no-window"), QStringLiteral("--no-launch")},
                              {{"DBUS_SESSION_BUS_ADDRESS", bus->address().toUtf8()}}, true);
        const auto end = bench::Clock::now();
        const QString output = QString::fromUtf8(run.output);
        if (run.status != 0 || !landed(kAppInformation) || !landed(kClientExecutable)) {
            std::fprintf(stderr, "e2e bench: the installation in %s ended with status %d:\n%s\n", qPrintable(root),
                         run.status, qPrintable(output));
            state.SkipWithError("the installation did not reach ready with the app in place (see above)");
            break;
        }
        state.SetIterationTime(bench::secondsBetween(start, end));
        busSeconds += bench::secondsBetween(start, busUp);
        for (const auto& [number, seconds] : stateSeconds(output)) {
            totals[number] += seconds;
        }
        bus.reset();
        bench::removeItem(root);
    }
    state.counters["bus"] = benchmark::Counter(busSeconds, benchmark::Counter::kAvgIterations);
    for (const auto& [number, seconds] : totals) {
        state.counters["s" + std::to_string(number)] =
            benchmark::Counter(seconds, benchmark::Counter::kAvgIterations);
    }
    state.SetBytesProcessed(state.iterations() * fixture->archiveBytes());
}
BENCHMARK(BM_Installation)->UseManualTime()->Iterations(1)->Repetitions(9)->Unit(benchmark::kMillisecond);

void BM_Direct(benchmark::State& state) {
    EndToEndFixture* fixture = EndToEndFixture::shared(state);
    if (!fixture) {
        return;
    }
    const auto programs = bench::downloadAndUnpackPrograms(state);
    if (!programs) {
        return;
    }
    const auto& [curl, bsdtar] = *programs;
    const QString codesign = bench::toolPath(QStringLiteral("kestrel-codesign"));
    for (auto _ : state) {
        const QString root = fixture->enterFreshRoot(QStringLiteral("direct"));
        if (root.isEmpty()) {
            state.SkipWithError("no root for the direct path");
            break;
        }
        const QString work = root + QStringLiteral("/work");
        const QString applications = platform::Paths::resolve(QStringLiteral("/Applications"));
        const QString clientZip = work + QStringLiteral("/Kestrel.zip");
        const QString appZip = work + QStringLiteral("/Orbit Notes.zip");
        const QString unpacked = work + QStringLiteral("/unpacked");
        const QString app = unpacked + QStringLiteral("/Orbit Notes.app");
        QDir().mkpath(applications);
        QDir().mkpath(unpacked);
        const QStringList download{QStringLiteral("--silent"), QStringLiteral("--show-error"),
                                   QStringLiteral("--fail"), QStringLiteral("--cacert"), fixture->caBundlePath(),
                                   QStringLiteral("-o")};
        const QList<QPair<QString, QStringList>> steps{
            {curl, download + QStringList{clientZip, fixture->url(kClientArchive)}},
            {bsdtar, {QStringLiteral("-xf"), clientZip, QStringLiteral("-C"), applications}},
            {curl, download + QStringList{appZip, fixture->url(kAppArchive)}},
            {bsdtar, {QStringLiteral("-xf"), appZip, QStringLiteral("-C"), unpacked}},
            {codesign, {QStringLiteral("verify"), app}},
            {QStringLiteral("/bin/cp"), {QStringLiteral("-a"), app, applications}},
        };
        ::sync();
        const auto start = bench::Clock::now();
        bool done = true;
        for (const auto& [program, arguments] : steps) {
            if (bench::runProgram(program, arguments).status != 0) {
                std::fprintf(stderr, "e2e bench: %s %s failed\n", qPrintable(program),
                             qPrintable(arguments.join(QLatin1Char(' '))));
                done = false;
                break;
            }
        }
        const auto end = bench::Clock::now();
        if (!done || !landed(kAppInformation) || !landed(kClientExecutable)) {
            state.SkipWithError("the direct path did not place the client and the app (see above)");
            break;
        }
        state.SetIterationTime(bench::secondsBetween(start, end));
        bench::removeItem(root);
    }
    state.SetBytesProcessed(state.iterations() * fixture->archiveBytes());
}
BENCHMARK(BM_Direct)->UseManualTime()->Iterations(1)->Repetitions(9)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    const int status = runBenchmarksWithRatios(argc, argv,
                                               {{"BM_Installation", "BM_Direct", "report", BenchFigure::TimeRatio},
                                                {"BM_Installation", "BM_Direct", "< 0.10", BenchFigure::Excess}},
                                               interleavedRepetitionFlags());
    EndToEndFixture::tearDown();
    return status;
}
