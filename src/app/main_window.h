// The Qt main window: mirrors the window model and feeds the operator's actions back into it.
// It holds no behaviour; every decision is taken by the handlers behind the model.
#pragma once

#include <functional>
#include <string>

#include <QWidget>

#include "app/window_fit.h"
#include "window/window_model.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace qf {

class MainWindow : public QWidget {
    Q_OBJECT
  public:
    explicit MainWindow(WindowModel& model, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Called when the operator closes the window, before it goes away.
    std::function<void()> onClosing;

    // Pane appends and the decode and spot counters are shown in batches at most this far apart.
    static constexpr int kFlushIntervalMs = 50;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    struct FieldView {
        Element id;
        TextField* field;
        QLineEdit* edit;
    };
    struct CheckView {
        Element id;
        CheckBox* box;
        QCheckBox* check;
    };
    // What the model did to a pane since the last flush, in order: a clear wipes what came before.
    struct PaneView {
        Pane* pane;
        QPlainTextEdit* edit;
        bool clearPending = false;
        std::string pending;
        bool endsWithCR = false; // a CR LF split over two flushes must still give one line break
    };

    void buildWidgets();
    void placeWidgets();
    bool placeSettings(int width); // false when a row does not fit the frame at the current font
    void placeLower(int width, int height);
    int captionHeight() const;
    int minimumPaneHeight() const;
    void setTabOrder();
    void connectModel();

    void mirror(Element id);
    void mirrorField(const FieldView& view);
    void mirrorPosition();
    void paneChanged(PaneView& view, bool cleared, const std::string& appended);
    void flushPanes();
    void mirrorCounters();
    void mirrorHealth();
    void flushPane(PaneView& view);
    void writePosition();
    QSize modelSize() const;
    void mirrorSize();
    void refit();
    void writeSize();
    void holdInput(bool held);

    WindowModel& model_;
    std::function<void(Element)> previousOnChanged_;

    QWidget* frame_ = nullptr;
    FieldView fields_[7] = {};
    CheckView checks_[6] = {};
    PaneView panes_[3] = {};
    QPushButton* start_ = nullptr;
    QPushButton* clear_ = nullptr;
    QPushButton* helpCallsign_ = nullptr;
    QPushButton* helpLocator_ = nullptr;
    QLabel* viewTrace_ = nullptr;
    QLabel* viewLog_ = nullptr;
    QLabel* qrg_ = nullptr;
    QLabel* mode_ = nullptr;
    QLabel* numDecodes_ = nullptr;
    QLabel* numSpots_ = nullptr;
    QLabel* health_ = nullptr;
    // Captions that are not model elements, kept for placing them.
    QLabel* captionCallsign_ = nullptr;
    QLabel* captionLocator_ = nullptr;
    QLabel* captionUdpPort_ = nullptr;
    QLabel* captionMulticast_ = nullptr;
    QLabel* captionServIP_ = nullptr;
    QLabel* captionServPort_ = nullptr;
    QLabel* captionMoreRelays_ = nullptr;
    QLabel* captionQrg_ = nullptr;
    QLabel* captionMode_ = nullptr;
    QLabel* captionLog_ = nullptr;
    QLabel* captionDx_ = nullptr;
    QLabel* captionSpots_ = nullptr;

    QTimer* flushTimer_ = nullptr;
    bool countersPending_ = false;
    bool closeWhenFree_ = false; // asked to close while input was held
    WindowFit fit_{*this};
    bool storingSize_ = false;
};

} // namespace qf
