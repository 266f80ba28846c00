#include "FileRoute.h"

#include "HttpDates.h"

#include <QDateTime>
#include <QFileInfo>
#include <QTimeZone>

#include <algorithm>
#include <variant>

#include <sys/stat.h>

namespace {

struct Whole {};
struct Unsatisfiable {};
struct Span {
    qint64 first;
    qint64 last;
};
using RangeChoice = std::variant<Whole, Unsatisfiable, Span>;

std::optional<qint64> parseDigits(const QByteArray& text) {
    if (text.isEmpty() || text.size() > 18) {
        return std::nullopt;
    }
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

// One range of "bytes=…" applied to a body of `size` bytes. Anything we do
// not understand, and lists of several ranges, mean the whole body: that is
// always a correct answer to a range request.
RangeChoice chooseRange(const QByteArray& header, qint64 size) {
    const QByteArray value = header.trimmed();
    if (!value.toLower().startsWith("bytes=")) {
        return Whole{};
    }
    const QByteArray set = value.mid(6).trimmed();
    const qsizetype dash = set.indexOf('-');
    if (set.contains(',') || dash < 0) {
        return Whole{};
    }
    const QByteArray firstText = set.left(dash).trimmed();
    const QByteArray lastText = set.mid(dash + 1).trimmed();
    if (firstText.isEmpty()) {
        const auto suffix = parseDigits(lastText);
        if (!suffix) {
            return Whole{};
        }
        if (*suffix == 0 || size == 0) {
            return Unsatisfiable{};
        }
        return Span{std::max<qint64>(0, size - *suffix), size - 1};
    }
    const auto first = parseDigits(firstText);
    const auto last = lastText.isEmpty() ? std::optional<qint64>(size - 1) : parseDigits(lastText);
    if (!first || !last || (!lastText.isEmpty() && *last < *first)) {
        return Whole{};
    }
    if (*first >= size) {
        return Unsatisfiable{};
    }
    return Span{*first, std::min(*last, size - 1)};
}

QByteArray contentType(const QString& path) {
    // The kinds the store's catalogue is made of; anything else is bytes.
    static const QList<QPair<QLatin1String, QByteArray>> types{{QLatin1String(".zip"), "application/zip"},
                                                               {QLatin1String(".json"), "application/json"},
                                                               {QLatin1String(".png"), "image/png"}};
    for (const auto& [suffix, type] : types) {
        if (path.endsWith(suffix, Qt::CaseInsensitive)) {
            return type;
        }
    }
    return "application/octet-stream";
}

} // namespace

FileRoute::FileRoute(const QString& root, Options options)
    : root_(QFileInfo(root).canonicalFilePath()), options_(std::move(options)) {}

QString FileRoute::resolve(const QByteArray& subpath) const {
    const QByteArray decoded = QByteArray::fromPercentEncoding(subpath);
    if (root_.isEmpty() || decoded.contains('\0')) {
        return {};
    }
    QStringList segments;
    for (const QByteArray& segment : decoded.split('/')) {
        if (segment.isEmpty() || segment == ".") {
            continue;
        }
        if (segment == "..") {
            return {};
        }
        segments.append(QString::fromUtf8(segment));
    }
    if (segments.isEmpty()) {
        return {};
    }
    // The canonical path has every link followed; whatever it names must
    // still lie inside the root.
    const QFileInfo target(root_ + QLatin1Char('/') + segments.join(QLatin1Char('/')));
    const QString canonical = target.canonicalFilePath();
    if (canonical.isEmpty() || !canonical.startsWith(root_ + QLatin1Char('/'))) {
        return {};
    }
    // Only regular files: opening a FIFO would block the whole store.
    struct stat status {};
    if (::stat(QFile::encodeName(canonical).constData(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return {};
    }
    return canonical;
}

HttpResponse FileRoute::respond(const HttpRequest& request, const QByteArray& subpath) {
    const bool head = request.method() == "HEAD";
    if (!head && request.method() != "GET") {
        HttpResponse response = HttpResponse::page(405);
        response.addHeader("Allow", "GET, HEAD");
        return response;
    }
    const QString path = resolve(subpath);
    if (path.isEmpty()) {
        return HttpResponse::page(404);
    }
    auto file = std::make_unique<QFile>(path);
    struct stat status {};
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered) || ::fstat(file->handle(), &status) != 0 ||
        !S_ISREG(status.st_mode)) {
        return HttpResponse::page(404);
    }
    const qint64 size = status.st_size;
    const qint64 modifiedNanoseconds =
        qint64(status.st_mtim.tv_sec) * 1'000'000'000 + qint64(status.st_mtim.tv_nsec);
    const QByteArray etag =
        '"' + QByteArray::number(size, 16) + '-' + QByteArray::number(modifiedNanoseconds, 16) + '"';
    const QDateTime modified = QDateTime::fromSecsSinceEpoch(status.st_mtim.tv_sec, QTimeZone::utc());

    RangeChoice choice = Whole{};
    if (options_.honourRanges && !head) {
        if (const auto range = request.header("range")) {
            bool current = true;
            if (const auto ifRange = request.header("if-range")) {
                // Weak tags never match here: a range of a merely equivalent
                // body would splice two different files together.
                if (ifRange->startsWith('"')) {
                    current = *ifRange == etag;
                } else {
                    current = !ifRange->startsWith("W/") && parseHttpDate(*ifRange) == modified;
                }
            }
            if (current) {
                choice = chooseRange(*range, size);
                if (Span* span = std::get_if<Span>(&choice); span && options_.rangeLimit) {
                    span->last = std::min(span->last, span->first + *options_.rangeLimit - 1);
                }
            }
        }
    }

    if (std::holds_alternative<Unsatisfiable>(choice)) {
        HttpResponse response = HttpResponse::page(416);
        response.addHeader("Content-Range", "bytes */" + QByteArray::number(size));
        return response;
    }
    const Span* span = std::get_if<Span>(&choice);
    HttpResponse response(span ? 206 : 200);
    response.addHeader("Content-Type", contentType(path));
    response.addHeader("ETag", etag);
    response.addHeader("Last-Modified", formatHttpDate(modified));
    if (!options_.acceptRanges.isEmpty()) {
        response.addHeader("Accept-Ranges", options_.acceptRanges);
    }
    if (span) {
        response.addHeader("Content-Range", "bytes " + QByteArray::number(span->first) + '-' +
                                                QByteArray::number(span->last) + '/' +
                                                QByteArray::number(size));
        response.setBody(ResponseBody::fromFile(std::move(file), span->first, span->last - span->first + 1));
    } else {
        response.setBody(ResponseBody::fromFile(std::move(file), 0, size));
    }
    return response;
}
