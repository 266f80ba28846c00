#include "AFXOnboardingContentView.h"

#include "AFXAnimationContext.h"
#include "AFXInstallerAccessibilityIdentifiers.h"
#include "AFXTopPaneView.h"
#include "platform/Bundle.h"
#include "platform/StringFormat.h"
#include "support/BRViewUtilities.h"
#include "ui_AFXOnboardingContentView.h"

#include <QPointer>
#include <QPropertyAnimation>

namespace {

const QString kAppName = QStringLiteral("Orbit Notes");

QString localized(const QString& key) {
    return platform::Bundle::mainBundle()->localizedStringForKey(key, QString(), QString());
}

// The shared page of one kind; made again only when the window holding it
// was destroyed with it.
AFXOnboardingContentView* shared(QPointer<AFXOnboardingContentView>& page,
                                 const std::function<AFXOnboardingContentView*()>& make) {
    if (!page) {
        page = make();
    }
    return page;
}

} // namespace

AFXOnboardingContentView* AFXOnboardingContentView::firstScreenContentView() {
    static QPointer<AFXOnboardingContentView> page;
    return shared(page, [] {
        return make(
            AFXTopPaneView::firstScreenTopPaneView(),
            platform::stringWithFormat(localized(QStringLiteral("FirstScreenTitle")), kAppName),
            platform::stringWithFormat(localized(QStringLiteral("FirstScreenDescription")), kAppName));
    });
}

AFXOnboardingContentView* AFXOnboardingContentView::secondScreenContentView() {
    static QPointer<AFXOnboardingContentView> page;
    return shared(page, [] {
        return make(AFXTopPaneView::secondScreenTopPaneView(), localized(QStringLiteral("SecondScreenTitle")),
                    localized(QStringLiteral("SecondScreenDescription")));
    });
}

AFXOnboardingContentView* AFXOnboardingContentView::thirdScreenContentView() {
    static QPointer<AFXOnboardingContentView> page;
    return shared(page, [] {
        return make(AFXTopPaneView::thirdScreenTopPaneView(), localized(QStringLiteral("ThirdScreenTitle")),
                    localized(QStringLiteral("ThirdScreenDescription")));
    });
}

AFXOnboardingContentView* AFXOnboardingContentView::make(AFXTopPaneView* pane, const QString& title,
                                                         const QString& description) {
    auto* page = new AFXOnboardingContentView;
    page->setTopPaneView(pane);
    page->ui_->titleField->setText(title);
    page->ui_->descriptionField->setText(description);
    return page;
}

AFXOnboardingContentView::AFXOnboardingContentView() : ui_(std::make_unique<Ui::AFXOnboardingContentView>()) {
    ui_->setupUi(this);
    setupAccessibilityAnchors();
}

AFXOnboardingContentView::~AFXOnboardingContentView() = default;

void AFXOnboardingContentView::setupAccessibilityAnchors() {
    AFXSetAccessibilityIdentifier(this, AFXInstallerAccessibilityIdentifierOnboardingContentView);
    AFXSetAccessibilityIdentifier(ui_->titleField, AFXInstallerAccessibilityIdentifierOnboardingTitleLabel);
    AFXSetAccessibilityIdentifier(ui_->descriptionField,
                                  AFXInstallerAccessibilityIdentifierOnboardingDescriptionLabel);
}

QWidget* AFXOnboardingContentView::labelsContainerView() const {
    return ui_->labelsContainerView;
}

QLabel* AFXOnboardingContentView::titleField() const {
    return ui_->titleField;
}

QLabel* AFXOnboardingContentView::descriptionField() const {
    return ui_->descriptionField;
}

void AFXOnboardingContentView::setTopPaneView(AFXTopPaneView* pane) {
    if (pane == topPaneView_) {
        return;
    }
    delete topPaneView_;
    topPaneView_ = pane;
    BREmbedView(ui_->topPanePlaceholderView, pane);
}

void AFXOnboardingContentView::showAnimated(bool animated, std::function<void()> completion) {
    const auto done = AFXAnimationContext::afterBoth(std::move(completion));
    showLabelsContainterAnimated(animated, done);
    topPaneView_->showAnimated(animated, done);
}

void AFXOnboardingContentView::hideAnimated(bool animated, std::function<void()> completion) {
    const auto done = AFXAnimationContext::afterBoth(std::move(completion));
    hideLabelsContainterAnimated(animated, done);
    topPaneView_->hideAnimated(animated, done);
}

void AFXOnboardingContentView::showLabelsContainterAnimated(bool animated, std::function<void()> completion) {
    if (animated) {
        AFXAnimationContext::setAlpha(ui_->labelsContainerView, 0.0);
    }
    animateLabelsToAlpha(1.0, animated, std::move(completion));
}

void AFXOnboardingContentView::hideLabelsContainterAnimated(bool animated, std::function<void()> completion) {
    animateLabelsToAlpha(0.0, animated, std::move(completion));
}

void AFXOnboardingContentView::animateLabelsToAlpha(double alpha, bool animated,
                                                    std::function<void()> completion) {
    if (!animated) {
        AFXAnimationContext::setAlpha(ui_->labelsContainerView, alpha);
        completion();
        return;
    }
    AFXAnimationContext::run(AFXAnimationContext::alphaAnimation(ui_->labelsContainerView, alpha, 0.3,
                                                                 AFXAnimationContext::easeInEaseOut()),
                             std::move(completion));
}
