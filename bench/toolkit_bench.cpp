// The app installation toolkit's file-system work on one large bundle,
// each row against a plain tool doing the same reading or writing in the
// same run:
//
// - checking the bundle's code signature (every file's SHA-256 against the
//   sealed list, the CMS signature, the chain and a team requirement)
//   against `sha256sum` of all its files;
// - placing the bundle with `AFXCopyApp` (copy, permissions, quarantine,
//   registration, indexing) against `cp -a` of it, each into an empty
//   destination (removed untimed, then a sync, so neither pays for the
//   other's writes).
//
// The bundle is made once per run: 3,000 files of sizes spread from a few
// hundred bytes to several MiB, 200 MiB in all, in nested folders, signed
// with the build's team identity; the build's development root is trusted
// inside the run's root. A new row adds a benchmark pair using
// `ToolkitFixture::shared` and a line to the ratio table in `main`.

#include "BenchRatios.h"
#include "BenchSupport.h"
#include "SpecificTools/AFXAppInstaller/AFXAppPlacement.h"
#include "platform/CodeRequirement.h"
#include "platform/CodeSignature.h"
#include "platform/CodeSigner.h"
#include "platform/CodeSigningTrust.h"
#include "platform/Paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <cstdio>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kFileCount = 3000;
constexpr int kFolderCount = 200;
constexpr std::int64_t kBundleBytes = 200LL * 1024 * 1024;

// The bundle every row works on, made and signed once per run.
class ToolkitFixture : public bench::RunFixture<ToolkitFixture> {
public:
    const QString& bundle() const { return bundle_; }
    const QStringList& files() const { return files_; }
    std::int64_t bytes() const { return bytes_; }
    const QString& folder() const { return folder_; }

private:
    friend class bench::RunFixture<ToolkitFixture>;
    ToolkitFixture() = default;

    bool prepare() {
        useFreshFolder(QStringLiteral("toolkit-bench"));
        bundle_ = folder_ + QStringLiteral("/Sample.app");
        if (!writeBundle() || !sign() || !trustDevelopmentRoot()) {
            return false;
        }
        std::fprintf(stderr, "toolkit bench: %lld files, %.1f MiB\n", static_cast<long long>(files_.size()),
                     static_cast<double>(bytes_) / 1048576.0);
        return true;
    }

    bool writeBundle() {
        std::uint64_t state = 0x4B657374726C;
        const auto next = [&state] {
            std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
            return z ^ (z >> 31);
        };
        const auto unit = [&] { return static_cast<double>(next() >> 11) * 0x1.0p-53; };
        std::vector<QString> folders{QStringLiteral("Contents/Resources")};
        while (static_cast<int>(folders.size()) < kFolderCount) {
            const QString& parent = folders[next() % folders.size()];
            if (parent.count(QLatin1Char('/')) < 5) {
                folders.push_back(parent + QStringLiteral("/Folder%1").arg(folders.size()));
            }
        }
        // Sizes spread evenly over orders of magnitude, scaled to the total.
        std::vector<double> weights;
        double total = 0;
        for (int i = 0; i < kFileCount; ++i) {
            weights.push_back(
                std::exp(std::log(256.0) + unit() * (std::log(6.0 * 1048576) - std::log(256.0))));
            total += weights.back();
        }
        if (!bench::writeFile(bundle_ + QStringLiteral("/Contents/Info.plist"),
                              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                              "<key>CFBundleIdentifier</key><string>com.brindle.sample</string>"
                              "<key>CFBundleExecutable</key><string>Sample</string></dict></plist>\n")) {
            return false;
        }
        for (int i = 0; i < kFileCount; ++i) {
            const auto size =
                static_cast<std::int64_t>(weights[i] / total * static_cast<double>(kBundleBytes));
            const QString path = bundle_ + QLatin1Char('/') + folders[next() % folders.size()] +
                                 QStringLiteral("/item-%1.dat").arg(i, 4, 10, QLatin1Char('0'));
            if (!bench::writeIncompressibleFile(path, size, next())) {
                return false;
            }
        }
        const bench::TreeSummary summary = bench::summarizeTree(bundle_);
        bytes_ = summary.bytes;
        QDirIterator items(bundle_, QDir::Files, QDirIterator::Subdirectories);
        while (items.hasNext()) {
            files_.append(items.next());
        }
        return true;
    }

    bool sign() {
        QFile key(QStringLiteral(KESTREL_SIGNING_DIR "/Team.key"));
        QFile chain(QStringLiteral(KESTREL_SIGNING_DIR "/Team-chain.pem"));
        if (!key.open(QIODevice::ReadOnly) || !chain.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "toolkit bench: the build's team identity is missing in %s\n",
                         KESTREL_SIGNING_DIR);
            return false;
        }
        std::optional<platform::Error> error;
        if (platform::CodeSigner::signBundle(bundle_, {key.readAll(), chain.readAll()}, QString(), {},
                                             &error) != platform::errSecSuccess) {
            std::fprintf(stderr, "toolkit bench: cannot sign the bundle: %s\n",
                         error ? qPrintable(error->description()) : "");
            return false;
        }
        return true;
    }

    static bool trustDevelopmentRoot() {
        const QString trusted = platform::Paths::resolve(platform::CodeSigningTrust::trustedRootsFolder);
        QDir().mkpath(trusted);
        QFile::remove(trusted + QStringLiteral("/DevelopmentRoot.pem"));
        return QFile::copy(QStringLiteral(KESTREL_SIGNING_DIR "/DevelopmentRoot.pem"),
                           trusted + QStringLiteral("/DevelopmentRoot.pem"));
    }

    QString bundle_;
    QStringList files_;
    std::int64_t bytes_ = 0;
};

