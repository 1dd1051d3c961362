#include "platform/qt/qt_desktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QString>
#include <QUrl>

namespace qf {
namespace {

QString fromBytes(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QMessageBox::StandardButton ask(const std::string& text, QMessageBox::StandardButtons buttons)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quillfeed"), fromBytes(text), buttons,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText); // field texts in a message are shown as typed, never as markup
    box.setWindowModality(Qt::ApplicationModal);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

void QtDialogs::showMessage(const std::string& text)
{
    ask(text, QMessageBox::Ok);
}

bool QtDialogs::askYesNo(const std::string& text)
{
    return ask(text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void QtShell::openUrl(const std::string& url)
{
    QDesktopServices::openUrl(QUrl(fromBytes(url), QUrl::TolerantMode));
}

void QtShell::openFolder(const std::string& path)
{
    QDesktopServices::openUrl(
        QUrl::fromLocalFile(QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size()))));
}

} // namespace qf
