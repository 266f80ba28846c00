#include "AFXSecondScreenTopPaneView.h"

#include "ui_AFXSecondScreenTopPaneView.h"

AFXSecondScreenTopPaneView::AFXSecondScreenTopPaneView()
    : ui_(std::make_unique<Ui::AFXSecondScreenTopPaneView>()) {
    ui_->setupUi(this);
    keepSubviewPlacesWhenHidden();
    setImage(ui_->iconView, QStringLiteral("App0"));
    const QList<QLabel*> apps = {ui_->app1View, ui_->app2View,  ui_->app3View,  ui_->app4View,
                                 ui_->app5View, ui_->app6View,  ui_->app7View,  ui_->app8View,
                                 ui_->app9View, ui_->app10View, ui_->app11View, ui_->app12View};
    for (int i = 0; i < apps.size(); ++i) {
        setImage(apps[i], QStringLiteral("App%1").arg(i + 1));
    }
}

AFXSecondScreenTopPaneView::~AFXSecondScreenTopPaneView() = default;

QLabel* AFXSecondScreenTopPaneView::iconView() const {
    return ui_->iconView;
}

QWidget* AFXSecondScreenTopPaneView::leftPartContainer() const {
    return ui_->leftPartContainer;
}

QWidget* AFXSecondScreenTopPaneView::rightPartContainer() const {
    return ui_->rightPartContainer;
}
