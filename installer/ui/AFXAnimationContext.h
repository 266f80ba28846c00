#pragma once

#include <QByteArray>
#include <QEasingCurve>
#include <QVariant>

#include <functional>

class QAbstractAnimation;
class QObject;
class QPropertyAnimation;
class QWidget;

// Runs the window's animations: groups of property changes with a duration
// and a timing curve, delays, and a completion that runs exactly once, on
// the main thread, when everything of the group has ended. Every running
// group is known here, so tests can drive them all to their end instead of
// waiting for them.
class AFXAnimationContext {
public:
    // Animates `property` of `target` to `value`.
    static QPropertyAnimation* animation(QObject* target, const QByteArray& property, const QVariant& value,
                                         double seconds, const QEasingCurve& curve);
    // Starts `group` (owned from then on) and runs `completion` when it ends.
    static void run(QAbstractAnimation* group, std::function<void()> completion);
    // Runs `work` after `seconds`, as a drivable animation of its own;
    // nothing runs when `context` is gone by then.
    static void after(double seconds, QObject* context, std::function<void()> work);
    // A completion to hand to two groups: it runs `completion` once both
    // have ended.
    static std::function<void()> afterBoth(std::function<void()> completion);

    // A widget's opacity, 0.0 to 1.0, and an animation of it.
    static double alpha(QWidget* widget);
    static void setAlpha(QWidget* widget, double alpha);
    static QPropertyAnimation* alphaAnimation(QWidget* widget, double alpha, double seconds,
                                              const QEasingCurve& curve);

    // The curves of the design: a Bézier with control points (0.25, 0.1)
    // and (0.25, 1.0), and the usual ease-in-ease-out.
    static QEasingCurve defaultTimingFunction();
    static QEasingCurve easeInEaseOut();

    // Tests hold the clock of the animations: every group then waits,
    // paused at its start, until `finishRunningAnimations` ends it.
    static void setDrivenManually(bool manually);
    // Groups started and not yet ended.
    static int runningCount();
    // Moves every running group to its end, again and again while ending
    // ones start new ones; answers how many groups it ended.
    static int finishRunningAnimations();
};
