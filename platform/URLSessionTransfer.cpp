#include "URLSessionTransfer.h"

#include "DispatchQueue.h"
#include "NetworkThread.h"
#include "Paths.h"
#include "URLErrors.h"
#include "URLSession.h"
#include "URLSessionDownloadTask.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <utility>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Each read from the reply moves at most this much into the file.
constexpr std::size_t kReadChunkSize = 256 * 1024;
// Qt's limit on what a reply may hold before it is read costs both threads
// an extra wake-up for every block (about a quarter of the CPU time of a
// download), so a reply starts without one: the network thread writes each
// block out as soon as it comes. Should the file fall behind the network
// (a slow disk) and this much pile up unread, the limit is set for the rest
// of the transfer, and memory stays bounded either way.
constexpr qint64 kBacklogLimit = 8 * 1024 * 1024;
constexpr int kMaximumRedirects = 16;

// Partial files that a transfer of this process is writing: two tasks made
// from the same resume data must not write one file at once. Network thread
// only.
std::set<QString>& filesInUse() {
    static std::set<QString> files;
    return files;
}

bool isTransferScheme(const QString& scheme) {
    return scheme == QLatin1String("https") || scheme == QLatin1String("http");
}

// Errors that only carry the HTTP status: the body came and is delivered.
bool isHTTPStatusError(QNetworkReply::NetworkError error) {
    return (error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError) ||
           error == QNetworkReply::ProtocolInvalidOperationError ||
           (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
}

std::int64_t codeForSslErrors(const QList<QSslError>& errors) {
    bool untrusted = false;
    for (const QSslError& error : errors) {
        switch (error.error()) {
        case QSslError::CertificateExpired:
            return NSURLErrorServerCertificateHasBadDate;
        case QSslError::CertificateNotYetValid:
            return NSURLErrorServerCertificateNotYetValid;
        case QSslError::NoError:
        case QSslError::NoSslSupport:
        case QSslError::UnspecifiedError:
            break;
        default:
            untrusted = true;
        }
    }
    return untrusted ? NSURLErrorServerCertificateUntrusted : NSURLErrorSecureConnectionFailed;
}

struct ContentRange {
    std::int64_t first = 0;
    std::int64_t total = -1; // -1 for "*"
};

// "bytes FIRST-LAST/TOTAL" or "bytes FIRST-LAST/*".
std::optional<ContentRange> parseContentRange(const QByteArray& header) {
    const QByteArray value = header.trimmed();
    if (!value.toLower().startsWith("bytes ")) {
        return std::nullopt;
    }
    const QByteArray byteRange = value.mid(6).trimmed();
    const qsizetype dash = byteRange.indexOf('-');
    const qsizetype slash = byteRange.indexOf('/');
    if (dash <= 0 || slash <= dash) {
        return std::nullopt;
    }
    bool firstOK = false;
    bool lastOK = false;
    ContentRange range;
    range.first = byteRange.left(dash).toLongLong(&firstOK);
    const std::int64_t last = byteRange.mid(dash + 1, slash - dash - 1).toLongLong(&lastOK);
    const QByteArray total = byteRange.mid(slash + 1);
    if (!firstOK || !lastOK || last < range.first) {
        return std::nullopt;
    }
    if (total != "*") {
        bool totalOK = false;
        range.total = total.toLongLong(&totalOK);
        if (!totalOK || range.total <= last) {
            return std::nullopt;
        }
    }
    return range;
}

bool acceptsByteRanges(const QByteArray& header) {
    const QList<QByteArray> units = header.split(',');
    return std::any_of(units.begin(), units.end(),
                       [](const QByteArray& unit) { return unit.trimmed().toLower() == "bytes"; });
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

QString posixText(int errnoValue) {
    return QString::fromLocal8Bit(std::strerror(errnoValue));
}

// The TLS settings of requests that trust extra certificates: the system's
// certificates plus the session's. Setting certificates turns off Qt's
// loading of the system's on demand, so they are listed in full. Network
// thread only.
const QSslConfiguration& sslConfiguration(const URLSessionTransfer::Trust& trust) {
    static std::map<QByteArray, QSslConfiguration> configurations;
    auto found = configurations.find(trust.key);
    if (found == configurations.end()) {
        static const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setCaCertificates(system + trust.certificates);
        found = configurations.emplace(trust.key, configuration).first;
    }
    return found->second;
}

// A request that keeps URLRequest's default interval takes the session's.
double effectiveTimeout(double requested, const URLSessionTransfer::Settings& settings) {
    return requested == URLRequest::DefaultTimeoutInterval ? settings.timeoutIntervalForRequest : requested;
}

} // namespace

std::shared_ptr<const URLSessionTransfer::Trust> URLSessionTransfer::Trust::fromEnvironment() {
    auto trust = std::make_shared<Trust>();
    const QString path = qEnvironmentVariable("KESTREL_CA_BUNDLE");
    if (path.isEmpty()) {
        return trust;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        trust->failure =
            QStringLiteral("The certificate bundle that KESTREL_CA_BUNDLE names (%1) cannot be read: %2")
                .arg(path, file.errorString());
        return trust;
    }
    const QByteArray pem = file.readAll();
    // Reading certificates loads Qt's TLS backend, which the network thread
    // readies (quietly) when it starts.
    NetworkThread::shared();
    trust->certificates = QSslCertificate::fromData(pem, QSsl::Pem);
    if (trust->certificates.isEmpty()) {
        trust->failure =
            QStringLiteral(
                "The certificate bundle that KESTREL_CA_BUNDLE names (%1) holds no PEM certificate.")
                .arg(path);
        return trust;
    }
    QList<QByteArray> digests;
    for (const QSslCertificate& certificate : trust->certificates) {
        digests.append(certificate.digest(QCryptographicHash::Sha256));
    }
    std::sort(digests.begin(), digests.end());
    trust->key = QCryptographicHash::hash(digests.join(), QCryptographicHash::Sha256).toHex();
    return trust;
}

URLSessionTransfer::URLSessionTransfer(std::shared_ptr<URLSessionDownloadTask> task, Settings settings)
    : task_(std::move(task)), settings_(std::move(settings)) {}

URLSessionTransfer::~URLSessionTransfer() {
    if (!done_) {
        stopReply();
        closeFile(false);
    }
}

void URLSessionTransfer::start(const std::shared_ptr<URLSessionDownloadTask>& task,
                               const Settings& settings) {
    {
        std::lock_guard lock(task->mutex_);
        if (task->state_ != URLSessionTask::State::Running) {
            return; // cancelled before it could start: the cancellation ends it
        }
    }
    if (task->transfer_) {
        return;
    }
    auto* transfer = new URLSessionTransfer(task, settings);
    transfer->setParent(NetworkThread::shared().context());
    task->transfer_ = transfer;
    transfer->begin();
}

void URLSessionTransfer::cancel(const std::shared_ptr<URLSessionDownloadTask>& task, const Settings& settings,
                                ResumeDataHandler handler) {
    if (auto* transfer = task->transfer_) {
        transfer->cancelTransfer(std::move(handler));
        return;
    }
    bool completed = false;
    {
        std::lock_guard lock(task->mutex_);
        completed = task->state_ == URLSessionTask::State::Completed;
    }
    if (completed) {
        if (handler) {
            settings.delegateQueue->async([handler = std::move(handler)] { handler(std::nullopt); });
        }
        return;
    }
    // Never started: what it was made from is still good for resuming.
    const std::optional<QByteArray> resumeData = handler ? usableResumeData(*task) : std::nullopt;
    const Error error = makeURLError(NSURLErrorCancelled, task->originalRequest().URL(), resumeData);
    {
        std::lock_guard lock(task->mutex_);
        task->state_ = URLSessionTask::State::Completed;
        task->error_ = error;
    }
    if (handler) {
        settings.delegateQueue->async([handler = std::move(handler), resumeData] { handler(resumeData); });
    }
    postCompletion(settings, task, error);
}

void URLSessionTransfer::abandon(const std::shared_ptr<URLSessionDownloadTask>& task) {
    if (auto* transfer = task->transfer_) {
        transfer->stopReply();
        transfer->closeFile(false);
        transfer->done_ = true;
        transfer->detach();
    }
    std::lock_guard lock(task->mutex_);
    if (task->state_ != URLSessionTask::State::Completed) {
        task->state_ = URLSessionTask::State::Completed;
        task->error_ = makeURLError(NSURLErrorCancelled, task->originalRequest().URL());
    }
}

std::optional<QByteArray> URLSessionTransfer::usableResumeData(const URLSessionDownloadTask& task) {
    if (!task.resumeData_) {
        return std::nullopt;
    }
    const auto resume = URLSessionResumeData::decode(*task.resumeData_);
    if (!resume || !QFileInfo(resume->path).isFile() || QFileInfo(resume->path).size() < resume->bytes) {
        return std::nullopt;
    }
    return task.resumeData_;
}

void URLSessionTransfer::postCompletion(const Settings& settings,
                                        const std::shared_ptr<URLSessionDownloadTask>& task,
                                        const std::optional<Error>& error) {
    settings.delegateQueue->async([session = settings.session, task, error] {
        if (auto strongSession = session.lock()) {
            strongSession->deliverCompletion(*task, error);
        }
    });
}

void URLSessionTransfer::begin() {
    buffer_.resize(kReadChunkSize);
    currentURL_ = task_->originalRequest().URL();
    if (task_->resumeData_) {
        const auto resume = URLSessionResumeData::decode(*task_->resumeData_);
        if (!resume || !openPartialFile(*resume)) {
            fail(NSURLErrorCannotOpenFile, false);
            return;
        }
        currentURL_ = resume->resumeURL;
        entityTag_ = resume->entityTag;
        lastModified_ = resume->lastModified;
        written_ = resume->bytes;
        requestedOffset_ = resume->bytes;
        {
            std::lock_guard lock(task_->mutex_);
            task_->received_ = written_;
        }
        sendRequest(resume->resumeURL, effectiveTimeout(resume->timeoutInterval, settings_));
        return;
    }

    const URLRequest& request = task_->originalRequest();
    const QUrl& url = request.URL();
    currentURL_ = url;
    if (!url.isValid() || url.isRelative()) {
        fail(NSURLErrorBadURL, false);
        return;
    }
    if (!isTransferScheme(url.scheme())) {
        fail(NSURLErrorUnsupportedURL, false);
        return;
    }
    if (url.host().isEmpty()) {
        fail(NSURLErrorBadURL, false);
        return;
    }
    if (!openFreshFile()) {
        return;
    }
    sendRequest(url, effectiveTimeout(request.timeoutInterval(), settings_));
}

bool URLSessionTransfer::openFreshFile() {
    const QString folder = Paths::temporaryDirectory();
    QDir().mkpath(folder);
    QByteArray pattern = QFile::encodeName(folder + QStringLiteral("/CFNetworkDownload_XXXXXX.tmp"));
    const int fd = ::mkostemps(pattern.data(), 4, O_CLOEXEC);
    if (fd < 0) {
        const int failure = errno;
        fail(NSURLErrorCannotCreateFile, false,
             QStringLiteral("cannot create file in %1: %2").arg(folder, posixText(failure)));
        return false;
    }
    fd_ = fd;
    path_ = QFile::decodeName(pattern);
    return true;
}

bool URLSessionTransfer::openPartialFile(const URLSessionResumeData& resume) {
    if (filesInUse().count(resume.path) > 0) {
        return false;
    }
    const int fd = ::open(QFile::encodeName(resume.path).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < resume.bytes ||
        ::ftruncate(fd, resume.bytes) != 0 || ::lseek(fd, resume.bytes, SEEK_SET) != resume.bytes) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    path_ = resume.path;
    filesInUse().insert(path_);
    return true;
}

void URLSessionTransfer::sendRequest(const QUrl& url, double timeoutInterval) {
    const Trust& trust = *settings_.trust;
    if (url.scheme() == QLatin1String("https") && !trust.failure.isEmpty()) {
        fail(NSURLErrorSecureConnectionFailed, false, trust.failure);
        return;
    }
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaximumRedirects);
    // Large bodies move faster over HTTP/1.1 connections of their own than
    // as streams sharing one HTTP/2 connection's flow-control window.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    // The body is stored as the server sent it, so that byte counts, ranges
    // and lengths all speak of the same bytes.
    request.setRawHeader("Accept-Encoding", "identity");
    if (requestedOffset_ > 0) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(requestedOffset_) + '-');
        request.setRawHeader("If-Range", entityTag_.isEmpty() ? lastModified_ : entityTag_);
    }
    if (!trust.certificates.isEmpty()) {
        request.setSslConfiguration(sslConfiguration(trust));
    }

    reply_ = NetworkThread::shared().get(trust.key, request);
    reply_->setParent(this);
    connect(reply_, &QIODevice::readyRead, this, [this] { readBody(); });
    connect(reply_, &QNetworkReply::finished, this, [this] { replyFinished(); });
    connect(reply_, &QNetworkReply::metaDataChanged, this, [this] { sinceActivity_.start(); });
    connect(reply_, &QNetworkReply::redirected, this, [this](const QUrl& target) { redirected(target); });
    connect(reply_, &QNetworkReply::sslErrors, this,
            [this](const QList<QSslError>& errors) { sslErrors_ += errors; });
    startIdleClock(timeoutInterval);
}

