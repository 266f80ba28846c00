#include "AFXPageNumberView.h"

#include "support/BRViewUtilities.h"
#include "ui_AFXPageNumberView.h"

#include <QMouseEvent>

AFXPageNumberView* AFXPageNumberView::make(QWidget* parent) {
    return new AFXPageNumberView(parent);
}

AFXPageNumberView::AFXPageNumberView(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::AFXPageNumberView>()) {
    ui_->setupUi(this);
    // A plain view paints its style-sheet background only when asked to.
    ui_->selectedBackgroundView->setAttribute(Qt::WA_StyledBackground);
    setCursor(Qt::PointingHandCursor);
    updateUI();
}

AFXPageNumberView::~AFXPageNumberView() = default;

QWidget* AFXPageNumberView::selectedBackgroundView() const {
    return ui_->selectedBackgroundView;
}

void AFXPageNumberView::setSelected(bool selected) {
    if (selected == selected_) {
        return;
    }
    selected_ = selected;
    updateSelectedState();
}

void AFXPageNumberView::setPageNumber(std::int64_t pageNumber) {
    pageNumber_ = pageNumber;
    updatePageNumberLabel();
}

void AFXPageNumberView::updateUI() {
    updatePageNumberLabel();
    updateSelectedState();
}

void AFXPageNumberView::updatePageNumberLabel() {
    ui_->pageNumberLabel->setText(QString::number(pageNumber_));
    setAccessibleName(QString::number(pageNumber_));
}

void AFXPageNumberView::updateSelectedState() {
    const QColor number = selected_ ? BRColorWithSRGBHex(0x2680FD) : QColor(Qt::black);
    ui_->pageNumberLabel->setStyleSheet(QStringLiteral("color: %1;").arg(number.name()));
    ui_->selectedBackgroundView->setVisible(selected_);
}

void AFXPageNumberView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The background is a circle whatever size the row gives the view.
    const int radius = height() / 2;
    ui_->selectedBackgroundView->setStyleSheet(QStringLiteral("background-color: %1; border-radius: %2px;")
                                                   .arg(BRColorWithSRGBHex(0xF3F3F3).name())
                                                   .arg(radius));
}

void AFXPageNumberView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (delegate_ != nullptr) {
        delegate_->pageNumberViewWasSelected(this);
    }
}
