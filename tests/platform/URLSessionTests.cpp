#include "platform/DispatchQueue.h"
#include "platform/Paths.h"
#include "platform/URLSession.h"
#include "platform/URLSessionResumeData.h"
#include "testing/EnvironmentOverride.h"
#include "testing/StoreProcess.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <chrono>
#include <map>
#include <mutex>
#include <random>

#include <unistd.h>

using namespace platform;
using testing_support::EnvironmentOverride;
using testing_support::StoreProcess;

namespace {

constexpr auto kTransferTimeout = std::chrono::seconds(60);

QByteArray pseudoRandomBytes(qsizetype size, std::uint32_t seed) {
    QByteArray data(size, Qt::Uninitialized);
    std::mt19937 generator(seed);
    for (qsizetype i = 0; i < size; ++i) {
        data[i] = static_cast<char>(generator() >> 24);
    }
    return data;
}

QStringList partialFiles() {
    return QDir(Paths::temporaryDirectory())
        .entryList({QStringLiteral("CFNetworkDownload_*.tmp")}, QDir::Files);
}

QByteArray resumeDataOf(const std::optional<Error>& error) {
    return error ? error->userInfo().value(NSURLSessionDownloadTaskResumeData).toData() : QByteArray();
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string describe(const std::optional<Error>& error) {
    return error ? error->description().toStdString() : std::string("no error");
}

// Warnings Qt prints anywhere in the process while a case runs.
std::mutex qtMessagesMutex;
QStringList qtMessages;

void captureQtMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtDebugMsg || type == QtInfoMsg) {
        return;
    }
    std::lock_guard lock(qtMessagesMutex);
    qtMessages.append(text);
}

// What a session reported, kept apart from the delegate so that a test can
// watch the delegate go away.
struct EventLog {
    struct Write {
        std::int64_t bytes;
        std::int64_t total;
        std::int64_t expected;
    };
    struct Record {
        std::vector<Write> writes;
        // 'w' write, 'f' finish, 'h' resume-data handler, 'c' completion.
        std::string order;
        bool completed = false;
        std::optional<Error> error;
        QString location;
        bool fileExistedDuringFinish = false;
        QByteArray contents;
        std::optional<QByteArray> handedResumeData;
    };

    std::shared_ptr<DispatchQueue> queue;
    mutable std::mutex mutex;
    std::map<const URLSessionTask*, Record> records;
    // Records are found by the task's address: the tasks they describe stay
    // alive with the log, so that no later task can take an address over.
    std::vector<std::shared_ptr<const URLSessionTask>> recordedTasks;
    int callsOffQueue = 0;

    void noteQueue() {
        if (!queue->isCurrent()) {
            ++callsOffQueue;
        }
    }
    // With `mutex` held.
    Record& recordOf(const URLSessionTask& task) {
        if (!records.contains(&task)) {
            recordedTasks.push_back(task.shared_from_this());
        }
        return records[&task];
    }
    Record record(const URLSessionTask& task) const {
        std::lock_guard lock(mutex);
        const auto found = records.find(&task);
        return found == records.end() ? Record() : found->second;
    }
    bool completed(const URLSessionTask& task) const { return record(task).completed; }
    void noteResumeData(const URLSessionTask& task, const std::optional<QByteArray>& data) {
        std::lock_guard lock(mutex);
        noteQueue();
        auto& record = recordOf(task);
        record.order += 'h';
        record.handedResumeData = data;
    }
};

class RecordingDelegate : public URLSessionDelegate {
public:
    explicit RecordingDelegate(std::shared_ptr<EventLog> log) : log_(std::move(log)) {}

    void URLSessionDownloadTaskDidWriteData(URLSession&, URLSessionDownloadTask& task,
                                            std::int64_t bytesWritten, std::int64_t totalBytesWritten,
                                            std::int64_t totalBytesExpectedToWrite) override {
        std::lock_guard lock(log_->mutex);
        log_->noteQueue();
        auto& record = log_->recordOf(task);
        record.order += 'w';
        record.writes.push_back({bytesWritten, totalBytesWritten, totalBytesExpectedToWrite});
    }
    void URLSessionDownloadTaskDidFinishDownloadingToURL(URLSession&, URLSessionDownloadTask& task,
                                                         const QUrl& location) override {
        const QString path = location.toLocalFile();
        const bool exists = QFile::exists(path);
        const QByteArray contents = testing_support::readFile(path);
        std::lock_guard lock(log_->mutex);
        log_->noteQueue();
        auto& record = log_->recordOf(task);
        record.order += 'f';
        record.location = path;
        record.fileExistedDuringFinish = exists;
        record.contents = contents;
    }
    void URLSessionTaskDidCompleteWithError(URLSession&, URLSessionTask& task,
                                            const std::optional<Error>& error) override {
        std::lock_guard lock(log_->mutex);
        log_->noteQueue();
        auto& record = log_->recordOf(task);
        record.order += 'c';
        record.completed = true;
        record.error = error;
    }

private:
    std::shared_ptr<EventLog> log_;
};

