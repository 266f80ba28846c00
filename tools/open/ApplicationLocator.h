#pragma once

#include <QString>

// Finds the application bundle an "-a" argument names: a path to a bundle,
// or a bundle's name ("Kestrel" or "Kestrel.app", in any case) in the
// applications folders ("/Applications", then "~/Applications"), at their
// top level or one folder down.
class ApplicationLocator {
public:
    // The bundle's absolute path, or an empty string when there is none.
    static QString locate(const QString& application);
};
