// Unpacking an app archive with the unarchiver (through the ditto stand-in,
// fed over a pipe as the installer feeds it) against bsdtar unpacking the
// same archive from its file, in the same run.
//
// The archive is made once per run: a bundle of a few thousand files in
// nested folders, of sizes from a few hundred bytes to several MiB, mostly
// text-like content that compresses but not trivially, some structured
// binary data, and some already-compressed (incompressible) data, packed
// with deflate to about 200 MiB. Each iteration unpacks into a fresh folder
// and checks every file arrived; the folder is removed untimed.

#include "BenchRatios.h"
#include "BenchSupport.h"
#include "support/BRUnarchiver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kFileCount = 3000;
constexpr int kFolderCount = 240;
constexpr std::uint64_t kSeed = 0x4B657374726C;

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    std::uint64_t below(std::uint64_t limit) { return next() % limit; }
    // Spread evenly over orders of magnitude between the bounds.
    std::int64_t logUniform(double low, double high) {
        return static_cast<std::int64_t>(std::exp(std::log(low) + unit() * (std::log(high) - std::log(low))));
    }

private:
    std::uint64_t state_;
};

// Prose-like text: words of a fixed vocabulary, the common ones far more
// often, with numbers and punctuation mixed in. Deflate shrinks it to a
// third or so, working for it.
class TextMaker {
public:
    explicit TextMaker(Random& random) : random_(random) {
        for (int i = 0; i < 6000; ++i) {
            std::string word;
            const auto length = 2 + random_.below(10);
            for (std::uint64_t c = 0; c < length; ++c) {
                word.push_back(static_cast<char>('a' + random_.below(26)));
            }
            words_.push_back(word);
        }
    }
    QByteArray make(std::int64_t size) {
        std::string text;
        text.reserve(static_cast<std::size_t>(size) + 32);
        int onLine = 0;
        while (static_cast<std::int64_t>(text.size()) < size) {
            const double skew = random_.unit();
            const auto index =
                static_cast<std::size_t>(skew * skew * skew * static_cast<double>(words_.size()));
            if (random_.below(12) == 0) {
                text += std::to_string(random_.below(100000));
            } else {
                text += words_[index];
            }
            if (++onLine >= 8 + static_cast<int>(random_.below(8))) {
                text += random_.below(3) == 0 ? ".\n" : "\n";
                onLine = 0;
            } else {
                text += random_.below(9) == 0 ? ", " : " ";
            }
        }
        text.resize(static_cast<std::size_t>(size));
        return QByteArray::fromStdString(text);
    }

private:
    Random& random_;
    std::vector<std::string> words_;
};

// Table-like binary data: counters, small values and noise in 16-byte
// records; shrinks by about a third.
QByteArray makeRecords(Random& random, std::int64_t size) {
    QByteArray data(size, Qt::Uninitialized);
    char* bytes = data.data();
    for (std::int64_t i = 0; i < size; ++i) {
        const std::int64_t record = i / 16;
        const int field = static_cast<int>(i % 16);
        std::uint8_t byte = 0;
        if (field < 4) {
            byte = static_cast<std::uint8_t>(record >> (8 * field));
        } else if (field < 8) {
            byte = field == 4 ? static_cast<std::uint8_t>(random.below(40)) : 0;
        } else {
            byte = static_cast<std::uint8_t>(random.next());
        }
        bytes[i] = static_cast<char>(byte);
    }
    return data;
}

QByteArray makeNoise(Random& random, std::int64_t size) {
    QByteArray data(size, Qt::Uninitialized);
    for (std::int64_t i = 0; i < size; i += 8) {
        const std::uint64_t word = random.next();
        std::memcpy(data.data() + i, &word, static_cast<std::size_t>(std::min<std::int64_t>(8, size - i)));
    }
    return data;
}

// The archive and what unpacking it must give, made once per run.
class UnpackFixture : public bench::RunFixture<UnpackFixture> {
public:
    const QString& archive() const { return archive_; }
    const QString& folder() const { return folder_; }
    std::int64_t archiveSize() const { return archiveSize_; }
    // Whether a folder holds every file of the archive, byte for byte in total.
    bool holdsEverything(const QString& folder) const {
        const bench::TreeSummary found = bench::summarizeTree(folder);
        return found.files == content_.files && found.bytes == content_.bytes;
    }
    const bench::TreeSummary& content() const { return content_; }

private:
    friend class bench::RunFixture<UnpackFixture>;
    UnpackFixture() = default;

    bool prepare() {
        useFreshFolder(QStringLiteral("unpack-bench"));
        const QString bundle = folder_ + QStringLiteral("/source/Sample.app");
        if (!writeBundle(bundle)) {
            std::fprintf(stderr, "unpack bench: cannot write the files to pack\n");
            return false;
        }
        content_ = bench::summarizeTree(bundle);
        archive_ = folder_ + QStringLiteral("/Sample.zip");
        const bench::ProgramRun packed = bench::runProgram(
            bench::toolPath(QStringLiteral("ditto")),
            {QStringLiteral("-c"), QStringLiteral("-k"), QStringLiteral("--keepParent"), bundle, archive_});
        bench::removeItem(folder_ + QStringLiteral("/source"));
        if (packed.status != 0) {
            std::fprintf(stderr, "unpack bench: ditto could not pack the files\n");
            return false;
        }
        archiveSize_ = bench::fileSize(archive_);
        std::fprintf(stderr, "unpack bench: %lld files, %.1f MiB, packed into %.1f MiB\n",
                     static_cast<long long>(content_.files), static_cast<double>(content_.bytes) / 1048576.0,
                     static_cast<double>(archiveSize_) / 1048576.0);
        return true;
    }

