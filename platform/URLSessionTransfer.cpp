#include "URLSessionTransfer.h"

#include "DispatchQueue.h"
#include "FileManager.h"
#include "Paths.h"
#include "URLErrors.h"
#include "URLSession.h"
#include "URLSessionDownloadTask.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// libcurl reads up to this much from a connection at a time; small reads
// cost a transfer most of its throughput.
constexpr long kReceiveBufferSize = 512 * 1024;
constexpr long kMaximumRedirects = 16;
// The network hands over a body in blocks of a few kilobytes. A report to
// the delegate gathers them: after the first, a new one goes once this much
// more has been written or this long has passed since the last, so that a
// fast transfer does not wake the delegate's queue, and whatever follows
// the file there, for every block.
constexpr std::int64_t kReportBytes = 256 * 1024;
constexpr auto kReportInterval = std::chrono::milliseconds(50);
const QString kPartialFilePrefix = QStringLiteral("CFNetworkDownload_");
const QString kPartialFileSuffix = QStringLiteral(".tmp");

// Partial files that a transfer of this process is writing: no task made
// from resume data may write a file another transfer is writing. Network thread
// only; never destroyed, as the transfers dropped at exit still consult it.
std::set<QString>& filesInUse() {
    static auto* const files = new std::set<QString>;
    return *files;
}

bool isTransferScheme(const QString& scheme) {
    return scheme == QLatin1String("https") || scheme == QLatin1String("http");
}

// The statuses curl follows when the response names a Location.
bool isFollowedRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
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

// Resume data come from outside the session and may have been tampered
// with: they may name nothing but a download file of the session's own
// temporary folder, opened without following a link, so that resuming
// never truncates, extends or deletes another file. Answers the open
// descriptor, or -1 with the reason.
int openOwnPartialFile(const QString& path, QString* reason) {
    const QString folder = QDir::cleanPath(Paths::temporaryDirectory());
    const QString name = path.mid(folder.size() + 1);
    if (!path.startsWith(folder + u'/') || name.contains(u'/') || !name.startsWith(kPartialFilePrefix) ||
        !name.endsWith(kPartialFileSuffix)) {
        *reason = QStringLiteral("%1 is not a download file of %2").arg(path, folder);
        return -1;
    }
    const int directory = ::open(QFile::encodeName(folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) {
        const int failure = errno;
        *reason = QStringLiteral("cannot open folder %1: %2").arg(folder, posixText(failure));
        return -1;
    }
    const int fd = ::openat(directory, QFile::encodeName(name).constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    const int openFailure = errno;
    ::close(directory);
    if (fd < 0) {
        *reason = openFailure == ELOOP
                      ? QStringLiteral("%1 is a symbolic link").arg(path)
                      : QStringLiteral("cannot open file %1: %2").arg(path, posixText(openFailure));
        return -1;
    }
    // A second link would make the file another name's as well.
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink != 1) {
        ::close(fd);
        *reason = QStringLiteral("%1 is not a regular file with a single link").arg(path);
        return -1;
    }
    return fd;
}

std::int64_t fileSizeOf(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 ? static_cast<std::int64_t>(status.st_size) : -1;
}

// The PEM text of the system's certificates that a request given a bundle of
// its own must carry along, read once. libcurl ignores its default bundle
// file for a request that brings one, but still looks certificates up in its
// default folder of hashed certificates, one file per issuer as a chain
// needs it. Where it has such a folder the system's certificates need not
// travel with every request: loading the whole bundle for each handshake
// cost tens of milliseconds, longer than the rest of a local handshake.
// Empty when libcurl names neither.
const QByteArray& systemCertificates() {
    static const QByteArray certificates = [] {
        NetworkThread::shared(); // libcurl is set up
        CURL* probe = curl_easy_init();
        char* folder = nullptr;
        char* bundle = nullptr;
        QByteArray pem;
        const bool looksUpInFolder = probe &&
                                     curl_easy_getinfo(probe, CURLINFO_CAPATH, &folder) == CURLE_OK &&
                                     folder && QFileInfo(QFile::decodeName(folder)).isDir();
        if (!looksUpInFolder && probe && curl_easy_getinfo(probe, CURLINFO_CAINFO, &bundle) == CURLE_OK &&
            bundle) {
            QFile file(QFile::decodeName(bundle));
            if (file.open(QIODevice::ReadOnly)) {
                pem = file.readAll();
            }
        }
        curl_easy_cleanup(probe);
        return pem;
    }();
    return certificates;
}

int countCertificates(const QByteArray& pem) {
    BIO* input = BIO_new_mem_buf(pem.constData(), static_cast<int>(pem.size()));
    int count = 0;
    while (X509* certificate = PEM_read_bio_X509(input, nullptr, nullptr, nullptr)) {
        X509_free(certificate);
        ++count;
    }
    BIO_free(input);
    // The loop ends on the error of finding no further certificate.
    ERR_clear_error();
    return count;
}

std::int64_t codeForCertificate(long verifyResult) {
    switch (verifyResult) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return NSURLErrorServerCertificateHasBadDate;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return NSURLErrorServerCertificateNotYetValid;
    case X509_V_OK:
        return NSURLErrorSecureConnectionFailed;
    default:
        return NSURLErrorServerCertificateUntrusted;
    }
}

