#pragma once

#include <QString>

#include <utility>

// Undoes an attach: the mount point and everything in it go. Nothing is
// mounted, so there is nothing to force; -force is accepted for that reason.
class ImageDetacher {
public:
    explicit ImageDetacher(QString mountPoint) : mountPoint_(std::move(mountPoint)) {}

    // False with the reason ("No such file or directory", …).
    bool detach(QString* reason) const;

private:
    QString mountPoint_;
};
