#pragma once

#include "platform/Error.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QFile;
class BRFollowingUnarchiver;

enum BRArchiveType : std::uint64_t {
    BRArchiveTypeUnknown = 0,
    BRArchiveTypeZIP = 1,
    BRArchiveTypeDMG = 2,
};

extern const QString BRUnarchiverErrorDomain;

// Turns a downloaded archive (ZIP, or a disk image) into a folder of files,
// through the platform's extraction tools. Every call works on a staging
// folder and a serial queue of its own; nothing is kept between calls.
class BRUnarchiver {
public:
    // Receives the running total of the work done, 0.1 up to 1.0.
    using ProgressHandler = std::function<void(double)>;
    // Receives the folder the content went to, or the failure. Both are
    // absent when the archive held nothing to move into the destination.
    using CompletionHandler = std::function<void(const std::optional<QUrl>& folderURL,
                                                 const std::optional<platform::Error>& error)>;

    // Unpacks the archive into a new staging folder in the temporary
    // directory, then, when a destination folder is given, moves the
    // staging folder's top-level items into it (replacing items of the
    // same name). Handlers run on the call's own queue; unless `async`, the
    // call returns after the completion handler has run.
    // With `follower`, the archive's unpacking that followed its download
    // takes the place of unpacking it again, when it followed this very
    // file to its end and succeeded; otherwise the archive is unpacked as
    // if there were none.
    static void unpackArchiveAtURL(const QUrl& archiveURL, const std::optional<QUrl>& destinationFolder,
                                   bool async, ProgressHandler progressHandler,
                                   CompletionHandler completionHandler,
                                   std::shared_ptr<BRFollowingUnarchiver> follower = nullptr);

    // Starts unpacking, as it arrives, the archive a download of
    // `archiveURL` writes to the file at `path` from its first byte; null
    // when the archive's name does not say ZIP or the unpacking cannot
    // start. The caller tells the follower what is written.
    static std::shared_ptr<BRFollowingUnarchiver> followArchiveBeingWritten(const QUrl& archiveURL,
                                                                            const QString& path);

private:
    // Adds steps to the running total and reports it.
    class ProgressTotal;

    static bool _checkDestinationFolder(const std::optional<QUrl>& folder, platform::Error* error);
    static std::optional<QUrl> _unarchiveURL(const QUrl& archiveURL, const ProgressHandler& progressHandler,
                                             BRFollowingUnarchiver* follower, platform::Error* error);
    static BRArchiveType _archiveTypeByExtensionAtURL(const QUrl& archiveURL);
    static BRArchiveType _archiveTypeByHeaderAtURL(const QUrl& archiveURL);
    static bool _archiveHasZIPHeader(QFile& archive);
    static bool _archiveHasDMGHeader(QFile& archive);
    static std::optional<QUrl> _unarchiveZIP(const QUrl& archiveURL, const ProgressHandler& progressHandler,
                                             platform::Error* error);
    static std::optional<QUrl> _unarchiveDMG(const QUrl& archiveURL, const ProgressHandler& progressHandler,
                                             platform::Error* error);
    static bool _shouldIgnoreItemAtURL(const QUrl& itemURL);
    // Answers whether the last move succeeded; false without an error when
    // there was nothing to move.
    static bool _moveContentAtURL(const QUrl& sourceURL, const QUrl& destinationURL,
                                  std::optional<platform::Error>* error);
};
