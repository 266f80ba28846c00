#pragma once

#include "platform/Error.h"

#include <QUrl>

#include <optional>

// Puts an app bundle at its place and makes it usable there. An existing
// copy at the destination is moved aside first and comes back when the
// placement fails; on success the new bundle is opened up to every user,
// loses its download quarantine, receives the old copy's extended
// attributes, is registered with Launch Services and handed to indexing
// (all best effort). With `addToLaunchpadGroup`, an app bound for a
// subfolder of "/Applications" is first staged in a hidden folder beside
// its destination until Launchpad has filed it into the group named after
// that subfolder (waiting at most 10 seconds). Everything runs on the
// caller's thread. Answers the placed bundle's file URL, or nothing with
// the error.
std::optional<QUrl> AFXCopyApp(const QUrl& sourceURL, const QUrl& destinationURL, bool addToLaunchpadGroup,
                               platform::Error* error = nullptr);
// The same, moving the source instead of copying it. A source that was
// moved is back where it was when the placement fails.
std::optional<QUrl> AFXMoveApp(const QUrl& sourceURL, const QUrl& destinationURL, bool addToLaunchpadGroup,
                               platform::Error* error = nullptr);
