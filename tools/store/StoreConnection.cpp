#include "StoreConnection.h"

#include "FaultPlan.h"
#include "HttpDates.h"
#include "Router.h"

#include <QDateTime>
#include <QSslSocket>

#include <algorithm>
#include <cstdio>

namespace {

// Big reads keep the file system and TLS busy with few calls; reading only
// while less than a block waits to go out keeps memory flat however big
// the file.
constexpr qint64 blockSize = 512 * 1024;
constexpr qint64 maximumHeadSize = 64 * 1024;
constexpr qint64 maximumBodySize = 1024 * 1024;
constexpr int idleTimeoutMilliseconds = 60 * 1000;

} // namespace

StoreConnection::StoreConnection(qintptr descriptor, const QSslConfiguration& configuration,
                                 const Router& router, FaultPlan& faults, QObject* parent)
    : QObject(parent), socket_(new QSslSocket(this)), router_(router), faults_(faults) {
    paceTimer_.setSingleShot(true);
    paceTimer_.setTimerType(Qt::PreciseTimer);
    connect(&paceTimer_, &QTimer::timeout, this, [this] { pump(); });
    idleTimer_.setSingleShot(true);
    connect(&idleTimer_, &QTimer::timeout, this, [this] {
        if (!sending_) {
            shutDown();
        }
    });

    if (!socket_->setSocketDescriptor(descriptor)) {
        deleteLater();
        return;
    }
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket_->setSslConfiguration(configuration);
    connect(socket_, &QSslSocket::readyRead, this, [this] { readIncoming(); });
    // Plain bytes handed to TLS, and encrypted bytes handed to the kernel:
    // either frees room for the next block.
    connect(socket_, &QSslSocket::bytesWritten, this, [this] { pump(); });
    connect(socket_, &QSslSocket::encryptedBytesWritten, this, [this] { pump(); });
    connect(socket_, &QSslSocket::disconnected, this, [this] { closed(); });
    connect(socket_, &QSslSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (socket_->state() == QAbstractSocket::UnconnectedState) {
            closed();
        }
    });
    idleTimer_.start(idleTimeoutMilliseconds);
    socket_->startServerEncryption();
}

StoreConnection::~StoreConnection() {
    // Still sending when the store shuts down: the request gets its line too.
    if (sending_) {
        log(*sending_, "incomplete");
    }
}

qint64 StoreConnection::unsentBytes() const {
    return socket_->bytesToWrite() + socket_->encryptedBytesToWrite();
}

void StoreConnection::readIncoming() {
    incoming_ += socket_->readAll();
    if (incoming_.size() > maximumHeadSize + maximumBodySize) {
        // Pipelined far beyond anything a client needs: not worth buffering.
        sending_.reset();
        abortLater();
        return;
    }
    if (!sending_) {
        processIncoming();
    }
}

void StoreConnection::processIncoming() {
    while (!sending_ && !closing_) {
        if (!waiting_) {
            // Stray line breaks between requests are tolerated, as old clients send them.
            while (incoming_.startsWith("\r\n")) {
                incoming_.remove(0, 2);
            }
            const qsizetype end = incoming_.indexOf("\r\n\r\n");
            if (end < 0) {
                if (incoming_.size() > maximumHeadSize) {
                    reject(431);
                }
                return;
            }
            if (end > maximumHeadSize) {
                reject(431);
                return;
            }
            auto request = HttpRequest::parseHead(incoming_.left(end));
            incoming_.remove(0, end + 4);
            if (!request) {
                reject(400);
                return;
            }
            if (request->header("transfer-encoding")) {
                reject(501);
                return;
            }
            waitingBodyLength_ = 0;
            if (const auto length = request->header("content-length")) {
                bool ok = false;
                waitingBodyLength_ = length->toLongLong(&ok);
                if (!ok || waitingBodyLength_ < 0) {
                    reject(400);
                    return;
                }
                if (waitingBodyLength_ > maximumBodySize) {
                    reject(413);
                    return;
                }
            }
            waiting_ = std::move(request);
        }
        if (incoming_.size() < waitingBodyLength_) {
            return;
        }
        HttpRequest request = std::move(*waiting_);
        waiting_.reset();
        request.setBody(incoming_.left(waitingBodyLength_));
        incoming_.remove(0, waitingBodyLength_);
        answer(request);
    }
}

