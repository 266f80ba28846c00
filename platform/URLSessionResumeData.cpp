#include "URLSessionResumeData.h"

#include <QCborMap>
#include <QCborValue>
#include <QFileInfo>

namespace platform {

namespace {

const QString kFormat = QStringLiteral("com.kestrel.url-session.resume-data");

bool isTransferURL(const QUrl& url) {
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
}

} // namespace

QByteArray URLSessionResumeData::encoded() const {
    QCborMap map;
    map.insert(QStringLiteral("format"), kFormat);
    map.insert(QStringLiteral("version"), static_cast<qint64>(CurrentVersion));
    map.insert(QStringLiteral("url"), url.toString(QUrl::FullyEncoded));
    map.insert(QStringLiteral("resumeURL"), resumeURL.toString(QUrl::FullyEncoded));
    map.insert(QStringLiteral("cachePolicy"), static_cast<qint64>(cachePolicy));
    map.insert(QStringLiteral("timeoutInterval"), timeoutInterval);
    map.insert(QStringLiteral("path"), path);
    map.insert(QStringLiteral("bytes"), static_cast<qint64>(bytes));
    if (!entityTag.isEmpty()) {
        map.insert(QStringLiteral("entityTag"), QString::fromLatin1(entityTag));
    }
    if (!lastModified.isEmpty()) {
        map.insert(QStringLiteral("lastModified"), QString::fromLatin1(lastModified));
    }
    return QCborValue(map).toCbor();
}

std::optional<URLSessionResumeData> URLSessionResumeData::decode(const QByteArray& data) {
    QCborParserError parseError;
    const QCborValue value = QCborValue::fromCbor(data, &parseError);
    if (parseError.error != QCborError::NoError || parseError.offset != data.size() || !value.isMap()) {
        return std::nullopt;
    }
    const QCborMap map = value.toMap();
    const auto text = [&map](const char* key) { return map.value(QLatin1String(key)); };
    if (text("format").toString() != kFormat || !text("version").isInteger() ||
        text("version").toInteger() != CurrentVersion) {
        return std::nullopt;
    }
    for (const char* key : {"url", "resumeURL", "path"}) {
        if (!text(key).isString()) {
            return std::nullopt;
        }
    }
    for (const char* key : {"entityTag", "lastModified"}) {
        if (!text(key).isUndefined() && !text(key).isString()) {
            return std::nullopt;
        }
    }
    if (!text("cachePolicy").isInteger() || !text("bytes").isInteger() ||
        !text("timeoutInterval").isDouble()) {
        return std::nullopt;
    }

    URLSessionResumeData resume;
    resume.url = QUrl(text("url").toString(), QUrl::StrictMode);
    resume.resumeURL = QUrl(text("resumeURL").toString(), QUrl::StrictMode);
    resume.path = text("path").toString();
    resume.bytes = text("bytes").toInteger();
    resume.timeoutInterval = text("timeoutInterval").toDouble();
    resume.entityTag = text("entityTag").toString().toLatin1();
    resume.lastModified = text("lastModified").toString().toLatin1();
    const qint64 policy = text("cachePolicy").toInteger();
    if (policy != static_cast<qint64>(URLRequest::CachePolicy::UseProtocolCachePolicy) &&
        policy != static_cast<qint64>(URLRequest::CachePolicy::ReloadIgnoringLocalCacheData)) {
        return std::nullopt;
    }
    resume.cachePolicy = static_cast<URLRequest::CachePolicy>(policy);
    if (!isTransferURL(resume.url) || !isTransferURL(resume.resumeURL) || resume.bytes <= 0 ||
        !QFileInfo(resume.path).isAbsolute() || resume.validator().isEmpty()) {
        return std::nullopt;
    }
    return resume;
}

} // namespace platform
