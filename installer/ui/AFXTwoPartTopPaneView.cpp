#include "AFXTwoPartTopPaneView.h"

#include "AFXAnimationContext.h"
#include "AFXInstallerExtensions.h"

#include <QLabel>
#include <QLayout>
#include <QParallelAnimationGroup>
#include <QPointer>
#include <QPropertyAnimation>

#include <memory>

namespace {

constexpr int kIconZoom = 10;
constexpr int kPartsSlide = 20;

// Counts the animations a show or hide started and runs the completion once
// the last has ended.
std::function<void()> afterAll(int count, std::function<void()> completion) {
    auto remaining = std::make_shared<int>(count);
    return [remaining, completion = std::move(completion)] {
        if (--*remaining == 0) {
            completion();
        }
    };
}

QLabel* snapshotAt(QWidget* view, const QRect& frame, double alpha) {
    QLabel* snapshot = AFXSnapshotView(view);
    view->setHidden(true);
    snapshot->setGeometry(frame);
    AFXAnimationContext::setAlpha(snapshot, alpha);
    snapshot->show();
    snapshot->raise();
    return snapshot;
}

QAbstractAnimation* frameAndAlpha(QLabel* snapshot, const QRect& frame, double alpha, double seconds) {
    auto* group = new QParallelAnimationGroup;
    group->addAnimation(AFXAnimationContext::animation(snapshot, "geometry", frame, seconds,
                                                       AFXAnimationContext::defaultTimingFunction()));
    group->addAnimation(AFXAnimationContext::alphaAnimation(snapshot, alpha, seconds,
                                                            AFXAnimationContext::defaultTimingFunction()));
    return group;
}

} // namespace

void AFXTwoPartTopPaneView::keepSubviewPlacesWhenHidden() {
    for (auto* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        keepPlaceWhenHidden(child);
    }
}

void AFXTwoPartTopPaneView::toggleSubviewsHidden(bool hidden) {
    for (auto* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        child->setHidden(hidden);
    }
}

void AFXTwoPartTopPaneView::showAnimated(bool animated, std::function<void()> completion) {
    if (!animated) {
        setHidden(false);
        toggleSubviewsHidden(false);
        completion();
        return;
    }
    if (layout() != nullptr) {
        layout()->activate();
    }
    setHidden(false);
    toggleSubviewsHidden(true);
    AFXAnimationContext::after(showingDelay(), this, [this, completion = std::move(completion)] {
        if (shouldAnimateIconView()) {
            const auto done = afterAll(2, completion);
            showIconViewAnimatedWithCompletion(done);
            AFXAnimationContext::after(0.1, this, [this, done] { showPartsAnimatedWithCompletion(done); });
        } else {
            iconView()->setHidden(false);
            showPartsAnimatedWithCompletion(completion);
        }
    });
}

void AFXTwoPartTopPaneView::hideAnimated(bool animated, std::function<void()> completion) {
    if (!animated) {
        setHidden(true);
        toggleSubviewsHidden(true);
        completion();
        return;
    }
    if (layout() != nullptr) {
        layout()->activate();
    }
    if (shouldAnimateIconView()) {
        const auto done = afterAll(2, std::move(completion));
        hideIconViewAnimatedWithCompletion(done);
        hidePartsAnimatedWithCompletion(done);
    } else {
        iconView()->setHidden(true);
        hidePartsAnimatedWithCompletion(std::move(completion));
    }
}

void AFXTwoPartTopPaneView::showIconViewAnimatedWithCompletion(std::function<void()> completion) {
    QLabel* icon = iconView();
    const QRect frame = icon->geometry();
    QLabel* snapshot = snapshotAt(icon, frame.adjusted(-kIconZoom, -kIconZoom, kIconZoom, kIconZoom), 0.0);
    QPointer<QLabel> guardedIcon = icon;
    AFXAnimationContext::run(frameAndAlpha(snapshot, frame, 1.0, 0.3),
                             [snapshot, guardedIcon, completion = std::move(completion)] {
                                 snapshot->hide();
                                 snapshot->deleteLater();
                                 if (guardedIcon) {
                                     guardedIcon->setHidden(false);
                                 }
                                 completion();
                             });
}

void AFXTwoPartTopPaneView::hideIconViewAnimatedWithCompletion(std::function<void()> completion) {
    QLabel* icon = iconView();
    const QRect frame = icon->geometry();
    QLabel* snapshot = snapshotAt(icon, frame, 1.0);
    AFXAnimationContext::run(
        frameAndAlpha(snapshot, frame.adjusted(kIconZoom, kIconZoom, -kIconZoom, -kIconZoom), 0.0, 0.3),
        [snapshot, completion = std::move(completion)] {
            snapshot->hide();
            snapshot->deleteLater();
            completion();
        });
}

void AFXTwoPartTopPaneView::showPartsAnimatedWithCompletion(std::function<void()> completion) {
    QWidget* left = leftPartContainer();
    QWidget* right = rightPartContainer();
    const QRect leftFrame = left->geometry();
    const QRect rightFrame = right->geometry();
    QLabel* leftSnapshot = snapshotAt(
        left, leftFrame.adjusted(-kPartsSlide, 0, kPartsSlide, 0).translated(-kPartsSlide, 0), 0.0);
    QLabel* rightSnapshot = snapshotAt(
        right, rightFrame.adjusted(-kPartsSlide, 0, kPartsSlide, 0).translated(kPartsSlide, 0), 0.0);
    auto* group = new QParallelAnimationGroup;
    group->addAnimation(frameAndAlpha(leftSnapshot, leftFrame, 1.0, 0.6));
    group->addAnimation(frameAndAlpha(rightSnapshot, rightFrame, 1.0, 0.6));
    QPointer<QWidget> guardedLeft = left;
    QPointer<QWidget> guardedRight = right;
    AFXAnimationContext::run(group, [=, completion = std::move(completion)] {
        leftSnapshot->hide();
        leftSnapshot->deleteLater();
        rightSnapshot->hide();
        rightSnapshot->deleteLater();
        if (guardedLeft && guardedRight) {
            guardedLeft->setHidden(false);
            guardedRight->setHidden(false);
        }
        completion();
    });
}

void AFXTwoPartTopPaneView::hidePartsAnimatedWithCompletion(std::function<void()> completion) {
    QWidget* left = leftPartContainer();
    QWidget* right = rightPartContainer();
    const QRect leftFrame = left->geometry();
    const QRect rightFrame = right->geometry();
    QLabel* leftSnapshot = snapshotAt(left, leftFrame, 1.0);
    QLabel* rightSnapshot = snapshotAt(right, rightFrame, 1.0);
    auto* group = new QParallelAnimationGroup;
    const QMargins inset(kPartsSlide, kPartsSlide, kPartsSlide, kPartsSlide);
    group->addAnimation(frameAndAlpha(leftSnapshot, leftFrame - inset, 0.0, 0.3));
    group->addAnimation(frameAndAlpha(rightSnapshot, rightFrame - inset, 0.0, 0.3));
    AFXAnimationContext::run(group, [leftSnapshot, rightSnapshot, completion = std::move(completion)] {
        leftSnapshot->hide();
        leftSnapshot->deleteLater();
        rightSnapshot->hide();
        rightSnapshot->deleteLater();
        completion();
    });
}