class URLSessionTest : public testing::Test {
protected:
    void SetUp() override {
        {
            std::lock_guard lock(qtMessagesMutex);
            qtMessages.clear();
        }
        previousHandler_ = qInstallMessageHandler(captureQtMessage);
        servedFolder_ = testing_support::testRoot() + QStringLiteral("/served");
        QDir().mkpath(servedFolder_);
        log_->queue = DispatchQueue::make(QStringLiteral("URLSessionTests.delegate"));
    }

    void TearDown() override {
        qInstallMessageHandler(previousHandler_);
        std::lock_guard lock(qtMessagesMutex);
        EXPECT_TRUE(qtMessages.isEmpty())
            << "Qt said: " << qtMessages.join(QStringLiteral("\n")).toStdString();
        EXPECT_EQ(log_->callsOffQueue, 0) << "delegate calls outside the delegate queue";
    }

    QByteArray serve(const QString& name, const QByteArray& data) {
        EXPECT_TRUE(testing_support::writeFile(servedFolder_ + u'/' + name, data));
        return data;
    }

    // Every store of a case shares one CA, so one bundle trusts them all.
    std::unique_ptr<StoreProcess> startStore(const QStringList& switches = {}) {
        const QString state = testing_support::testRoot() + QStringLiteral("/store-state");
        return StoreProcess::start(servedFolder_,
                                   QStringList{QStringLiteral("--state-dir"), state} + switches);
    }

    static QUrl urlOf(const StoreProcess& store, const QString& name) {
        return QUrl(store.baseURL().toString() + u'/' + name);
    }

    // A session whose delegate writes into the test's log; it trusts the
    // store's CA unless told otherwise.
    std::shared_ptr<URLSession> makeSession(const StoreProcess* trusted,
                                            std::weak_ptr<URLSessionDelegate>* delegateWatch = nullptr) {
        const std::optional<QByteArray> bundle =
            trusted ? std::optional(trusted->caBundlePath().toLocal8Bit()) : std::nullopt;
        EnvironmentOverride environment{{"KESTREL_CA_BUNDLE", bundle}};
        auto delegate = std::make_shared<RecordingDelegate>(log_);
        if (delegateWatch) {
            *delegateWatch = delegate;
        }
        return URLSession::sessionWithConfiguration(URLSessionConfiguration::defaultSessionConfiguration(),
                                                    std::move(delegate), log_->queue);
    }

    std::shared_ptr<URLSessionDownloadTask>
    startDownload(URLSession& session, const QUrl& url, double timeout = URLRequest::DefaultTimeoutInterval) {
        auto task = session.downloadTaskWithRequest(
            URLRequest(url, URLRequest::CachePolicy::ReloadIgnoringLocalCacheData, timeout));
        if (task) {
            task->resume();
        }
        return task;
    }

    bool waitForCompletion(const URLSessionTask& task) {
        return testing_support::waitUntil([&] { return log_->completed(task); }, kTransferTimeout);
    }

    // Runs a download the store cuts off and answers the resume data it left.
    QByteArray interruptedDownload(URLSession& session, const QUrl& url) {
        auto task = startDownload(session, url);
        EXPECT_TRUE(task && waitForCompletion(*task));
        const auto error = log_->record(*task).error;
        EXPECT_TRUE(error && error->code() == NSURLErrorNetworkConnectionLost) << describe(error);
        return resumeDataOf(error);
    }

    std::shared_ptr<EventLog> log_ = std::make_shared<EventLog>();
    QString servedFolder_;
    QtMessageHandler previousHandler_ = nullptr;
};

void expectContinuousProgress(const std::vector<EventLog::Write>& writes, std::int64_t firstTotal,
                              std::int64_t expected) {
    ASSERT_FALSE(writes.empty());
    std::int64_t total = firstTotal;
    for (const auto& write : writes) {
        EXPECT_GT(write.bytes, 0);
        EXPECT_EQ(write.total, total + write.bytes);
        EXPECT_EQ(write.expected, expected);
        total = write.total;
    }
}

