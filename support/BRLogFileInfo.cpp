#include "BRLogFileInfo.h"

#include "platform/ExtendedAttributes.h"

#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

const QString BRLogFileInfo::ArchivedAttribute = QStringLiteral("lumberjack.log.archived");

BRLogFileInfo::BRLogFileInfo(const QString& filePath) : filePath_(filePath) {
    static const QRegularExpression pattern(
        QStringLiteral("^.* (\\d{4}-\\d{2}-\\d{2}--\\d{2}-\\d{2}-\\d{2}-\\d{3})(?: (\\d+))?\\.log$"));
    const auto match = pattern.match(fileName());
    if (match.hasMatch()) {
        creationDate_ =
            QLocale::c().toDateTime(match.captured(1), QStringLiteral("yyyy-MM-dd--HH-mm-ss-zzz"));
        if (match.hasCaptured(2)) {
            counter_ = match.captured(2).toULongLong();
        }
    }
    if (!creationDate_.isValid()) {
        creationDate_ = QFileInfo(filePath_).lastModified();
    }
}

QString BRLogFileInfo::fileName() const {
    return QFileInfo(filePath_).fileName();
}

std::uint64_t BRLogFileInfo::fileSize() const {
    return static_cast<std::uint64_t>(QFileInfo(filePath_).size());
}

bool BRLogFileInfo::isArchived() const {
    return platform::ExtendedAttributes::get(filePath_, ArchivedAttribute).has_value();
}

bool BRLogFileInfo::setArchived(bool archived) const {
    if (archived) {
        return platform::ExtendedAttributes::set(filePath_, ArchivedAttribute, QByteArray(1, '\x01'));
    }
    return platform::ExtendedAttributes::remove(filePath_, ArchivedAttribute);
}

bool BRLogFileInfo::isNewerThan(const BRLogFileInfo& other) const {
    if (creationDate_ != other.creationDate_) {
        return creationDate_ > other.creationDate_;
    }
    return counter_ > other.counter_;
}