void StoreConnection::answer(const HttpRequest& request) {
    idleTimer_.stop();
    const QByteArray range = request.header("range").value_or(QByteArray());
    if (const auto status = faults_.status(); status && faults_.covers(request.path())) {
        start(HttpResponse::page(*status), request.method(), request.target(), range, request.keepAlive());
        return;
    }
    QByteArray subpath;
    const auto handler = router_.handlerFor(request.path(), &subpath);
    HttpResponse response = handler ? handler->respond(request, subpath) : HttpResponse::page(404);
    start(std::move(response), request.method(), request.target(), range, request.keepAlive());
}

void StoreConnection::reject(int status) {
    // After a malformed request the stream cannot be trusted to be in step:
    // answer and close.
    incoming_.clear();
    waiting_.reset();
    start(HttpResponse::page(status), "-", "-", QByteArray(), false);
}

void StoreConnection::start(HttpResponse response, const QByteArray& method, const QByteArray& target,
                            const QByteArray& range, bool keepAlive) {
    Sending sending;
    sending.response = std::move(response);
    sending.method = method;
    sending.target = target;
    sending.range = range;
    const bool bodyAllowed = sending.response.statusAllowsBody();
    const qint64 size = sending.response.body().size();
    sending.keepAlive = keepAlive;
    const qsizetype query = target.indexOf('?');
    sending.faulty = faults_.covers(query < 0 ? target : target.left(query));
    sending.chunked = bodyAllowed && sending.faulty && faults_.chunked();
    sending.sendBody = bodyAllowed && method != "HEAD" && (size > 0 || sending.chunked);

    QByteArray head = "HTTP/1.1 " + QByteArray::number(sending.response.status()) + ' ' +
                      HttpResponse::reasonPhrase(sending.response.status()) + "\r\n";
    for (const auto& [name, value] : sending.response.headers()) {
        head += name + ": " + value + "\r\n";
    }
    head += "Date: " + formatHttpDate(QDateTime::currentDateTimeUtc()) + "\r\n";
    head += "Server: kestrel-store\r\n";
    if (bodyAllowed) {
        head += sending.chunked ? QByteArray("Transfer-Encoding: chunked\r\n")
                                : "Content-Length: " + QByteArray::number(size) + "\r\n";
    }
    head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    socket_->write(head);

    if (sending.sendBody && size > 0 && sending.faulty) {
        sending.cut = faults_.claimDrop(size);
    }
    sending.clock.start();
    sending_ = std::move(sending);
    pump();
}

