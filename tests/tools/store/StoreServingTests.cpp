// The store as a file server: whole files, heads, validators, ranges and the
// confinement to its root, checked with curl as an independent client.

#include "Curl.h"
#include "testing/StoreProcess.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <random>

#include <fcntl.h>
#include <sys/stat.h>

using namespace store_tests;
using testing_support::StoreProcess;

namespace {

QByteArray noise(qsizetype size, unsigned seed) {
    std::mt19937 generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes) {
        byte = char(generator());
    }
    return bytes;
}

QString served(const QString& relative = QString()) {
    return testing_support::testRoot() + QStringLiteral("/served/") + relative;
}

QByteArray make(const QString& relative, qsizetype size, unsigned seed) {
    const QByteArray bytes = noise(size, seed);
    EXPECT_TRUE(testing_support::writeFile(served(relative), bytes));
    return bytes;
}

} // namespace

TEST(Store, ServesWholeFilesWithHeadersOverKeptConnections) {
    const QByteArray app = make(QStringLiteral("apps/Orbit Notes.zip"), 3 * 1024 * 1024 + 123, 1);
    const QByteArray data = make(QStringLiteral("data.bin"), 5000, 2);
    QString caBundle;
    {
        auto store = StoreProcess::start(served());
        ASSERT_TRUE(store);
        caBundle = store->caBundlePath();

        const CurlResult whole = curl(*store, QStringLiteral("/apps/Orbit%20Notes.zip"));
        EXPECT_EQ(whole.exitCode, 0);
        EXPECT_EQ(whole.status, 200);
        EXPECT_TRUE(whole.body == app) << "got " << whole.body.size() << " bytes of " << app.size();
        EXPECT_EQ(whole.header("content-length"), QByteArray::number(app.size()));
        EXPECT_EQ(whole.header("content-type"), "application/zip");
        EXPECT_EQ(whole.header("accept-ranges"), "bytes");
        EXPECT_EQ(whole.header("last-modified"),
                  httpDateOfModification(served(QStringLiteral("apps/Orbit Notes.zip"))));
        const QByteArray etag = whole.header("etag").value_or(QByteArray());
        EXPECT_TRUE(
            QRegularExpression(QStringLiteral("^\"[^\"]+\"$")).match(QString::fromLatin1(etag)).hasMatch())
            << "not a strong entity tag: " << etag.toStdString();

        // Two requests in one run of curl: the second must reuse the first
        // connection, which only works when the first response was framed right.
        const QString otherBody = testing_support::testRoot() + QStringLiteral("/other.bin");
        const CurlResult kept =
            curl(*store, QStringLiteral("/data.bin"),
                 {QStringLiteral("-w"), QStringLiteral("%{num_connects} "), QStringLiteral("-o"), otherBody,
                  storeURL(*store, QStringLiteral("/apps/Orbit%20Notes.zip"))});
        EXPECT_EQ(kept.exitCode, 0);
        EXPECT_EQ(kept.writeOut, "1 0 ");
        EXPECT_TRUE(testing_support::readFile(otherBody) == app);
        EXPECT_TRUE(kept.body == data);
        EXPECT_EQ(kept.header("content-type"), "application/octet-stream");

        // Heads on one connection: a body sent after a head would be read
        // as the next response and break it.
        const CurlResult heads =
            curl(*store, QStringLiteral("/apps/Orbit%20Notes.zip"),
                 {QStringLiteral("-I"), QStringLiteral("-w"), QStringLiteral("%{num_connects} "),
                  QStringLiteral("-o"), QStringLiteral("/dev/null"),
                  storeURL(*store, QStringLiteral("/data.bin"))});
        EXPECT_EQ(heads.exitCode, 0);
        EXPECT_EQ(heads.writeOut, "1 0 ");
        EXPECT_EQ(heads.status, 200);
        EXPECT_EQ(heads.header("content-length"), QByteArray::number(app.size()));
        EXPECT_EQ(heads.header("etag"), etag);

        // The certificate names localhost as well as the address.
        QUrl byName = store->baseURL();
        byName.setHost(QStringLiteral("localhost"));
        const CurlResult named =
            curl(*store, QStringLiteral("/data.bin"),
                 {QStringLiteral("-w"), QStringLiteral("%{http_code} "), QStringLiteral("--connect-to"),
                  QStringLiteral("localhost:%1:127.0.0.1:%1").arg(byName.port()), QStringLiteral("-o"),
                  QStringLiteral("/dev/null"), byName.toString() + QStringLiteral("/data.bin")});
        EXPECT_EQ(named.writeOut, "200 200 ");

        const CurlResult deleted =
            curl(*store, QStringLiteral("/data.bin"), {QStringLiteral("-X"), QStringLiteral("DELETE")});
        EXPECT_EQ(deleted.status, 405);
        EXPECT_EQ(deleted.header("allow"), "GET, HEAD");

        EXPECT_TRUE(testing_support::waitUntil([&] {
            return store->log().contains(QStringLiteral("HEAD /data.bin range=- status=200 sent=0"));
        })) << store->log().toStdString();
        EXPECT_TRUE(store->log().contains(
            QStringLiteral("GET /apps/Orbit%20Notes.zip range=- status=200 sent=%1").arg(app.size())));
    }
    // The CA made for this run went with the store.
    EXPECT_FALSE(caBundle.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(caBundle));
}

