#pragma once

#include <QColor>
#include <QList>
#include <QWidget>

class QVariantAnimation;

// The installer's progress bar: a thin bar with round ends. Determinate, a
// fill of several colours flowing along it on a track; indeterminate, a
// two-tone blue pattern sliding one bar length per second. The flow runs
// only while the bar is shown in a visible window. Lives on the main thread.
class AFXColorfulProgressIndicator : public QWidget {
public:
    explicit AFXColorfulProgressIndicator(QWidget* parent = nullptr);

    double doubleValue() const { return doubleValue_; }
    void setDoubleValue(double value);
    double minValue() const { return minValue_; }
    void setMinValue(double value);
    double maxValue() const { return maxValue_; }
    void setMaxValue(double value);
    bool isIndeterminate() const { return indeterminate_; }
    void setIndeterminate(bool indeterminate);
    // The fill: one colour, or several spread along it and flowing.
    QList<QColor> colorValues() const { return colorValues_; }
    void setColorValues(const QList<QColor>& colors);
    QColor backgroundColorValue() const { return backgroundColorValue_; }
    void setBackgroundColorValue(const QColor& color);

    // Where the pattern or the colours stand; only the fraction counts.
    double animationProgress() const { return animationProgress_; }
    void setAnimationProgress(double progress);
    // Whether the flow runs now.
    bool isAnimating() const;
    // Share of the bar the value fills, 0.0 to 1.0.
    double fraction() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void updateAnimation();
    void updateAccessibleValue();

    double doubleValue_ = 0.0;
    double minValue_ = 0.0;
    double maxValue_ = 1.0;
    bool indeterminate_ = false;
    QList<QColor> colorValues_;
    QColor backgroundColorValue_;
    double animationProgress_ = 0.0;
    QVariantAnimation* flow_;
};
