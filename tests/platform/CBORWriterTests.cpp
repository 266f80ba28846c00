#include "platform/CBORWriter.h"

#include <gtest/gtest.h>

#include <QCborStreamWriter>

#include <cmath>
#include <limits>

using platform::CBORWriter;

namespace {

// Every kind of item the keyed archiver writes, at the edges of each head
// size, written the same way through either writer.
template <typename Writer> void writeSamples(Writer& writer) {
    writer.startMap();
    for (const qint64 number :
         {qint64(0), qint64(23), qint64(24), qint64(255), qint64(256), qint64(65535), qint64(65536),
          qint64(4294967295LL), qint64(4294967296LL), std::numeric_limits<qint64>::max(), qint64(-1),
          qint64(-24), qint64(-25), qint64(-256), qint64(-257), qint64(-65537),
          std::numeric_limits<qint64>::min()}) {
        writer.append(QString::number(number));
        writer.append(number);
    }
    writer.appendTextString("flags", 5);
    writer.startArray(3);
    writer.append(true);
    writer.append(false);
    writer.appendNull();
    writer.endArray();
    writer.endMap();

    writer.startArray();
    for (const double real : {0.0, -0.0, 0.25, -1e300, std::numeric_limits<double>::infinity()}) {
        writer.append(real);
    }
    const QList<QString> texts{QString(),
                               QStringLiteral("plain"),
                               QString(23, QLatin1Char('a')),
                               QString(24, QLatin1Char('b')),
                               QString(300, QLatin1Char('c')),
                               QStringLiteral("Orbit Notes ✓"),
                               QStringLiteral("caf\u00e9"),
                               QString(QChar(0xD800)) + QStringLiteral("lone")};
    for (const QString& text : texts) {
        writer.append(text);
    }
    writer.append(QByteArray());
    writer.append(QByteArray(300, '\x7f'));
    writer.append(QCborKnownTags::DateTimeString);
    writer.append(QStringLiteral("2026-12-07T01:12:01.000Z"));
    writer.append(QCborKnownTags::Url);
    writer.append(QStringLiteral("https://example.test/a?b=c"));
    writer.append(QCborKnownTags::PositiveBignum);
    writer.append(QByteArray(8, '\xff'));
    writer.append(QCborTag(258));
    writer.startArray(0);
    writer.endArray();
    writer.append(QCborTag(70000));
    writer.startMap(1);
    writer.append(QStringLiteral("$class"));
    writer.startMap();
    writer.endMap();
    writer.endMap();
    writer.endArray();
}

} // namespace

TEST(CBORWriter, WritesTheSameBytesAsTheStreamWriter) {
    QByteArray ours;
    CBORWriter writer(&ours);
    writeSamples(writer);

    QByteArray theirs;
    {
        QCborStreamWriter reference(&theirs);
        writeSamples(reference);
    }

    EXPECT_EQ(ours.toHex(' '), theirs.toHex(' '));
}
