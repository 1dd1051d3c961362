#include "platform/qt/qt_clock.h"

#include <QDateTime>
#include <QThread>
#include <QTime>

namespace qf {

DateTime QtClock::now()
{
    const QDateTime t = QDateTime::currentDateTime();
    const QDate d = t.date();
    const QTime h = t.time();
    return DateTime{d.year(), d.month(), d.day(), h.hour(), h.minute(), h.second()};
}

int QtClock::milliseconds()
{
    return QTime::currentTime().msec();
}

void QtClock::sleep(int ms)
{
    if (ms > 0) {
        QThread::msleep(static_cast<unsigned long>(ms));
    }
}

} // namespace qf
