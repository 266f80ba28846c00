#include "AFXFirstScreenTopPaneView.h"

#include "AFXAnimationContext.h"
#include "AFXInstallerAccessibilityIdentifiers.h"
#include "AFXInstallerExtensions.h"
#include "ui_AFXFirstScreenTopPaneView.h"

#include <QLabel>
#include <QParallelAnimationGroup>
#include <QPointer>
#include <QPropertyAnimation>

namespace {

constexpr int kZoomInset = 15;

} // namespace

AFXFirstScreenTopPaneView::AFXFirstScreenTopPaneView()
    : ui_(std::make_unique<Ui::AFXFirstScreenTopPaneView>()) {
    ui_->setupUi(this);
    keepPlaceWhenHidden(ui_->iconViewPlaceholder);
    setImage(ui_->iconView, QStringLiteral("App0"));
    AFXSetAccessibilityIdentifier(this, AFXInstallerAccessibilityIdentifierOnboardingTopPane);
    AFXSetAccessibilityIdentifier(ui_->iconView,
                                  AFXInstallerAccessibilityIdentifierOnboardingTopPaneIconView);
}

AFXFirstScreenTopPaneView::~AFXFirstScreenTopPaneView() = default;

QLabel* AFXFirstScreenTopPaneView::iconView() const {
    return ui_->iconView;
}

QWidget* AFXFirstScreenTopPaneView::iconViewPlaceholder() const {
    return ui_->iconViewPlaceholder;
}

void AFXFirstScreenTopPaneView::showAnimated(bool animated, std::function<void()> completion) {
    QWidget* placeholder = ui_->iconViewPlaceholder;
    if (!animated) {
        setHidden(false);
        placeholder->setHidden(false);
        completion();
        return;
    }
    ensurePolished();
    if (layout() != nullptr) {
        layout()->activate();
    }
    placeholder->setHidden(true);
    QLabel* snapshot = AFXSnapshotView(placeholder);
    const QRect frame = placeholder->geometry();
    snapshot->setGeometry(frame.adjusted(kZoomInset, kZoomInset, -kZoomInset, -kZoomInset));
    snapshot->show();
    setHidden(false);
    auto* zoom = AFXAnimationContext::animation(snapshot, "geometry", frame, 0.3,
                                                AFXAnimationContext::defaultTimingFunction());
    QPointer<QWidget> guardedPlaceholder = placeholder;
    AFXAnimationContext::run(zoom, [guardedPlaceholder, snapshot, completion = std::move(completion)] {
        if (guardedPlaceholder) {
            guardedPlaceholder->setHidden(false);
        }
        snapshot->hide();
        snapshot->deleteLater();
        completion();
    });
}

void AFXFirstScreenTopPaneView::hideAnimated(bool animated, std::function<void()> completion) {
    QWidget* placeholder = ui_->iconViewPlaceholder;
    if (!animated) {
        setHidden(true);
        placeholder->setHidden(true);
        completion();
        return;
    }
    if (layout() != nullptr) {
        layout()->activate();
    }
    placeholder->setHidden(true);
    QLabel* snapshot = AFXSnapshotView(placeholder);
    const QRect frame = placeholder->geometry();
    snapshot->setGeometry(frame);
    snapshot->show();
    auto* zoom = AFXAnimationContext::animation(
        snapshot, "geometry", frame.adjusted(kZoomInset, kZoomInset, -kZoomInset, -kZoomInset), 0.3,
        AFXAnimationContext::defaultTimingFunction());
    AFXAnimationContext::run(zoom, [snapshot, completion = std::move(completion)] {
        completion();
        snapshot->hide();
        snapshot->deleteLater();
    });
}
