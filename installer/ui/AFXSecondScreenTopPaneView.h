#pragma once

#include "AFXTwoPartTopPaneView.h"

#include <memory>

namespace Ui {
class AFXSecondScreenTopPaneView;
}

// Page 2's pane: the app among a field of twelve other apps of the store.
class AFXSecondScreenTopPaneView : public AFXTwoPartTopPaneView {
public:
    AFXSecondScreenTopPaneView();
    ~AFXSecondScreenTopPaneView() override;

    QLabel* iconView() const override;
    QWidget* leftPartContainer() const override;
    QWidget* rightPartContainer() const override;
    bool shouldAnimateIconView() const override { return false; }

private:
    std::unique_ptr<Ui::AFXSecondScreenTopPaneView> ui_;
};
