#pragma once

#include "AFXTopPaneView.h"

// A pane with an icon between a left and a right group of pictures: the
// icon zooms in, the groups slide in from the sides and fade in.
class AFXTwoPartTopPaneView : public AFXTopPaneView {
public:
    void showAnimated(bool animated, std::function<void()> completion) override;
    void hideAnimated(bool animated, std::function<void()> completion) override;

    virtual QWidget* leftPartContainer() const = 0;
    virtual QWidget* rightPartContainer() const = 0;

    // Hides or shows every direct subview.
    void toggleSubviewsHidden(bool hidden);
    virtual bool shouldAnimateIconView() const { return true; }
    // Seconds between a show and the first movement.
    virtual double showingDelay() const { return 0.0; }

    void showIconViewAnimatedWithCompletion(std::function<void()> completion);
    void hideIconViewAnimatedWithCompletion(std::function<void()> completion);
    void showPartsAnimatedWithCompletion(std::function<void()> completion);
    void hidePartsAnimatedWithCompletion(std::function<void()> completion);

protected:
    explicit AFXTwoPartTopPaneView(QWidget* parent = nullptr) : AFXTopPaneView(parent) {}
    // Call once the interface file is loaded.
    void keepSubviewPlacesWhenHidden();
};