TEST_F(URLSessionTest, DownloadsTheBodyIntoAFileThatLastsOnlyForTheFinishCall) {
    const QByteArray body = serve(QStringLiteral("app.zip"), pseudoRandomBytes(3 * 1024 * 1024 + 123, 1));
    auto store = startStore();
    ASSERT_TRUE(store);
    auto session = makeSession(store.get());
    const QUrl url = urlOf(*store, QStringLiteral("app.zip"));
    auto task = session->downloadTaskWithRequest(URLRequest(url));
    ASSERT_TRUE(task);
    EXPECT_EQ(task->state(), URLSessionTask::State::Suspended);
    const auto started = std::chrono::steady_clock::now();
    task->resume();
    ASSERT_TRUE(waitForCompletion(*task));
    const auto took = std::chrono::steady_clock::now() - started;

    const auto record = log_->record(*task);
    EXPECT_FALSE(record.error) << describe(record.error);
    EXPECT_EQ(record.order, std::string(record.writes.size(), 'w') + "fc");
    EXPECT_TRUE(record.fileExistedDuringFinish);
    EXPECT_TRUE(record.contents == body) << record.contents.size() << " bytes instead of " << body.size();
    EXPECT_TRUE(record.location.startsWith(Paths::temporaryDirectory() + u'/'))
        << record.location.toStdString();
    EXPECT_FALSE(QFile::exists(record.location));
    expectContinuousProgress(record.writes, 0, body.size());
    // Every byte is told before the end, in reports that gather the
    // network's blocks of a few kilobytes: one per 256 KiB, or per 50 ms
    // of a slow transfer, at most.
    ASSERT_FALSE(record.writes.empty());
    EXPECT_EQ(record.writes.back().total, body.size());
    const auto slowReports = std::chrono::duration_cast<std::chrono::milliseconds>(took).count() / 50;
    EXPECT_LE(static_cast<std::int64_t>(record.writes.size()), body.size() / (256 * 1024) + slowReports + 2);

    EXPECT_EQ(task->state(), URLSessionTask::State::Completed);
    EXPECT_FALSE(task->error());
    EXPECT_EQ(task->countOfBytesReceived(), body.size());
    EXPECT_EQ(task->countOfBytesExpectedToReceive(), body.size());
    ASSERT_TRUE(task->response());
    EXPECT_EQ(task->response()->statusCode(), 200);
    EXPECT_EQ(task->response()->URL(), url);
    EXPECT_TRUE(partialFiles().isEmpty());
}

TEST_F(URLSessionTest, InterruptedTransferResumesWhereItStoppedAndCompletesTheSameFile) {
    const QByteArray body = serve(QStringLiteral("big.bin"), pseudoRandomBytes(4 * 1024 * 1024, 2));
    auto store = startStore({QStringLiteral("--drop-after"), QStringLiteral("1500000")});
    ASSERT_TRUE(store);
    auto session = makeSession(store.get());
    const QUrl url = urlOf(*store, QStringLiteral("big.bin"));

    auto first = startDownload(*session, url);
    ASSERT_TRUE(first && waitForCompletion(*first));
    const auto failed = log_->record(*first);
    ASSERT_TRUE(failed.error);
    EXPECT_EQ(failed.error->domain(), NSURLErrorDomain);
    EXPECT_EQ(failed.error->code(), NSURLErrorNetworkConnectionLost);
    EXPECT_EQ(failed.error->localizedDescription(), QStringLiteral("The network connection was lost."));
    EXPECT_EQ(failed.error->userInfo().value(NSErrorFailingURLStringKey).toString(), url.toString());
    EXPECT_EQ(failed.order.find('f'), std::string::npos);
    const QByteArray resumeData = resumeDataOf(failed.error);
    ASSERT_FALSE(resumeData.isEmpty());
    const std::int64_t kept = first->countOfBytesReceived();
    EXPECT_GT(kept, 0);
    EXPECT_LE(kept, 1500000);
    EXPECT_EQ(partialFiles().size(), 1);

    auto second = session->downloadTaskWithResumeData(resumeData);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->originalRequest().URL(), url);
    second->resume();
    ASSERT_TRUE(waitForCompletion(*second));
    const auto resumed = log_->record(*second);
    EXPECT_FALSE(resumed.error) << describe(resumed.error);
    EXPECT_TRUE(resumed.contents == body) << resumed.contents.size() << " bytes instead of " << body.size();
    expectContinuousProgress(resumed.writes, kept, body.size());
    EXPECT_EQ(second->countOfBytesReceived(), body.size());
    ASSERT_TRUE(second->response());
    EXPECT_EQ(second->response()->statusCode(), 206);
    EXPECT_TRUE(partialFiles().isEmpty());
}

