#pragma once

#include "URLRequest.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <optional>

namespace platform {

// What a download task needs to continue an interrupted transfer, and its
// encoding as the opaque resume data handed to clients: a CBOR map
//
//   "format"          "com.kestrel.url-session.resume-data"
//   "version"         1
//   "url"             the URL the task was made for (text)
//   "resumeURL"       the URL the bytes came from, after redirects (text)
//   "cachePolicy"     URLRequest::CachePolicy (integer)
//   "timeoutInterval" seconds (number)
//   "path"            the partial file (text, absolute; a task only uses a
//                     "CFNetworkDownload_*.tmp" file of the temporary folder)
//   "bytes"           how many bytes of it are the body's first bytes (integer > 0)
//   "entityTag"       the server's strong entity tag (text, optional)
//   "lastModified"    the server's Last-Modified (text, optional)
//
// At least one validator is present. Data of another format or a later
// version does not decode.
struct URLSessionResumeData {
    static constexpr std::int64_t CurrentVersion = 1;

    QUrl url;
    QUrl resumeURL;
    URLRequest::CachePolicy cachePolicy = URLRequest::CachePolicy::UseProtocolCachePolicy;
    double timeoutInterval = 60.0;
    QString path;
    std::int64_t bytes = 0;
    QByteArray entityTag;
    QByteArray lastModified;

    // What If-Range carries: the entity tag, else the date.
    QByteArray validator() const { return entityTag.isEmpty() ? lastModified : entityTag; }
    URLRequest request() const { return URLRequest(url, cachePolicy, timeoutInterval); }

    QByteArray encoded() const;
    static std::optional<URLSessionResumeData> decode(const QByteArray& data);
};

} // namespace platform
