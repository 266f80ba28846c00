#pragma once

#include "AFXTopPaneView.h"

#include <memory>

namespace Ui {
class AFXFirstScreenTopPaneView;
}

// Page 1's pane: the app being installed, zooming in and out.
class AFXFirstScreenTopPaneView : public AFXTopPaneView {
public:
    AFXFirstScreenTopPaneView();
    ~AFXFirstScreenTopPaneView() override;

    void showAnimated(bool animated, std::function<void()> completion) override;
    void hideAnimated(bool animated, std::function<void()> completion) override;

    QLabel* iconView() const override;
    QWidget* iconViewPlaceholder() const;

private:
    std::unique_ptr<Ui::AFXFirstScreenTopPaneView> ui_;
};