TEST_F(URLSessionTest, ResumedTaskStartsOverWhenTheServerSendsTheWholeBody) {
    const QString name = QStringLiteral("changing.bin");
    const QByteArray body = serve(name, pseudoRandomBytes(2 * 1024 * 1024, 3));
    auto cutting = startStore({QStringLiteral("--drop-after"), QStringLiteral("700000"),
                               QStringLiteral("--drop-count"), QStringLiteral("2")});
    auto ignoringRanges = startStore({QStringLiteral("--no-ranges")});
    ASSERT_TRUE(cutting && ignoringRanges);
    auto session = makeSession(cutting.get());
    const QByteArray forRangeIgnored = interruptedDownload(*session, urlOf(*cutting, name));
    const QByteArray forChangedFile = interruptedDownload(*session, urlOf(*cutting, name));
    ASSERT_FALSE(forRangeIgnored.isEmpty());
    ASSERT_FALSE(forChangedFile.isEmpty());

    // A server that ignores Range answers 200 with the whole body.
    auto retargeted = URLSessionResumeData::decode(forRangeIgnored);
    ASSERT_TRUE(retargeted);
    retargeted->resumeURL = urlOf(*ignoringRanges, name);
    auto overIgnored = session->downloadTaskWithResumeData(retargeted->encoded());
    overIgnored->resume();
    ASSERT_TRUE(waitForCompletion(*overIgnored));
    const auto ignored = log_->record(*overIgnored);
    EXPECT_FALSE(ignored.error) << describe(ignored.error);
    EXPECT_TRUE(ignored.contents == body);
    expectContinuousProgress(ignored.writes, 0, body.size());
    ASSERT_TRUE(overIgnored->response());
    EXPECT_EQ(overIgnored->response()->statusCode(), 200);

    // A file that changed since fails If-Range, and its new body comes whole.
    const QByteArray replacement = serve(name, pseudoRandomBytes(2 * 1024 * 1024 + 4096, 4));
    auto overChanged = session->downloadTaskWithResumeData(forChangedFile);
    overChanged->resume();
    ASSERT_TRUE(waitForCompletion(*overChanged));
    const auto changed = log_->record(*overChanged);
    EXPECT_FALSE(changed.error) << describe(changed.error);
    EXPECT_TRUE(changed.contents == replacement);
    expectContinuousProgress(changed.writes, 0, replacement.size());
    ASSERT_TRUE(overChanged->response());
    EXPECT_EQ(overChanged->response()->statusCode(), 200);
    EXPECT_TRUE(partialFiles().isEmpty());
}

TEST_F(URLSessionTest, ARangeThatStopsShortOfTheEndIsNotAWholeFile) {
    const QString name = QStringLiteral("capped.bin");
    const QByteArray body = serve(name, pseudoRandomBytes(2 * 1024 * 1024, 7));
    auto cutting = startStore({QStringLiteral("--drop-after"), QStringLiteral("700000")});
    auto capping = startStore({QStringLiteral("--range-limit"), QStringLiteral("500000")});
    ASSERT_TRUE(cutting && capping);
    auto session = makeSession(cutting.get());
    QByteArray resumeData = interruptedDownload(*session, urlOf(*cutting, name));
    ASSERT_FALSE(resumeData.isEmpty());

    // Each answer brings at most 500,000 more bytes: every one but the last
    // ends as a lost connection whose resume data ask for the rest.
    std::int64_t kept = 0;
    for (int attempt = 0; attempt < 6; ++attempt) {
        SCOPED_TRACE(attempt);
        auto retargeted = URLSessionResumeData::decode(resumeData);
        ASSERT_TRUE(retargeted);
        retargeted->resumeURL = urlOf(*capping, name);
        auto task = session->downloadTaskWithResumeData(retargeted->encoded());
        ASSERT_TRUE(task);
        task->resume();
        ASSERT_TRUE(waitForCompletion(*task));
        const auto record = log_->record(*task);
        EXPECT_GT(task->countOfBytesReceived(), kept);
        kept = task->countOfBytesReceived();
        if (!record.error) {
            EXPECT_EQ(kept, body.size());
            EXPECT_TRUE(record.contents == body);
            EXPECT_TRUE(partialFiles().isEmpty());
            return;
        }
        EXPECT_EQ(record.error->code(), NSURLErrorNetworkConnectionLost) << describe(record.error);
        EXPECT_EQ(record.order.find('f'), std::string::npos) << "a short file was delivered as finished";
        resumeData = resumeDataOf(record.error);
        ASSERT_FALSE(resumeData.isEmpty());
    }
    FAIL() << "the file never completed";
}

TEST_F(URLSessionTest, BodyWithoutLengthReportsAnUnknownTotal) {
    const QByteArray body = serve(QStringLiteral("stream.bin"), pseudoRandomBytes(1536 * 1024, 5));
    auto store = startStore({QStringLiteral("--no-length")});
    ASSERT_TRUE(store);
    auto session = makeSession(store.get());
    auto task = startDownload(*session, urlOf(*store, QStringLiteral("stream.bin")));
    ASSERT_TRUE(task && waitForCompletion(*task));
    const auto record = log_->record(*task);
    EXPECT_FALSE(record.error) << describe(record.error);
    EXPECT_TRUE(record.contents == body);
    expectContinuousProgress(record.writes, 0, URLSessionTransferSizeUnknown);
    EXPECT_EQ(task->countOfBytesExpectedToReceive(), URLSessionTransferSizeUnknown);
    EXPECT_EQ(task->countOfBytesReceived(), body.size());
}