// The request's timeout is the longest the transfer may go without any
// data. Qt's own transfer timeout restarts a timer through a queued call for
// every block that arrives, which costs more than the rest of the block's
// handling; we note the time of each block instead and look at it a few
// times per interval.
void URLSessionTransfer::startIdleClock(double timeoutInterval) {
    if (timeoutInterval <= 0) {
        return;
    }
    idleLimit_ = std::chrono::milliseconds(
        static_cast<std::int64_t>(std::min(std::ceil(timeoutInterval * 1000.0), double(INT_MAX))));
    sinceActivity_.start();
    auto* clock = new QTimer(this);
    clock->setTimerType(Qt::PreciseTimer);
    clock->start(std::clamp<std::chrono::milliseconds>(idleLimit_ / 8, std::chrono::milliseconds(10),
                                                       std::chrono::milliseconds(1000)));
    connect(clock, &QTimer::timeout, this, [this] {
        if (!done_ && std::chrono::milliseconds(sinceActivity_.elapsed()) >= idleLimit_) {
            stopReply();
            fail(NSURLErrorTimedOut, true);
        }
    });
}

void URLSessionTransfer::readBody() {
    // A reply that ended in an error may be closed already, with nothing
    // left to read.
    if (done_ || !takeResponse() || !responseTaken_ || !reply_->isReadable()) {
        return;
    }
    sinceActivity_.start();
    if (!backlogLimited_ && reply_->bytesAvailable() > kBacklogLimit) {
        reply_->setReadBufferSize(kBacklogLimit);
        backlogLimited_ = true;
    }
    std::int64_t chunk = 0;
    for (;;) {
        const qint64 count = reply_->read(buffer_.data(), static_cast<qint64>(buffer_.size()));
        if (count <= 0) {
            break;
        }
        if (!writeAll(fd_, buffer_.data(), static_cast<std::size_t>(count))) {
            const int failure = errno;
            stopReply();
            fail(NSURLErrorCannotWriteToFile, false,
                 QStringLiteral("cannot write file %1: %2").arg(path_, posixText(failure)));
            return;
        }
        chunk += count;
        written_ += count;
    }
    if (chunk == 0) {
        return;
    }
    {
        std::lock_guard lock(task_->mutex_);
        task_->received_ = written_;
        task_->expected_ = expected_;
    }
    reportWritten(chunk);
}

