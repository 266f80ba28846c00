#pragma once

#include <QWidget>

#include <cstdint>
#include <memory>

namespace Ui {
class AFXPageNumberView;
}

class AFXPageNumberView;

class AFXPageNumberViewDelegate {
public:
    virtual ~AFXPageNumberViewDelegate() = default;
    virtual void pageNumberViewWasSelected(AFXPageNumberView* view) = 0;
};

// One numbered button of the pagination row: the number, on a round
// background while it is the current page. Lives on the main thread.
class AFXPageNumberView : public QWidget {
public:
    // Made from its interface file.
    static AFXPageNumberView* make(QWidget* parent = nullptr);
    ~AFXPageNumberView() override;

    bool isSelected() const { return selected_; }
    void setSelected(bool selected);
    std::int64_t pageNumber() const { return pageNumber_; }
    void setPageNumber(std::int64_t pageNumber);
    void setDelegate(AFXPageNumberViewDelegate* delegate) { delegate_ = delegate; }

    QWidget* selectedBackgroundView() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    explicit AFXPageNumberView(QWidget* parent);
    void updateUI();
    void updatePageNumberLabel();
    void updateSelectedState();

    std::unique_ptr<Ui::AFXPageNumberView> ui_;
    bool selected_ = false;
    std::int64_t pageNumber_ = 0;
    AFXPageNumberViewDelegate* delegate_ = nullptr;
};