    bool writeBundle(const QString& bundle) {
        Random random(kSeed);
        static const char* const names[] = {"Resources", "Modules", "en.lproj",  "de.lproj",
                                            "Assets",    "Shaders", "Templates", "Plugins",
                                            "Data",      "Help",    "Scripts",   "Fonts"};
        std::vector<QString> folders{QStringLiteral("Contents")};
        while (static_cast<int>(folders.size()) < kFolderCount) {
            const QString& parent = folders[random.below(folders.size())];
            if (parent.count(QLatin1Char('/')) >= 5) {
                continue;
            }
            folders.push_back(parent + QLatin1Char('/') +
                              QLatin1String(names[random.below(std::size(names))]) +
                              QString::number(random.below(4)));
        }
        TextMaker text(random);
        for (int i = 0; i < kFileCount; ++i) {
            const double kind = random.unit();
            std::int64_t size = 0;
            if (kind < 0.70) {
                size = random.logUniform(256, 16 * 1024);
            } else if (kind < 0.96) {
                size = random.logUniform(16 * 1024, 512 * 1024);
            } else {
                size = random.logUniform(512 * 1024, 6 * 1024 * 1024);
            }
            const double content = random.unit();
            QByteArray data;
            QString extension;
            if (content < 0.62) {
                data = text.make(size);
                extension = QStringLiteral("txt");
            } else if (content < 0.90) {
                data = makeRecords(random, size);
                extension = QStringLiteral("dat");
            } else {
                data = makeNoise(random, size);
                extension = QStringLiteral("png");
            }
            const QString path = bundle + QLatin1Char('/') + folders[random.below(folders.size())] +
                                 QStringLiteral("/item-%1.%2").arg(i, 4, 10, QLatin1Char('0')).arg(extension);
            if (!bench::writeFile(path, data)) {
                return false;
            }
        }
        return true;
    }

    QString archive_;
    std::int64_t archiveSize_ = 0;
    bench::TreeSummary content_;
};

void BM_BsdtarExtract(benchmark::State& state) {
    UnpackFixture* fixture = UnpackFixture::shared(state);
    if (!fixture) {
        return;
    }
    const QString bsdtar = bench::systemProgram(QStringLiteral("bsdtar"));
    if (bsdtar.isEmpty()) {
        state.SkipWithError("bsdtar is not installed");
        return;
    }
    const QString destination = fixture->folder() + QStringLiteral("/bsdtar-out");
    for (auto _ : state) {
        bench::removeItem(destination);
        QDir().mkpath(destination);
        ::sync();
        const auto start = bench::Clock::now();
        const bench::ProgramRun run = bench::runProgram(
            bsdtar, {QStringLiteral("-xf"), fixture->archive(), QStringLiteral("-C"), destination});
        const auto end = bench::Clock::now();
        if (run.status != 0 || !fixture->holdsEverything(destination)) {
            state.SkipWithError("bsdtar did not unpack everything");
            break;
        }
        state.SetIterationTime(bench::secondsBetween(start, end));
    }
    bench::removeItem(destination);
    state.SetBytesProcessed(state.iterations() * fixture->archiveSize());
}
BENCHMARK(BM_BsdtarExtract)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

void BM_UnarchiverUnpack(benchmark::State& state) {
    UnpackFixture* fixture = UnpackFixture::shared(state);
    if (!fixture) {
        return;
    }
    const QString destination = fixture->folder() + QStringLiteral("/unarchiver-out");
    const QUrl archiveURL = QUrl::fromLocalFile(fixture->archive());
    for (auto _ : state) {
        bench::removeItem(destination);
        QDir().mkpath(destination);
        ::sync();
        std::optional<QUrl> unpackedTo;
        std::optional<platform::Error> failure;
        const auto start = bench::Clock::now();
        BRUnarchiver::unpackArchiveAtURL(
            archiveURL, QUrl::fromLocalFile(destination), false, nullptr,
            [&](const std::optional<QUrl>& folder, const std::optional<platform::Error>& error) {
                unpackedTo = folder;
                failure = error;
            });
        const auto end = bench::Clock::now();
        if (failure || !unpackedTo || !fixture->holdsEverything(destination)) {
            state.SkipWithError(("the unarchiver did not unpack everything: " +
                                 (failure ? failure->description() : QStringLiteral("no error given")))
                                    .toStdString()
                                    .c_str());
            break;
        }
        state.SetIterationTime(bench::secondsBetween(start, end));
    }
    bench::removeItem(destination);
    state.SetBytesProcessed(state.iterations() * fixture->archiveSize());
}
BENCHMARK(BM_UnarchiverUnpack)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    const int status = runBenchmarksWithRatios(
        argc, argv, {{"BM_UnarchiverUnpack", "BM_BsdtarExtract", ">= 0.85", BenchFigure::Throughput}},
        interleavedRepetitionFlags());
    UnpackFixture::tearDown();
    return status;
}
