#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>

// A log file on disk: its creation time (read from its name, which carries
// the time and a counter), its size and whether it has been archived.
class BRLogFileInfo {
public:
    // The extended attribute that marks a file no longer written to.
    static const QString ArchivedAttribute;

    explicit BRLogFileInfo(const QString& filePath);

    const QString& filePath() const { return filePath_; }
    QString fileName() const;
    const QDateTime& creationDate() const { return creationDate_; }
    // Orders files created in the same millisecond.
    std::uint64_t counter() const { return counter_; }
    std::uint64_t fileSize() const;
    bool isArchived() const;
    bool setArchived(bool archived) const;
    // Newer first: later creation, then higher counter.
    bool isNewerThan(const BRLogFileInfo& other) const;

private:
    QString filePath_;
    QDateTime creationDate_;
    std::uint64_t counter_ = 1;
};
