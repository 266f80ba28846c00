#include "AFXTopPaneView.h"

#include "AFXFirstScreenTopPaneView.h"
#include "AFXInstallerExtensions.h"
#include "AFXSecondScreenTopPaneView.h"
#include "AFXThirdScreenTopPaneView.h"

#include <QApplication>
#include <QLabel>

AFXTopPaneView* AFXTopPaneView::firstScreenTopPaneView() {
    return new AFXFirstScreenTopPaneView;
}

AFXTopPaneView* AFXTopPaneView::secondScreenTopPaneView() {
    return new AFXSecondScreenTopPaneView;
}

AFXTopPaneView* AFXTopPaneView::thirdScreenTopPaneView() {
    return new AFXThirdScreenTopPaneView;
}

void AFXTopPaneView::showAnimated(bool, std::function<void()> completion) {
    setHidden(false);
    completion();
}

void AFXTopPaneView::hideAnimated(bool, std::function<void()> completion) {
    setHidden(true);
    completion();
}

void AFXTopPaneView::setImage(QLabel* view, const QString& name) {
    // Views of fixed size: the interface file's size is the one it keeps.
    view->setPixmap(AFXImageNamed(name, view->minimumSize(), qApp->devicePixelRatio()));
}

void AFXTopPaneView::keepPlaceWhenHidden(QWidget* view) {
    QSizePolicy policy = view->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    view->setSizePolicy(policy);
}
