#pragma once

#include <QString>

// The framework's text for `key` from its "Localizable" string table; the
// key itself (the English text) when the table has no entry.
QString AFXKestrelInterfaceLocalizedString(const QString& key, const char* comment = nullptr);
