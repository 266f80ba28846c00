#pragma once

#include "AFXAnimatable.h"
#include "AFXExtendedView.h"

class QLabel;

// The picture area at the top of an onboarding page. The base shows and
// hides itself at once; the panes of the pages animate their pictures.
class AFXTopPaneView : public AFXExtendedView, public AFXAnimatable {
public:
    static AFXTopPaneView* firstScreenTopPaneView();
    static AFXTopPaneView* secondScreenTopPaneView();
    static AFXTopPaneView* thirdScreenTopPaneView();

    void showAnimated(bool animated, std::function<void()> completion) override;
    void hideAnimated(bool animated, std::function<void()> completion) override;

    virtual QLabel* iconView() const = 0;

protected:
    explicit AFXTopPaneView(QWidget* parent = nullptr) : AFXExtendedView(parent) {}
    // Shows the bundle's image `name` in `view`, drawn at the view's size.
    static void setImage(QLabel* view, const QString& name);
    // Keeps a subview's place in the layout while it is hidden, so hiding
    // it for an animation moves nothing else.
    static void keepPlaceWhenHidden(QWidget* view);
};
