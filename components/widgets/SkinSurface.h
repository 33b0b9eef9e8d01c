#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

#include "components/Skin.h"
#include "components/widgets/SkinDescription.h"

class SkinSurface;
class WidgetSkin;

// One element of a dressed window with its live state (enabled, text, position); the program
// holds it as a SkinObject for as long as the form stays applied.
class SkinSurfaceElement : public SkinObject,
                           public SkinElement,
                           public SkinText,
                           public SkinScrollBar {
public:
    SkinSurfaceElement(SkinSurface* surface, const SkinElementDescription& description);

    QString Name() const override { return description_.name; }
    SkinElement* Element() override { return this; }
    SkinText* Text() override;
    SkinScrollBar* ScrollBar() override;

    void SetEnabled(bool enabled) override;
    void Redraw() override;
    void SetText(const QString& text) override;
    int Position() const override { return position_; }
    void SetPosition(int position) override;

    const SkinElementDescription& Description() const { return description_; }
    const QRect& Rect() const { return description_.rect; }
    SkinKind Kind() const { return description_.kind; }
    bool Enabled() const { return enabled_; }
    QString CurrentText() const override { return text_; }

    // Where the thumb stands, in form coordinates.
    QRect ThumbRect() const;
    // The position whose thumb starts at the given coordinate along the bar.
    int PositionAt(int thumbStart) const;

private:
    SkinSurface* surface_;
    const SkinElementDescription& description_;
    bool enabled_ = true;
    QString text_;
    int position_;
};

// The face of a skinned window: a child filling the window, below the program's own widgets,
// that draws the form and turns mouse input into the engine's element and form events.
class SkinSurface : public QWidget, public SkinForm {
    Q_OBJECT

public:
    SkinSurface(WidgetSkin* skin, QWidget* window, std::shared_ptr<const SkinDescription> owner,
                const SkinFormDescription& form);
    ~SkinSurface() override;

    SkinObject* FindObject(const QString& name) override { return Find(name); }
    SkinSurfaceElement* Find(const QString& name) const;

    const SkinDescription* Skin() const { return owner_.get(); }
    const SkinFormDescription& Form() const { return form_; }
    // True while a mouse event is being handled, when deleting the surface would pull it from
    // under its own handler.
    bool Dispatching() const { return dispatching_ > 0; }

    // Called by elements whose state changed.
    void ElementChanged(SkinSurfaceElement* element);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    SkinSurfaceElement* ElementAt(QPoint at) const;
    void PaintElement(QPainter& painter, const SkinSurfaceElement& element, qreal ratio) const;
    void SetHovered(SkinSurfaceElement* element);
    void Track(QPoint at);

    QPointer<WidgetSkin> skin_;
    QWidget* window_;
    std::shared_ptr<const SkinDescription> owner_;  // keeps form_ alive
    const SkinFormDescription& form_;
    std::vector<std::unique_ptr<SkinSurfaceElement>> elements_;
    int dispatching_ = 0;
    friend class SkinDispatch;

    SkinSurfaceElement* hovered_ = nullptr;
    // The element under a press in progress, the button that began it, and whether the mouse
    // is still inside it.
    SkinSurfaceElement* pressed_ = nullptr;
    Qt::MouseButton pressButton_ = Qt::NoButton;
    bool pressInside_ = false;
    // A scroll bar being dragged, and where in its thumb it was taken.
    bool tracking_ = false;
    int grabOffset_ = 0;
    QPoint trackedAt_;
};
