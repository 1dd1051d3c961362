// Where the main window's widgets stand at each size: the settings block, the panes and the tab order.
#include "app/main_window.h"

#include <algorithm>

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/window_metrics.h"

namespace qf {

using namespace window_metrics;

void MainWindow::placeWidgets()
{
    for (const Element id : {Element::CBTrace, Element::CBAutoMon, Element::CBLogUpload, Element::CBSoloCQ,
                             Element::CBPassReplies, Element::CBOnlyLocal, Element::LViewTrace, Element::LViewLog,
                             Element::CStart, Element::CClear, Element::CBHelpCallsign, Element::Command2}) {
        mirror(id); // captions first: the placing below measures them
    }
    // The settings block keeps the default width, so a wide desktop font is stepped down until
    // every row fits it.
    while (!placeSettings(kClientWidth) && font().pointSizeF() > kSmallestPointSize) {
        QFont smaller = font();
        smaller.setPointSizeF(std::max(kSmallestPointSize, smaller.pointSizeF() - 0.5));
        setFont(smaller);
    }
    const int lowerTop = kMargin + frame_->height() + kMargin;
    setMinimumSize(kClientWidth, lowerTop + kButtonHeight + kMargin + 3 * (captionHeight() + minimumPaneHeight()) +
                                     captionHeight() + kMargin);
    placeLower(kClientWidth, kClientHeight);
}

int MainWindow::captionHeight() const
{
    return QFontMetrics(font()).height() + 4;
}

int MainWindow::minimumPaneHeight() const
{
    const QPlainTextEdit* edit = panes_[0].edit;
    const int margin = static_cast<int>(std::ceil(edit->document()->documentMargin()));
    return kPaneLines * QFontMetrics(edit->font()).lineSpacing() + 2 * margin + 2 * edit->frameWidth();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeSettings(width());
    placeLower(width(), height());
    refit();
    writeSize();
}

bool MainWindow::placeSettings(int width)
{
    const QFontMetrics metrics(font());
    QFont boldFont = font();
    boldFont.setBold(true);
    const QFontMetrics boldMetrics(boldFont);
    auto fieldWidth = [&](const char* sample) { return metrics.horizontalAdvance(QString::fromLatin1(sample)) + 12; };

    const int frameWidth = width - 2 * kMargin;
    const int frameHeight = 2 * kInset + 4 * kRowStep + kRowHeight;
    const int rightEdge = frameWidth - kInset;
    frame_->setGeometry(kMargin, kMargin, frameWidth, frameHeight);

    QCheckBox* trace = checks_[0].check;
    QCheckBox* autoMon = checks_[1].check;
    QCheckBox* logUpload = checks_[2].check;
    QCheckBox* soloCQ = checks_[3].check;
    const int linkGap = 4;
    const int buttonWidth = kRowHeight;
    int y[5];
    for (int row = 0; row < 5; ++row) {
        y[row] = kInset + row * kRowStep;
    }

    int x = put(captionCallsign_, kInset, y[0]) + kLabelGap;
    x = put(fields_[0].edit, x, y[0], fieldWidth("VP2E/DL1ABC")) + 2;
    x = put(helpCallsign_, x, y[0], buttonWidth) + kGroupGap;
    x = put(captionLocator_, x, y[0]) + kLabelGap;
    x = put(fields_[1].edit, x, y[0], fieldWidth("JN58TDW")) + 2;
    const int end1 = put(helpLocator_, x, y[0], buttonWidth);

    x = put(captionUdpPort_, kInset, y[1]) + kLabelGap;
    x = put(fields_[2].edit, x, y[1], fieldWidth("65535")) + kGroupGap;
    x = put(captionMulticast_, x, y[1]) + kLabelGap;
    const int end2 = put(fields_[3].edit, x, y[1], fieldWidth("255.255.255.255"));

    x = put(captionServIP_, kInset, y[2]) + kLabelGap;
    x = put(fields_[4].edit, x, y[2], fieldWidth("255.255.255.255")) + kGroupGap;
    x = put(captionServPort_, x, y[2]) + kLabelGap;
    const int end3 = put(fields_[5].edit, x, y[2], fieldWidth("65535"));

    x = put(captionQrg_, kInset, y[3]) + kLabelGap;
    x = put(qrg_, x, y[3], boldMetrics.horizontalAdvance(QStringLiteral("10.368.100.000")) + 4) + kGroupGap;
    x = put(captionMode_, x, y[3]) + kLabelGap;
    const int end4 = put(mode_, x, y[3], boldMetrics.horizontalAdvance(QStringLiteral("MSK144W")) + 4);

    // The trace box and its link end at the frame's right edge; the other boxes share one column.
    x = rightEdge - (preferredWidth(trace) + linkGap + preferredWidth(viewTrace_));
    bool fits = x >= end1 + kGroupGap;
    put(viewTrace_, put(trace, x, y[0]) + linkGap, y[0]);

    const int columnWidth = std::max({preferredWidth(autoMon), preferredWidth(soloCQ),
                                      preferredWidth(logUpload) + linkGap + preferredWidth(viewLog_)});
    const int column = std::max({rightEdge - columnWidth, end3 + kGroupGap, end4 + kGroupGap});
    fits = fits && column + columnWidth <= rightEdge && end2 <= rightEdge;
    put(autoMon, column, y[2]);
    put(viewLog_, put(logUpload, column, y[3]) + linkGap, y[3]);
    put(soloCQ, column, y[4]);
    // The port's row has room after the group. Not part of the fit either: a hand-written address
    // makes its caption longer, and nothing else may move for it.
    QCheckBox* onlyLocal = checks_[5].check;
    const int onlyLocalX = end2 + kGroupGap;
    put(onlyLocal, onlyLocalX, y[1], std::max(0, std::min(preferredWidth(onlyLocal), rightEdge - onlyLocalX)));

    // The further relay targets take what the column leaves of the last row. Not part of the fit:
    // they must never make the elements placed before them move.
    x = put(captionMoreRelays_, kInset, y[4]) + kLabelGap;
    put(fields_[6].edit, x, y[4], std::max(0, column - kGroupGap - x));
    return fits;
}

void MainWindow::placeLower(int width, int height)
{
    int y = kMargin + frame_->height() + kMargin;
    const int startWidth = std::max(150, preferredWidth(start_));
    start_->setGeometry(kMargin, y, startWidth, kButtonHeight);
    const int clearWidth = std::max(150, preferredWidth(clear_));
    clear_->setGeometry(kMargin + startWidth + kMargin, y, clearWidth, kButtonHeight);
    // The settings block has no free place this wide left: the replies option stands beside the
    // buttons, where it moves nothing.
    const int repliesX = kMargin + startWidth + kMargin + clearWidth + 4 * kMargin;
    checks_[4].check->setGeometry(repliesX, y, preferredWidth(checks_[4].check), kButtonHeight);
    y += kButtonHeight + kMargin;

    // The panes share what is left; the raw pane gets the most, the spots pane the least. In a
    // window smaller than the default each keeps its lines, and the raw pane gives way.
    const int paneWidth = width - 2 * kMargin;
    const int captionHeight = this->captionHeight();
    // The health line takes one line at the bottom, from the panes.
    const int paneSpace = height - kMargin - y - 4 * captionHeight;
    const int least = minimumPaneHeight();
    int dxHeight = paneSpace * 33 / 100;
    int spotsHeight = paneSpace - paneSpace * 40 / 100 - dxHeight;
    dxHeight = std::max(dxHeight, least);
    spotsHeight = std::max(spotsHeight, least);
    const int logHeight = paneSpace - dxHeight - spotsHeight;
    auto putPane = [&](QLabel* caption, QLabel* count, QPlainTextEdit* edit, int paneHeight) {
        caption->setGeometry(kMargin, y, preferredWidth(caption), captionHeight);
        if (count) {
            const int countX = kMargin + preferredWidth(caption) + 2 * kLabelGap;
            count->setGeometry(countX, y, width - kMargin - countX, captionHeight);
        }
        y += captionHeight;
        edit->setGeometry(kMargin, y, paneWidth, paneHeight);
        y += paneHeight;
    };
    putPane(captionLog_, nullptr, panes_[0].edit, logHeight);
    putPane(captionDx_, numDecodes_, panes_[1].edit, dxHeight);
    health_->setGeometry(kMargin, height - kMargin - captionHeight, paneWidth, captionHeight);
    mirrorHealth();
    putPane(captionSpots_, numSpots_, panes_[2].edit, spotsHeight);
}

void MainWindow::setTabOrder()
{
    QWidget* const order[] = {
        fields_[0].edit,  helpCallsign_,    fields_[1].edit, helpLocator_,     fields_[2].edit,
        checks_[1].check, checks_[0].check, start_,          panes_[0].edit,   panes_[1].edit,
        panes_[2].edit,   fields_[3].edit,  fields_[5].edit, fields_[4].edit,  checks_[2].check,
        checks_[3].check, clear_,           fields_[6].edit, checks_[4].check, checks_[5].check,
    };
    for (std::size_t i = 1; i < std::size(order); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

} // namespace qf
