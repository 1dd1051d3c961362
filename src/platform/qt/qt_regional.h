// Regional on the system locale: separators, abbreviated month names and the general date-time
// form, as Latin-1 bytes because the program's text is 8-bit.
#pragma once

#include <QLocale>
#include <QString>

#include "platform/regional.h"

namespace qf {

class QtRegional final : public Regional {
  public:
    QtRegional() : QtRegional(QLocale::system()) {}
    explicit QtRegional(const QLocale& locale);

    std::string dateSeparator() const override;
    std::string timeSeparator() const override;
    std::string monthAbbreviation(int month) const override;
    std::string generalDateTime(const DateTime& t) const override;

  private:
    // Read once: spots and trace lines ask for these at every datagram.
    QLocale locale_;
    std::string dateSeparator_;
    std::string timeSeparator_;
    std::string months_[12];
    QString longTime_;
};

// The first character of a date or time format that is a visible Latin-1 mark, neither letter,
// digit nor blank (quoted text skipped), else the fallback: "d MMM yyyy" has none to offer.
QString separatorOfFormat(const QString& format, const QString& fallback);

} // namespace qf
