// Message boxes show the program's texts as they stand, fields of the operator's included.
#include "platform/qt/qt_desktop.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

namespace qf {
namespace {

struct Shown {
    QString title;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::Warning;
};

// Notes what the next box shows, then answers it with the given button.
void answerNextBox(Shown& shown, QMessageBox::StandardButton answer)
{
    QTimer::singleShot(0, [&shown, answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shown = {box->windowTitle(), box->text(), box->textFormat(), box->icon()};
        box->button(answer)->click();
    });
}

TEST(QtDialogs, boxes_show_markup_and_entities_as_typed_without_icon)
{
    QtDialogs dialogs;
    Shown shown;
    answerNextBox(shown, QMessageBox::Ok);
    dialogs.showMessage("UDP port <i>2237</i> &lt; is in use");
    EXPECT_EQ(shown.title, "Quillfeed");
    EXPECT_EQ(shown.text, "UDP port <i>2237</i> &lt; is in use");
    EXPECT_EQ(shown.format, Qt::PlainText);
    EXPECT_EQ(shown.icon, QMessageBox::NoIcon);

    answerNextBox(shown, QMessageBox::Yes);
    EXPECT_TRUE(dialogs.askYesNo("<b>Yes?</b>"));
    EXPECT_EQ(shown.format, Qt::PlainText);
    answerNextBox(shown, QMessageBox::No);
    EXPECT_FALSE(dialogs.askYesNo("No?"));
}

} // namespace
} // namespace qf