// One report at most waits on the delegate queue; what is written in the
// meantime joins it. A delegate slower than the network then costs neither
// memory nor a wake-up of the queue per block.
void URLSessionTransfer::reportWritten(std::int64_t chunk) {
    bool post = false;
    {
        std::lock_guard lock(progress_->mutex);
        progress_->bytes += chunk;
        progress_->total = written_;
        progress_->expected = expected_;
        post = !std::exchange(progress_->posted, true);
    }
    if (!post) {
        return;
    }
    settings_.delegateQueue->async([session = settings_.session, task = task_, progress = progress_] {
        std::int64_t bytes = 0;
        std::int64_t total = 0;
        std::int64_t expected = 0;
        {
            std::lock_guard lock(progress->mutex);
            bytes = std::exchange(progress->bytes, 0);
            total = progress->total;
            expected = progress->expected;
            progress->posted = false;
        }
        auto strongSession = session.lock();
        if (!strongSession) {
            return;
        }
        if (auto delegate = strongSession->delegateOnQueue()) {
            delegate->URLSessionDownloadTaskDidWriteData(*strongSession, *task, bytes, total, expected);
        }
    });
}

// Takes the response apart once its header is in, before the first byte of
// its body is written: where the body goes in the file, how long the whole
// is, and what resuming would need. Answers false when that ended the
// transfer.
bool URLSessionTransfer::takeResponse() {
    if (responseTaken_) {
        return true;
    }
    const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        return true; // no response yet
    }
    responseTaken_ = true;
    statusCode_ = status.toInt();
    currentURL_ = reply_->url();

    QMap<QString, QString> headers;
    for (const auto& [name, value] : reply_->rawHeaderPairs()) {
        const QString key = QString::fromLatin1(name);
        const auto existing = headers.find(key);
        if (existing == headers.end()) {
            headers.insert(key, QString::fromLatin1(value));
        } else {
            *existing += QStringLiteral(", ") + QString::fromLatin1(value);
        }
    }
    const QByteArray entityTag = reply_->rawHeader("ETag").trimmed();
    // A weak tag only says two bodies are equivalent; a range of one spliced
    // onto the other would not be the same file.
    entityTag_ = entityTag.startsWith("W/") ? QByteArray() : entityTag;
    lastModified_ = reply_->rawHeader("Last-Modified").trimmed();
    acceptsRanges_ = acceptsByteRanges(reply_->rawHeader("Accept-Ranges"));
    const QVariant lengthHeader = reply_->header(QNetworkRequest::ContentLengthHeader);
    const std::int64_t length = lengthHeader.isValid() ? lengthHeader.toLongLong() : -1;

    if (requestedOffset_ > 0 && statusCode_ == 206) {
        const auto range = parseContentRange(reply_->rawHeader("Content-Range"));
        if (!range || range->first != requestedOffset_) {
            stopReply();
            fail(NSURLErrorBadServerResponse, true);
            return false;
        }
        expected_ = range->total >= 0 ? range->total : (length >= 0 ? requestedOffset_ + length : -1);
    } else {
        // The server sent the whole body (or an error page) instead of the
        // rest: start the file over.
        if (written_ > 0 && (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0)) {
            const int failure = errno;
            stopReply();
            fail(NSURLErrorCannotWriteToFile, false,
                 QStringLiteral("cannot write file %1: %2").arg(path_, posixText(failure)));
            return false;
        }
        written_ = 0;
        requestedOffset_ = 0;
        expected_ = length;
    }
    std::lock_guard lock(task_->mutex_);
    task_->response_ = URLResponse::http(currentURL_, statusCode_, headers);
    task_->received_ = written_;
    task_->expected_ = expected_;
    return true;
}

