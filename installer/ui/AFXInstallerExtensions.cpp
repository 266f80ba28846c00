#include "AFXInstallerExtensions.h"

#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QSvgRenderer>
#include <QWidget>

QPixmap AFXImageNamed(const QString& name, const QSize& size, qreal devicePixelRatio) {
    const QString path = QStringLiteral(":/Contents/Resources/Images/%1.svg").arg(name);
    if (!QFile::exists(path) || size.isEmpty()) {
        return {};
    }
    QSvgRenderer renderer(path);
    if (!renderer.isValid()) {
        return {};
    }
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

QPixmap AFXSnapshotImage(QWidget* view) {
    // Shown and hidden again before the event loop runs, so nothing flickers.
    const bool wasHidden = view->isHidden();
    view->setVisible(true);
    // Drawn on a clear picture without the view's background, so a snapshot
    // moving over the page shows only what the view itself draws.
    const qreal ratio = view->devicePixelRatioF();
    QPixmap image(view->size() * ratio);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    view->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    view->setVisible(!wasHidden);
    return image;
}

QLabel* AFXSnapshotViewWithImage(QWidget* view, const QPixmap& image) {
    auto* snapshot = new QLabel(view->parentWidget());
    snapshot->setPixmap(image);
    snapshot->setScaledContents(true);
    snapshot->setAttribute(Qt::WA_TransparentForMouseEvents);
    return snapshot;
}

QLabel* AFXSnapshotView(QWidget* view) {
    return AFXSnapshotViewWithImage(view, AFXSnapshotImage(view));
}
