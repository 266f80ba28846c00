#include "AFXPaginationView.h"

#include <QHBoxLayout>

AFXPaginationView::AFXPaginationView(QWidget* parent) : QWidget(parent) {
    setPagesCount(3);
    enabled_ = true;
}

void AFXPaginationView::setEnabled(bool enabled) {
    enabled_ = enabled;
    // While disabled no click reaches the row.
    for (auto* view : pageNumberViews_) {
        view->setAttribute(Qt::WA_TransparentForMouseEvents, !enabled);
    }
}

void AFXPaginationView::setPagesCount(std::int64_t count) {
    pagesCount_ = count;
    setupUI();
}

void AFXPaginationView::setupUI() {
    qDeleteAll(pageNumberViews_);
    pageNumberViews_.clear();
    if (pagesContainer_ == nullptr) {
        pagesContainer_ = new QHBoxLayout(this);
        pagesContainer_->setContentsMargins(0, 0, 0, 0);
        pagesContainer_->setSpacing(0);
        pagesContainer_->addStretch();
    }
    for (std::int64_t number = 1; number <= pagesCount_; ++number) {
        auto* view = AFXPageNumberView::make(this);
        view->setPageNumber(number);
        view->setDelegate(this);
        view->setAttribute(Qt::WA_TransparentForMouseEvents, !enabled_);
        pageNumberViews_.append(view);
        pagesContainer_->insertWidget(pagesContainer_->count() - 1, view);
    }
    currentPageIndex_ = 0;
    if (!pageNumberViews_.isEmpty()) {
        pageNumberViews_.first()->setSelected(true);
    }
}

void AFXPaginationView::setCurrentPageIndex(std::int64_t index) {
    if (!enabled_ || index < 0 || index == currentPageIndex_ || index >= pagesCount_) {
        return;
    }
    pageNumberViews_.value(currentPageIndex_)->setSelected(false);
    currentPageIndex_ = index;
    pageNumberViews_.value(currentPageIndex_)->setSelected(true);
}

bool AFXPaginationView::selectNextPageWithUserAction(bool isUserAction) {
    if (!enabled_ || currentPageIndex_ >= pagesCount_ - 1) {
        return false;
    }
    setCurrentPageIndex(currentPageIndex_ + 1);
    if (delegate_ != nullptr) {
        delegate_->paginationViewDidSelectPage(this, currentPageIndex_, isUserAction);
    }
    return true;
}

bool AFXPaginationView::selectPreviousPageWithUserAction(bool isUserAction) {
    if (!enabled_ || currentPageIndex_ < 1) {
        return false;
    }
    setCurrentPageIndex(currentPageIndex_ - 1);
    if (delegate_ != nullptr) {
        delegate_->paginationViewDidSelectPage(this, currentPageIndex_, isUserAction);
    }
    return true;
}

void AFXPaginationView::pageNumberViewWasSelected(AFXPageNumberView* view) {
    const auto index = pageNumberViews_.indexOf(view);
    if (index < 0) {
        return;
    }
    setCurrentPageIndex(index);
    if (delegate_ != nullptr) {
        delegate_->paginationViewDidSelectPage(this, index, true);
    }
}