void URLSessionTransfer::replyFinished() {
    if (done_) {
        return;
    }
    readBody();
    if (done_) {
        return;
    }
    const QNetworkReply::NetworkError error = reply_->error();
    if (error == QNetworkReply::NoError || (statusCode_ > 0 && isHTTPStatusError(error))) {
        if (!responseTaken_) {
            fail(NSURLErrorBadServerResponse, false);
            return;
        }
        succeed();
        return;
    }
    fail(errorCodeForReply(), true);
}

// Redirects are followed to the same origin, or to any HTTPS address.
void URLSessionTransfer::redirected(const QUrl& target) {
    const QUrl from = reply_->url();
    const bool sameOrigin =
        target.scheme() == from.scheme() && target.host() == from.host() && target.port(-1) == from.port(-1);
    const bool secure = target.scheme() == QLatin1String("https");
    if (!sameOrigin && !secure) {
        currentURL_ = target;
        stopReply();
        fail(NSURLErrorAppTransportSecurityRequiresSecureConnection, false);
        return;
    }
    if (secure && !settings_.trust->failure.isEmpty()) {
        currentURL_ = target;
        stopReply();
        fail(NSURLErrorSecureConnectionFailed, false, settings_.trust->failure);
        return;
    }
    Q_EMIT reply_->redirectAllowed();
}

