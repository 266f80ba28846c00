#include "Error.h"

#include "Hash.h"

#include <cstring>

namespace platform {

struct Error::Data {
    QString domain;
    std::int64_t code;
    Value::Dictionary userInfo;
};

Error::Error(const QString& domain, std::int64_t code, const Value::Dictionary& userInfo)
    : data_(std::make_shared<const Data>(Data{domain, code, userInfo})) {}

Error Error::posix(int errnoValue, const QString& context) {
    QString text = QString::fromLocal8Bit(std::strerror(errnoValue));
    if (!context.isEmpty()) {
        text = context + QStringLiteral(": ") + text;
    }
    return Error(NSPOSIXErrorDomain, errnoValue, {{NSLocalizedDescriptionKey, text}});
}

const QString& Error::domain() const {
    return data_->domain;
}
std::int64_t Error::code() const {
    return data_->code;
}
const Value::Dictionary& Error::userInfo() const {
    return data_->userInfo;
}

QString Error::localizedDescription() const {
    const Value text = data_->userInfo.value(NSLocalizedDescriptionKey);
    if (text.kind() == Value::Kind::String) {
        return text.toString();
    }
    return QStringLiteral("The operation couldn’t be completed. (%1 error %2.)")
        .arg(data_->domain)
        .arg(data_->code);
}

std::optional<QString> Error::localizedRecoverySuggestion() const {
    const Value text = data_->userInfo.value(NSLocalizedRecoverySuggestionErrorKey);
    if (text.kind() != Value::Kind::String) {
        return std::nullopt;
    }
    return text.toString();
}

QStringList Error::localizedRecoveryOptions() const {
    return data_->userInfo.value(NSLocalizedRecoveryOptionsErrorKey).toStringList();
}

std::optional<Error> Error::underlyingError() const {
    if (const Error* cause = data_->userInfo.value(NSUnderlyingErrorKey).toError()) {
        return *cause;
    }
    return std::nullopt;
}

bool Error::operator==(const Error& other) const {
    return data_ == other.data_ ||
           (data_->code == other.data_->code && data_->domain == other.data_->domain &&
            Value(data_->userInfo) == Value(other.data_->userInfo));
}

std::uint64_t Error::hash() const {
    return Hash::combine(Hash::string(data_->domain), static_cast<std::uint64_t>(data_->code));
}

QString Error::description() const {
    QString text = QStringLiteral("Error Domain=%1 Code=%2").arg(data_->domain).arg(data_->code);
    if (data_->userInfo.contains(NSLocalizedDescriptionKey)) {
        text += QStringLiteral(" \"%1\"").arg(localizedDescription());
    }
    if (!data_->userInfo.isEmpty()) {
        QStringList entries;
        for (auto it = data_->userInfo.cbegin(); it != data_->userInfo.cend(); ++it) {
            entries << it.key() + QLatin1Char('=') + it.value().description();
        }
        text += QStringLiteral(" UserInfo={%1}").arg(entries.join(QStringLiteral(", ")));
    }
    return text;
}

} // namespace platform
