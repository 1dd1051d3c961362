#include "platform/qt/qt_regional.h"

#include <QDate>
#include <QTime>

namespace qf {
namespace {

std::string latin1(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// The desktop's long time names no zone; Qt's often ends in one ("t").
QString withoutTimeZone(const QString& format)
{
    QString kept;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
        }
        if (quoted || c != QLatin1Char('t')) {
            kept += c;
        }
    }
    return kept.trimmed();
}

// Visible and held by the 8-bit trace: a direction mark (Arabic) or a vowel sign (Thai) would
// come out as "?".
bool isSeparator(QChar c)
{
    return c.unicode() <= 0xFF && c.isPrint() && !c.isLetterOrNumber() && !c.isSpace();
}

} // namespace

QString separatorOfFormat(const QString& format, const QString& fallback)
{
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
        } else if (!quoted && isSeparator(c)) {
            return QString(c);
        }
    }
    return fallback;
}

QtRegional::QtRegional(const QLocale& locale)
    : locale_(locale),
      dateSeparator_(latin1(separatorOfFormat(locale.dateFormat(QLocale::ShortFormat), QStringLiteral("/")))),
      timeSeparator_(latin1(separatorOfFormat(locale.timeFormat(QLocale::LongFormat), QStringLiteral(":")))),
      longTime_(withoutTimeZone(locale.timeFormat(QLocale::LongFormat)))
{
    for (int m = 1; m <= 12; ++m) {
        months_[m - 1] = latin1(locale.monthName(m, QLocale::ShortFormat));
    }
}

std::string QtRegional::dateSeparator() const
{
    return dateSeparator_;
}

std::string QtRegional::timeSeparator() const
{
    return timeSeparator_;
}

std::string QtRegional::monthAbbreviation(int month) const
{
    return month >= 1 && month <= 12 ? months_[month - 1] : std::string();
}

std::string QtRegional::generalDateTime(const DateTime& t) const
{
    const QDate date(t.year, t.month, t.day);
    const QTime time(t.hour, t.minute, t.second);
    return latin1(locale_.toString(date, QLocale::ShortFormat) + QLatin1Char(' ') + locale_.toString(time, longTime_));
}

} // namespace qf
