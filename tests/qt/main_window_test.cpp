// The main window mirrors the window model and feeds the operator's actions back into it.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <limits>

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QFocusEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextDocument>
#include <QTimer>

namespace qf {
namespace {

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void type(QWidget* widget, const QString& text)
{
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, ch.toUpper().unicode(), Qt::NoModifier, QString(ch));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, ch.toUpper().unicode(), Qt::NoModifier, QString(ch));
        QApplication::sendEvent(widget, &release);
    }
}

void click(QWidget* widget)
{
    const QPointF at = QRectF(widget->rect()).center();
    const QPointF global = widget->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

class MainWindowTest : public ::testing::Test {
  protected:
    template <typename T> T* child(const char* name)
    {
        T* widget = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QPlainTextEdit* pane(const char* name) { return child<QPlainTextEdit>(name); }
    // Waits for the coalesced pane insertion; returns as soon as the timer has fired.
    void flush() { wait(MainWindow::kFlushIntervalMs + 20); }

    WindowModel model;
    MainWindow window{model};
};

TEST_F(MainWindowTest, shows_the_models_captions_and_the_fixed_texts)
{
    model.setCaption("Quillfeed - V 2.16");
    EXPECT_EQ(window.windowTitle(), "Quillfeed - V 2.16");
    EXPECT_FALSE(window.windowIcon().pixmap(32, 32).isNull()) << "the program's own icon, not the toolkit's";

    const struct {
        const char* name;
        const char* text;
    } buttons[] = {{"CStart", "&Start monitoring"},
                   {"CClear", "Clear messages"},
                   {"CBHelpCallsign", "?"},
                   {"Command2", "?"},
                   {"CBTrace", "Write tracefile"},
                   {"CBAutoMon", "Start monitoring on program startup"},
                   {"CBLogUpload", "Upload QSO to Orbalis's online log"},
                   {"CBSoloCQ", "Only report stations CQing"}};
    for (const auto& row : buttons) {
        EXPECT_EQ(child<QAbstractButton>(row.name)->text(), row.text) << row.name;
    }
    const struct {
        const char* name;
        const char* text;
    } labels[] = {{"LQRG", "Waiting.."}, {"LMode", "Waiting"},      {"LNumDecodes", ""},
                  {"LNumSpots", ""},     {"LViewTrace", "View it"}, {"LViewLog", "View it"}};
    for (const auto& row : labels) {
        EXPECT_EQ(child<QLabel>(row.name)->text(), row.text) << row.name;
    }
    QStringList fixed;
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        fixed << label->text();
    }
    for (const char* caption :
         {"Your callsign:", "Your locator/grid square:", "Monitor UDP port:", "Multicast group (blank for unicast):",
          "Resend raw messages by UDP to IP:", "Port:", "Also resend to (host:port ...):", "Frequency:", "Mode:",
          "Raw messages received", "Decoded messages", "DX spots sent to Orbalis"}) {
        EXPECT_TRUE(fixed.contains(QString::fromLatin1(caption))) << caption;
    }
}

TEST_F(MainWindowTest, mirrors_model_changes_as_latin1_without_echoing_them_back)
{
    int clicks = 0;
    model.autoMon.onClick = [&] { ++clicks; };

    model.callsign.setText("Q1\xC4"
                           "AA");
    model.locator.setEnabled(false);
    model.autoMon.setChecked(true);
    model.qrg.setCaption("14.074.000");
    model.numSpots.setCaption("<b>3</b> spots");
    model.start.setCaption(kStopCaption);

    EXPECT_EQ(child<QLineEdit>("TBCallsign")->text(), QString::fromUtf8("Q1\xC3\x84"
                                                                        "AA"));
    EXPECT_FALSE(child<QLineEdit>("TBLocator")->isEnabled());
    EXPECT_TRUE(child<QCheckBox>("CBAutoMon")->isChecked());
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(child<QLabel>("LQRG")->text(), "14.074.000");
    EXPECT_EQ(child<QLabel>("LNumSpots")->textFormat(), Qt::PlainText);
    EXPECT_EQ(child<QPushButton>("CStart")->text(), "&Stop monitoring");
    EXPECT_EQ(model.callsign.text(), "Q1\xC4"
                                     "AA");
}

TEST_F(MainWindowTest, the_health_lines_tool_tip_gives_the_status_page_and_a_cut_line_whole_as_text)
{
    model.statusPage = "status page: http://127.0.0.1:8737/";
    model.health.setCaption("Listening on UDP port 2237 \xB7 <b>WSJT-X</b> 14.074.000 FT8, heard 3 s ago" +
                            std::string(400, '.'));
    const QString tip = child<QLabel>("LHealth")->toolTip();
    EXPECT_TRUE(tip.contains("&lt;b&gt;WSJT-X&lt;/b&gt;")) << tip.toStdString();
    EXPECT_TRUE(tip.contains("status page: http://127.0.0.1:8737/")) << tip.toStdString();
}

TEST_F(MainWindowTest, a_stored_text_longer_than_the_typing_limit_is_shown_whole)
{
    model.locator.setText("JN58TD12");
    EXPECT_EQ(child<QLineEdit>("TBLocator")->text(), "JN58TD12");
}

TEST_F(MainWindowTest, typing_updates_the_model_as_latin1_within_the_length_limit)
{
    QLineEdit* callsign = child<QLineEdit>("TBCallsign");
    type(callsign, QString::fromUtf8("q1a\xC3\xA9"));
    EXPECT_EQ(model.callsign.text(), "q1a\xE9");

    type(callsign, "0123456789");
    EXPECT_EQ(model.callsign.text().size(), 12u);

    type(child<QLineEdit>("TBServPort"), "52237");
    EXPECT_EQ(model.servPort.text(), "52237");

    QLineEdit* relays = child<QLineEdit>("TBMoreRelays");
    model.moreRelays.setText("127.0.0.1:2238 127.0.0.1:2333");
    relays->setCursorPosition(14);
    type(relays, " a:1 b:2");
    EXPECT_EQ(model.moreRelays.text(), "127.0.0.1:2238 a:1 b:2 127.0.0.1:2333") << "the cursor stays where typed";
    model.moreRelays.setEnabled(false);
    EXPECT_EQ(relays->cursorPosition(), 22);
}

TEST_F(MainWindowTest, leaving_a_field_runs_its_handler_and_shows_what_it_changed)
{
    int calls = 0;
    model.callsign.onLostFocus = [&] {
        ++calls;
        model.callsign.setText("Q1AAA");
    };
    QLineEdit* callsign = child<QLineEdit>("TBCallsign");
    type(callsign, "q1aaa");

    // Another program or a box taking the focus is not leaving the field.
    for (Qt::FocusReason reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason}) {
        QFocusEvent away(QEvent::FocusOut, reason);
        QApplication::sendEvent(callsign, &away);
    }
    EXPECT_EQ(calls, 0);

    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(callsign, &out);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(callsign->text(), "Q1AAA");
}

