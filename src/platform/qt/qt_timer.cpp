#include "platform/qt/qt_timer.h"

#include <QTimer>

namespace qf {

QtTimer::QtTimer() : timer_(std::make_unique<QTimer>())
{
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this, alive = std::weak_ptr<char>(alive_)] {
        if (!alive.expired()) {
            tick();
        }
    });
}

QtTimer::~QtTimer()
{
    alive_.reset();
    timer_->stop();
    // Destroyed from its own tick: the QTimer is still delivering that signal.
    if (tickDepth_ > 0) {
        timer_.release()->deleteLater();
    }
}

void QtTimer::setInterval(int ms)
{
    interval_ = ms < 0 ? 0 : ms;
    if (enabled_) {
        restart();
    }
}

void QtTimer::setEnabled(bool enabled)
{
    enabled_ = enabled;
    if (enabled_) {
        restart();
    } else {
        timer_->stop();
    }
}

// An enabled timer with interval 0 stays enabled but does not tick.
void QtTimer::restart()
{
    if (interval_ > 0) {
        timer_->start(interval_);
    } else {
        timer_->stop();
    }
}

void QtTimer::tick()
{
    const auto handler = onTick;
    if (!handler) {
        return;
    }
    std::weak_ptr<char> alive = alive_;
    ++tickDepth_;
    handler();
    if (!alive.expired()) {
        --tickDepth_;
    }
}

} // namespace qf
