#pragma once

#include <QString>
#include <QStringList>

// Orders version strings the way the system compares them (an app's
// versions, the running system against an app's minimum). A version is split
// into tokens: runs of digits, runs of letters, single separators and the
// wildcard "*". Missing trailing parts count as ".0", so "1.0" is "1.0.0";
// letters after a number mark a pre-release ("2.0b3" is older than "2.0");
// a wildcard is newer than any number in its place.
class BRVersionComparator {
public:
    enum CharacterType : int {
        Number = 0,
        Text = 1,
        Separator = 2,
        Wildcard = 3,
    };

    BRVersionComparator() = delete;

    // "." is a separator and "*" the wildcard; otherwise any decimal digit
    // makes a number and any punctuation ("-", "_", but not "+") a separator.
    static CharacterType typeOfCharacter(const QString& character);
    // The tokens of the version, without surrounding white space.
    static QStringList splitVersionString(const QString& version);
    // -1 when `first` is older than `second`, 0 when they name the same version, 1 when it is newer.
    // Case is ignored.
    static int compareVersion(const QString& first, const QString& second);
};

// `version` compared with `other`, as BRVersionComparator::compareVersion.
int compareVersion(const QString& version, const QString& other);
