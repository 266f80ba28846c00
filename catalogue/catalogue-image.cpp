// catalogue-image: draws the pictures of a development catalogue app, an
// icon or a screenshot, in a colour of its own taken from the app's bundle
// identifier, so each app's resources look different and are valid PNGs.
//
//   catalogue-image icon|screenshot BUNDLE_IDENTIFIER OUT.png

#include <QColor>
#include <QCryptographicHash>
#include <QImage>
#include <QPainter>
#include <QString>

#include <cstdio>
#include <cstring>

namespace {

QColor colourOf(const QByteArray& identifier) {
    const QByteArray digest = QCryptographicHash::hash(identifier, QCryptographicHash::Sha1);
    return QColor::fromHsv(static_cast<unsigned char>(digest.at(0)) * 359 / 255, 170, 210);
}

QImage icon(const QColor& colour) {
    QImage image(128, 128, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawRoundedRect(QRectF(8, 8, 112, 112), 24, 24);
    painter.setBrush(colour.lighter(160));
    painter.drawEllipse(QRectF(36, 36, 56, 56));
    return image;
}

QImage screenshot(const QColor& colour) {
    QImage image(640, 400, QImage::Format_RGB32);
    image.fill(QColor(236, 236, 236));
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, 640, 28), QColor(214, 214, 214));
    painter.fillRect(QRect(0, 28, 160, 372), colour.lighter(170));
    for (int row = 0; row < 6; ++row) {
        painter.fillRect(QRect(184, 52 + row * 48, 420 - row * 40, 20), colour);
    }
    return image;
}

} // namespace

int main(int argc, char** argv) {
    const bool known =
        argc == 4 && (std::strcmp(argv[1], "icon") == 0 || std::strcmp(argv[1], "screenshot") == 0);
    if (!known) {
        std::fputs("usage: catalogue-image icon|screenshot BUNDLE_IDENTIFIER OUT.png\n", stderr);
        return 2;
    }
    const QColor colour = colourOf(QByteArray(argv[2]));
    const QImage image = std::strcmp(argv[1], "icon") == 0 ? icon(colour) : screenshot(colour);
    if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "catalogue-image: could not write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