void URLSessionTransfer::cancelTransfer(ResumeDataHandler handler) {
    if (done_) {
        return;
    }
    stopReply();
    // A plain cancellation throws the partial file away; one asked to
    // produce resume data keeps it when the transfer can be continued.
    const bool offerResume = static_cast<bool>(handler);
    fail(NSURLErrorCancelled, offerResume, {}, handler);
}

// Our own ends of the reply (cancelling, the idle clock, refused redirects)
// never reach `replyFinished`, so the errors the reply reports are its own.
void URLSessionTransfer::stopReply() {
    if (!reply_) {
        return;
    }
    reply_->disconnect(this);
    reply_->abort();
}

std::int64_t URLSessionTransfer::errorCodeForReply() const {
    switch (reply_->error()) {
    case QNetworkReply::ConnectionRefusedError:
        return NSURLErrorCannotConnectToHost;
    case QNetworkReply::RemoteHostClosedError:
        return NSURLErrorNetworkConnectionLost;
    case QNetworkReply::HostNotFoundError:
        return NSURLErrorCannotFindHost;
    case QNetworkReply::TimeoutError:
    case QNetworkReply::ProxyTimeoutError:
        return NSURLErrorTimedOut;
    case QNetworkReply::OperationCanceledError:
        return NSURLErrorCancelled;
    case QNetworkReply::SslHandshakeFailedError:
        return codeForSslErrors(sslErrors_);
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::BackgroundRequestNotAllowedError:
        return NSURLErrorNotConnectedToInternet;
    case QNetworkReply::UnknownNetworkError:
        // The socket errors Qt does not name: an unreachable network before
        // anything arrived, the connection going away after.
        return responseTaken_ ? NSURLErrorNetworkConnectionLost : NSURLErrorNotConnectedToInternet;
    case QNetworkReply::TooManyRedirectsError:
        return NSURLErrorHTTPTooManyRedirects;
    case QNetworkReply::InsecureRedirectError:
        return NSURLErrorAppTransportSecurityRequiresSecureConnection;
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
    case QNetworkReply::UnknownProxyError:
        return NSURLErrorCannotConnectToHost;
    case QNetworkReply::ProtocolUnknownError:
        return NSURLErrorUnsupportedURL;
    case QNetworkReply::ProtocolFailure:
        return NSURLErrorBadServerResponse;
    default:
        return NSURLErrorUnknown;
    }
}

