#include "app/window_fit.h"

#include <algorithm>
#include <cmath>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace qf {
namespace {

// The frame the window manager will draw, until it tells: a common title bar and border.
constexpr int kTitleBarDevice = 40;
constexpr int kTitleBarLogical = 32;
constexpr int kFrameSide = 4;
// What a window manager may trim off a size it is given when it rounds at a fractional scale.
constexpr int kTrim = 2;

bool fractional(const QScreen* screen)
{
    return screen != nullptr && screen->devicePixelRatio() != std::floor(screen->devicePixelRatio());
}

} // namespace

const QScreen* WindowFit::screen() const
{
    if (window_.isVisible()) {
        return window_.screen();
    }
    if (const QScreen* at = QGuiApplication::screenAt(window_.pos())) {
        return at;
    }
    return QGuiApplication::primaryScreen();
}

// Known once the window is shown in its frame; before that, room for a title bar drawn at the
// desktop's own scale or at none, whichever is larger.
QMargins WindowFit::frameMargins() const
{
    if (window_.isVisible()) {
        const QRect outer = window_.frameGeometry();
        const QRect inner = window_.geometry();
        const QMargins known(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                             outer.bottom() - inner.bottom());
        if (!known.isNull()) {
            return known;
        }
    }
    const QScreen* on = screen();
    const double ratio = on != nullptr ? on->devicePixelRatio() : 1.0;
    const int titleBar = std::max(kTitleBarLogical, static_cast<int>(std::ceil(kTitleBarDevice / ratio)));
    return {kFrameSide, titleBar, kFrameSide, kFrameSide};
}

QSize WindowFit::room() const
{
    const QScreen* on = screen();
    if (on == nullptr) {
        return {QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
    }
    // At a fractional scale the area and the frame come rounded to whole logical pixels.
    const int slack = fractional(on) ? 1 : 0;
    const QMargins frame = frameMargins();
    const QSize available = on->availableGeometry().size();
    return {std::max(0, available.width() - frame.left() - frame.right() - slack),
            std::max(0, available.height() - frame.top() - frame.bottom() - slack)};
}

QSize WindowFit::fit(QSize wanted)
{
    frame_ = frameMargins();
    given_ = wanted.boundedTo(room()).expandedTo(window_.minimumSize());
    return given_;
}

bool WindowFit::programSize() const
{
    const QSize trimmed = given_ - window_.size();
    return given_.isValid() && trimmed.width() >= 0 && trimmed.width() <= kTrim && trimmed.height() >= 0 &&
           trimmed.height() <= kTrim;
}

bool WindowFit::outdated() const
{
    return programSize() && frameMargins() != frame_;
}

} // namespace qf
