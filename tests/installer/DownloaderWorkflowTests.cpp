#include "SpecificTools/Errors/AFXErrors.h"
#include "installer/AFXDownloaderWorkflow.h"
#include "platform/Paths.h"
#include "platform/Tools.h"
#include "testing/EnvironmentOverride.h"
#include "testing/StoreProcess.h"
#include "testing/TestSupport.h"
#include "testing/ZipMaker.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

using testing_support::readFile;
using testing_support::testRoot;
using testing_support::ZipEntry;

namespace {

// The partial files of transfers in the temporary folder.
QStringList partialFiles() {
    return QDir(platform::Paths::temporaryDirectory()).entryList({"CFNetworkDownload_*"}, QDir::Files);
}

// What unpackings left in the temporary folder.
QStringList stagingFolders() {
    return QDir(platform::Paths::temporaryDirectory()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

// Records every call, from whichever queue it comes, and hands each to
// `onEvent` when one is set.
class RecordingDelegate : public AFXDownloaderDelegate {
public:
    struct Event {
        Event(QString name, double progress = 0.0, QUrl url = {}, std::optional<platform::Error> error = {})
            : name(std::move(name)), progress(progress), url(std::move(url)), error(std::move(error)) {}
        QString name;
        double progress;
        QUrl url;
        std::optional<platform::Error> error;
    };

    void downloaderDidStarted(AFXDownloaderWorkflow& workflow) override {
        record(workflow, Event("started"));
    }
    void downloaderDidUpdateDownloadingProgress(AFXDownloaderWorkflow& workflow, double progress) override {
        record(workflow, Event("progress", progress));
    }
    void downloaderDidFinishDownloadingToURL(AFXDownloaderWorkflow& workflow, const QUrl& url) override {
        // The archive exists while the delegate hears of it.
        record(workflow, Event("downloaded", 0.0, url), QFile::exists(url.toLocalFile()));
    }
    void downloaderDidFinishUnarchivingToURL(AFXDownloaderWorkflow& workflow, const QUrl& url) override {
        record(workflow, Event("unarchived", 0.0, url));
    }
    void downloaderDidFailWithError(AFXDownloaderWorkflow& workflow,
                                    const std::optional<platform::Error>& error) override {
        record(workflow, Event("failed", 0.0, {}, error));
    }

    std::function<void(AFXDownloaderWorkflow&, const Event&)> onEvent;

    // A list of its own, not one sharing its elements with the record: a
    // shared list would be detached later, outside the lock.
    QList<Event> events() const {
        std::lock_guard lock(mutex_);
        return QList<Event>(events_.cbegin(), events_.cend());
    }
    QStringList names() const {
        QStringList names;
        for (const Event& event : events()) {
            names.append(event.name);
        }
        return names;
    }
    int count(const QString& name) const { return names().count(name); }
    bool ended() const { return count("unarchived") + count("failed") > 0; }
    bool archiveExistedWhenDownloaded() const { return archiveExisted_; }

private:
    void record(AFXDownloaderWorkflow& workflow, const Event& event, bool archiveExisted = false) {
        {
            std::lock_guard lock(mutex_);
            archiveExisted_ = archiveExisted_ || archiveExisted;
            events_.append(event);
        }
        if (onEvent) {
            onEvent(workflow, event);
        }
    }

    mutable std::mutex mutex_;
    QList<Event> events_;
    bool archiveExisted_ = false;
};

QByteArray payload() {
    QByteArray bytes(1 << 20, Qt::Uninitialized);
    QRandomGenerator generator(230);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    return bytes;
}

class DownloaderWorkflowTests : public testing::Test {
protected:
    void SetUp() override { served_ = testRoot() + "/served"; }

    void serveArchive(const QString& bundleName = "Kestrel.app") {
        const QString archive = served_ + "/com.kestrel.DesktopClient/Kestrel.zip";
        QDir().mkpath(QFileInfo(archive).absolutePath());
        ASSERT_TRUE(testing_support::makeZipWithPython(
            archive,
            {{bundleName + "/Contents/Info.plist", "<plist/>", 0644, {}},
             {bundleName + "/Contents/MacOS/Kestrel", "#!/bin/sh\nexit 0\n", 0755, {}},
             {bundleName + "/Contents/Resources/payload.bin", payload(), 0644, {}}},
            true));
    }

    // Runs one download against a store started with the given switches,
    // until the workflow reports its end.
    std::shared_ptr<RecordingDelegate> download(const QStringList& storeArguments) {
        auto* store = startStore(storeArguments);
        if (!store) {
            return nullptr;
        }
        auto delegate = std::make_shared<RecordingDelegate>();
        auto workflow = AFXDownloaderWorkflow::makeWithDelegate(delegate);
        workflow->start();
        EXPECT_TRUE(testing_support::waitUntil([&] { return delegate->ended(); }, std::chrono::seconds(60)))
            << store->log().toStdString();
        workflow->stop();
        storeLog_ = store->log();
        return delegate;
    }

    // Starts a store with the given switches, in place of any earlier one,
    // and points downloads at it until the next store or the end of the test.
    testing_support::StoreProcess* startStore(const QStringList& storeArguments = {}) {
        storeEnvironment_.reset();
        store_ = testing_support::StoreProcess::start(served_, storeArguments);
        if (!store_) {
            return nullptr;
        }
        storeEnvironment_ = std::make_unique<testing_support::EnvironmentOverride>(
            std::initializer_list<testing_support::EnvironmentOverride::Entry>{
                {"KESTREL_DOWNLOAD_HOST", store_->baseURL().toString().toLocal8Bit()},
                {"KESTREL_CA_BUNDLE", store_->caBundlePath().toLocal8Bit()}});
        return store_.get();
    }

    QString clientPath() const { return platform::Paths::resolve("/Applications") + "/Kestrel.app"; }

    // Stops the workflow and waits until its transfers have ended.
    // A workflow whose transfer got going and was then suspended; null
    // when either did not happen.
    static std::shared_ptr<AFXDownloaderWorkflow>
    startThenSuspend(const std::shared_ptr<RecordingDelegate>& delegate) {
        auto workflow = AFXDownloaderWorkflow::makeWithDelegate(delegate);
        workflow->start();
        auto suspended = std::make_shared<std::atomic<bool>>(false);
        if (testing_support::waitUntil([&] { return delegate->count("progress") > 0; })) {
            workflow->suspend([suspended] { *suspended = true; });
        }
        if (testing_support::waitUntil([&] { return suspended->load(); })) {
            return workflow;
        }
        stopAndWait(*workflow);
        return nullptr;
    }

    static bool stopAndWait(AFXDownloaderWorkflow& workflow) {
        auto stopped = std::make_shared<std::atomic<bool>>(false);
        workflow.stop([stopped] { *stopped = true; });
        return testing_support::waitUntil([&] { return stopped->load(); });
    }

    // The archive requests in the store's log, in order.
    static QStringList archiveRequests(const testing_support::StoreProcess& store) {
        return store.log().split('\n').filter("GET /com.kestrel.DesktopClient/Kestrel.zip");
    }

    QString served_;
    QString storeLog_;
    std::unique_ptr<testing_support::StoreProcess> store_;
    std::unique_ptr<testing_support::EnvironmentOverride> storeEnvironment_;
};

} // namespace

TEST_F(DownloaderWorkflowTests, TheClientIsDownloadedUnpackedIntoApplicationsAndFound) {
    serveArchive();
    // A ditto that logs its runs: the archive is unpacked once, as it arrives.
    const QString tools = testRoot() + "/tools";
    ASSERT_TRUE(testing_support::writeRunCountingTool(tools, "/usr/bin/ditto"));
    ASSERT_TRUE(QFile::link(platform::Tools::directory() + "/kestrel-store", tools + "/kestrel-store"));
    const testing_support::EnvironmentOverride environment{{"KESTREL_TOOLS_DIR", tools.toLocal8Bit()}};
    const auto delegate = download({});
    ASSERT_TRUE(delegate);

    const QList<RecordingDelegate::Event> events = delegate->events();
    ASSERT_GE(events.size(), 4);
    EXPECT_EQ(events.first().name, "started");
    EXPECT_EQ(delegate->count("started"), 1);
    EXPECT_EQ(delegate->names().mid(delegate->names().lastIndexOf("progress") + 1),
              QStringList({"downloaded", "unarchived"}));
    EXPECT_DOUBLE_EQ(events[events.size() - 3].progress, 1.0);
    EXPECT_TRUE(delegate->archiveExistedWhenDownloaded());
    EXPECT_EQ(events.last().url, QUrl::fromLocalFile(clientPath()));
    EXPECT_EQ(readFile(clientPath() + "/Contents/Resources/payload.bin"), payload());
    EXPECT_TRUE(QFileInfo(clientPath() + "/Contents/MacOS/Kestrel").isExecutable());
    EXPECT_EQ(storeLog_.count("GET /com.kestrel.DesktopClient/Kestrel.zip"), 1);
    EXPECT_EQ(testing_support::toolRuns(tools), 1);
    EXPECT_TRUE(stagingFolders().isEmpty()) << stagingFolders().join(' ').toStdString();
}

TEST_F(DownloaderWorkflowTests, UpToThreeDropsInARowAreResumedSilentlyAndDataResetsTheCount) {
    serveArchive();
    struct Case {
        QString drops;
        bool succeeds;
    };
    // Each number is where one response is cut; 0 cuts it before any data.
    const QList<Case> cases{{"65536,0,0", true}, {"65536,0,0,0", false}, {"65536,65536,0,0", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.drops.toStdString());
        QFile::remove(clientPath());
        QDir(clientPath()).removeRecursively();
        const auto delegate = download({"--drop-after", c.drops});
        ASSERT_TRUE(delegate);
        EXPECT_EQ(delegate->count("started"), 1);
        // The unpacking that followed the first transfer ended with it.
        EXPECT_TRUE(stagingFolders().isEmpty()) << stagingFolders().join(' ').toStdString();
        if (c.succeeds) {
            EXPECT_EQ(delegate->count("failed"), 0);
            EXPECT_EQ(readFile(clientPath() + "/Contents/Resources/payload.bin"), payload());
        } else {
            ASSERT_EQ(delegate->count("failed"), 1);
            const auto error = delegate->events().last().error;
            ASSERT_TRUE(error);
            EXPECT_EQ(error->domain(), platform::NSURLErrorDomain);
            EXPECT_EQ(error->code(), platform::NSURLErrorNetworkConnectionLost);
            EXPECT_FALSE(QFile::exists(clientPath()));
            // Given up, what came is of no use.
            EXPECT_TRUE(partialFiles().isEmpty()) << partialFiles().join(' ').toStdString();
        }
    }
}

TEST_F(DownloaderWorkflowTests, WithoutALengthEveryChunkStartsAgainAtZeroProgress) {
    serveArchive();
    // Paced, so that the body arrives in several pieces: reports of pieces
    // that arrive together are merged into one.
    const auto delegate = download({"--no-length", "--rate", "2097152"});
    ASSERT_TRUE(delegate);

    int progressReports = 0;
    for (const auto& event : delegate->events()) {
        if (event.name == "progress") {
            ++progressReports;
            EXPECT_EQ(event.progress, 0.0);
        }
    }
    EXPECT_GT(progressReports, 1);
    EXPECT_EQ(delegate->count("started"), progressReports);
    EXPECT_EQ(delegate->names().last(), "unarchived");
}

TEST_F(DownloaderWorkflowTests, AServerErrorIsReportedAndNothingIsUnpacked) {
    serveArchive();
    for (const auto& [status, expected] :
         {std::pair{"404", platform::Error(AFXDefaultErrorDomain, AFXErrorCodeHTTPNotFound)},
          std::pair{"500", afx_makeServerErrorOnOperation(QString(), std::nullopt)}}) {
        SCOPED_TRACE(status);
        const auto delegate = download({"--status", status});
        ASSERT_TRUE(delegate);
        ASSERT_EQ(delegate->count("failed"), 1);
        const auto error = delegate->events().last().error;
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain(), expected.domain());
        EXPECT_EQ(error->code(), expected.code());
        EXPECT_EQ(delegate->count("downloaded"), 0);
        EXPECT_FALSE(QFile::exists(clientPath()));
        EXPECT_TRUE(stagingFolders().isEmpty()) << stagingFolders().join(' ').toStdString();
    }
}

TEST_F(DownloaderWorkflowTests, AnArchiveWithoutTheClientFailsWithoutAnError) {
    serveArchive("Other.app");
    const auto delegate = download({});
    ASSERT_TRUE(delegate);

    ASSERT_EQ(delegate->names().last(), "failed");
    EXPECT_FALSE(delegate->events().last().error);
    EXPECT_TRUE(QFileInfo(platform::Paths::resolve("/Applications") + "/Other.app").isDir());
}

TEST_F(DownloaderWorkflowTests, StopDuringTheTransferReportsNothingMore) {
    serveArchive();
    auto* store = startStore({"--rate", "131072"});
    ASSERT_TRUE(store);
    auto delegate = std::make_shared<RecordingDelegate>();
    auto workflow = AFXDownloaderWorkflow::makeWithDelegate(delegate);
    workflow->start();
    workflow->start();
    ASSERT_TRUE(testing_support::waitUntil([&] { return delegate->count("progress") > 0; }));

    workflow->stop();
    // Once the session has delivered its last event it lets the workflow go.
    const std::weak_ptr<AFXDownloaderWorkflow> stopped = workflow;
    workflow.reset();
    ASSERT_TRUE(testing_support::waitUntil([&] { return stopped.expired(); }));

    EXPECT_EQ(delegate->count("failed") + delegate->count("downloaded") + delegate->count("unarchived"), 0);
    EXPECT_FALSE(QFile::exists(clientPath()));
    EXPECT_TRUE(stagingFolders().isEmpty()) << stagingFolders().join(' ').toStdString();
    // The store writes a request's line when the request ends, which the
    // stop brings about from another process.
    const auto requests = [&] { return store->log().count("GET /com.kestrel.DesktopClient/Kestrel.zip"); };
    ASSERT_TRUE(testing_support::waitUntil([&] { return requests() >= 1; }));
    EXPECT_EQ(requests(), 1) << "a start while running begins nothing";
}

TEST_F(DownloaderWorkflowTests, StartAfterAFailureBeginsAgainFromTheFirstByte) {
    serveArchive();
    // Four cuts in a row: the fourth is reported, and the store serves the next request whole.
    auto* store = startStore({"--drop-after", "65536,0,0,0"});
    ASSERT_TRUE(store);
    auto delegate = std::make_shared<RecordingDelegate>();
    auto workflow = AFXDownloaderWorkflow::makeWithDelegate(delegate);
    workflow->start();
    ASSERT_TRUE(testing_support::waitUntil([&] { return delegate->ended(); }, std::chrono::seconds(60)));
    ASSERT_EQ(delegate->names().last(), "failed");

    workflow->start();
    ASSERT_TRUE(testing_support::waitUntil(
        [&] { return delegate->count("unarchived") + delegate->count("failed") > 1; },
        std::chrono::seconds(60)))
        << store->log().toStdString();
    EXPECT_EQ(delegate->names().last(), "unarchived");
    EXPECT_EQ(delegate->count("started"), 2);
    EXPECT_EQ(readFile(clientPath() + "/Contents/Resources/payload.bin"), payload());
    const QStringList requests = archiveRequests(*store);
    ASSERT_EQ(requests.size(), 5) << store->log().toStdString();
    for (int resumed = 1; resumed < 4; ++resumed) {
        EXPECT_FALSE(requests[resumed].contains(" range=- ")) << requests[resumed].toStdString();
    }
    EXPECT_TRUE(requests[4].contains(" range=- ")) << requests[4].toStdString();
    EXPECT_TRUE(requests[4].contains(" status=200 ")) << requests[4].toStdString();
    EXPECT_TRUE(stopAndWait(*workflow));
}

TEST_F(DownloaderWorkflowTests, SuspendKeepsWhatCameAndResumeAsksForTheRest) {
    serveArchive();
    auto* store = startStore({"--rate", "262144"});
    ASSERT_TRUE(store);
    auto delegate = std::make_shared<RecordingDelegate>();
    const auto workflow = startThenSuspend(delegate);
    ASSERT_TRUE(workflow);
    EXPECT_FALSE(delegate->ended());
    // A second suspend keeps what the first one kept.
    auto suspendedAgain = std::make_shared<std::atomic<bool>>(false);
    workflow->suspend([suspendedAgain] { *suspendedAgain = true; });
    ASSERT_TRUE(testing_support::waitUntil([&] { return suspendedAgain->load(); }));
    workflow->resume();
    ASSERT_TRUE(testing_support::waitUntil([&] { return delegate->ended(); }, std::chrono::seconds(60)));

    EXPECT_EQ(delegate->names().last(), "unarchived");
    EXPECT_EQ(delegate->count("started"), 1);
    EXPECT_EQ(readFile(clientPath() + "/Contents/Resources/payload.bin"), payload());
    const QStringList requests = archiveRequests(*store);
    ASSERT_EQ(requests.size(), 2) << store->log().toStdString();
    EXPECT_TRUE(requests[0].contains(" range=- ")) << requests[0].toStdString();
    EXPECT_TRUE(requests[1].contains(" range=bytes=")) << requests[1].toStdString();
    EXPECT_TRUE(requests[1].contains(" status=206 ")) << requests[1].toStdString();
    EXPECT_TRUE(stopAndWait(*workflow));
    EXPECT_TRUE(stagingFolders().isEmpty()) << stagingFolders().join(' ').toStdString();
}

TEST_F(DownloaderWorkflowTests, ATransferThatBreaksAsItIsSuspendedStaysSuspended) {
    serveArchive();
    constexpr qint64 kCut = 65536;
    const qint64 archiveSize = QFileInfo(served_ + "/com.kestrel.DesktopClient/Kestrel.zip").size();
    auto* store = startStore({"--drop-after", QString::number(kCut)});
    ASSERT_TRUE(store);
    auto delegate = std::make_shared<RecordingDelegate>();
    auto suspended = std::make_shared<std::atomic<bool>>(false);
    // Suspended from the report of the last bytes before the cut: the break
    // reaches the workflow while the suspension is under way.
    delegate->onEvent = [suspended, archiveSize, asked = std::make_shared<bool>(false)](
                            AFXDownloaderWorkflow& workflow, const RecordingDelegate::Event& event) {
        if (event.name == "progress" && !*asked &&
            event.progress * static_cast<double>(archiveSize) >= static_cast<double>(kCut)) {
            *asked = true;
            workflow.suspend([suspended] { *suspended = true; });
        }
    };
    const auto workflow = AFXDownloaderWorkflow::makeWithDelegate(delegate);
    workflow->start();
    ASSERT_TRUE(testing_support::waitUntil([&] { return suspended->load(); }));
    // Nothing more comes until the owner resumes.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_FALSE(delegate->ended()) << delegate->names().join(' ').toStdString();
    EXPECT_EQ(archiveRequests(*store).size(), 1) << store->log().toStdString();

    workflow->resume();
    ASSERT_TRUE(testing_support::waitUntil([&] { return delegate->ended(); }, std::chrono::seconds(60)));
    EXPECT_EQ(delegate->names().last(), "unarchived");
    EXPECT_EQ(readFile(clientPath() + "/Contents/Resources/payload.bin"), payload());
    EXPECT_TRUE(stopAndWait(*workflow));
}

TEST_F(DownloaderWorkflowTests, WhatASuspendKeptGoesWithAStopOrANewStart) {
    serveArchive();
    ASSERT_TRUE(startStore({"--rate", "262144"}));
    for (const bool restart : {false, true}) {
        SCOPED_TRACE(restart ? "start" : "stop");
        auto delegate = std::make_shared<RecordingDelegate>();
        const auto workflow = startThenSuspend(delegate);
        ASSERT_TRUE(workflow);
        ASSERT_EQ(partialFiles().size(), 1);

        if (restart) {
            const int progressBefore = delegate->count("progress");
            workflow->start();
            // The new transfer has a partial file of its own; the kept one went.
            ASSERT_TRUE(
                testing_support::waitUntil([&] { return delegate->count("progress") > progressBefore; }));
            EXPECT_EQ(partialFiles().size(), 1);
        }
        EXPECT_TRUE(stopAndWait(*workflow));
        EXPECT_TRUE(partialFiles().isEmpty()) << partialFiles().join(' ').toStdString();
    }
}

TEST_F(DownloaderWorkflowTests, AStopAtTheEndOfTheTransferUnpacksNothing) {
    serveArchive();
    auto* store = startStore();
    ASSERT_TRUE(store);
    // The last progress report comes while the complete archive waits to be
    // handed over; the download report comes just before unpacking.
    const std::function<bool(const RecordingDelegate::Event&)> stopWhen[] = {
        [](const RecordingDelegate::Event& event) {
            return event.name == "progress" && event.progress == 1.0;
        },
        [](const RecordingDelegate::Event& event) { return event.name == "downloaded"; }};
    for (const auto& condition : stopWhen) {
        auto delegate = std::make_shared<RecordingDelegate>();
        auto stoppedByDelegate = std::make_shared<std::atomic<bool>>(false);
        delegate->onEvent = [condition, stoppedByDelegate](AFXDownloaderWorkflow& workflow,
                                                           const RecordingDelegate::Event& event) {
            if (condition(event)) {
                workflow.stop();
                *stoppedByDelegate = true;
            }
        };
        auto workflow = AFXDownloaderWorkflow::makeWithDelegate(delegate);
        workflow->start();
        ASSERT_TRUE(
            testing_support::waitUntil([&] { return stoppedByDelegate->load(); }, std::chrono::seconds(60)));
        ASSERT_TRUE(stopAndWait(*workflow));

        const QStringList names = delegate->names();
        SCOPED_TRACE(names.join(' ').toStdString());
        EXPECT_EQ(names.count("unarchived") + names.count("failed"), 0);
        EXPECT_LE(names.count("downloaded"), 1);
        EXPECT_TRUE(names.last() == "downloaded" || names.last() == "progress");
        EXPECT_FALSE(QFile::exists(clientPath()));
        workflow->start();
        EXPECT_EQ(archiveRequests(*store).size(), &condition - stopWhen + 1)
            << "a stopped workflow starts nothing";
    }
}

TEST_F(DownloaderWorkflowTests, AStopWithNothingLeftToEndAnswersOnTheDelegateQueue) {
    auto delegate = std::make_shared<RecordingDelegate>();
    auto workflow = AFXDownloaderWorkflow::makeWithDelegate(delegate);
    ASSERT_TRUE(stopAndWait(*workflow));

    // Every session has ended: the block still runs on the workflow's queue.
    struct Answer {
        std::atomic<bool> given = false;
        std::atomic<bool> onCaller = false;
    };
    auto answer = std::make_shared<Answer>();
    workflow->stop([answer, caller = std::this_thread::get_id()] {
        answer->onCaller = std::this_thread::get_id() == caller;
        answer->given = true;
    });
    ASSERT_TRUE(testing_support::waitUntil([&] { return answer->given.load(); }));
    EXPECT_FALSE(answer->onCaller);
}