TEST(Store, EntityTagFollowsTheModificationTimeToTheNanosecond) {
    make(QStringLiteral("data.bin"), 4096, 3);
    auto store = StoreProcess::start(served());
    ASSERT_TRUE(store);
    const QByteArray path = QFile::encodeName(served(QStringLiteral("data.bin")));
    auto setModified = [&](long nanoseconds) {
        const timespec times[2] = {{0, UTIME_OMIT}, {1'700'000'000, nanoseconds}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
    };
    setModified(100);
    const CurlResult before = curl(*store, QStringLiteral("/data.bin"), {QStringLiteral("-I")});
    setModified(200);
    const CurlResult after = curl(*store, QStringLiteral("/data.bin"), {QStringLiteral("-I")});
    ASSERT_TRUE(before.header("etag") && after.header("etag"));
    // Same size, same second: only the nanoseconds tell the versions apart.
    EXPECT_NE(before.header("etag"), after.header("etag"));
    EXPECT_EQ(before.header("last-modified"), "Tue, 14 Nov 2023 22:13:20 GMT");
    EXPECT_EQ(before.header("last-modified"), after.header("last-modified"));
}

TEST(Store, AnswersSingleRangesAndHonoursIfRange) {
    const qsizetype size = 1024 * 1024 + 17;
    const QByteArray bytes = make(QStringLiteral("app.zip"), size, 4);
    const QString path = QStringLiteral("/app.zip");
    const QByteArray total = '/' + QByteArray::number(size);
    auto store = StoreProcess::start(served());
    ASSERT_TRUE(store);

    struct Case {
        QString range;
        qsizetype first;
        qsizetype last;
    };
    for (const Case& c : {Case{QStringLiteral("100-199"), 100, 199},
                          Case{QStringLiteral("%1-").arg(size - 10), size - 10, size - 1},
                          Case{QStringLiteral("-300"), size - 300, size - 1},
                          Case{QStringLiteral("5-%1").arg(size + 1000), 5, size - 1}}) {
        SCOPED_TRACE(c.range.toStdString());
        const CurlResult part = curl(*store, path, {QStringLiteral("-r"), c.range});
        EXPECT_EQ(part.exitCode, 0);
        EXPECT_EQ(part.status, 206);
        EXPECT_EQ(part.header("content-range"),
                  "bytes " + QByteArray::number(c.first) + '-' + QByteArray::number(c.last) + total);
        EXPECT_TRUE(part.body == bytes.mid(c.first, c.last - c.first + 1)) << part.body.size() << " bytes";
    }

    const CurlResult beyond = curl(*store, path, {QStringLiteral("-r"), QStringLiteral("%1-").arg(size)});
    EXPECT_EQ(beyond.status, 416);
    EXPECT_EQ(beyond.header("content-range"), "bytes */" + QByteArray::number(size));

    const CurlResult several = curl(*store, path, {QStringLiteral("-r"), QStringLiteral("0-1,5-6")});
    EXPECT_EQ(several.status, 200);
    EXPECT_TRUE(several.body == bytes);

    const QByteArray etag = curl(*store, path, {QStringLiteral("-I")}).header("etag").value_or(QByteArray());
    const QByteArray modified = httpDateOfModification(served(QStringLiteral("app.zip")));
    ASSERT_FALSE(etag.isEmpty());
    auto withIfRange = [&](const QByteArray& validator) {
        return curl(*store, path,
                    {QStringLiteral("-r"), QStringLiteral("10-19"), QStringLiteral("-H"),
                     QStringLiteral("If-Range: ") + QString::fromLatin1(validator)});
    };
    const CurlResult sameTag = withIfRange(etag);
    EXPECT_EQ(sameTag.status, 206);
    EXPECT_TRUE(sameTag.body == bytes.mid(10, 10));
    const CurlResult otherTag = withIfRange("\"another-version\"");
    EXPECT_EQ(otherTag.status, 200);
    EXPECT_TRUE(otherTag.body == bytes);
    EXPECT_EQ(withIfRange("W/" + etag).status, 200);
    EXPECT_EQ(withIfRange(modified).status, 206);
    const CurlResult oldDate = withIfRange("Thu, 01 Jan 2015 00:00:00 GMT");
    EXPECT_EQ(oldDate.status, 200);
    EXPECT_TRUE(oldDate.body == bytes);

    store.reset();
    auto noRanges = StoreProcess::start(served(), {QStringLiteral("--no-ranges")});
    ASSERT_TRUE(noRanges);
    const CurlResult ignored = curl(*noRanges, path, {QStringLiteral("-r"), QStringLiteral("100-199")});
    EXPECT_EQ(ignored.status, 200);
    EXPECT_TRUE(ignored.body == bytes);
    EXPECT_NE(ignored.header("accept-ranges"), "bytes");
}

TEST(Store, RefusesPathsThatLeaveItsRoot) {
    const QString root = testing_support::testRoot();
    const QByteArray secret = "not for the store's clients";
    ASSERT_TRUE(testing_support::writeFile(root + QStringLiteral("/outside/secret.txt"), secret));
    const QByteArray inside = make(QStringLiteral("inside.txt"), 100, 5);
    ASSERT_TRUE(QDir().mkpath(served(QStringLiteral("sub"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("../outside/secret.txt"), served(QStringLiteral("escape"))));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/outside"), served(QStringLiteral("escape-dir"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("inside.txt"), served(QStringLiteral("alias.txt"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("../inside.txt"), served(QStringLiteral("sub/up.txt"))));
    auto store = StoreProcess::start(served());
    ASSERT_TRUE(store);

    // Links that stay inside are followed: the refusals below are about leaving.
    for (const QString& path :
         {QStringLiteral("/alias.txt"), QStringLiteral("/sub/up.txt"), QStringLiteral("/sub/./up.txt")}) {
        const CurlResult ok = curl(*store, path, {QStringLiteral("--path-as-is")});
        EXPECT_EQ(ok.status, 200) << path.toStdString();
        EXPECT_TRUE(ok.body == inside) << path.toStdString();
    }
    for (const QString& path :
         {QStringLiteral("/escape"), QStringLiteral("/escape-dir/secret.txt"),
          QStringLiteral("/../outside/secret.txt"), QStringLiteral("/sub/../../outside/secret.txt"),
          QStringLiteral("/%2e%2e/outside/secret.txt"),
          QStringLiteral("/sub%2f..%2f..%2foutside%2fsecret.txt"),
          QStringLiteral("/sub/..%2F../outside/secret.txt"),
          QStringLiteral("/") + root + QStringLiteral("/outside/secret.txt"), QStringLiteral("/sub"),
          QStringLiteral("/sub/"), QStringLiteral("/"), QStringLiteral("/missing.txt"),
          QStringLiteral("/inside.txt%00.zip")}) {
        const CurlResult refused = curl(*store, path, {QStringLiteral("--path-as-is")});
        EXPECT_EQ(refused.status, 404) << path.toStdString();
        EXPECT_FALSE(refused.body.contains(secret)) << path.toStdString();
    }
}
