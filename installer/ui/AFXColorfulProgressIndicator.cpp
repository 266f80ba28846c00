#include "AFXColorfulProgressIndicator.h"

#include "support/BRViewUtilities.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kBarHeight = 6;

QList<QColor> indeterminateColors() {
    return {BRColorWithSRGBHex(0x027CFF), BRColorWithRGBHex(0x71B8FF), BRColorWithSRGBHex(0x027CFF),
            BRColorWithRGBHex(0x71B8FF), BRColorWithSRGBHex(0x027CFF)};
}

// A gradient of `colors` over twice the bar's width, moved right by the
// fraction of one bar width, repeating: its two halves match, so the flow
// has no seam.
QLinearGradient flowingGradient(const QRectF& bar, const QList<QColor>& colors, double offset) {
    const double start = bar.left() + (offset - 1.0) * bar.width();
    QLinearGradient gradient(QPointF(start, 0), QPointF(start + bar.width(), 0));
    gradient.setSpread(QGradient::RepeatSpread);
    const int last = int(colors.size()) - 1;
    for (int i = 0; i <= last; ++i) {
        gradient.setColorAt(last == 0 ? 0.0 : double(i) / last, colors[i]);
    }
    return gradient;
}

} // namespace

AFXColorfulProgressIndicator::AFXColorfulProgressIndicator(QWidget* parent)
    : QWidget(parent), flow_(new QVariantAnimation(this)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    backgroundColorValue_ = BRColorWithSRGBHex(0xE4E7EE);
    colorValues_ = {BRColorWithSRGBHex(0x027CFF)};
    // One cycle moves the pattern by one bar width in a second; the
    // animation runs from the current position, so restarting never jumps.
    flow_->setDuration(1000);
    flow_->setLoopCount(-1);
    QObject::connect(flow_, &QVariantAnimation::valueChanged, this,
                     [this](const QVariant& value) { setAnimationProgress(value.toDouble()); });
    updateAccessibleValue();
}

void AFXColorfulProgressIndicator::setDoubleValue(double value) {
    if (value == doubleValue_) {
        return;
    }
    doubleValue_ = value;
    updateAccessibleValue();
    update();
}

void AFXColorfulProgressIndicator::setMinValue(double value) {
    if (value == minValue_) {
        return;
    }
    minValue_ = value;
    update();
}

void AFXColorfulProgressIndicator::setMaxValue(double value) {
    if (value == maxValue_) {
        return;
    }
    maxValue_ = value;
    update();
}

void AFXColorfulProgressIndicator::setIndeterminate(bool indeterminate) {
    if (indeterminate == indeterminate_) {
        return;
    }
    indeterminate_ = indeterminate;
    animationProgress_ = 0.0;
    updateAnimation();
    update();
}

void AFXColorfulProgressIndicator::setColorValues(const QList<QColor>& colors) {
    if (colors == colorValues_ || colors.isEmpty()) {
        return;
    }
    colorValues_ = colors;
    updateAnimation();
    update();
}

void AFXColorfulProgressIndicator::setBackgroundColorValue(const QColor& color) {
    if (color == backgroundColorValue_) {
        return;
    }
    backgroundColorValue_ = color;
    update();
}

void AFXColorfulProgressIndicator::setAnimationProgress(double progress) {
    if (progress == animationProgress_) {
        return;
    }
    animationProgress_ = progress;
    if (isAnimating()) {
        update();
    }
}

bool AFXColorfulProgressIndicator::isAnimating() const {
    return flow_->state() == QAbstractAnimation::Running;
}

double AFXColorfulProgressIndicator::fraction() const {
    const double range = maxValue_ - minValue_;
    if (!(range > 0.0)) {
        return 0.0;
    }
    return std::clamp((doubleValue_ - minValue_) / range, 0.0, 1.0);
}

QSize AFXColorfulProgressIndicator::sizeHint() const {
    return {200, kBarHeight};
}

QSize AFXColorfulProgressIndicator::minimumSizeHint() const {
    return {kBarHeight * 2, kBarHeight};
}

void AFXColorfulProgressIndicator::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateAnimation();
}

void AFXColorfulProgressIndicator::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    updateAnimation();
}

void AFXColorfulProgressIndicator::updateAnimation() {
    // Flowing is worth its frames only when there is something to flow and
    // someone can see it.
    const bool flows = indeterminate_ || colorValues_.size() > 1;
    const bool wantsToAnimate = flows && isVisible() && window()->isVisible();
    if (wantsToAnimate == isAnimating()) {
        return;
    }
    if (wantsToAnimate) {
        const double start = animationProgress_ - std::floor(animationProgress_);
        flow_->setStartValue(start);
        flow_->setEndValue(start + 1.0);
        flow_->start();
    } else {
        flow_->stop();
    }
}

void AFXColorfulProgressIndicator::updateAccessibleValue() {
    setAccessibleDescription(QString::number(doubleValue_));
}

void AFXColorfulProgressIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF bounds = QRectF(rect()).adjusted(0, (height() - kBarHeight) / 2.0, 0, 0);
    const QRectF bar(bounds.left(), bounds.top(), bounds.width(), std::min<double>(kBarHeight, height()));
    const double radius = bar.height() / 2.0;
    const double offset = animationProgress_ - std::floor(animationProgress_);

    if (indeterminate_) {
        painter.setBrush(flowingGradient(bar, indeterminateColors(), offset));
        painter.drawRoundedRect(bar, radius, radius);
        return;
    }
    const double filled = fraction();
    if (filled < 1.0) {
        painter.setBrush(backgroundColorValue_);
        painter.drawRoundedRect(bar, radius, radius);
    }
    if (filled <= 0.0) {
        return;
    }
    const QRectF fill(bar.left(), bar.top(), bar.width() * filled, bar.height());
    if (colorValues_.size() == 1) {
        painter.setBrush(colorValues_.first());
    } else {
        // The colours spread over the whole bar, so the fill shows more of
        // them as it grows; the last colour leads back into the first.
        QList<QColor> cycle = colorValues_;
        cycle.append(colorValues_.first());
        painter.setBrush(flowingGradient(bar, cycle, offset));
    }
    painter.drawRoundedRect(fill, std::min(radius, fill.width() / 2.0), radius);
}
