#include "AFXThirdScreenTopPaneView.h"

#include "ui_AFXThirdScreenTopPaneView.h"

AFXThirdScreenTopPaneView::AFXThirdScreenTopPaneView()
    : ui_(std::make_unique<Ui::AFXThirdScreenTopPaneView>()) {
    ui_->setupUi(this);
    keepSubviewPlacesWhenHidden();
    setImage(ui_->iconView, QStringLiteral("KestrelIcon"));
    const QList<QLabel*> categories = {ui_->category1View, ui_->category2View, ui_->category3View,
                                       ui_->category4View, ui_->category5View, ui_->category6View,
                                       ui_->category7View, ui_->category8View};
    for (int i = 0; i < categories.size(); ++i) {
        setImage(categories[i], QStringLiteral("Category%1").arg(i + 1));
    }
}

AFXThirdScreenTopPaneView::~AFXThirdScreenTopPaneView() = default;

QLabel* AFXThirdScreenTopPaneView::iconView() const {
    return ui_->iconView;
}

QWidget* AFXThirdScreenTopPaneView::leftPartContainer() const {
    return ui_->leftPartContainer;
}

QWidget* AFXThirdScreenTopPaneView::rightPartContainer() const {
    return ui_->rightPartContainer;
}