void BM_Sha256sumFiles(benchmark::State& state) {
    ToolkitFixture* fixture = ToolkitFixture::shared(state);
    if (!fixture) {
        return;
    }
    const QString sha256sum = bench::systemProgram(QStringLiteral("sha256sum"));
    if (sha256sum.isEmpty()) {
        state.SkipWithError("sha256sum is not installed");
        return;
    }
    for (auto _ : state) {
        const auto start = bench::Clock::now();
        const bench::ProgramRun run = bench::runProgram(sha256sum, fixture->files(), {}, true);
        const auto end = bench::Clock::now();
        if (run.status != 0 || run.output.count('\n') != fixture->files().size()) {
            state.SkipWithError("sha256sum did not read every file");
            break;
        }
        state.SetIterationTime(bench::secondsBetween(start, end));
    }
    state.SetBytesProcessed(state.iterations() * fixture->bytes());
}
BENCHMARK(BM_Sha256sumFiles)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

void BM_VerifySignature(benchmark::State& state) {
    ToolkitFixture* fixture = ToolkitFixture::shared(state);
    if (!fixture) {
        return;
    }
    std::optional<platform::CodeRequirement> requirement;
    platform::CodeRequirement::createWithString(
        QStringLiteral("anchor apple generic and certificate leaf[subject.OU] = \"QZ7K2M4W8R\""),
        &requirement, nullptr);
    for (auto _ : state) {
        const auto start = bench::Clock::now();
        std::optional<platform::CodeSignature> code;
        std::optional<platform::Error> error;
        platform::OSStatus status =
            platform::CodeSignature::createWithPath(fixture->bundle(), platform::kSecCSDefaultFlags, &code);
        if (status == platform::errSecSuccess) {
            status = code->checkValidity(platform::kSecCSCheckAllArchitectures, &*requirement, &error);
        }
        const auto end = bench::Clock::now();
        if (status != platform::errSecSuccess) {
            state.SkipWithError(("the signature did not check out: " +
                                 (error ? error->description() : QString::number(status)))
                                    .toStdString()
                                    .c_str());
            break;
        }
        state.SetIterationTime(bench::secondsBetween(start, end));
    }
    state.SetBytesProcessed(state.iterations() * fixture->bytes());
}
BENCHMARK(BM_VerifySignature)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

// Placement is mostly the file system's work, whose speed swings with the
// disk's writeback from one copy to the next; more repetitions keep the
// medians steady.
constexpr int kPlacementRepetitions = 9;

// Runs `place` into an empty destination per iteration; times only it.
template <typename Place>
void timePlacement(benchmark::State& state, const char* name, const char* what, Place place) {
    ToolkitFixture* fixture = ToolkitFixture::shared(state);
    if (!fixture) {
        return;
    }
    const QString destination = fixture->folder() + QStringLiteral("/Applications/") + QLatin1String(name);
    const bench::TreeSummary bundle = bench::summarizeTree(fixture->bundle());
    for (auto _ : state) {
        bench::removeItem(destination);
        QDir().mkpath(QFileInfo(destination).path());
        ::sync();
        const auto start = bench::Clock::now();
        const bool placed = place(fixture->bundle(), destination);
        const auto end = bench::Clock::now();
        const bench::TreeSummary found = bench::summarizeTree(destination);
        if (!placed || found.files != bundle.files || found.bytes != bundle.bytes) {
            state.SkipWithError(
                (QLatin1String(what) + QStringLiteral(" did not place everything")).toStdString().c_str());
            break;
        }
        state.SetIterationTime(bench::secondsBetween(start, end));
    }
    bench::removeItem(destination);
    state.SetBytesProcessed(state.iterations() * fixture->bytes());
}

void BM_CpArchiveCopy(benchmark::State& state) {
    timePlacement(state, "cp.app", "cp -a", [](const QString& bundle, const QString& destination) {
        return bench::runProgram(QStringLiteral("/bin/cp"), {QStringLiteral("-a"), bundle, destination})
                   .status == 0;
    });
}
BENCHMARK(BM_CpArchiveCopy)->UseManualTime()->Iterations(1)->Repetitions(kPlacementRepetitions)->Unit(benchmark::kMillisecond);

void BM_CopyApp(benchmark::State& state) {
    timePlacement(state, "Placed.app", "AFXCopyApp", [](const QString& bundle, const QString& destination) {
        platform::Error error(QString(), 0);
        const bool placed =
            AFXCopyApp(QUrl::fromLocalFile(bundle), QUrl::fromLocalFile(destination), false, &error)
                .has_value();
        if (!placed) {
            std::fprintf(stderr, "AFXCopyApp: %s\n", qPrintable(error.description()));
        }
        return placed;
    });
}
BENCHMARK(BM_CopyApp)->UseManualTime()->Iterations(1)->Repetitions(kPlacementRepetitions)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    const int status = runBenchmarksWithRatios(argc, argv,
                                               {
                                                   {"BM_VerifySignature", "BM_Sha256sumFiles", "<= 1.3"},
                                                   {"BM_CopyApp", "BM_CpArchiveCopy", "<= 1.11"},
                                               },
                                               interleavedRepetitionFlags());
    ToolkitFixture::tearDown();
    return status;
}
