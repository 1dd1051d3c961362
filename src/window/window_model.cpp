#include "window/window_model.h"

namespace qf {

void TextField::setText(std::string text)
{
    if (text != text_) {
        text_ = std::move(text);
        owner_.changed(id_);
    }
}

void TextField::setEnabled(bool enabled)
{
    if (enabled != enabled_) {
        enabled_ = enabled;
        owner_.changed(id_);
    }
}

void TextField::loseFocus()
{
    if (onLostFocus && !owner_.inputHeld()) {
        onLostFocus();
    }
}

void CheckBox::setChecked(bool checked)
{
    if (checked == checked_) {
        return;
    }
    checked_ = checked;
    owner_.changed(id_);
    if (onClick) {
        onClick();
    }
}

void CheckBox::setCaption(std::string caption)
{
    if (caption != caption_) {
        caption_ = std::move(caption);
        owner_.changed(id_);
    }
}

void CheckBox::setEnabled(bool enabled)
{
    if (enabled != enabled_) {
        enabled_ = enabled;
        owner_.changed(id_);
    }
}

void Label::setCaption(std::string caption)
{
    if (caption != caption_) {
        caption_ = std::move(caption);
        owner_.changed(id_);
    }
}

void Button::setCaption(std::string caption)
{
    if (caption != caption_) {
        caption_ = std::move(caption);
        owner_.changed(id_);
    }
}

void Button::click()
{
    if (onClick && !owner_.inputHeld()) {
        onClick();
    }
}

void Pane::append(const std::string& text)
{
    text_ += text;
    if (onChange) {
        onChange(false, text);
    }
}

void Pane::clear()
{
    text_.clear();
    caret_ = 0;
    if (onChange) {
        onChange(true, std::string());
    }
}

void Pane::appendLine(const std::string& line)
{
    std::string piece;
    piece.reserve(line.size() + 2);
    piece += "\r\n";
    piece += line;
    append(piece);
}

void Pane::moveCaretToEnd()
{
    caret_ = text_.size();
}

WindowModel::WindowModel() = default;

void WindowModel::setCaption(std::string text)
{
    caption = std::move(text);
    changed(Element::Caption);
}

void WindowModel::setListenAddress(std::string address)
{
    listenAddress_ = std::move(address);
    onlyLocal.setCaption(listenAddress_.empty() || listenAddress_ == kThisComputer ? kOnlyLocalCaption
                                                                                   : "Only on " + listenAddress_);
    onlyLocal.setChecked(!listenAddress_.empty());
}

void WindowModel::setPosition(int top, int left)
{
    if (top != top_ || left != left_) {
        top_ = top;
        left_ = left;
        changed(Element::Position);
    }
}

void WindowModel::setSize(int width, int height)
{
    if (width != width_ || height != height_) {
        width_ = width;
        height_ = height;
        changed(Element::Size);
    }
}

void WindowModel::setInputHeld(bool held)
{
    if (held != inputHeld_) {
        inputHeld_ = held;
        changed(Element::InputHeld);
    }
}

} // namespace qf