TEST_F(URLSessionTest, HTTPErrorStatusesAreDeliveredLikeAnyOtherBody) {
    serve(QStringLiteral("present.bin"), pseudoRandomBytes(1000, 6));
    auto store = startStore();
    auto failing = startStore({QStringLiteral("--status"), QStringLiteral("500")});
    ASSERT_TRUE(store && failing);
    auto session = makeSession(store.get());
    const std::pair<QUrl, int> cases[] = {{urlOf(*store, QStringLiteral("missing.bin")), 404},
                                          {urlOf(*failing, QStringLiteral("present.bin")), 500}};
    for (const auto& [url, status] : cases) {
        SCOPED_TRACE(status);
        auto task = startDownload(*session, url);
        ASSERT_TRUE(task && waitForCompletion(*task));
        const auto record = log_->record(*task);
        EXPECT_FALSE(record.error) << describe(record.error);
        EXPECT_TRUE(endsWith(record.order, "fc")) << record.order;
        ASSERT_TRUE(task->response());
        EXPECT_EQ(task->response()->statusCode(), status);
        EXPECT_FALSE(record.contents.isEmpty());
        EXPECT_EQ(record.contents.size(), task->countOfBytesReceived());
        EXPECT_EQ(task->countOfBytesExpectedToReceive(), record.contents.size());
    }
}

TEST_F(URLSessionTest, CancellingEndsTheTaskAndCancellingForResumeDataKeepsWhatCame) {
    const QString name = QStringLiteral("slow.bin");
    const QByteArray body = serve(name, pseudoRandomBytes(768 * 1024, 7));
    const QStringList slow{QStringLiteral("--rate"), QStringLiteral("262144")};
    auto store = startStore(slow);
    auto withoutRanges = startStore(slow + QStringList{QStringLiteral("--no-ranges")});
    ASSERT_TRUE(store && withoutRanges);
    auto session = makeSession(store.get());
    const auto startAndWaitForBytes = [&](const QUrl& url) {
        auto task = startDownload(*session, url);
        EXPECT_TRUE(
            testing_support::waitUntil([&] { return task->countOfBytesReceived() > 0; }, kTransferTimeout));
        return task;
    };

    auto cancelled = startAndWaitForBytes(urlOf(*store, name));
    cancelled->cancel();
    EXPECT_NE(cancelled->state(), URLSessionTask::State::Running);
    ASSERT_TRUE(waitForCompletion(*cancelled));
    const auto plain = log_->record(*cancelled);
    ASSERT_TRUE(plain.error);
    EXPECT_EQ(plain.error->code(), NSURLErrorCancelled);
    EXPECT_EQ(plain.error->localizedDescription(), QStringLiteral("cancelled"));
    EXPECT_FALSE(plain.error->userInfo().contains(NSURLSessionDownloadTaskResumeData));
    EXPECT_EQ(plain.order.find('f'), std::string::npos);
    EXPECT_EQ(cancelled->state(), URLSessionTask::State::Completed);
    EXPECT_TRUE(partialFiles().isEmpty());

    auto paused = startAndWaitForBytes(urlOf(*store, name));
    paused->cancelByProducingResumeData(
        [log = log_, paused](const std::optional<QByteArray>& data) { log->noteResumeData(*paused, data); });
    ASSERT_TRUE(waitForCompletion(*paused));
    const auto produced = log_->record(*paused);
    ASSERT_TRUE(produced.handedResumeData && !produced.handedResumeData->isEmpty());
    EXPECT_TRUE(endsWith(produced.order, "hc")) << produced.order;
    ASSERT_TRUE(produced.error);
    EXPECT_EQ(produced.error->code(), NSURLErrorCancelled);
    EXPECT_EQ(resumeDataOf(produced.error), *produced.handedResumeData);
    EXPECT_EQ(partialFiles().size(), 1);

    auto continued = session->downloadTaskWithResumeData(*produced.handedResumeData);
    continued->resume();
    ASSERT_TRUE(waitForCompletion(*continued));
    const auto finished = log_->record(*continued);
    EXPECT_FALSE(finished.error) << describe(finished.error);
    EXPECT_TRUE(finished.contents == body);
    expectContinuousProgress(finished.writes, paused->countOfBytesReceived(), body.size());

    // Nothing to continue: a server without ranges, or a task already done.
    auto unresumable = startAndWaitForBytes(urlOf(*withoutRanges, name));
    unresumable->cancelByProducingResumeData(
        [log = log_, unresumable](const std::optional<QByteArray>& data) {
            log->noteResumeData(*unresumable, data);
        });
    continued->cancelByProducingResumeData([log = log_, continued](const std::optional<QByteArray>& data) {
        log->noteResumeData(*continued, data);
    });
    ASSERT_TRUE(waitForCompletion(*unresumable));
    ASSERT_TRUE(testing_support::waitUntil([&] { return log_->record(*continued).order.back() == 'h'; }));
    EXPECT_FALSE(log_->record(*continued).handedResumeData);
    const auto refused = log_->record(*unresumable);
    EXPECT_TRUE(endsWith(refused.order, "hc")) << refused.order;
    EXPECT_FALSE(refused.handedResumeData);
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->code(), NSURLErrorCancelled);
    EXPECT_FALSE(refused.error->userInfo().contains(NSURLSessionDownloadTaskResumeData));
    EXPECT_TRUE(partialFiles().isEmpty());
}

