#pragma once

#include "Value.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

namespace platform {

// User-info keys and domains the platform defines.
inline const QString NSLocalizedDescriptionKey = QStringLiteral("NSLocalizedDescription");
inline const QString NSLocalizedRecoverySuggestionErrorKey = QStringLiteral("NSLocalizedRecoverySuggestion");
inline const QString NSLocalizedRecoveryOptionsErrorKey = QStringLiteral("NSLocalizedRecoveryOptions");
inline const QString NSUnderlyingErrorKey = QStringLiteral("NSUnderlyingError");
inline const QString NSPOSIXErrorDomain = QStringLiteral("NSPOSIXErrorDomain");
inline const QString NSCocoaErrorDomain = QStringLiteral("NSCocoaErrorDomain");
inline const QString NSURLErrorDomain = QStringLiteral("NSURLErrorDomain");
// User-info key of NSURLErrorDomain errors: the URL that failed, as a string.
inline const QString NSErrorFailingURLStringKey = QStringLiteral("NSErrorFailingURLStringKey");
inline const QString NSOSStatusErrorDomain = QStringLiteral("NSOSStatusErrorDomain");

enum : std::int64_t {
    NSURLErrorUnknown = -1,
    NSURLErrorCancelled = -999,
    NSURLErrorBadURL = -1000,
    NSURLErrorTimedOut = -1001,
    NSURLErrorUnsupportedURL = -1002,
    NSURLErrorCannotFindHost = -1003,
    NSURLErrorCannotConnectToHost = -1004,
    NSURLErrorNetworkConnectionLost = -1005,
    NSURLErrorHTTPTooManyRedirects = -1007,
    NSURLErrorNotConnectedToInternet = -1009,
    NSURLErrorBadServerResponse = -1011,
    NSURLErrorAppTransportSecurityRequiresSecureConnection = -1022,
    NSURLErrorSecureConnectionFailed = -1200,
    NSURLErrorServerCertificateHasBadDate = -1201,
    NSURLErrorServerCertificateUntrusted = -1202,
    NSURLErrorServerCertificateNotYetValid = -1204,
    NSURLErrorCannotCreateFile = -3000,
    NSURLErrorCannotOpenFile = -3001,
    NSURLErrorCannotWriteToFile = -3003,
};

// A failure: a domain, a code and user info. An immutable value; copies share
// their data, and `isIdenticalTo` tells whether two errors are one and the same.
class Error {
public:
    Error(const QString& domain, std::int64_t code, const Value::Dictionary& userInfo = {});

    // An error in NSPOSIXErrorDomain for an errno value, with its text as description.
    static Error posix(int errnoValue, const QString& context = {});

    const QString& domain() const;
    std::int64_t code() const;
    const Value::Dictionary& userInfo() const;

    // The description from the user info, or the platform's generic text.
    QString localizedDescription() const;
    std::optional<QString> localizedRecoverySuggestion() const;
    QStringList localizedRecoveryOptions() const;
    std::optional<Error> underlyingError() const;

    // Equal domain, code and user info.
    bool operator==(const Error& other) const;
    bool operator!=(const Error& other) const { return !(*this == other); }
    bool isIdenticalTo(const Error& other) const { return data_ == other.data_; }
    std::uint64_t hash() const;
    // "Error Domain=… Code=… \"…\" UserInfo={…}"
    QString description() const;

private:
    struct Data;
    std::shared_ptr<const Data> data_;
};

} // namespace platform
