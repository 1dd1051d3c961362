#include "app/main_window.h"

#include <algorithm>
#include <cmath>

#include <QCheckBox>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QFrame>
#include <QIcon>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include "app/window_metrics.h"

// The icon is compiled into the Qt library; a static library's resources must be registered
// by name, outside any namespace.
static void registerResources()
{
    Q_INIT_RESOURCE(quillfeed);
}

namespace qf {

using namespace window_metrics;

namespace {
QString fromBytes(const std::string& bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string toBytes(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// Pixels from twips, the same way in both directions so a position survives the round trip.
int toPixels(int twips)
{
    return twips / kTwipsPerPixel;
}

QLabel* makeLabel(QWidget* parent, const char* text)
{
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setTextFormat(Qt::PlainText); // captions from the wire must never be read as markup
    return label;
}

// A label drawn in a colour, with only the given font attributes of its own. Palette and
// partial fonts rather than style sheets: those would stop the label following the window's font.
QLabel* makeValue(QWidget* parent, const char* name, const QColor& colour, bool bold, bool underline)
{
    QLabel* label = makeLabel(parent, "");
    label->setObjectName(QString::fromLatin1(name));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    QFont font;
    if (bold) {
        font.setBold(true);
    }
    if (underline) {
        font.setUnderline(true);
    }
    label->setFont(font);
    return label;
}

} // namespace

MainWindow::MainWindow(WindowModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    registerResources();
    setWindowIcon(QIcon(QStringLiteral(":/quillfeed/quillfeed.png")));
    buildWidgets();
    placeWidgets();
    setTabOrder();
    connectModel();
}

MainWindow::~MainWindow()
{
    // The model may outlive the view: leave it no handler that points here.
    model_.onChanged = previousOnChanged_;
    for (PaneView& view : panes_) {
        view.pane->onChange = nullptr;
    }
}

void MainWindow::buildWidgets()
{
    resize(kClientWidth, kClientHeight);

    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    frame_ = frame;

    const struct {
        Element id;
        TextField* field;
        const char* name;
    } fieldTable[] = {
        {Element::TBCallsign, &model_.callsign, "TBCallsign"},
        {Element::TBLocator, &model_.locator, "TBLocator"},
        {Element::TBUdpPort, &model_.udpPort, "TBUdpPort"},
        {Element::TBMulticastGroup, &model_.multicastGroup, "TBMulticastGroup"},
        {Element::TBServIP, &model_.servIP, "TBServIP"},
        {Element::TBServPort, &model_.servPort, "TBServPort"},
        {Element::TBMoreRelays, &model_.moreRelays, "TBMoreRelays"},
    };
    for (std::size_t i = 0; i < std::size(fieldTable); ++i) {
        auto* edit = new QLineEdit(frame_);
        edit->setObjectName(QString::fromLatin1(fieldTable[i].name));
        edit->installEventFilter(this);
        TextField* field = fieldTable[i].field;
        fields_[i] = {fieldTable[i].id, field, edit};
        connect(edit, &QLineEdit::textEdited, this, [field](const QString& text) { field->setText(toBytes(text)); });
    }

    const struct {
        Element id;
        CheckBox* box;
        const char* name;
    } checkTable[] = {
        {Element::CBTrace, &model_.trace, "CBTrace"},
        {Element::CBAutoMon, &model_.autoMon, "CBAutoMon"},
        {Element::CBLogUpload, &model_.logUpload, "CBLogUpload"},
        {Element::CBSoloCQ, &model_.soloCQ, "CBSoloCQ"},
        {Element::CBPassReplies, &model_.passReplies, "CBPassReplies"},
        {Element::CBOnlyLocal, &model_.onlyLocal, "CBOnlyLocal"},
    };
    for (std::size_t i = 0; i < std::size(checkTable); ++i) {
        auto* check = new QCheckBox(checkTable[i].id == Element::CBPassReplies ? static_cast<QWidget*>(this) : frame_);
        check->setObjectName(QString::fromLatin1(checkTable[i].name));
        CheckBox* box = checkTable[i].box;
        checks_[i] = {checkTable[i].id, box, check};
        // clicked() comes only from the operator, so mirroring the model never echoes back.
        connect(check, &QCheckBox::clicked, this, [box](bool checked) { box->setChecked(checked); });
    }

    auto makeButton = [this](QWidget* parent, const char* name, Button& button) {
        auto* push = new QPushButton(parent);
        push->setObjectName(QString::fromLatin1(name));
        push->setAutoDefault(false);
        connect(push, &QPushButton::clicked, this, [&button] { button.click(); });
        return push;
    };
    helpCallsign_ = makeButton(frame_, "CBHelpCallsign", model_.helpCallsign);
    helpLocator_ = makeButton(frame_, "Command2", model_.helpLocator);
    start_ = makeButton(this, "CStart", model_.start);
    clear_ = makeButton(this, "CClear", model_.clear);
    QFont bold; // only the weight is set: size and family follow the window
    bold.setBold(true);
    start_->setFont(bold);

    const QColor linkBlue(0, 0, 255);
    viewTrace_ = makeValue(frame_, "LViewTrace", linkBlue, false, true);
    viewLog_ = makeValue(frame_, "LViewLog", linkBlue, false, true);
    for (QLabel* link : {viewTrace_, viewLog_}) {
        link->setCursor(Qt::PointingHandCursor);
        link->installEventFilter(this);
    }

    const QColor green(0, 128, 0);
    qrg_ = makeValue(frame_, "LQRG", green, true, false);
    mode_ = makeValue(frame_, "LMode", green, true, false);
    numDecodes_ = makeValue(this, "LNumDecodes", green, false, false);
    numSpots_ = makeValue(this, "LNumSpots", green, false, false);
    health_ = makeLabel(this, "");
    health_->setObjectName(QStringLiteral("LHealth"));

    captionCallsign_ = makeLabel(frame_, "Your callsign:");
    captionLocator_ = makeLabel(frame_, "Your locator/grid square:");
    captionUdpPort_ = makeLabel(frame_, "Monitor UDP port:");
    captionMulticast_ = makeLabel(frame_, "Multicast group (blank for unicast):");
    captionServIP_ = makeLabel(frame_, "Resend raw messages by UDP to IP:");
    captionServPort_ = makeLabel(frame_, "Port:");
    captionMoreRelays_ = makeLabel(frame_, "Also resend to (host:port ...):");
    captionQrg_ = makeLabel(frame_, "Frequency:");
    captionMode_ = makeLabel(frame_, "Mode:");
    captionLog_ = makeLabel(this, "Raw messages received");
    captionDx_ = makeLabel(this, "Decoded messages");
    captionSpots_ = makeLabel(this, "DX spots sent to Orbalis");

    const struct {
        Pane* pane;
        const char* name;
    } paneTable[] = {{&model_.log, "TBLog"}, {&model_.dx, "TBDX"}, {&model_.spots, "TBSpots"}};
    for (std::size_t i = 0; i < std::size(paneTable); ++i) {
        auto* edit = new QPlainTextEdit(this);
        edit->setObjectName(QString::fromLatin1(paneTable[i].name));
        edit->setReadOnly(true);
        edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        edit->setFocusPolicy(Qt::StrongFocus);
        edit->setTabChangesFocus(true);
        edit->setUndoRedoEnabled(false);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        // Only a vertical bar: long raw lines wrap rather than hide behind a horizontal one.
        edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        edit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        panes_[i].pane = paneTable[i].pane;
        panes_[i].edit = edit;
    }

    flushTimer_ = new QTimer(this);
    flushTimer_->setSingleShot(true);
    flushTimer_->setInterval(kFlushIntervalMs);
    connect(flushTimer_, &QTimer::timeout, this, &MainWindow::flushPanes);
}

void MainWindow::connectModel()
{
    for (const Element id :
         {Element::Caption, Element::TBCallsign, Element::TBLocator, Element::TBUdpPort, Element::TBMulticastGroup,
          Element::TBServIP, Element::TBServPort, Element::TBMoreRelays, Element::LQRG, Element::LMode}) {
        mirror(id);
    }
    mirrorCounters();
    // Moved even to 0,0: a first run opens at the top-left corner, not where the desktop likes.
    move(toPixels(model_.left()), toPixels(model_.top()));
    mirrorSize();
    for (const CheckView& view : checks_) {
        mirror(view.id);
    }
    for (PaneView& view : panes_) {
        QString text = fromBytes(view.pane->text());
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        view.edit->setPlainText(text);
        view.endsWithCR = !view.pane->text().empty() && view.pane->text().back() == '\r';
        view.pane->onChange = [this, &view](bool cleared, const std::string& appended) {
            paneChanged(view, cleared, appended);
        };
    }

    previousOnChanged_ = model_.onChanged;
    model_.onChanged = [this](Element id) {
        mirror(id);
        if (previousOnChanged_) {
            previousOnChanged_(id);
        }
    };
}

void MainWindow::mirror(Element id)
{
    switch (id) {
    case Element::Caption:
        setWindowTitle(fromBytes(model_.caption));
        return;
    case Element::TBCallsign:
    case Element::TBLocator:
    case Element::TBUdpPort:
    case Element::TBMulticastGroup:
    case Element::TBServIP:
    case Element::TBServPort:
    case Element::TBMoreRelays:
        for (const FieldView& view : fields_) {
            if (view.id == id) {
                mirrorField(view);
            }
        }
        return;
    case Element::CBTrace:
    case Element::CBAutoMon:
    case Element::CBLogUpload:
    case Element::CBSoloCQ:
    case Element::CBPassReplies:
    case Element::CBOnlyLocal:
        for (const CheckView& view : checks_) {
            if (view.id == id) {
                view.check->setText(fromBytes(view.box->caption()));
                view.check->setChecked(view.box->checked()); // no clicked() signal, so no echo
                view.check->setEnabled(view.box->enabled());
                if (id == Element::CBOnlyLocal) {
                    // Its caption may name an address; it stays within the frame.
                    const int room = frame_->width() - kInset - view.check->x();
                    view.check->resize(std::max(0, std::min(preferredWidth(view.check), room)), kRowHeight);
                }
            }
        }
        return;
    case Element::LQRG:
        qrg_->setText(fromBytes(model_.qrg.caption()));
        return;
    case Element::LMode:
        mode_->setText(fromBytes(model_.mode.caption()));
        return;
    case Element::LHealth:
        mirrorHealth();
        return;
    case Element::LNumDecodes:
    case Element::LNumSpots:
        // They change with nearly every datagram of a burst: shown with the next pane flush.
        countersPending_ = true;
        if (!flushTimer_->isActive()) {
            flushTimer_->start();
        }
        return;
    case Element::CStart:
        start_->setText(fromBytes(model_.start.caption()));
        return;
    case Element::CClear:
        clear_->setText(fromBytes(model_.clear.caption()));
        return;
    case Element::CBHelpCallsign:
        helpCallsign_->setText(fromBytes(model_.helpCallsign.caption()));
        return;
    case Element::Command2:
        helpLocator_->setText(fromBytes(model_.helpLocator.caption()));
        return;
    case Element::LViewTrace:
        viewTrace_->setText(fromBytes(model_.viewTrace.caption()));
        return;
    case Element::LViewLog:
        viewLog_->setText(fromBytes(model_.viewLog.caption()));
        return;
    case Element::TBLog:
    case Element::TBDX:
    case Element::TBSpots:
        return; // panes report through their own onChange
    case Element::Position:
        mirrorPosition();
        return;
    case Element::Size:
        mirrorSize();
        return;
    case Element::InputHeld:
        holdInput(model_.inputHeld());
        return;
    }
}

void MainWindow::mirrorField(const FieldView& view)
{
    const QString text = fromBytes(view.field->text());
    // Text set in code may exceed the typing limit; show it whole rather than cut it.
    const int limit = view.field->maxLength() > 0 ? static_cast<int>(view.field->maxLength()) : 32767;
    const int maxLength = std::max(limit, static_cast<int>(text.size()));
    // Both calls put the cursor at the end, which must not happen to an operator typing mid-text.
    const int cursor = view.edit->cursorPosition();
    bool reset = false;
    if (view.edit->maxLength() != maxLength) {
        view.edit->setMaxLength(maxLength);
        reset = true;
    }
    if (view.edit->text() != text) {
        view.edit->setText(text);
        reset = true;
    }
    if (reset) {
        view.edit->setCursorPosition(std::min(cursor, static_cast<int>(text.size())));
    }
    view.edit->setEnabled(view.field->enabled());
}

void MainWindow::mirrorPosition()
{
    const QPoint target(toPixels(model_.left()), toPixels(model_.top()));
    if (pos() != target) {
        move(target);
        if (fit_.programSize()) {
            mirrorSize(); // perhaps another screen
        }
    }
}

void MainWindow::writePosition()
{
    model_.minimized = isMinimized();
    const QPoint at = pos();
    // Only a real move is written: the model's twips may not be a whole number of pixels.
    if (at.x() != toPixels(model_.left()) || at.y() != toPixels(model_.top())) {
        model_.setPosition(at.y() * kTwipsPerPixel, at.x() * kTwipsPerPixel);
    }
}

QSize MainWindow::modelSize() const
{
    if (model_.width() <= 0 || model_.height() <= 0) {
        return {kClientWidth, kClientHeight};
    }
    return {toPixels(model_.width()), toPixels(model_.height())};
}

// A stored size is applied no larger than the screen, and the default one is made to fit it: the
// panes give way, down to the smallest window.
void MainWindow::mirrorSize()
{
    if (storingSize_) {
        return; // the model took the window's own size
    }
    const QSize target = fit_.fit(modelSize());
    if (size() != target) {
        resize(target);
    }
}

// Until the operator sizes the window, it follows what fitting it needs: the screen of a stored
// position, the real frame once the window manager has put one round it.
void MainWindow::refit()
{
    if (fit_.outdated()) {
        mirrorSize();
    }
}

// Only a size the operator chose is kept: not a maximised one, not one the program gave, and never
// more than fits the screen.
void MainWindow::writeSize()
{
    if ((windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) != 0 ||
        fit_.programSize()) {
        return;
    }
    fit_.release();
    const QSize kept = size().boundedTo(fit_.room());
    storingSize_ = true;
    model_.setSize(kept.width() * kTwipsPerPixel, kept.height() * kTwipsPerPixel);
    storingSize_ = false;
}

void MainWindow::paneChanged(PaneView& view, bool cleared, const std::string& appended)
{
    if (cleared) {
        view.clearPending = true;
        view.pending.clear();
        view.endsWithCR = false;
    } else {
        view.pending += appended;
    }
    if (!flushTimer_->isActive()) {
        flushTimer_->start();
    }
}

void MainWindow::flushPanes()
{
    for (PaneView& view : panes_) {
        flushPane(view);
    }
    if (countersPending_) {
        mirrorCounters();
    }
}

void MainWindow::mirrorCounters()
{
    countersPending_ = false;
    numDecodes_->setText(fromBytes(model_.numDecodes.caption()));
    numSpots_->setText(fromBytes(model_.numSpots.caption()));
}

// Cut to the window's width: a long line would otherwise stretch nothing and show nothing past the edge.
void MainWindow::mirrorHealth()
{
    const QString text = fromBytes(model_.health.caption());
    health_->setText(health_->fontMetrics().elidedText(text, Qt::ElideRight, health_->width()));
    QString tip = text == health_->text() ? QString() : text;
    if (!model_.statusPage.empty()) {
        tip += (tip.isEmpty() ? "" : "\n") + fromBytes(model_.statusPage);
    }
    // As text: a tool tip that looks like markup would be taken as markup.
    health_->setToolTip(tip.isEmpty() ? QString() : Qt::convertFromPlainText(tip, Qt::WhiteSpaceNoWrap));
}

void MainWindow::flushPane(PaneView& view)
{
    if (view.clearPending) {
        view.clearPending = false;
        view.edit->clear();
    }
    if (view.pending.empty()) {
        return;
    }
    const std::string& bytes = view.pending;
    std::string lines;
    lines.reserve(bytes.size());
    std::size_t i = (view.endsWithCR && bytes.front() == '\n') ? 1 : 0;
    for (; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            continue;
        }
        lines += bytes[i];
    }
    view.endsWithCR = bytes.back() == '\r';
    view.pending.clear();

    QTextCursor cursor(view.edit->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(fromBytes(lines));
    QScrollBar* bar = view.edit->verticalScrollBar();
    bar->setValue(bar->maximum());
}

// While input is held the window still paints, moves and resizes, but clicks and keys are dropped
// rather than kept: after the pause a kept click would land on a window that changed under it.
void MainWindow::holdInput(bool held)
{
    if (held) {
        QCoreApplication::instance()->installEventFilter(this);
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        return;
    }
    QCoreApplication::instance()->removeEventFilter(this);
    QGuiApplication::restoreOverrideCursor();
    if (closeWhenFree_) {
        closeWhenFree_ = false;
        // Once the held work has run, not in the middle of it.
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (model_.inputHeld()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::InputMethod:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd: {
            const auto* widget = qobject_cast<QWidget*>(watched);
            if (widget != nullptr && widget->window() == this) {
                return true;
            }
            break;
        }
        default:
            break;
        }
    }
    if (event->type() == QEvent::FocusOut) {
        // Switching to another program or opening a box is not leaving the field: a handler
        // that shows a box would otherwise run again and again.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            for (const FieldView& view : fields_) {
                if (view.edit == watched) {
                    view.field->loseFocus();
                    break;
                }
            }
        }
        return false;
    }
    if (watched == viewTrace_ || watched == viewLog_) {
        if (event->type() == QEvent::MouseButtonPress) {
            return static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            auto* link = static_cast<QLabel*>(watched);
            if (mouse->button() == Qt::LeftButton && link->rect().contains(mouse->position().toPoint())) {
                (watched == viewTrace_ ? model_.viewTrace : model_.viewLog).click();
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    writePosition();
    refit();
}

void MainWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        writePosition();
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (model_.inputHeld()) {
        closeWhenFree_ = true;
        event->ignore();
        return;
    }
    // The field last typed in is stored as leaving it would store it: closing sends no focus-out,
    // nor does switching to another program first (see eventFilter).
    for (const FieldView& view : fields_) {
        if (focusWidget() == view.edit) {
            view.field->loseFocus();
        }
    }
    if (onClosing) {
        onClosing();
    }
    event->accept();
}

} // namespace qf
