// The installer window's progress bar: one painted frame at the window's
// width against a plain rounded bar, and the processor time a shown window
// spends while the bar flows at the screen's frame rate, as a share of the
// wall time (goal: under 5% of one core).

#include "BenchRatios.h"
#include "installer/ui/AFXColorfulProgressIndicator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

#include <ctime>

namespace {

constexpr int kBarWidth = 664;
const QList<QColor> kColors = {QColor(0x26, 0x80, 0xFD), QColor(0x8B, 0x5C, 0xF6), QColor(0xF0, 0x50, 0x8C),
                               QColor(0xFF, 0x9F, 0x2E)};

double processSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

void BM_ProgressFramePaint(benchmark::State& state) {
    AFXColorfulProgressIndicator bar;
    bar.setColorValues(kColors);
    bar.setDoubleValue(0.6);
    bar.resize(kBarWidth, 6);
    QImage frame(kBarWidth * 2, 12, QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(2.0);
    double position = 0.0;
    for (auto _ : state) {
        bar.setAnimationProgress(position += 1.0 / 60.0);
        frame.fill(Qt::white);
        bar.render(&frame);
    }
    benchmark::DoNotOptimize(frame.constBits());
}
BENCHMARK(BM_ProgressFramePaint);

void BM_PlainBarPaint(benchmark::State& state) {
    QImage frame(kBarWidth * 2, 12, QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(2.0);
    for (auto _ : state) {
        frame.fill(Qt::white);
        QPainter painter(&frame);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(kColors.first());
        painter.drawRoundedRect(QRectF(0, 0, kBarWidth * 0.6, 6), 3, 3);
    }
    benchmark::DoNotOptimize(frame.constBits());
}
BENCHMARK(BM_PlainBarPaint);

// Shows a window of the installer's size with the flowing bar for each
// iteration's second; the iteration's time is the processor time spent.
void runWindowFor(benchmark::State& state, bool flowing) {
    QWidget window;
    window.resize(720, 560);
    auto* layout = new QVBoxLayout(&window);
    auto* bar = new AFXColorfulProgressIndicator;
    bar->setColorValues(flowing ? kColors : QList<QColor>{kColors.first()});
    bar->setDoubleValue(0.6);
    layout->addStretch();
    layout->addWidget(bar);
    window.show();
    for (auto _ : state) {
        const double before = processSeconds();
        QElapsedTimer wall;
        wall.start();
        QEventLoop loop;
        QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        loop.exec();
        state.SetIterationTime(flowing ? processSeconds() - before : double(wall.nsecsElapsed()) / 1e9);
    }
}

void BM_WindowWithFlowingBar(benchmark::State& state) {
    runWindowFor(state, true);
}
BENCHMARK(BM_WindowWithFlowingBar)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// The wall time of the same seconds: one core's whole capacity.
void BM_OneCoreForTheSameTime(benchmark::State& state) {
    runWindowFor(state, false);
}
BENCHMARK(BM_OneCoreForTheSameTime)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    return runBenchmarksWithRatios(argc, argv,
                                   {{"BM_ProgressFramePaint", "BM_PlainBarPaint", "report"},
                                    {"BM_WindowWithFlowingBar", "BM_OneCoreForTheSameTime", "< 0.05"}});
}