TEST_F(URLSessionTest, RequestTimeoutIsTimeWithoutDataNotTotalTime) {
    serve(QStringLiteral("trickle.bin"), pseudoRandomBytes(64, 8));
    const QByteArray steadyBody = serve(QStringLiteral("steady.bin"), pseudoRandomBytes(600 * 1000, 9));
    auto trickling = startStore({QStringLiteral("--rate"), QStringLiteral("1")});
    auto steady = startStore({QStringLiteral("--rate"), QStringLiteral("200000")});
    ASSERT_TRUE(trickling && steady);
    auto session = makeSession(trickling.get());

    const auto started = std::chrono::steady_clock::now();
    auto stalled = startDownload(*session, urlOf(*trickling, QStringLiteral("trickle.bin")), 0.5);
    ASSERT_TRUE(stalled && waitForCompletion(*stalled));
    const auto timedOut = log_->record(*stalled).error;
    ASSERT_TRUE(timedOut);
    EXPECT_EQ(timedOut->code(), NSURLErrorTimedOut) << describe(timedOut);
    EXPECT_EQ(timedOut->localizedDescription(), QStringLiteral("The request timed out."));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));

    // About three seconds in all, never a second without data.
    auto flowing = startDownload(*session, urlOf(*steady, QStringLiteral("steady.bin")), 1.0);
    ASSERT_TRUE(flowing && waitForCompletion(*flowing));
    const auto record = log_->record(*flowing);
    EXPECT_FALSE(record.error) << describe(record.error);
    EXPECT_TRUE(record.contents == steadyBody);
}

TEST_F(URLSessionTest, HTTPSTrustsTheSystemAndTheNamedBundleOnly) {
    serve(QStringLiteral("signed.bin"), pseudoRandomBytes(1000, 10));
    auto store = startStore();
    ASSERT_TRUE(store);
    const QUrl url = urlOf(*store, QStringLiteral("signed.bin"));

    // Trusted first, so that a connection it leaves open is there to be
    // (wrongly) reused by the sessions that do not trust the store.
    auto trusting = makeSession(store.get());
    auto trusted = startDownload(*trusting, url);
    ASSERT_TRUE(trusted && waitForCompletion(*trusted));
    EXPECT_FALSE(log_->record(*trusted).error) << describe(log_->record(*trusted).error);

    auto systemOnly = makeSession(nullptr);
    auto untrusted = startDownload(*systemOnly, url);
    ASSERT_TRUE(untrusted && waitForCompletion(*untrusted));
    const auto rejected = log_->record(*untrusted);
    ASSERT_TRUE(rejected.error);
    EXPECT_TRUE(rejected.error->code() == NSURLErrorServerCertificateUntrusted ||
                rejected.error->code() == NSURLErrorSecureConnectionFailed)
        << describe(rejected.error);
    EXPECT_EQ(rejected.order, "c");
    EXPECT_FALSE(untrusted->response());

    std::shared_ptr<URLSession> unreadableBundle;
    {
        EnvironmentOverride environment{{"KESTREL_CA_BUNDLE", QByteArray("/nonexistent/ca.pem")}};
        unreadableBundle =
            URLSession::sessionWithConfiguration(URLSessionConfiguration::defaultSessionConfiguration(),
                                                 std::make_shared<RecordingDelegate>(log_), log_->queue);
    }
    auto misconfigured = startDownload(*unreadableBundle, url);
    ASSERT_TRUE(misconfigured && waitForCompletion(*misconfigured));
    const auto refused = log_->record(*misconfigured).error;
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->code(), NSURLErrorSecureConnectionFailed);
    EXPECT_TRUE(refused->localizedDescription().contains(QStringLiteral("KESTREL_CA_BUNDLE")))
        << describe(refused);
}