// Resume data are offered for a GET that got some of a body it may ask the
// rest of: at least one byte on disk, a server that takes byte ranges, and a
// validator to make sure the rest belongs to the same body. A resumed
// transfer that ends before any answer still has what it started from.
std::optional<URLSessionResumeData> URLSessionTransfer::resumeDataNow() const {
    const bool rangesWork =
        responseTaken_ ? statusCode_ == 206 || (statusCode_ == 200 && acceptsRanges_) : requestedOffset_ > 0;
    if (written_ <= 0 || path_.isEmpty() || !rangesWork ||
        (entityTag_.isEmpty() && lastModified_.isEmpty())) {
        return std::nullopt;
    }
    const URLRequest& request = task_->originalRequest();
    URLSessionResumeData resume;
    resume.url = request.URL();
    resume.resumeURL = currentURL_;
    resume.cachePolicy = request.cachePolicy();
    resume.timeoutInterval = request.timeoutInterval();
    resume.path = path_;
    resume.bytes = written_;
    resume.entityTag = entityTag_;
    resume.lastModified = lastModified_;
    return resume;
}

void URLSessionTransfer::succeed() {
    done_ = true;
    const QString path = path_;
    closeFile(true);
    {
        std::lock_guard lock(task_->mutex_);
        task_->state_ = URLSessionTask::State::Completed;
        task_->error_.reset();
        task_->received_ = written_;
        task_->expected_ = expected_;
    }
    // The file is the delegate's to move or read while the call runs, and
    // goes right after, whether or not anyone was told.
    settings_.delegateQueue->async([session = settings_.session, task = task_, path] {
        if (auto strongSession = session.lock()) {
            if (auto delegate = strongSession->delegateOnQueue()) {
                delegate->URLSessionDownloadTaskDidFinishDownloadingToURL(*strongSession, *task,
                                                                          QUrl::fromLocalFile(path));
            }
        }
        QFile::remove(path);
    });
    postCompletion(settings_, task_, std::nullopt);
    detach();
}

void URLSessionTransfer::fail(std::int64_t code, bool offerResume, const QString& description,
                              const ResumeDataHandler& handler) {
    done_ = true;
    std::optional<QByteArray> resumeData;
    if (offerResume) {
        if (const auto resume = resumeDataNow()) {
            resumeData = resume->encoded();
        }
    }
    closeFile(resumeData.has_value());
    const Error error = makeURLError(code, currentURL_, resumeData, description);
    {
        std::lock_guard lock(task_->mutex_);
        task_->state_ = URLSessionTask::State::Completed;
        task_->error_ = error;
        task_->received_ = written_;
        task_->expected_ = expected_;
    }
    if (handler) {
        settings_.delegateQueue->async([handler, resumeData] { handler(resumeData); });
    }
    postCompletion(settings_, task_, error);
    detach();
}

void URLSessionTransfer::detach() {
    if (task_->transfer_ == this) {
        task_->transfer_ = nullptr;
    }
    if (reply_) {
        reply_->disconnect(this);
        reply_->deleteLater();
        reply_ = nullptr;
    }
    deleteLater();
}

void URLSessionTransfer::closeFile(bool keep) {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (path_.isEmpty()) {
        return;
    }
    filesInUse().erase(path_);
    if (!keep) {
        QFile::remove(path_);
    }
    path_.clear();
}

} // namespace platform
