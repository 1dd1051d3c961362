// Fits the main window to the screen it opens on, in the frame the window manager draws, and tells a
// size the program gave the window from one the operator chose.
#pragma once

#include <QMargins>
#include <QSize>

class QScreen;
class QWidget;

namespace qf {

class WindowFit {
  public:
    explicit WindowFit(const QWidget& window) : window_(window) {}

    // The largest window that, in its frame, fits the available area of the screen it is on.
    QSize room() const;
    // The size to give the window for the one wanted, no larger than the room and no smaller than
    // the window's minimum; remembered as the program's.
    QSize fit(QSize wanted);
    // The window still has the program's size, but its frame or screen now allow another.
    bool outdated() const;
    // The window has the size the program gave it (less what a window manager may trim).
    bool programSize() const;
    // The operator has chosen a size: the program gives none until the next fit.
    void release() { given_ = QSize(); }

  private:
    QMargins frameMargins() const;
    const QScreen* screen() const;

    const QWidget& window_;
    QSize given_;
    QMargins frame_; // the frame that size allowed for
};

} // namespace qf
