#pragma once

#include "platform/Error.h"

#include <QString>

#include <optional>

// Drops the download-quarantine mark from an item and everything in it.
// Best effort: always answers true; when the tool could not run or failed,
// a given error is cleared rather than set, as callers only go on.
bool AFXRemoveFromQuarantine(const QString& path, std::optional<platform::Error>* error = nullptr);
