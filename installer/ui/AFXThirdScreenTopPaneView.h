#pragma once

#include "AFXTwoPartTopPaneView.h"

#include <memory>

namespace Ui {
class AFXThirdScreenTopPaneView;
}

// Page 3's pane: the store's icon between eight categories of apps.
class AFXThirdScreenTopPaneView : public AFXTwoPartTopPaneView {
public:
    AFXThirdScreenTopPaneView();
    ~AFXThirdScreenTopPaneView() override;

    QLabel* iconView() const override;
    QWidget* leftPartContainer() const override;
    QWidget* rightPartContainer() const override;
    double showingDelay() const override { return 0.3; }

private:
    std::unique_ptr<Ui::AFXThirdScreenTopPaneView> ui_;
};