TEST_F(MainWindowTest, clicks_reach_the_models_buttons_links_and_check_boxes)
{
    const struct {
        Button* button;
        const char* name;
    } targets[] = {
        {&model.start, "CStart"},         {&model.clear, "CClear"},         {&model.helpCallsign, "CBHelpCallsign"},
        {&model.helpLocator, "Command2"}, {&model.viewTrace, "LViewTrace"}, {&model.viewLog, "LViewLog"}};
    for (const auto& target : targets) {
        int clicks = 0;
        target.button->onClick = [&] { ++clicks; };
        click(child<QWidget>(target.name));
        EXPECT_EQ(clicks, 1) << target.name;
        target.button->onClick = nullptr;
    }

    // A handler that refuses the tick unticks the box again.
    int clicks = 0;
    model.logUpload.onClick = [&] {
        ++clicks;
        model.logUpload.setChecked(false);
    };
    QCheckBox* box = child<QCheckBox>("CBLogUpload");
    click(box);
    EXPECT_EQ(clicks, 2); // the tick, then the handler's own untick
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(model.logUpload.checked());
}

TEST_F(MainWindowTest, while_input_is_held_clicks_and_keys_are_dropped_and_a_close_waits_for_the_end)
{
    int closings = 0;
    window.onClosing = [&] { ++closings; };
    window.show();
    model.setInputHeld(true);
    click(child<QCheckBox>("CBAutoMon"));
    type(child<QLineEdit>("TBCallsign"), "Q1AAA");
    window.close();
    EXPECT_FALSE(model.autoMon.checked());
    EXPECT_EQ(model.callsign.text(), "");
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(closings, 0);

    model.setInputHeld(false);
    wait(20);
    EXPECT_EQ(closings, 1);
    click(child<QCheckBox>("CBAutoMon"));
    EXPECT_TRUE(model.autoMon.checked());
}

