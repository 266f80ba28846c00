#pragma once

#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace testing_support {

// One item of a test archive: a file (with its mode), a folder (a name
// ending in "/") or a symbolic link.
struct ZipEntry {
    QString name;
    QByteArray content;
    int mode = 0644;
    QString linkTarget;
};

// Writes a PKZip archive with another implementation than ours (Python's
// zipfile), as the Unix tools of the wider world would. Entries are stored
// uncompressed when `stored`, so that an archive's size can be planned.
inline bool makeZipWithPython(const QString& zipPath, const QList<ZipEntry>& entries, bool stored = false) {
    static const char* const script = R"PY(
import base64, json, stat, sys, zipfile
plan = json.load(sys.stdin)
method = zipfile.ZIP_STORED if plan["stored"] else zipfile.ZIP_DEFLATED
with zipfile.ZipFile(plan["path"], "w", method) as archive:
    for entry in plan["entries"]:
        info = zipfile.ZipInfo(entry["name"], date_time=(2024, 5, 1, 12, 0, 0))
        info.create_system = 3
        info.compress_type = method
        if entry["link"]:
            info.external_attr = (stat.S_IFLNK | 0o777) << 16
            data = entry["link"].encode()
        elif entry["name"].endswith("/"):
            info.external_attr = ((stat.S_IFDIR | 0o755) << 16) | 0x10
            data = b""
        else:
            info.external_attr = (stat.S_IFREG | entry["mode"]) << 16
            data = base64.b64decode(entry["data"])
        archive.writestr(info, data)
)PY";
    QJsonArray list;
    for (const ZipEntry& entry : entries) {
        list.append(QJsonObject{{"name", entry.name},
                                {"data", QString::fromLatin1(entry.content.toBase64())},
                                {"mode", entry.mode},
                                {"link", entry.linkTarget}});
    }
    const QJsonObject plan{{"path", zipPath}, {"stored", stored}, {"entries", list}};
    return runProgram(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(script)},
                      QJsonDocument(plan).toJson())
               .status == 0;
}

} // namespace testing_support
