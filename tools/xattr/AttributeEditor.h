#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <utility>

// Lists, prints, writes or removes one extended attribute of files, and
// optionally of everything below them. The names are the system's
// ("com.apple.quarantine"), kept in Linux's "user." namespace. A recursive
// walk never follows symbolic links: a link is left alone (Linux keeps no
// user attributes on links, and its target may lie anywhere).
class AttributeEditor {
public:
    enum class Operation { List, Print, Write, Delete };

    AttributeEditor(Operation operation, QString name, QByteArray value, bool recursive)
        : operation_(operation), name_(std::move(name)), value_(std::move(value)), recursive_(recursive) {}

    // Applies the operation to every path, reporting failures on standard
    // error as it goes; false when any failed.
    bool apply(const QStringList& paths);

private:
    bool applyToTree(const QString& path);
    bool applyTo(const QString& path);
    void report(const QString& text) const;
    void print(const QString& path, const QByteArray& line) const;

    Operation operation_;
    QString name_;
    QByteArray value_;
    bool recursive_;
    // With more than one file involved, printed lines name their file.
    bool prefixLines_ = false;
};