TEST_F(MainWindowTest, a_thousand_appended_lines_arrive_in_order_in_one_insertion)
{
    QPlainTextEdit* log = pane("TBLog");
    int changes = 0;
    QObject::connect(log->document(), &QTextDocument::contentsChange, [&] { ++changes; });
    QString expected;
    for (int i = 0; i < 1000; ++i) {
        const std::string line = "line " + std::to_string(i);
        model.log.appendLine(line);
        expected += QString::fromLatin1("\n") + QString::fromStdString(line);
    }
    EXPECT_TRUE(log->toPlainText().isEmpty()); // nothing laid out per line
    flush();
    EXPECT_EQ(log->toPlainText(), expected);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(log->verticalScrollBar()->value(), log->verticalScrollBar()->maximum());
}

TEST_F(MainWindowTest, clears_and_appends_within_one_flush_keep_their_order)
{
    model.dx.appendLine("old");
    flush();
    model.dx.appendLine("lost");
    model.dx.clear();
    model.dx.appendLine("new");
    model.spots.append("a\r");
    flush();
    model.spots.append("\nb (T<15)");
    flush();
    EXPECT_EQ(pane("TBDX")->toPlainText(), "\nnew");
    EXPECT_EQ(pane("TBSpots")->toPlainText(), "a\nb (T<15)");
}

TEST_F(MainWindowTest, focus_moves_in_the_listed_order)
{
    const char* const order[] = {"TBCallsign", "CBHelpCallsign",   "TBLocator",    "Command2",      "TBUdpPort",
                                 "CBAutoMon",  "CBTrace",          "CStart",       "TBLog",         "TBDX",
                                 "TBSpots",    "TBMulticastGroup", "TBServPort",   "TBServIP",      "CBLogUpload",
                                 "CBSoloCQ",   "CClear",           "TBMoreRelays", "CBPassReplies", "CBOnlyLocal"};
    QStringList seen;
    QWidget* widget = child<QWidget>(order[0]);
    for (std::size_t i = 0; i < std::size(order); ++i) {
        seen << widget->objectName();
        do {
            widget = widget->nextInFocusChain();
        } while (!(widget->focusPolicy() & Qt::TabFocus) || widget == &window);
    }
    QStringList expected;
    for (const char* name : order) {
        expected << name;
    }
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(widget->objectName(), "TBCallsign"); // and round again
}

