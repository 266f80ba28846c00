// kestrel-store: the development store. Serves a folder over HTTPS on the
// loopback interface with a CA of its own, and misbehaves on request so
// clients can be tried against cut connections, missing lengths, refused
// ranges, error statuses and slow links. It also answers as the development
// environment's API: the endpoints manifest ("/endpoints.json"), naming this
// store for every endpoint, and the customer API's sign-in
// ("/api/customer/sign-in"); the catalogue is a file of the served folder.
// It takes analytics events on "/events" when asked to.

#include "CertificateAuthority.h"
#include "CustomerRoute.h"
#include "EndpointsRoute.h"
#include "EventsRoute.h"
#include "FaultPlan.h"
#include "FileRoute.h"
#include "Router.h"
#include "StoreOptions.h"
#include "StoreServer.h"
#include "platform/SignalWatcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QHostAddress>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>

#include <malloc.h>
#include <unistd.h>

namespace {

constexpr std::chrono::milliseconds kParentWatchInterval{250};

void complain(const QString& text) {
    std::fprintf(stderr, "kestrel-store: %s\n", qPrintable(text));
}

// The value as one word for a POSIX shell, quoted only when it must be.
QByteArray shellWord(const QString& value) {
    const QByteArray bytes = value.toLocal8Bit();
    bool plain = !bytes.isEmpty();
    for (const char c : bytes) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          c == '/' || c == '.' || c == '_' || c == '-' || c == ':' || c == '+';
        plain = plain && safe;
    }
    if (plain) {
        return bytes;
    }
    QByteArray quoted = bytes;
    quoted.replace('\'', "'\\''");
    return '\'' + quoted + '\'';
}

} // namespace

int main(int argc, char** argv) {
    // Every block of a response passes through buffers of a few hundred
    // KiB. Left to itself the allocator maps each one afresh, or hands the
    // top of the heap back after each, and the kernel then spends more time
    // faulting pages in than TLS spends encrypting them; keeping them in the
    // heap makes them cheap to reuse, and the heap stays as small as the few
    // blocks in flight.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
    QCoreApplication application(argc, argv);
    // A client that goes away mid-response must not take the store with it.
    std::signal(SIGPIPE, SIG_IGN);

    QString error;
    const auto options = StoreOptions::parse(application.arguments(), &error);
    if (!options) {
        complain(error);
        std::fputs(qPrintable(StoreOptions::usage()), stderr);
        return 2;
    }
    if (options->help) {
        std::fputs(qPrintable(StoreOptions::usage()), stdout);
        return 0;
    }

    platform::SignalWatcher signalWatcher({SIGTERM, SIGINT}, [](int) { QCoreApplication::quit(); });
    if (!signalWatcher.isValid()) {
        complain(QStringLiteral("could not watch for signals"));
        return 1;
    }

    std::unique_ptr<QTemporaryDir> temporaryState;
    QString stateDir = options->stateDir;
    if (stateDir.isEmpty()) {
        temporaryState =
            std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kestrel-store-XXXXXX"));
        if (!temporaryState->isValid()) {
            complain(QStringLiteral("could not make a state folder: %1").arg(temporaryState->errorString()));
            return 1;
        }
        stateDir = temporaryState->path();
    }
    const auto authority = CertificateAuthority::prepare(stateDir, &error);
    if (!authority || !authority->issueServerCertificate(&error)) {
        complain(error);
        return 1;
    }

    if (!QSslSocket::supportsSsl()) {
        complain(QStringLiteral("this Qt has no TLS backend"));
        return 1;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(
        {QSslCertificate(authority->serverCertificatePem()), QSslCertificate(authority->caCertificatePem())});
    configuration.setPrivateKey(QSslKey(authority->serverKeyPem(), QSsl::Ec));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setAllowedNextProtocols({QSslConfiguration::NextProtocolHttp1_1});
    if (configuration.privateKey().isNull() || configuration.localCertificate().isNull()) {
        complain(QStringLiteral("the server certificate or key could not be read back"));
        return 1;
    }

    FileRoute::Options fileOptions;
    if (options->noLength) {
        // Without a length nothing says where a range would sit in the whole.
        fileOptions.honourRanges = false;
        fileOptions.acceptRanges = QByteArray();
    } else if (options->noRanges) {
        fileOptions.honourRanges = false;
        fileOptions.acceptRanges = "none";
    }
    fileOptions.rangeLimit = options->rangeLimit;
    Router router;
    router.add("/", std::make_shared<FileRoute>(options->root, fileOptions));
    router.add("/api/customer", std::make_shared<CustomerRoute>());
    if (!options->eventsFile.isEmpty()) {
        router.add("/events", std::make_shared<EventsRoute>(options->eventsFile));
    }

    FaultPlan faults(options->dropAfter, options->noLength, options->status, options->rate,
                     options->faultsUnder.toUtf8());

    StoreServer server(configuration, router, faults);
    if (!server.listen(QHostAddress::LocalHost, options->port)) {
        complain(QStringLiteral("could not listen on 127.0.0.1:%1: %2")
                     .arg(options->port)
                     .arg(server.errorString()));
        return 1;
    }

    const QString baseURL = QStringLiteral("https://127.0.0.1:%1").arg(server.serverPort());
    // Only known once listening; no request is read before the event loop runs.
    router.add("/endpoints.json", std::make_shared<EndpointsRoute>(QUrl(baseURL)));

    std::printf("KESTREL_STORE_URL=%s\nKESTREL_CA_BUNDLE=%s\n", qPrintable(baseURL),
                shellWord(authority->caCertificatePath()).constData());
    std::fflush(stdout);

    // A parent that dies leaves its children to another process; nothing
    // tells them, so the store looks now and then.
    QTimer parentWatch;
    if (options->parentPid) {
        QObject::connect(&parentWatch, &QTimer::timeout, [parent = static_cast<pid_t>(*options->parentPid)] {
            if (::getppid() != parent) {
                QCoreApplication::quit();
            }
        });
        parentWatch.start(kParentWatchInterval);
    }

    const int status = application.exec();
    server.close();
    return status;
}
