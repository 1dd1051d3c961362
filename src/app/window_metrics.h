// The metrics the main window lays itself out by, shared by its building and its placing.
#pragma once

#include <QWidget>

namespace qf::window_metrics {

constexpr int kClientWidth = 682; // the default size; the settings block never gets narrower
constexpr int kClientHeight = 540;
constexpr int kPaneLines = 3;  // what a pane keeps when the window is made smaller
constexpr int kMargin = 4;     // around the frame, the buttons and the panes
constexpr int kInset = 6;      // inside the frame
constexpr int kRowHeight = 22; // fields, check boxes and their captions
constexpr int kRowStep = 26;
constexpr int kGroupGap = 10; // between the groups of one row
constexpr int kLabelGap = 4;  // between a caption and its field
constexpr int kButtonHeight = 28;
constexpr double kSmallestPointSize = 6.0;

// Puts a widget at (x, y) with its preferred width unless one is given; returns the x after it.
inline int put(QWidget* widget, int x, int y, int width = -1)
{
    if (width < 0) {
        width = widget->sizeHint().width();
    }
    widget->setGeometry(x, y, width, kRowHeight);
    return x + width;
}

inline int preferredWidth(QWidget* widget)
{
    return widget->sizeHint().width();
}

} // namespace qf::window_metrics
