#pragma once

#include "platform/Error.h"

#include <QUrl>

#include <functional>

#include <sys/types.h>

// Opens an item up to everyone as far as its owner may use it: the owner's
// read, write and execute bits are copied to group and others, nothing is
// taken away (0700 → 0777, 0644 → 0666). A symbolic link is left alone: its
// own bits mean nothing and changing them would change its target, which
// may lie anywhere.
bool AFXFixPermissions(const QUrl& itemURL, platform::Error* error = nullptr);

// The permission bits (07777) that fixing turns `permissions` into, for
// work that sets an item's bits anyway, as a copy does.
mode_t AFXFixedPermissions(mode_t permissions);

// Answers whether to go on after a failure.
using AFXFixPermissionsErrorHandler = std::function<bool(const platform::Error&)>;

// Fixes the root, then everything below it (hidden items too, bundles
// entered, links not followed). Each failure, of a fix or of the walk, goes
// to the handler. Answers false only when the handler stopped the walk
// after a failed fix; without a handler every failure is ignored.
bool AFXFixPermissionsRecursive(const QUrl& rootURL, const AFXFixPermissionsErrorHandler& errorHandler = {});
