#pragma once

#include <QGuiApplication>
#include <QWidget>

#include "components/WindowFrame.h"

// A top-level widget as the docking logic sees it.
class WidgetFrame : public WindowFrame {
public:
    explicit WidgetFrame(QWidget& widget) : widget_(widget) {}
    QRect Geometry() const override { return widget_.frameGeometry(); }
    void Move(QPoint topLeft) override { widget_.move(topLeft); }

private:
    QWidget& widget_;
};

// Qt's view of the buttons, kept current by every mouse event the application receives,
// including the release that ends a drag outside both windows while the mouse is grabbed.
class QtMouseButtons : public MouseButtons {
public:
    bool LeftDown() const override { return QGuiApplication::mouseButtons() & Qt::LeftButton; }
};
