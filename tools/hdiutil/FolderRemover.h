#pragma once

#include <QString>

// Removes a folder and everything in it, links included but never followed.
// Images often hold read-only folders, whose contents can only go once the
// folder is writable again, so folders are made writable on the way down.
class FolderRemover {
public:
    static bool remove(const QString& path, QString* reason);
    // Empties the folder and leaves it in place.
    static bool removeContents(const QString& path, QString* reason);

private:
    static void makeWritable(const QString& path);
};