void StoreConnection::pump() {
    if (!sending_ || paceTimer_.isActive()) {
        return;
    }
    Sending& sending = *sending_;
    ResponseBody& body = sending.response.body();
    while (sending.sendBody) {
        if (sending.cut && sending.sent >= *sending.cut) {
            // Everything before the cut must have left for the peer, or the
            // cut would land somewhere else than asked. The TLS layer reports
            // plain bytes written before it hands their encrypted form to the
            // socket, so nothing pending here may only mean "in between":
            // look again once it is done.
            if (unsentBytes() == 0 && !sending.cutCheckQueued) {
                sending.cutCheckQueued = true;
                QMetaObject::invokeMethod(
                    this,
                    [this] {
                        if (!sending_) {
                            return;
                        }
                        sending_->cutCheckQueued = false;
                        if (unsentBytes() == 0) {
                            cutOff();
                        }
                    },
                    Qt::QueuedConnection);
            }
            return;
        }
        if (body.remaining() == 0) {
            break;
        }
        if (unsentBytes() >= blockSize) {
            return;
        }
        qint64 wanted = std::min(blockSize, body.remaining());
        if (sending.cut) {
            wanted = std::min(wanted, *sending.cut - sending.sent);
        }
        wanted = paced(wanted);
        if (wanted == 0) {
            return;
        }
        const QByteArray block = body.read(wanted);
        if (block.isEmpty()) {
            // The promised length can no longer be kept: end the connection
            // so the client cannot take a short body for a whole one.
            Sending failed = std::move(sending);
            sending_.reset();
            log(failed, "failed");
            abortLater();
            return;
        }
        if (sending.chunked) {
            socket_->write(QByteArray::number(block.size(), 16) + "\r\n");
            socket_->write(block);
            socket_->write("\r\n");
        } else {
            socket_->write(block);
        }
        sending.sent += block.size();
    }
    if (sending.sendBody && sending.chunked) {
        socket_->write("0\r\n\r\n");
    }
    finish();
}

qint64 StoreConnection::paced(qint64 wanted) {
    const auto rate = faults_.rate();
    if (!rate || wanted == 0 || !sending_->faulty) {
        return wanted;
    }
    const Sending& sending = *sending_;
    // Slices of a fiftieth of a second's worth keep the pace smooth without
    // waking up for every byte.
    const qint64 slice = std::clamp<qint64>(*rate / 50, 1, wanted);
    const double elapsed = double(sending.clock.nsecsElapsed()) / 1e9;
    const qint64 allowed = qint64(double(*rate) * elapsed) - sending.sent;
    if (allowed >= slice) {
        return std::min(allowed, wanted);
    }
    const double due = double(sending.sent + slice) / double(*rate);
    paceTimer_.start(std::max(1, int((due - elapsed) * 1000.0 + 0.999)));
    return 0;
}

void StoreConnection::finish() {
    Sending finished = std::move(*sending_);
    sending_.reset();
    log(finished, "");
    if (!finished.keepAlive) {
        shutDown();
        return;
    }
    idleTimer_.start(idleTimeoutMilliseconds);
    if (!incoming_.isEmpty()) {
        // Later, so a long run of pipelined requests does not nest calls.
        QMetaObject::invokeMethod(
            this, [this] { processIncoming(); }, Qt::QueuedConnection);
    }
}

void StoreConnection::cutOff() {
    Sending cut = std::move(*sending_);
    sending_.reset();
    log(cut, "dropped");
    abortLater();
}

void StoreConnection::abortLater() {
    closing_ = true;
    paceTimer_.stop();
    idleTimer_.stop();
    // We may be inside one of the socket's own signals, and the TLS backend
    // still uses its session after emitting them: aborting here would pull
    // that session from under it. Nothing more is written meanwhile.
    QMetaObject::invokeMethod(
        this,
        [this] {
            // No close_notify and no more bytes: the peer sees the connection die.
            socket_->abort();
            closed();
        },
        Qt::QueuedConnection);
}

void StoreConnection::shutDown() {
    closing_ = true;
    paceTimer_.stop();
    idleTimer_.stop();
    // Sends what is queued, then close_notify, then closes.
    socket_->disconnectFromHost();
}

void StoreConnection::closed() {
    if (sending_) {
        log(*sending_, "incomplete");
        sending_.reset();
    }
    closing_ = true;
    paceTimer_.stop();
    idleTimer_.stop();
    deleteLater();
}

void StoreConnection::log(const Sending& sending, const char* outcome) {
    const QByteArray line = sending.method + ' ' + sending.target +
                            " range=" + (sending.range.isEmpty() ? QByteArray("-") : sending.range) +
                            " status=" + QByteArray::number(sending.response.status()) +
                            " sent=" + QByteArray::number(sending.sent) +
                            (*outcome ? QByteArray(" ") + outcome : "") + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}