TEST_F(URLSessionTest, AddressesThatCannotBeReachedFailWithTheirCodes) {
    // A port that was free a moment ago: nothing listens there.
    quint16 port = 0;
    const int probe = testing_support::loopbackSocket(false, &port);
    ASSERT_GE(probe, 0);
    ::close(probe);
    const QUrl closedPort(QStringLiteral("https://127.0.0.1:%1/app.zip").arg(port));

    auto session = makeSession(nullptr);
    const std::pair<QUrl, std::int64_t> cases[] = {
        {closedPort, NSURLErrorCannotConnectToHost},
        {QUrl(QStringLiteral("ftp://127.0.0.1/app.zip")), NSURLErrorUnsupportedURL},
        {QUrl(QStringLiteral("https:///app.zip")), NSURLErrorBadURL},
    };
    for (const auto& [url, code] : cases) {
        SCOPED_TRACE(url.toString().toStdString());
        auto task = startDownload(*session, url);
        ASSERT_TRUE(task && waitForCompletion(*task));
        const auto error = log_->record(*task).error;
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain(), NSURLErrorDomain);
        EXPECT_EQ(error->code(), code) << describe(error);
        EXPECT_FALSE(error->userInfo().contains(NSURLSessionDownloadTaskResumeData));
        EXPECT_EQ(error->userInfo().value(NSErrorFailingURLStringKey).toString(), url.toString());
        if (code == NSURLErrorCannotConnectToHost) {
            EXPECT_EQ(error->localizedDescription(), QStringLiteral("Could not connect to the server."));
        }
    }
    EXPECT_TRUE(partialFiles().isEmpty());

    // Continuing while the server is away keeps the partial file and the
    // means to try again.
    URLSessionResumeData resume;
    resume.url = resume.resumeURL = closedPort;
    resume.path = Paths::temporaryDirectory() + QStringLiteral("/CFNetworkDownload_kept.tmp");
    resume.bytes = 100;
    resume.entityTag = "\"tag\"";
    ASSERT_TRUE(testing_support::writeFile(resume.path, QByteArray(100, 'x')));
    auto retry = session->downloadTaskWithResumeData(resume.encoded());
    retry->resume();
    ASSERT_TRUE(waitForCompletion(*retry));
    const auto retryError = log_->record(*retry).error;
    ASSERT_TRUE(retryError);
    EXPECT_EQ(retryError->code(), NSURLErrorCannotConnectToHost);
    const auto again = URLSessionResumeData::decode(resumeDataOf(retryError));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->path, resume.path);
    EXPECT_EQ(again->bytes, 100);
    EXPECT_EQ(testing_support::readFile(resume.path), QByteArray(100, 'x'));
}

TEST_F(URLSessionTest, ResumeDataThatCannotBeUsedFailsWithCannotOpenFile) {
    auto session = makeSession(nullptr);
    URLSessionResumeData lost;
    lost.url = lost.resumeURL = QUrl(QStringLiteral("https://127.0.0.1:9/app.zip"));
    lost.path = Paths::temporaryDirectory() + QStringLiteral("/CFNetworkDownload_gone.tmp");
    lost.bytes = 100;
    lost.entityTag = "\"tag\"";
    URLSessionResumeData shortened = lost;
    shortened.path = testing_support::testRoot() + QStringLiteral("/short.tmp");
    ASSERT_TRUE(testing_support::writeFile(shortened.path, QByteArray(10, 'x')));

    for (const QByteArray& data : {QByteArray("not resume data"), lost.encoded(), shortened.encoded()}) {
        auto task = session->downloadTaskWithResumeData(data);
        ASSERT_TRUE(task);
        task->resume();
        ASSERT_TRUE(waitForCompletion(*task));
        const auto error = log_->record(*task).error;
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code(), NSURLErrorCannotOpenFile) << describe(error);
    }
    EXPECT_EQ(testing_support::readFile(shortened.path), QByteArray(10, 'x'));
}

// Neither resuming nor discarding resume data touches what they name
// beyond the download folder.
TEST_F(URLSessionTest, ResumeDataReachNoFileBeyondTheDownloadFolder) {
    auto session = makeSession(nullptr);
    const QString folder = Paths::temporaryDirectory();
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString outside = testing_support::testRoot() + QStringLiteral("/CFNetworkDownload_mine.tmp");
    const QByteArray contents(300, 'p');
    ASSERT_TRUE(testing_support::writeFile(outside, contents));
    const QString symbolicLink = folder + QStringLiteral("/CFNetworkDownload_link.tmp");
    ASSERT_TRUE(QFile::link(outside, symbolicLink));
    const QString hardLink = folder + QStringLiteral("/CFNetworkDownload_hard.tmp");
    ASSERT_EQ(::link(QFile::encodeName(outside).constData(), QFile::encodeName(hardLink).constData()), 0);

    const QString named[] = {outside, folder + QStringLiteral("/../CFNetworkDownload_mine.tmp"), symbolicLink,
                             hardLink};
    for (const QString& path : named) {
        SCOPED_TRACE(path.toStdString());
        URLSessionResumeData resume;
        resume.url = resume.resumeURL = QUrl(QStringLiteral("https://127.0.0.1:9/app.zip"));
        resume.path = path;
        resume.bytes = 100;
        resume.entityTag = "\"tag\"";
        auto task = session->downloadTaskWithResumeData(resume.encoded());
        ASSERT_TRUE(task);
        task->resume();
        ASSERT_TRUE(waitForCompletion(*task));
        const auto error = log_->record(*task).error;
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code(), NSURLErrorCannotOpenFile) << describe(error);
        EXPECT_TRUE(error->localizedDescription().contains(path)) << describe(error);
        EXPECT_FALSE(error->userInfo().contains(NSURLSessionDownloadTaskResumeData));
        URLSession::discardResumeData(resume.encoded());
        EXPECT_EQ(testing_support::readFile(outside), contents);
    }
    EXPECT_TRUE(QFileInfo(symbolicLink).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(hardLink));

    // The session's own partial file goes.
    const QString own = folder + QStringLiteral("/CFNetworkDownload_own.tmp");
    ASSERT_TRUE(testing_support::writeFile(own, contents));
    URLSessionResumeData resume;
    resume.url = resume.resumeURL = QUrl(QStringLiteral("https://127.0.0.1:9/app.zip"));
    resume.path = own;
    resume.bytes = 100;
    resume.entityTag = "\"tag\"";
    URLSession::discardResumeData(resume.encoded());
    EXPECT_FALSE(QFileInfo::exists(own));

    // So does the file of a task made from resume data and cancelled before
    // it started, as a started one's would.
    ASSERT_TRUE(testing_support::writeFile(own, contents));
    auto task = session->downloadTaskWithResumeData(resume.encoded());
    ASSERT_TRUE(task);
    task->cancel();
    ASSERT_TRUE(waitForCompletion(*task));
    EXPECT_FALSE(QFileInfo::exists(own));
}

