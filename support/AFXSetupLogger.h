#pragma once

#include <QList>
#include <QString>
#include <QUrl>

// Registers the console and system-log sinks and a rolling file sink in
// "~/Library/Logs/Kestrel" (and in the real home's, when the home is
// redirected), each line prefixed with "<tag> " padded to 20 characters.
void AFXSetupLogger(const QString& tag);

// The files of every registered file sink, each sink's newest first, sinks
// in the order they were registered.
QList<QUrl> AFXGetSortedLogFiles();