TEST_F(MainWindowTest, resizing_widens_and_heightens_the_panes_only_and_the_default_size_is_restored_exactly)
{
    window.show();
    wait(20);
    // The elements themselves: the window's children, with the settings frame opened up.
    QList<QWidget*> elements;
    for (QWidget* widget : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (widget->metaObject() == &QFrame::staticMetaObject) {
            elements << widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        } else {
            elements << widget;
        }
    }
    ASSERT_EQ(elements.size(), 39); // every named element and every caption
    auto area = [&](const QWidget* widget) { return QRect(widget->mapTo(&window, QPoint(0, 0)), widget->size()); };
    auto name = [](const QWidget* widget) {
        return (widget->objectName() + QStringLiteral(" ") + widget->property("text").toString()).toStdString();
    };
    QList<QRect> atDefault;
    for (const QWidget* widget : elements) {
        atDefault << area(widget);
    }
    const QList<QPlainTextEdit*> panes = {pane("TBLog"), pane("TBDX"), pane("TBSpots")};
    const QSize smallest = window.minimumSize();
    EXPECT_EQ(smallest.width(), 682) << "the settings block does not shrink";
    EXPECT_LE(smallest.height(), 470) << "fits 1366x768 at 150 % with a title bar";

    const struct {
        const char* name;
        QSize asked;
        QSize expected;
    } rows[] = {
        {"larger", {1100, 800}, {1100, 800}},
        {"smallest", smallest, smallest},
        {"below the smallest", {500, 200}, smallest},
        {"default again", {682, 540}, {682, 540}},
    };
    for (const auto& row : rows) {
        window.resize(row.asked);
        ASSERT_EQ(window.size(), row.expected) << row.name;
        const int extraWidth = window.width() - 682;
        for (qsizetype i = 0; i < elements.size(); ++i) {
            const QRect now = area(elements[i]);
            EXPECT_TRUE(window.rect().contains(now)) << row.name << ": " << name(elements[i]);
            for (qsizetype j = i + 1; j < elements.size(); ++j) {
                EXPECT_FALSE(now.intersects(area(elements[j])))
                    << row.name << ": " << name(elements[i]) << " / " << name(elements[j]);
            }
            // The settings block and the buttons keep their rows; extra width only moves the right
            // column along or widens the relay list.
            if (now.top() < panes[0]->y() - 20) {
                const QRect before = atDefault[i];
                const bool kept = now == before || now == before.translated(extraWidth, 0) ||
                                  (now.topLeft() == before.topLeft() && now.height() == before.height() &&
                                   now.width() >= before.width() && elements[i]->objectName() == "TBMoreRelays");
                EXPECT_TRUE(kept) << row.name << ": " << name(elements[i]);
            }
        }
        for (const QPlainTextEdit* edit : panes) {
            EXPECT_EQ(edit->width(), window.width() - 8) << row.name;
            const int margin = static_cast<int>(edit->document()->documentMargin());
            EXPECT_GE((edit->viewport()->height() - 2 * margin) / edit->fontMetrics().lineSpacing(), 3) << row.name;
        }
        EXPECT_GE(panes[0]->height(), panes[1]->height()) << row.name;
        EXPECT_GE(panes[1]->height(), panes[2]->height()) << row.name;
    }
    for (qsizetype i = 0; i < elements.size(); ++i) {
        EXPECT_EQ(area(elements[i]), atDefault[i]) << name(elements[i]);
    }
    EXPECT_EQ(model.width(), 682 * 15) << "a size the operator chose is kept, even the default one";
}

// A size far larger than the screen once made a window of 32767 pixels square: 4 GB to draw it.
TEST_F(MainWindowTest, a_size_larger_than_the_screen_is_applied_and_kept_no_larger_than_the_screen)
{
    const QSize available = window.screen()->availableGeometry().size();
    model.setSize(std::numeric_limits<int>::max(), std::numeric_limits<int>::max());
    EXPECT_LE(window.width(), available.width());
    EXPECT_LE(window.height(), available.height());
    EXPECT_EQ(model.width(), std::numeric_limits<int>::max()) << "a size the program gives is not stored";

    window.show();
    wait(20);
    window.resize(available + QSize(300, 300)); // as a window manager may let the operator do
    wait(20);
    EXPECT_EQ(window.size(), available + QSize(300, 300)) << "the operator's window is left as it is";
    EXPECT_LE(model.width(), available.width() * 15);
    EXPECT_LE(model.height(), available.height() * 15);
    EXPECT_GT(model.height(), (available.height() - 50) * 15);
}

TEST_F(MainWindowTest, position_goes_both_ways_in_twips_and_closing_is_reported)
{
    model.setPosition(1500, 3000);
    EXPECT_EQ(window.pos(), QPoint(200, 100));

    window.show();
    wait(20);
    window.move(40, 20);
    wait(20);
    EXPECT_EQ(model.top(), 300);
    EXPECT_EQ(model.left(), 600);
    EXPECT_FALSE(model.minimized);

    int closings = 0;
    window.onClosing = [&] { ++closings; };
    window.close();
    EXPECT_EQ(closings, 1);
}

} // namespace
} // namespace qf
