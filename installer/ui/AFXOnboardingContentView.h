#pragma once

#include "AFXAnimatable.h"
#include "AFXExtendedView.h"

#include <memory>

namespace Ui {
class AFXOnboardingContentView;
}

class AFXTopPaneView;
class QLabel;

// One onboarding page: a title and a description under a top pane with
// pictures. Each of the three pages is one shared view, made when first
// asked for (again only if a window that held it took it with it). Lives
// on the main thread.
class AFXOnboardingContentView : public AFXExtendedView, public AFXAnimatable {
public:
    static AFXOnboardingContentView* firstScreenContentView();
    static AFXOnboardingContentView* secondScreenContentView();
    static AFXOnboardingContentView* thirdScreenContentView();
    ~AFXOnboardingContentView() override;

    AFXTopPaneView* topPaneView() const { return topPaneView_; }
    void setTopPaneView(AFXTopPaneView* pane);
    QWidget* labelsContainerView() const;
    QLabel* titleField() const;
    QLabel* descriptionField() const;

    void showAnimated(bool animated, std::function<void()> completion) override;
    void hideAnimated(bool animated, std::function<void()> completion) override;
    void showLabelsContainterAnimated(bool animated, std::function<void()> completion);
    void hideLabelsContainterAnimated(bool animated, std::function<void()> completion);

private:
    AFXOnboardingContentView();
    static AFXOnboardingContentView* make(AFXTopPaneView* pane, const QString& title,
                                          const QString& description);
    void setupAccessibilityAnchors();
    void animateLabelsToAlpha(double alpha, bool animated, std::function<void()> completion);

    std::unique_ptr<Ui::AFXOnboardingContentView> ui_;
    AFXTopPaneView* topPaneView_ = nullptr;
};
