#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

class QLabel;
class QWidget;

// Image and snapshot helpers of the installer's views.

// The bundle's vector image `name` drawn at `size` for a screen of
// `devicePixelRatio`; a null pixmap when there is no such image.
QPixmap AFXImageNamed(const QString& name, const QSize& size, qreal devicePixelRatio);

// What the view draws, also while it is hidden (it stays hidden).
QPixmap AFXSnapshotImage(QWidget* view);
// A new view beside `view` (same parent) showing `image`, scaled to
// whatever frame it gets.
QLabel* AFXSnapshotViewWithImage(QWidget* view, const QPixmap& image);
QLabel* AFXSnapshotView(QWidget* view);