// A request that keeps URLRequest's default interval takes the session's.
double effectiveTimeout(double requested, const URLSessionTransfer::Settings& settings) {
    return requested == URLRequest::DefaultTimeoutInterval ? settings.timeoutIntervalForRequest : requested;
}

QByteArray fieldValue(const QList<std::pair<QByteArray, QByteArray>>& fields, const char* name) {
    for (const auto& [fieldName, value] : fields) {
        if (fieldName.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
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
    if (countCertificates(pem) == 0) {
        trust->failure =
            QStringLiteral(
                "The certificate bundle that KESTREL_CA_BUNDLE names (%1) holds no PEM certificate.")
                .arg(path);
        return trust;
    }
    trust->certificates = systemCertificates().isEmpty() ? pem : systemCertificates() + '\n' + pem;
    return trust;
}

URLSessionTransfer::URLSessionTransfer(std::shared_ptr<URLSessionDownloadTask> task, Settings settings)
    : task_(std::move(task)), settings_(std::move(settings)) {}

URLSessionTransfer::~URLSessionTransfer() {
    if (!done_) {
        closeFile(false);
    }
    if (handle_) {
        curl_easy_cleanup(handle_);
    }
    curl_slist_free_all(requestHeaders_);
}

void URLSessionTransfer::start(const std::shared_ptr<URLSessionDownloadTask>& task,
                               const Settings& settings) {
    Q_ASSERT(NetworkThread::shared().isCurrent());
    {
        std::lock_guard lock(task->mutex_);
        if (task->state_ != URLSessionTask::State::Running) {
            return; // cancelled before it could start: the cancellation ends it
        }
    }
    if (task->transfer_) {
        return;
    }
    std::unique_ptr<URLSessionTransfer> transfer(new URLSessionTransfer(task, settings));
    task->transfer_ = transfer.get();
    if (transfer->begin()) {
        NetworkThread::shared().add(std::move(transfer));
    }
}

void URLSessionTransfer::cancel(const std::shared_ptr<URLSessionDownloadTask>& task, const Settings& settings,
                                ResumeDataHandler handler) {
    Q_ASSERT(NetworkThread::shared().isCurrent());
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
    // Never started: what it was made from is still good for resuming, and
    // a plain cancellation throws its partial file away as it would have
    // once started.
    const std::optional<QByteArray> resumeData = handler ? usableResumeData(*task) : std::nullopt;
    if (!handler && task->resumeData_) {
        const auto resume = URLSessionResumeData::decode(*task->resumeData_);
        if (resume && filesInUse().count(resume->path) == 0) {
            discardPartialFile(resume->path);
        }
    }
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
    Q_ASSERT(NetworkThread::shared().isCurrent());
    if (auto* transfer = task->transfer_) {
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

void URLSessionTransfer::discardPartialFile(const QString& path) {
    QString reason;
    const int fd = openOwnPartialFile(path, &reason);
    if (fd < 0) {
        return; // gone already, or not ours to delete
    }
    ::unlink(QFile::encodeName(path).constData());
    ::close(fd);
}

std::optional<QByteArray> URLSessionTransfer::usableResumeData(const URLSessionDownloadTask& task) {
    if (!task.resumeData_) {
        return std::nullopt;
    }
    const auto resume = URLSessionResumeData::decode(*task.resumeData_);
    if (!resume) {
        return std::nullopt;
    }
    QString reason;
    const int fd = openOwnPartialFile(resume->path, &reason);
    if (fd < 0) {
        return std::nullopt;
    }
    const bool whole = fileSizeOf(fd) >= resume->bytes;
    ::close(fd);
    return whole ? task.resumeData_ : std::nullopt;
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

bool URLSessionTransfer::begin() {
    currentURL_ = task_->originalRequest().URL();
    if (task_->resumeData_) {
        const auto resume = URLSessionResumeData::decode(*task_->resumeData_);
        if (!resume) {
            fail(NSURLErrorCannotOpenFile, false, QStringLiteral("The resume data cannot be read."));
            return false;
        }
        if (!openPartialFile(*resume)) {
            return false;
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
        return prepareRequest(resume->resumeURL, effectiveTimeout(resume->timeoutInterval, settings_));
    }

    const URLRequest& request = task_->originalRequest();
    const QUrl& url = request.URL();
    if (!url.isValid() || url.isRelative() || (isTransferScheme(url.scheme()) && url.host().isEmpty())) {
        fail(NSURLErrorBadURL, false);
        return false;
    }
    if (!isTransferScheme(url.scheme())) {
        fail(NSURLErrorUnsupportedURL, false);
        return false;
    }
    return openFreshFile() && prepareRequest(url, effectiveTimeout(request.timeoutInterval(), settings_));
}

bool URLSessionTransfer::openFreshFile() {
    const QString folder = Paths::temporaryDirectory();
    QDir().mkpath(folder);
    QByteArray pattern =
        QFile::encodeName(folder + u'/' + kPartialFilePrefix + QStringLiteral("XXXXXX") + kPartialFileSuffix);
    const int fd = ::mkostemps(pattern.data(), static_cast<int>(kPartialFileSuffix.size()), O_CLOEXEC);
    if (fd < 0) {
        const int failure = errno;
        fail(NSURLErrorCannotCreateFile, false,
             QStringLiteral("cannot create file in %1: %2").arg(folder, posixText(failure)));
        return false;
    }
    fd_ = fd;
    path_ = QFile::decodeName(pattern);
    // Forged resume data could name this file while it is being written.
    filesInUse().insert(path_);
    showFileBeingWritten();
    return true;
}

bool URLSessionTransfer::openPartialFile(const URLSessionResumeData& resume) {
    if (filesInUse().count(resume.path) > 0) {
        fail(NSURLErrorCannotOpenFile, false,
             QStringLiteral("cannot open file %1: another download is writing it").arg(resume.path));
        return false;
    }
    QString reason;
    const int fd = openOwnPartialFile(resume.path, &reason);
    if (fd < 0) {
        fail(NSURLErrorCannotOpenFile, false, reason);
        return false;
    }
    if (fileSizeOf(fd) < resume.bytes) {
        ::close(fd);
        fail(NSURLErrorCannotOpenFile, false,
             QStringLiteral("cannot open file %1: it holds fewer bytes than the resume data say")
                 .arg(resume.path));
        return false;
    }
    if (::ftruncate(fd, resume.bytes) != 0 || ::lseek(fd, resume.bytes, SEEK_SET) != resume.bytes) {
        const int failure = errno;
        ::close(fd);
        fail(NSURLErrorCannotOpenFile, false,
             QStringLiteral("cannot open file %1: %2").arg(resume.path, posixText(failure)));
        return false;
    }
    fd_ = fd;
    path_ = resume.path;
    filesInUse().insert(path_);
    showFileBeingWritten();
    return true;
}

bool URLSessionTransfer::prepareRequest(const QUrl& url, double timeoutInterval) {
    const Trust& trust = *settings_.trust;
    if (url.scheme() == QLatin1String("https") && !trust.failure.isEmpty()) {
        fail(NSURLErrorSecureConnectionFailed, false, trust.failure);
        return false;
    }
    handle_ = curl_easy_init();
    if (!handle_) {
        fail(NSURLErrorUnknown, false);
        return false;
    }
    curl_easy_setopt(handle_, CURLOPT_URL, url.toEncoded().constData());
    curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle_, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    // Large bodies move faster over HTTP/1.1 connections of their own than
    // as streams sharing one HTTP/2 connection's flow-control window.
    curl_easy_setopt(handle_, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    // Proxies are not used, whatever the environment says.
    curl_easy_setopt(handle_, CURLOPT_PROXY, "");
    curl_easy_setopt(handle_, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle_, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // curl follows redirects; `redirectAllowed` vets each one first.
    curl_easy_setopt(handle_, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle_, CURLOPT_MAXREDIRS, kMaximumRedirects);
    curl_easy_setopt(handle_, CURLOPT_HEADERFUNCTION, &URLSessionTransfer::receiveHeader);
    curl_easy_setopt(handle_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, &URLSessionTransfer::receiveBody);
    curl_easy_setopt(handle_, CURLOPT_WRITEDATA, this);
    // The body is stored as the server sent it, so that byte counts, ranges
    // and lengths all speak of the same bytes.
    requestHeaders_ = curl_slist_append(requestHeaders_, "Accept-Encoding: identity");
    if (requestedOffset_ > 0) {
        const QByteArray range = "Range: bytes=" + QByteArray::number(requestedOffset_) + '-';
        const QByteArray ifRange = "If-Range: " + (entityTag_.isEmpty() ? lastModified_ : entityTag_);
        requestHeaders_ = curl_slist_append(requestHeaders_, range.constData());
        requestHeaders_ = curl_slist_append(requestHeaders_, ifRange.constData());
    }
    const URLRequest& request = task_->originalRequest();
    for (const auto& [field, value] : request.allHTTPHeaderFields()) {
        requestHeaders_ = curl_slist_append(requestHeaders_, (field + ": " + value).constData());
    }
    if (request.HTTPMethod() != "GET" || !request.HTTPBody().isEmpty()) {
        // Our bodies are small; waiting for a "100 Continue" only costs a round trip.
        requestHeaders_ = curl_slist_append(requestHeaders_, "Expect:");
        curl_easy_setopt(handle_, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.HTTPBody().size()));
        curl_easy_setopt(handle_, CURLOPT_COPYPOSTFIELDS, request.HTTPBody().constData());
        curl_easy_setopt(handle_, CURLOPT_CUSTOMREQUEST, request.HTTPMethod().constData());
    }
    curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, requestHeaders_);
    if (!trust.certificates.isEmpty()) {
        curl_blob certificates{const_cast<char*>(trust.certificates.constData()),
                               static_cast<size_t>(trust.certificates.size()), CURL_BLOB_COPY};
        curl_easy_setopt(handle_, CURLOPT_CAINFO_BLOB, &certificates);
        // The multi handle's cached certificate store holds the system's
        // alone; this request's must neither use it nor replace it.
        curl_easy_setopt(handle_, CURLOPT_CA_CACHE_TIMEOUT, 0L);
    }
    if (timeoutInterval > 0) {
        idleLimit_ = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(timeoutInterval));
    }
    lastActivity_ = std::chrono::steady_clock::now();
    return true;
}

// The request's timeout is the longest the transfer may go without any data.
std::optional<std::chrono::steady_clock::time_point> URLSessionTransfer::deadline() const {
    if (done_ || idleLimit_ <= std::chrono::steady_clock::duration::zero()) {
        return std::nullopt;
    }
    return lastActivity_ + idleLimit_;
}

void URLSessionTransfer::deadlineReached() {
    if (!done_ && std::chrono::steady_clock::now() - lastActivity_ >= idleLimit_) {
        fail(NSURLErrorTimedOut, true);
    }
}

size_t URLSessionTransfer::receiveHeader(char* data, size_t size, size_t count, void* self) {
    auto* transfer = static_cast<URLSessionTransfer*>(self);
    const size_t length = size * count;
    transfer->lastActivity_ = std::chrono::steady_clock::now();
    const QByteArray line = QByteArray(data, static_cast<qsizetype>(length)).trimmed();
    if (line.startsWith("HTTP/")) {
        // A new response (an interim one, a redirect or the final one).
        const QList<QByteArray> parts = line.split(' ');
        transfer->blockStatus_ = parts.size() > 1 ? parts.at(1).toInt() : 0;
        transfer->blockFields_.clear();
        transfer->redirecting_ = false;
        return length;
    }
    if (line.isEmpty()) {
        return transfer->headerBlockEnded() ? length : 0;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon > 0) {
        transfer->blockFields_.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    return length;
}

// The URL of the request curl is making now (after the redirects so far).
QUrl URLSessionTransfer::effectiveURL() const {
    char* effective = nullptr;
    curl_easy_getinfo(handle_, CURLINFO_EFFECTIVE_URL, &effective);
    return effective ? QUrl::fromEncoded(QByteArray(effective)) : currentURL_;
}

bool URLSessionTransfer::headerBlockEnded() {
    if (blockStatus_ >= 100 && blockStatus_ < 200) {
        return true; // the real response follows
    }
    const QByteArray location = fieldValue(blockFields_, "Location");
    if (isFollowedRedirect(blockStatus_) && !location.isEmpty()) {
        const QUrl from = effectiveURL();
        redirecting_ = true;
        return redirectAllowed(from, from.resolved(QUrl::fromEncoded(location)));
    }
    return takeResponse();
}

// Redirects are followed to the same origin, or to any HTTPS address.
bool URLSessionTransfer::redirectAllowed(const QUrl& from, const QUrl& target) {
    const bool sameOrigin =
        target.scheme() == from.scheme() && target.host() == from.host() && target.port(-1) == from.port(-1);
    const bool secure = target.scheme() == QLatin1String("https");
    if (!sameOrigin && !secure) {
        currentURL_ = target;
        failure_ = Failure{NSURLErrorAppTransportSecurityRequiresSecureConnection, false, {}};
        return false;
    }
    if (secure && !settings_.trust->failure.isEmpty()) {
        currentURL_ = target;
        failure_ = Failure{NSURLErrorSecureConnectionFailed, false, settings_.trust->failure};
        return false;
    }
    return true;
}

// Takes the response apart once its header is in, before the first byte of
// its body is written: where the body goes in the file, how long the whole
// is, and what resuming would need. Answers false when that ended the
// transfer.
bool URLSessionTransfer::takeResponse() {
    responseTaken_ = true;
    statusCode_ = blockStatus_;
    currentURL_ = effectiveURL();

    QMap<QString, QString> headers;
    for (const auto& [name, value] : blockFields_) {
        const QString key = QString::fromLatin1(name);
        const auto existing = headers.find(key);
        if (existing == headers.end()) {
            headers.insert(key, QString::fromLatin1(value));
        } else {
            *existing += QStringLiteral(", ") + QString::fromLatin1(value);
        }
    }
    const QByteArray entityTag = fieldValue(blockFields_, "ETag");
    // A weak tag only says two bodies are equivalent; a range of one spliced
    // onto the other would not be the same file.
    entityTag_ = entityTag.startsWith("W/") ? QByteArray() : entityTag;
    lastModified_ = fieldValue(blockFields_, "Last-Modified");
    acceptsRanges_ = acceptsByteRanges(fieldValue(blockFields_, "Accept-Ranges"));
    bool lengthGiven = false;
    const std::int64_t length = fieldValue(blockFields_, "Content-Length").toLongLong(&lengthGiven);

    if (requestedOffset_ > 0 && statusCode_ == 206) {
        const auto range = parseContentRange(fieldValue(blockFields_, "Content-Range"));
        // A range that stops short of the end is written all the same: the
        // transfer then ends as a lost connection, and resuming it again
        // asks for what is still missing.
        if (!range || range->first != requestedOffset_) {
            failure_ = Failure{NSURLErrorBadServerResponse, true, {}};
            return false;
        }
        expected_ = range->total >= 0 ? range->total : (lengthGiven ? requestedOffset_ + length : -1);
    } else {
        // The server sent the whole body (or an error page) instead of the
        // rest: start the file over.
        if (written_ > 0 && (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0)) {
            const int failure = errno;
            failure_ = Failure{NSURLErrorCannotWriteToFile, false,
                               QStringLiteral("cannot write file %1: %2").arg(path_, posixText(failure))};
            return false;
        }
        written_ = 0;
        requestedOffset_ = 0;
        expected_ = lengthGiven ? length : -1;
    }
    std::lock_guard lock(task_->mutex_);
    task_->response_ = URLResponse::http(currentURL_, statusCode_, headers);
    task_->received_ = written_;
    task_->expected_ = expected_;
    return true;
}

size_t URLSessionTransfer::receiveBody(char* data, size_t size, size_t count, void* self) {
    auto* transfer = static_cast<URLSessionTransfer*>(self);
    const size_t length = size * count;
    transfer->lastActivity_ = std::chrono::steady_clock::now();
    if (transfer->redirecting_ || length == 0) {
        return length;
    }
    if (!writeAll(transfer->fd_, data, length)) {
        const int failure = errno;
        transfer->failure_ =
            Failure{NSURLErrorCannotWriteToFile, false,
                    QStringLiteral("cannot write file %1: %2").arg(transfer->path_, posixText(failure))};
        return 0;
    }
    transfer->written_ += static_cast<std::int64_t>(length);
    {
        std::lock_guard lock(transfer->task_->mutex_);
        transfer->task_->received_ = transfer->written_;
        transfer->task_->expected_ = transfer->expected_;
    }
    transfer->reportWritten(static_cast<std::int64_t>(length));
    return length;
}

// One report at most waits on the delegate queue; what is written in the
// meantime joins it. A delegate slower than the network then costs neither
// memory nor a wake-up of the queue per block.
void URLSessionTransfer::reportWritten(std::int64_t chunk) {
    const auto now = std::chrono::steady_clock::now();
    bool post = false;
    {
        std::lock_guard lock(progress_->mutex);
        progress_->bytes += chunk;
        progress_->total = written_;
        progress_->expected = expected_;
        const bool due =
            chunk == 0 || progress_->bytes >= kReportBytes || now - lastReport_ >= kReportInterval;
        post = due && progress_->bytes > 0 && !progress_->posted;
        progress_->posted = progress_->posted || post;
    }
    if (!post) {
        return;
    }
    lastReport_ = now;
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

void URLSessionTransfer::finished(CURLcode result) {
    if (done_) {
        return;
    }
    if (failure_) {
        const Failure failure = *failure_;
        fail(failure.code, failure.offerResume, failure.description);
        return;
    }
    if (result != CURLE_OK) {
        fail(errorCodeFor(result), true);
        return;
    }
    if (!responseTaken_) {
        fail(NSURLErrorBadServerResponse, false);
        return;
    }
    // libcurl checks a body against its own reply's length only; a resumed
    // file must also have reached the whole file's.
    if (expected_ >= 0 && written_ != expected_) {
        fail(NSURLErrorNetworkConnectionLost, true);
        return;
    }
    succeed();
}

std::int64_t URLSessionTransfer::errorCodeFor(CURLcode result) const {
    switch (result) {
    case CURLE_COULDNT_CONNECT:
        return NSURLErrorCannotConnectToHost;
    case CURLE_COULDNT_RESOLVE_HOST:
        return NSURLErrorCannotFindHost;
    case CURLE_OPERATION_TIMEDOUT:
        return NSURLErrorTimedOut;
    case CURLE_PEER_FAILED_VERIFICATION: {
        long verifyResult = X509_V_OK;
        curl_easy_getinfo(handle_, CURLINFO_SSL_VERIFYRESULT, &verifyResult);
        return codeForCertificate(verifyResult);
    }
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return NSURLErrorSecureConnectionFailed;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
        return NSURLErrorNetworkConnectionLost;
    case CURLE_TOO_MANY_REDIRECTS:
        return NSURLErrorHTTPTooManyRedirects;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return NSURLErrorUnsupportedURL;
    case CURLE_URL_MALFORMAT:
        return NSURLErrorBadURL;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
        return NSURLErrorBadServerResponse;
    default:
        return NSURLErrorUnknown;
    }
}

// Resume data are offered for a plain GET (resuming repeats the request
// without a body) that got some of a body it may ask the rest of: at least
// one byte on disk, a server that takes byte ranges, and a validator to make
// sure the rest belongs to the same body. A resumed
// transfer that ends before any answer still has what it started from.
std::optional<URLSessionResumeData> URLSessionTransfer::resumeDataNow() const {
    const bool rangesWork =
        responseTaken_ ? statusCode_ == 206 || (statusCode_ == 200 && acceptsRanges_) : requestedOffset_ > 0;
    const URLRequest& request = task_->originalRequest();
    if (request.HTTPMethod() != "GET" || !request.HTTPBody().isEmpty() || written_ <= 0 || path_.isEmpty() ||
        !rangesWork || (entityTag_.isEmpty() && lastModified_.isEmpty())) {
        return std::nullopt;
    }
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

void URLSessionTransfer::cancelTransfer(ResumeDataHandler handler) {
    if (done_) {
        return;
    }
    // A plain cancellation throws the partial file away; one asked to
    // produce resume data keeps it when the transfer can be continued.
    const bool offerResume = static_cast<bool>(handler);
    fail(NSURLErrorCancelled, offerResume, {}, handler);
}

void URLSessionTransfer::succeed() {
    done_ = true;
    // What was written since the last report is told before the end.
    reportWritten(0);
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
        FileManager::discardItem(path);
    });
    postCompletion(settings_, task_, std::nullopt);
    detach();
}

void URLSessionTransfer::fail(std::int64_t code, bool offerResume, const QString& description,
                              const ResumeDataHandler& handler) {
    done_ = true;
    // A transfer that broke tells what it wrote before it says so; one
    // cancelled by its owner has nothing more to tell.
    if (code != NSURLErrorCancelled) {
        reportWritten(0);
    }
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

// The last thing a transfer does: the network thread lets it go once the
// work under way there is done.
void URLSessionTransfer::detach() {
    if (task_->transfer_ == this) {
        task_->transfer_ = nullptr;
    }
    NetworkThread::shared().discard(this);
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
        FileManager::discardItem(path_);
    }
    path_.clear();
    showFileBeingWritten();
}

void URLSessionTransfer::showFileBeingWritten() {
    std::lock_guard lock(task_->mutex_);
    task_->fileBeingWritten_ = path_;
}

} // namespace platform
