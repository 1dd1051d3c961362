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

} // namespace

QString separatorOfFormat(const QString& format, const QString& fallback)
{
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
        } else if (!quoted && !c.isLetter() && !c.isSpace()) {
            return QString(c);
        }
    }
    return fallback;
}

std::string QtRegional::dateSeparator() const
{
    return latin1(separatorOfFormat(locale_.dateFormat(QLocale::ShortFormat), QStringLiteral("/")));
}

std::string QtRegional::timeSeparator() const
{
    return latin1(separatorOfFormat(locale_.timeFormat(QLocale::LongFormat), QStringLiteral(":")));
}

std::string QtRegional::monthAbbreviation(int month) const
{
    if (month < 1 || month > 12) {
        return {};
    }
    return latin1(locale_.monthName(month, QLocale::ShortFormat));
}

std::string QtRegional::generalDateTime(const DateTime& t) const
{
    const QDate date(t.year, t.month, t.day);
    const QTime time(t.hour, t.minute, t.second);
    return latin1(locale_.toString(date, QLocale::ShortFormat) + QLatin1Char(' ') +
                  locale_.toString(time, withoutTimeZone(locale_.timeFormat(QLocale::LongFormat))));
}

} // namespace qf
