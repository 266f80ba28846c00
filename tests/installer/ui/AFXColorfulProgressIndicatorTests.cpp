#include "UITestSupport.h"
#include "installer/ui/AFXColorfulProgressIndicator.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QSet>

namespace {

constexpr int kWidth = 400;
const QColor kTrack(0xE6, 0xE8, 0xEE);
const QList<QColor> kColors = {QColor(0x26, 0x80, 0xFD), QColor(0x8B, 0x5C, 0xF6), QColor(0xF0, 0x50, 0x8C),
                               QColor(0xFF, 0x9F, 0x2E)};

QImage paint(AFXColorfulProgressIndicator& bar) {
    bar.resize(kWidth, 6);
    return bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 24;
}

// The colours of the bar's middle row, from x to the end of the range.
QList<QColor> row(const QImage& image, int from, int to) {
    QList<QColor> colors;
    for (int x = from; x < to; ++x) {
        colors.append(image.pixelColor(x, 3));
    }
    return colors;
}

TEST(AFXColorfulProgressIndicatorTests, TheFillShowsItsColoursUpToTheValueAndTheTrackAfter) {
    AFXColorfulProgressIndicator bar;
    bar.setColorValues(kColors);
    bar.setBackgroundColorValue(kTrack);
    bar.setDoubleValue(0.75);
    const QImage image = paint(bar);
    testing_support::saveScreenshot(&bar, QStringLiteral("progress-bar-three-quarters"));

    // Inside the fill, away from the round ends: each colour of the design
    // shows somewhere, and nothing is the track.
    const auto fill = row(image, 4, int(kWidth * 0.75) - 4);
    for (const auto& color : kColors.mid(0, 3)) {
        EXPECT_TRUE(std::any_of(fill.begin(), fill.end(), [&](const QColor& c) { return near(c, color); }))
            << color.name().toStdString();
    }
    EXPECT_TRUE(std::none_of(fill.begin(), fill.end(), [](const QColor& c) { return near(c, kTrack); }));
    // Past the value only the track.
    const auto track = row(image, int(kWidth * 0.75) + 2, kWidth - 4);
    EXPECT_TRUE(std::all_of(track.begin(), track.end(), [](const QColor& c) { return near(c, kTrack); }));
}

TEST(AFXColorfulProgressIndicatorTests, ValuesOutsideTheRangeAndAnEmptyRangeAreHeldToTheBar) {
    AFXColorfulProgressIndicator bar;
    bar.setColorValues({kColors.first()});
    bar.setBackgroundColorValue(kTrack);

    bar.setDoubleValue(3.0);
    EXPECT_DOUBLE_EQ(bar.fraction(), 1.0);
    auto full = row(paint(bar), 4, kWidth - 4);
    EXPECT_TRUE(
        std::all_of(full.begin(), full.end(), [](const QColor& c) { return near(c, kColors.first()); }));

    bar.setMinValue(1.0);
    bar.setMaxValue(1.0);
    EXPECT_DOUBLE_EQ(bar.fraction(), 0.0);
    auto empty = row(paint(bar), 4, kWidth - 4);
    EXPECT_TRUE(std::all_of(empty.begin(), empty.end(), [](const QColor& c) { return near(c, kTrack); }));
}

TEST(AFXColorfulProgressIndicatorTests, FlowsOnlyWhileShownAndTheFlowMovesTheColours) {
    QWidget window;
    window.resize(kWidth, 20);
    auto* bar = new AFXColorfulProgressIndicator(&window);
    bar->setColorValues(kColors);
    bar->setDoubleValue(1.0);
    EXPECT_FALSE(bar->isAnimating()) << "not in a visible window";
    window.show();
    EXPECT_TRUE(bar->isAnimating());
    window.hide();
    EXPECT_FALSE(bar->isAnimating());

    const auto before = row(paint(*bar), 4, kWidth - 4);
    bar->setAnimationProgress(0.25);
    EXPECT_NE(row(paint(*bar), 4, kWidth - 4), before) << "a quarter turn moves the colours";

    bar->setIndeterminate(true);
    EXPECT_DOUBLE_EQ(bar->animationProgress(), 0.0) << "switching starts the pattern over";
    const auto pattern = row(paint(*bar), 4, kWidth - 4);
    EXPECT_TRUE(std::any_of(pattern.begin(), pattern.end(),
                            [](const QColor& c) { return near(c, QColor(0x02, 0x7C, 0xFF)); }));
    EXPECT_TRUE(std::any_of(pattern.begin(), pattern.end(),
                            [](const QColor& c) { return near(c, QColor(0x71, 0xB8, 0xFF)); }));
}

} // namespace
