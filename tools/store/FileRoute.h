#pragma once

#include "RouteHandler.h"

#include <QString>

#include <optional>

// Serves the files below one folder, with validators and single byte ranges.
// Nothing outside the folder is reachable: not through "..", and not through
// symbolic links that lead out of it.
class FileRoute : public RouteHandler {
public:
    struct Options {
        bool honourRanges = true;
        // The Accept-Ranges value announced; empty for none at all.
        QByteArray acceptRanges = "bytes";
        // The most bytes a range answer covers; none: the whole range asked for.
        std::optional<qint64> rangeLimit;
    };

    FileRoute(const QString& root, Options options);
    HttpResponse respond(const HttpRequest& request, const QByteArray& subpath) override;

private:
    // The file's canonical path, or empty when the path leads nowhere we serve.
    QString resolve(const QByteArray& subpath) const;

    QString root_;
    Options options_;
};
