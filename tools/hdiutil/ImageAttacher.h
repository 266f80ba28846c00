#pragma once

#include <QString>

#include <utility>

// Makes a mount point hold an image's top-level content. Nothing is mounted:
// 7-Zip, which reads the common image formats, unpacks the image into the
// folder, and detaching removes the folder again. A failed attach leaves the
// mount point as it found it (absent, or empty).
class ImageAttacher {
public:
    ImageAttacher(QString image, QString mountPoint)
        : image_(std::move(image)), mountPoint_(std::move(mountPoint)) {}

    // False with the reason ("image not recognized", "No such file or directory", …).
    bool attach(QString* reason);

private:
    bool checkImage(QString* reason) const;
    bool prepareMountPoint(QString* reason);
    bool unpack(const QString& sevenZip, QString* reason) const;
    void undo();

    QString image_;
    QString mountPoint_;
    // The outermost folder this attach made, to be removed when it fails.
    QString madeFolder_;
};
