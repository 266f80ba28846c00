#pragma once

#include <QByteArray>
#include <QDateTime>

// Dates in HTTP's preferred form ("Sun, 06 Nov 1994 08:49:37 GMT").
QByteArray formatHttpDate(const QDateTime& time);
// An invalid QDateTime when the text is not in that form.
QDateTime parseHttpDate(const QByteArray& text);
