#include "BRViewUtilities.h"

#include <QGridLayout>
#include <QWidget>

namespace {

// A container pins its subviews with a one-cell grid: every item of the
// grid fills the whole cell, so each view covers the container exactly.
QGridLayout* pinningLayout(QWidget* container) {
    if (auto* grid = qobject_cast<QGridLayout*>(container->layout())) {
        return grid;
    }
    auto* grid = new QGridLayout(container);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    return grid;
}

} // namespace

void BREmbedView(QWidget* container, QWidget* view) {
    BREmbedView(container, view, BRViewOrdering::Above, nullptr);
}

void BREmbedView(QWidget* container, QWidget* view, BRViewOrdering ordering, QWidget* sibling) {
    pinningLayout(container)->addWidget(view, 0, 0);
    view->show();
    if (sibling == nullptr || sibling->parentWidget() != container) {
        view->raise();
    } else if (ordering == BRViewOrdering::Below) {
        view->stackUnder(sibling);
    } else {
        sibling->stackUnder(view);
    }
}

QColor BRColorWithSRGBHex(std::uint32_t hex) {
    return QColor::fromRgb((hex >> 16) & 0xFF, (hex >> 8) & 0xFF, hex & 0xFF);
}

QColor BRColorWithRGBHex(std::uint32_t hex) {
    return BRColorWithSRGBHex(hex);
}