TEST_F(URLSessionTest, InvalidationCancelsOrFinishesTheTasksThenLetsTheDelegateGo) {
    serve(QStringLiteral("long.bin"), pseudoRandomBytes(1024 * 1024, 11));
    const QByteArray shortBody = serve(QStringLiteral("short.bin"), pseudoRandomBytes(64 * 1024, 12));
    auto store = startStore({QStringLiteral("--rate"), QStringLiteral("131072")});
    ASSERT_TRUE(store);

    std::weak_ptr<URLSessionDelegate> cancellingDelegate;
    auto cancelling = makeSession(store.get(), &cancellingDelegate);
    auto running = startDownload(*cancelling, urlOf(*store, QStringLiteral("long.bin")));
    auto suspended =
        cancelling->downloadTaskWithRequest(URLRequest(urlOf(*store, QStringLiteral("long.bin"))));
    ASSERT_TRUE(running && suspended);
    ASSERT_TRUE(
        testing_support::waitUntil([&] { return running->countOfBytesReceived() > 0; }, kTransferTimeout));
    cancelling->invalidateAndCancel();
    EXPECT_EQ(cancelling->downloadTaskWithRequest(URLRequest(urlOf(*store, QStringLiteral("long.bin")))),
              nullptr);
    for (const auto& task : {running, suspended}) {
        ASSERT_TRUE(waitForCompletion(*task));
        const auto error = log_->record(*task).error;
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code(), NSURLErrorCancelled);
    }
    EXPECT_TRUE(testing_support::waitUntil([&] { return cancellingDelegate.expired(); }));

    std::weak_ptr<URLSessionDelegate> finishingDelegate;
    auto finishing = makeSession(store.get(), &finishingDelegate);
    auto last = startDownload(*finishing, urlOf(*store, QStringLiteral("short.bin")));
    finishing->finishTasksAndInvalidate();
    EXPECT_EQ(finishing->downloadTaskWithRequest(URLRequest(urlOf(*store, QStringLiteral("short.bin")))),
              nullptr);
    ASSERT_TRUE(waitForCompletion(*last));
    const auto finished = log_->record(*last);
    EXPECT_FALSE(finished.error) << describe(finished.error);
    EXPECT_TRUE(finished.contents == shortBody);
    EXPECT_TRUE(testing_support::waitUntil([&] { return finishingDelegate.expired(); }));
}

TEST_F(URLSessionTest, SessionDestroyedWithoutInvalidationStopsItsTransfersSilently) {
    serve(QStringLiteral("long.bin"), pseudoRandomBytes(1024 * 1024, 13));
    auto store = startStore({QStringLiteral("--rate"), QStringLiteral("131072")});
    ASSERT_TRUE(store);
    auto session = makeSession(store.get());
    auto task = startDownload(*session, urlOf(*store, QStringLiteral("long.bin")));
    ASSERT_TRUE(
        testing_support::waitUntil([&] { return task->countOfBytesReceived() > 0; }, kTransferTimeout));
    session.reset();
    ASSERT_TRUE(
        testing_support::waitUntil([&] { return task->state() == URLSessionTask::State::Completed; }));
    ASSERT_TRUE(task->error());
    EXPECT_EQ(task->error()->code(), NSURLErrorCancelled);
    // Whatever was already on its way to the delegate queue has arrived by now.
    log_->queue->sync([] {});
    const auto record = log_->record(*task);
    EXPECT_EQ(record.order.find_first_not_of('w'), std::string::npos) << record.order;
    EXPECT_TRUE(partialFiles().isEmpty());
}

} // namespace
