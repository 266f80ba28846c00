#pragma once

#include <QWidget>

// The base of the onboarding views. Their animations place snapshots over
// and beyond subviews, which only works on a plain, unclipped background:
// the base keeps the view transparent to the window behind it.
class AFXExtendedView : public QWidget {
public:
    explicit AFXExtendedView(QWidget* parent = nullptr) : QWidget(parent) {
        setAttribute(Qt::WA_TranslucentBackground);
    }
};
