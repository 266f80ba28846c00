// Archiving and unarchiving an app record with 10 versions and 20 resources,
// against writing and reading the same data as a plain CBOR map, measured in
// the same run.

#include "BenchRatios.h"
#include "SpecificTools/Model/AFXCodedApp.h"
#include "SpecificTools/Model/AFXCodedAppVersion.h"
#include "SpecificTools/Model/AFXCodedVendorInstallResource.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

#include <QCborValue>

namespace {

std::shared_ptr<AFXCodedApp> makeApp() {
    auto app = std::make_shared<AFXCodedApp>();
    app->setIdentifier(230);
    app->setBundleIdentifier(QStringLiteral("com.orbit.notes-kestrel"));
    app->setName(QStringLiteral("Orbit Notes"));
    app->setTagLine(QStringLiteral("Notes that go round with you"));
    app->setMarketingDescription(QString(400, QLatin1Char('m')));
    app->setVendorName(QStringLiteral("Orbit"));
    app->setMarketingURL(QUrl(QStringLiteral("https://orbit.example/notes")));
    app->setCollectionIDs({1, 2, 3});
    AFXCodedApp::Versions versions;
    for (int i = 0; i < 10; ++i) {
        auto version = std::make_shared<AFXCodedAppVersion>();
        version->setIdentifier(QStringLiteral("%1.0").arg(i + 1));
        version->setUiVersion(QStringLiteral("%1.0").arg(i + 1));
        version->setReleaseDate(QDateTime::fromMSecsSinceEpoch(1700000000000LL + i * 86400000LL, Qt::UTC));
        version->setReleaseNotes(QString(200, QLatin1Char('r')));
        version->setMinOSVersion(QStringLiteral("10.15"));
        version->setKeywords({QStringLiteral("notes"), QStringLiteral("writing")});
        version->setSize(1000000 + i);
        version->setAppID(230);
        versions << version;
    }
    app->setVersions(versions);
    AFXCodedApp::Resources resources;
    for (int i = 0; i < 20; ++i) {
        resources << AFXCodedVendorInstallResource::resourceWithDownloadURL(
            QUrl(QStringLiteral("https://cdn.example/orbit/%1.zip").arg(i)), *app,
            QStringLiteral("%1.0").arg(i % 10 + 1));
    }
    app->setResources(resources);
    return app;
}

const std::shared_ptr<AFXCodedApp>& app() {
    static const auto made = makeApp();
    return made;
}

const QByteArray& archive() {
    static const QByteArray data = *platform::KeyedArchiver::archivedDataWithRootObject(app());
    return data;
}

// The same data as a plain map: the archive read back as CBOR.
const QCborValue& plainMap() {
    static const QCborValue map = QCborValue::fromCbor(archive());
    return map;
}

void BM_PlainMapToCbor(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(plainMap().toCbor());
    }
}
BENCHMARK(BM_PlainMapToCbor)->UseRealTime();

void BM_ArchiveApp(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(platform::KeyedArchiver::archivedDataWithRootObject(app()));
    }
}
BENCHMARK(BM_ArchiveApp)->UseRealTime();

void BM_PlainMapFromCbor(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(QCborValue::fromCbor(archive()));
    }
}
BENCHMARK(BM_PlainMapFromCbor)->UseRealTime();

void BM_UnarchiveApp(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(platform::KeyedUnarchiver::unarchivedObjectOfClass<AFXCodedApp>(archive()));
    }
}
BENCHMARK(BM_UnarchiveApp)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    if (!platform::KeyedUnarchiver::unarchivedObjectOfClass<AFXCodedApp>(archive())) {
        std::fprintf(stderr, "the app record does not read back\n");
        return 1;
    }
    return runBenchmarksWithRatios(
        argc, argv,
        {{"BM_ArchiveApp", "BM_PlainMapToCbor", "<= 2"}, {"BM_UnarchiveApp", "BM_PlainMapFromCbor", "<= 2"}});
}
