#include "AFXKestrelBundleID.h"

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/ValueClasses.h"

#include <QRegularExpression>

bool AFXExtractKestrelBundleID(const QString& bundleID, QString* baseBundleID, AFXKestrelBundleIDKind* kind) {
    static const QString mark = QStringLiteral("-kestrel");
    const qsizetype found = bundleID.lastIndexOf(mark, -1, Qt::CaseInsensitive);
    if (found < 0) {
        return false;
    }
    QString base;
    AFXKestrelBundleIDKind parsedKind = AFXKestrelBundleIDKindTeaser;
    const qsizetype end = found + mark.size();
    if (!bundleID.startsWith(QStringLiteral("com.kestrel.teaser."))) {
        if (end == bundleID.size()) {
            parsedKind = AFXKestrelBundleIDKindKestrel;
            base = bundleID;
        } else {
            static const QRegularExpression teamPrefix(QStringLiteral("^[a-zA-Z0-9]{10}[.]"));
            parsedKind = AFXKestrelBundleIDKindDerived;
            base = bundleID.left(end).remove(teamPrefix);
        }
    }
    if (baseBundleID) {
        *baseBundleID = base;
    }
    if (kind) {
        *kind = parsedKind;
    }
    return true;
}

PLATFORM_DEFINE_CLASS(AFXKestrelBundleID, platform::Object,
                      [] { return std::shared_ptr<AFXKestrelBundleID>(new AFXKestrelBundleID); })

std::shared_ptr<AFXKestrelBundleID> AFXKestrelBundleID::makeWithBundleID(const QString& bundleID) {
    std::shared_ptr<AFXKestrelBundleID> parsed(new AFXKestrelBundleID);
    return parsed->parse(bundleID) ? parsed : nullptr;
}

bool AFXKestrelBundleID::parse(const QString& bundleID) {
    if (!AFXExtractKestrelBundleID(bundleID, &baseBundleID_, &kind_)) {
        return false;
    }
    bundleID_ = bundleID;
    return true;
}

std::optional<QString> AFXKestrelBundleID::derivedBundleID() const {
    return kind_ == AFXKestrelBundleIDKindDerived ? std::optional(bundleID_) : std::nullopt;
}

std::optional<QString> AFXKestrelBundleID::teaserBundleID() const {
    return kind_ == AFXKestrelBundleIDKindTeaser ? std::optional(bundleID_) : std::nullopt;
}

bool AFXKestrelBundleID::isEqual(const platform::Object& other) const {
    const auto* parsed = dynamic_cast<const AFXKestrelBundleID*>(&other);
    return parsed && parsed->bundleID_ == bundleID_;
}

std::uint64_t AFXKestrelBundleID::hash() const {
    return platform::Value(bundleID_).hash();
}

void AFXKestrelBundleID::encodeWithCoder(platform::KeyedArchiver& coder) const {
    coder.encodeObject(bundleID_, QStringLiteral("bundleID"));
}

bool AFXKestrelBundleID::initWithCoder(platform::KeyedUnarchiver& coder) {
    const platform::Value bundleID =
        coder.decodeObjectOfClass(platform::ValueClasses::string(), QStringLiteral("bundleID"));
    return !coder.error() && parse(bundleID.toString());
}
