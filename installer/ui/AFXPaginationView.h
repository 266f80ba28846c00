#pragma once

#include "AFXPageNumberView.h"

#include <QList>
#include <QWidget>

#include <cstdint>

class QHBoxLayout;
class AFXPaginationView;

class AFXPaginationViewDelegate {
public:
    virtual ~AFXPaginationViewDelegate() = default;
    virtual void paginationViewDidSelectPage(AFXPaginationView* view, std::int64_t page,
                                             bool isUserAction) = 0;
};

// The row of numbered page buttons under the onboarding page: owns the
// current page and tells its delegate about every change, marked as the
// user's or not. While disabled it refuses every change and every click.
// Lives on the main thread.
class AFXPaginationView : public QWidget, public AFXPageNumberViewDelegate {
public:
    explicit AFXPaginationView(QWidget* parent = nullptr);

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    void setDelegate(AFXPaginationViewDelegate* delegate) { delegate_ = delegate; }
    std::int64_t pagesCount() const { return pagesCount_; }
    void setPagesCount(std::int64_t count);
    std::int64_t currentPageIndex() const { return currentPageIndex_; }
    // Changes the page without telling the delegate.
    void setCurrentPageIndex(std::int64_t index);
    const QList<AFXPageNumberView*>& pageNumberViews() const { return pageNumberViews_; }

    // Answer whether the page changed.
    bool selectNextPageWithUserAction(bool isUserAction);
    bool selectPreviousPageWithUserAction(bool isUserAction);

    void pageNumberViewWasSelected(AFXPageNumberView* view) override;

private:
    void setupUI();

    bool enabled_ = true;
    AFXPaginationViewDelegate* delegate_ = nullptr;
    std::int64_t pagesCount_ = 0;
    std::int64_t currentPageIndex_ = 0;
    QHBoxLayout* pagesContainer_ = nullptr;
    QList<AFXPageNumberView*> pageNumberViews_;
};
