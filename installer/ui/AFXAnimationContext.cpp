#include "AFXAnimationContext.h"

#include <QAbstractAnimation>
#include <QGraphicsOpacityEffect>
#include <QPauseAnimation>
#include <QPointer>
#include <QPropertyAnimation>
#include <QWidget>

#include <memory>

namespace {

// Touched on the main thread only, as every animation is.
QList<QPointer<QAbstractAnimation>>& running() {
    static QList<QPointer<QAbstractAnimation>> groups;
    return groups;
}

bool& drivenManually() {
    static bool manually = false;
    return manually;
}

bool isUnderway(const QAbstractAnimation* group) {
    return group != nullptr && group->state() != QAbstractAnimation::Stopped;
}

QGraphicsOpacityEffect* opacityEffect(QWidget* widget) {
    if (auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect())) {
        return effect;
    }
    auto* effect = new QGraphicsOpacityEffect(widget);
    effect->setOpacity(1.0);
    widget->setGraphicsEffect(effect);
    return effect;
}

} // namespace

QPropertyAnimation* AFXAnimationContext::animation(QObject* target, const QByteArray& property,
                                                   const QVariant& value, double seconds,
                                                   const QEasingCurve& curve) {
    auto* animation = new QPropertyAnimation(target, property);
    animation->setEndValue(value);
    animation->setDuration(int(seconds * 1000));
    animation->setEasingCurve(curve);
    return animation;
}

void AFXAnimationContext::run(QAbstractAnimation* group, std::function<void()> completion) {
    running().append(group);
    QObject::connect(group, &QAbstractAnimation::finished, group,
                     [group, completion = std::move(completion)] {
                         running().removeAll(group);
                         group->deleteLater();
                         if (completion) {
                             completion();
                         }
                     });
    group->start();
    if (drivenManually()) {
        group->pause();
    }
}

void AFXAnimationContext::after(double seconds, QObject* context, std::function<void()> work) {
    if (seconds <= 0.0) {
        work();
        return;
    }
    auto* pause = new QPauseAnimation(int(seconds * 1000));
    QPointer<QObject> guarded = context;
    run(pause, [guarded, work = std::move(work)] {
        if (guarded) {
            work();
        }
    });
}

double AFXAnimationContext::alpha(QWidget* widget) {
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
    return effect != nullptr ? effect->opacity() : 1.0;
}

void AFXAnimationContext::setAlpha(QWidget* widget, double alpha) {
    opacityEffect(widget)->setOpacity(alpha);
}

QPropertyAnimation* AFXAnimationContext::alphaAnimation(QWidget* widget, double alpha, double seconds,
                                                        const QEasingCurve& curve) {
    return animation(opacityEffect(widget), "opacity", alpha, seconds, curve);
}

QEasingCurve AFXAnimationContext::defaultTimingFunction() {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.25, 0.1), QPointF(0.25, 1.0), QPointF(1.0, 1.0));
    return curve;
}

QEasingCurve AFXAnimationContext::easeInEaseOut() {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.42, 0.0), QPointF(0.58, 1.0), QPointF(1.0, 1.0));
    return curve;
}

void AFXAnimationContext::setDrivenManually(bool manually) {
    drivenManually() = manually;
}

int AFXAnimationContext::runningCount() {
    // A group whose target went away stops without ending; it no longer counts.
    running().removeIf([](const QPointer<QAbstractAnimation>& group) { return !isUnderway(group); });
    return int(running().size());
}

int AFXAnimationContext::finishRunningAnimations() {
    int ended = 0;
    while (runningCount() > 0) {
        const auto groups = running();
        for (const auto& group : groups) {
            if (isUnderway(group)) {
                group->setCurrentTime(group->totalDuration());
                ++ended;
            }
        }
    }
    return ended;
}

std::function<void()> AFXAnimationContext::afterBoth(std::function<void()> completion) {
    auto remaining = std::make_shared<int>(2);
    return [remaining, completion = std::move(completion)] {
        if (--*remaining == 0) {
            completion();
        }
    };
}
