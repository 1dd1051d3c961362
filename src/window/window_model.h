// The plain model of the main window: every named element with its caption, content and
// enabled state. Behaviour reads and writes only this; the Qt view mirrors it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace qf {

enum class Element {
    Caption,
    TBCallsign,
    TBLocator,
    TBUdpPort,
    TBMulticastGroup,
    TBServIP,
    TBServPort,
    TBMoreRelays,
    CBTrace,
    CBAutoMon,
    CBLogUpload,
    CBSoloCQ,
    CBPassReplies,
    CBOnlyLocal,
    LQRG,
    LMode,
    LNumDecodes,
    LNumSpots,
    LHealth,
    CStart,
    CClear,
    CBHelpCallsign,
    Command2,
    LViewTrace,
    LViewLog,
    TBLog,
    TBDX,
    TBSpots,
    Position,
    Size,
    InputHeld,
};

class WindowModel;

inline constexpr const char* kOnlyLocalCaption = "Only from this computer";
inline constexpr const char* kThisComputer = "127.0.0.1";

// A text field: its text and whether it is enabled. Losing the focus runs onLostFocus.
class TextField {
  public:
    TextField(WindowModel& owner, Element id, std::size_t maxLength = 0) : owner_(owner), id_(id), maxLength_(maxLength)
    {
    }
    const std::string& text() const { return text_; }
    void setText(std::string text);
    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled);
    std::size_t maxLength() const { return maxLength_; }
    // The operator left the field (ignored while input is held).
    void loseFocus();
    std::function<void()> onLostFocus;

  private:
    WindowModel& owner_;
    Element id_;
    std::size_t maxLength_;
    std::string text_;
    bool enabled_ = true;
};

// A check box. A change of value, by the operator or in code, raises onClick.
class CheckBox {
  public:
    CheckBox(WindowModel& owner, Element id, std::string caption) : owner_(owner), id_(id), caption_(std::move(caption))
    {
    }
    bool checked() const { return checked_; }
    void setChecked(bool checked);
    const std::string& caption() const { return caption_; }
    void setCaption(std::string caption);
    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled);
    std::function<void()> onClick;

  private:
    WindowModel& owner_;
    Element id_;
    std::string caption_;
    bool checked_ = false;
    bool enabled_ = true;
};

class Label {
  public:
    Label(WindowModel& owner, Element id, std::string caption) : owner_(owner), id_(id), caption_(std::move(caption)) {}
    const std::string& caption() const { return caption_; }
    void setCaption(std::string caption);

  private:
    WindowModel& owner_;
    Element id_;
    std::string caption_;
};

class Button {
  public:
    Button(WindowModel& owner, Element id, std::string caption) : owner_(owner), id_(id), caption_(std::move(caption))
    {
    }
    const std::string& caption() const { return caption_; }
    void setCaption(std::string caption);
    // The operator's click (ignored while input is held).
    void click();
    std::function<void()> onClick;

  private:
    WindowModel& owner_;
    Element id_;
    std::string caption_;
};

// A read-only multi-line pane. Writers append; the view is told what was appended, so it
// never has to lay out the whole text again for one line.
class Pane {
  public:
    Pane() = default;
    const std::string& text() const { return text_; }
    std::size_t length() const { return text_.size(); }
    void append(const std::string& text);
    void clear();
    // Writers clear a pane that has grown past this many characters before appending.
    static constexpr std::size_t kLimit = 20000;
    void clearIfOverLimit()
    {
        if (text_.size() > kLimit) {
            clear();
        }
    }
    // Appends CR LF and the line.
    void appendLine(const std::string& line);
    // The insertion point; writers put it at the end so the newest line is in view.
    std::size_t caret() const { return caret_; }
    void moveCaretToEnd();

    // Told of every change: (true, "") after a clear, (false, text) after an append.
    std::function<void(bool cleared, const std::string& appended)> onChange;

  private:
    std::string text_;
    std::size_t caret_ = 0;
};

class WindowModel {
  public:
    WindowModel();
    WindowModel(const WindowModel&) = delete;
    WindowModel& operator=(const WindowModel&) = delete;

    std::string caption;
    void setCaption(std::string text);

    TextField callsign{*this, Element::TBCallsign, 12};
    TextField locator{*this, Element::TBLocator, 6};
    TextField udpPort{*this, Element::TBUdpPort};
    TextField multicastGroup{*this, Element::TBMulticastGroup};
    TextField servIP{*this, Element::TBServIP};
    TextField servPort{*this, Element::TBServPort};
    // Further relay targets, "host:port" items separated by blanks; as long as a stored value can be.
    TextField moreRelays{*this, Element::TBMoreRelays, 1023};

    CheckBox trace{*this, Element::CBTrace, "Write tracefile"};
    CheckBox autoMon{*this, Element::CBAutoMon, "Start monitoring on program startup"};
    CheckBox logUpload{*this, Element::CBLogUpload, "Upload QSO to Orbalis's online log"};
    CheckBox soloCQ{*this, Element::CBSoloCQ, "Only report stations CQing"};
    CheckBox passReplies{*this, Element::CBPassReplies, "Pass replies back to WSJT-X/JTDX"};
    // Ticked while monitoring listens on one local address only; its caption names an address
    // other than this computer's loopback one.
    CheckBox onlyLocal{*this, Element::CBOnlyLocal, kOnlyLocalCaption};

    // The local address the receive socket binds to; empty: all of them.
    const std::string& listenAddress() const { return listenAddress_; }
    // Also ticks or clears onlyLocal, which raises its click.
    void setListenAddress(std::string address);

    Label qrg{*this, Element::LQRG, "Waiting.."};
    Label mode{*this, Element::LMode, "Waiting"};
    Label numDecodes{*this, Element::LNumDecodes, ""};
    Label numSpots{*this, Element::LNumSpots, ""};
    // One line under the panes: what goes wrong, or that all is well.
    Label health{*this, Element::LHealth, ""};
    // Where the status page is, or why it is off; set once at start-up, shown with the health line.
    std::string statusPage;

    Button start{*this, Element::CStart, "&Start monitoring"};
    Button clear{*this, Element::CClear, "Clear messages"};
    Button helpCallsign{*this, Element::CBHelpCallsign, "?"};
    Button helpLocator{*this, Element::Command2, "?"};
    Button viewTrace{*this, Element::LViewTrace, "View it"};
    Button viewLog{*this, Element::LViewLog, "View it"};

    Pane log;
    Pane dx;
    Pane spots;

    // Window position in twips (15 per pixel) and whether it is minimised.
    int top() const { return top_; }
    int left() const { return left_; }
    void setPosition(int top, int left);
    bool minimized = false;
    // The size the operator gave the window, in twips; 0 while it has its default size.
    int width() const { return width_; }
    int height() const { return height_; }
    void setSize(int width, int height);

    // While held (the watchdog's pause) the window paints but takes no click, key or field change.
    bool inputHeld() const { return inputHeld_; }
    void setInputHeld(bool held);

    // Told of every change of an element, for the view to mirror it.
    std::function<void(Element)> onChanged;
    void changed(Element id)
    {
        if (onChanged) {
            onChanged(id);
        }
    }

  private:
    std::string listenAddress_;
    int top_ = 0;
    int left_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool inputHeld_ = false;
};

inline constexpr const char* kStartCaption = "&Start monitoring";
inline constexpr const char* kStopCaption = "&Stop monitoring";
inline constexpr int kTwipsPerPixel = 15;

} // namespace qf
