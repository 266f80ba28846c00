#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Base32 text of bytes (RFC 4648: the alphabet "A"–"Z", "2"–"7", padded
// with "=" to a multiple of eight characters), as environment identifiers
// travel in URL queries.

QString afx_base32EncodedString(const QByteArray& data);
// None for text that is not canonical padded Base32 (wrong length, characters
// outside the alphabet, misplaced padding). Lower-case letters are accepted.
std::optional<QByteArray> afx_base32DecodedData(const QString& text);
