#pragma once

#include "platform/Error.h"

#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class BRFollowingUnarchiver;

// Unpacks an app archive (ZIP or disk image) into a private staging folder
// and answers the first app bundle of a depth-first walk, names in order: a
// bundle comes before anything inside it, and a folder's contents before
// its next sibling. The progress block receives the running total, up to 1.0. On
// failure the error is afx_didFailToUnpackApp; the cause is logged.
// `stagingFolderURL`, when given, receives the staging folder whenever one
// was made, so that the caller can remove what it does not keep.
// `follower`, an unpacking that followed the archive's download, stands in
// for unpacking it again when it followed this very file to its end
// (BRUnarchiver::followArchiveBeingWritten).
std::optional<QUrl> AFXUnpack(const QUrl& archiveURL, const std::function<void(double)>& progress,
                              platform::Error* error = nullptr,
                              std::optional<QUrl>* stagingFolderURL = nullptr,
                              const std::shared_ptr<BRFollowingUnarchiver>& follower = nullptr);
