#include "components/widgets/SkinSurface.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "components/widgets/WidgetSkin.h"

SkinSurfaceElement::SkinSurfaceElement(SkinSurface* surface,
                                       const SkinElementDescription& description)
    : surface_(surface),
      description_(description),
      text_(description.text),
      position_(description.minimum) {}

SkinText* SkinSurfaceElement::Text() {
    return description_.kind == SkinKind::Text ? this : nullptr;
}

SkinScrollBar* SkinSurfaceElement::ScrollBar() {
    return description_.kind == SkinKind::ScrollBar ? this : nullptr;
}

void SkinSurfaceElement::SetEnabled(bool enabled) {
    if (enabled_ == enabled)
        return;
    enabled_ = enabled;
    surface_->ElementChanged(this);
}

// Every change has already asked for its repaint (ElementChanged), and Qt repaints what is
// uncovered by itself. Repainting on every call redrew the recording's time ten times a second
// for a text that changes once.
void SkinSurfaceElement::Redraw() {}

void SkinSurfaceElement::SetText(const QString& text) {
    if (text_ == text)
        return;
    text_ = text;
    surface_->ElementChanged(this);
}

void SkinSurfaceElement::SetPosition(int position) {
    position = std::clamp(position, description_.minimum, description_.maximum);
    if (position_ == position)
        return;
    position_ = position;
    surface_->ElementChanged(this);
}

namespace {

// Where a rectangle starts along the bar's axis.
int Along(const QRect& rect, Qt::Orientation orientation) {
    return orientation == Qt::Horizontal ? rect.x() : rect.y();
}

// The room the thumb has to travel.
int Span(const SkinElementDescription& bar) {
    return bar.orientation == Qt::Horizontal ? bar.rect.width() - bar.thumbSize.width()
                                             : bar.rect.height() - bar.thumbSize.height();
}

}  // namespace

QRect SkinSurfaceElement::ThumbRect() const {
    const SkinElementDescription& bar = description_;
    const double fraction = double(position_ - bar.minimum) / double(bar.maximum - bar.minimum);
    const int offset = static_cast<int>(std::lround(fraction * Span(bar)));
    QRect thumb(QPoint(0, 0), bar.thumbSize);
    if (bar.orientation == Qt::Horizontal)
        thumb.moveTo(bar.rect.x() + offset,
                     bar.rect.y() + (bar.rect.height() - bar.thumbSize.height()) / 2);
    else
        thumb.moveTo(bar.rect.x() + (bar.rect.width() - bar.thumbSize.width()) / 2,
                     bar.rect.y() + offset);
    return thumb;
}

int SkinSurfaceElement::PositionAt(int thumbStart) const {
    const SkinElementDescription& bar = description_;
    const int span = Span(bar);
    if (span <= 0)
        return bar.minimum;
    const double fraction = double(thumbStart - Along(bar.rect, bar.orientation)) / span;
    const long position = bar.minimum + std::lround(fraction * (bar.maximum - bar.minimum));
    return static_cast<int>(std::clamp<long>(position, bar.minimum, bar.maximum));
}

// Counts the mouse handlers running on a surface, tolerating one that deletes the surface.
class SkinDispatch {
public:
    explicit SkinDispatch(SkinSurface* surface) : surface_(surface) { ++surface->dispatching_; }
    ~SkinDispatch() {
        if (surface_)
            --surface_->dispatching_;
    }
    SkinDispatch(const SkinDispatch&) = delete;
    SkinDispatch& operator=(const SkinDispatch&) = delete;

    bool Alive() const { return !surface_.isNull(); }

private:
    QPointer<SkinSurface> surface_;
};

SkinSurface::SkinSurface(WidgetSkin* skin, QWidget* window,
                         std::shared_ptr<const SkinDescription> owner,
                         const SkinFormDescription& form)
    : QWidget(window), skin_(skin), window_(window), owner_(std::move(owner)), form_(form) {
    setObjectName(QStringLiteral("skinSurface"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setGeometry(QRect(QPoint(0, 0), form_.size));
    for (const SkinElementDescription& element : form_.elements)
        elements_.push_back(std::make_unique<SkinSurfaceElement>(this, element));
}

SkinSurface::~SkinSurface() = default;

SkinSurfaceElement* SkinSurface::Find(const QString& name) const {
    for (const auto& element : elements_) {
        if (element->Name() == name)
            return element.get();
    }
    return nullptr;
}

void SkinSurface::ElementChanged(SkinSurfaceElement* element) {
    if (!element->Enabled()) {
        if (hovered_ == element)
            hovered_ = nullptr;
        // The press itself stays, so that its release is still reported and the program's
        // press and release stay paired; only the thumb stops following the mouse.
        if (pressed_ == element)
            tracking_ = false;
    }
    update(element->Rect());
}

SkinSurfaceElement* SkinSurface::ElementAt(QPoint at) const {
    for (auto it = elements_.rbegin(); it != elements_.rend(); ++it) {
        if ((*it)->Rect().contains(at))
            return it->get();
    }
    return nullptr;
}

bool SkinSurface::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const SkinSurfaceElement* element = ElementAt(help->pos());
        if (element && !element->Description().tooltip.isEmpty()) {
            QToolTip::showText(help->globalPos(), element->Description().tooltip, this,
                               element->Rect());
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}

void SkinSurface::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const qreal ratio = devicePixelRatioF();
    painter.fillRect(event->rect(), form_.color);
    if (form_.background)
        painter.drawPixmap(0, 0, form_.background->Render(form_.size, ratio, false));
    for (const auto& element : elements_) {
        if (element->Rect().intersects(event->rect()))
            PaintElement(painter, *element, ratio);
    }
}

void SkinSurface::PaintElement(QPainter& painter, const SkinSurfaceElement& element,
                               qreal ratio) const {
    const SkinElementDescription& description = element.Description();
    const QRect& rect = description.rect;
    const bool greyed = !element.Enabled();
    const auto draw = [&](const std::shared_ptr<const SkinImage>& image, const QRect& where,
                          bool grey) {
        if (image)
            painter.drawPixmap(where.topLeft(), image->Render(where.size(), ratio, grey));
    };

    switch (description.kind) {
        case SkinKind::Button: {
            const bool held = pressed_ == &element && pressButton_ == Qt::LeftButton;
            std::shared_ptr<const SkinImage> face = description.normal;
            bool greyFace = greyed;
            if (greyed && description.disabled) {
                face = description.disabled;
                greyFace = false;
            } else if (!greyed && held && pressInside_) {
                face = description.pressed ? description.pressed
                       : description.hover ? description.hover
                                           : face;
            } else if (!greyed && !pressed_ && hovered_ == &element && description.hover) {
                face = description.hover;
            }
            draw(face, rect, greyFace);
            // The icon sinks a pixel with its button, which reads as pressed on any face.
            draw(description.icon, rect.translated(0, !greyed && held && pressInside_ ? 1 : 0),
                 greyed);
            break;
        }
        case SkinKind::Text: {
            draw(description.normal, rect, greyed);
            if (element.CurrentText().isEmpty())
                break;
            painter.save();
            painter.setClipRect(rect);
            painter.setFont(description.font);
            QColor colour = description.color;
            if (greyed)
                colour.setAlphaF(colour.alphaF() * 0.4f);
            painter.setPen(colour);
            const QString shown =
                QFontMetrics(description.font)
                    .elidedText(element.CurrentText(), Qt::ElideRight, rect.width());
            painter.drawText(rect, static_cast<int>(description.alignment), shown);
            painter.restore();
            break;
        }
        case SkinKind::ScrollBar: {
            draw(description.track, rect, greyed);
            const QRect thumb = element.ThumbRect();
            if (description.fill) {
                painter.save();
                painter.setClipRect(
                    description.orientation == Qt::Horizontal
                        ? QRect(rect.topLeft(), QPoint(thumb.center().x(), rect.bottom()))
                        : QRect(rect.topLeft(), QPoint(rect.right(), thumb.center().y())));
                draw(description.fill, rect, greyed);
                painter.restore();
            }
            const bool held = pressed_ == &element && tracking_;
            draw(held && description.thumbPressed ? description.thumbPressed : description.thumb,
                 thumb, greyed);
            break;
        }
        case SkinKind::Drag:
            draw(description.normal, rect, greyed);
            break;
        case SkinKind::Area:
            break;
    }
}

void SkinSurface::SetHovered(SkinSurfaceElement* element) {
    if (element && (element->Kind() != SkinKind::Button || !element->Enabled()))
        element = nullptr;
    if (hovered_ == element)
        return;
    if (hovered_)
        update(hovered_->Rect());
    hovered_ = element;
    if (hovered_)
        update(hovered_->Rect());
}

void SkinSurface::Track(QPoint at) {
    // Only a real move sets the position: recomputing it from an unmoved pixel would round it
    // off, and a thumb merely taken must keep the position the program gave it.
    if (!pressed_ || !tracking_ || at == trackedAt_)
        return;
    trackedAt_ = at;
    const Qt::Orientation orientation = pressed_->Description().orientation;
    const int along = orientation == Qt::Horizontal ? at.x() : at.y();
    pressed_->SetPosition(pressed_->PositionAt(along - grabOffset_));
}

void SkinSurface::mousePressEvent(QMouseEvent* event) {
    SkinDispatch dispatch(this);
    const QPoint at = event->position().toPoint();
    const Qt::MouseButton button = event->button();
    SkinSurfaceElement* element = ElementAt(at);
    // Drag areas stay silent so that the press reaches only the window's own handling, which
    // moves the window; disabled elements report nothing at all.
    if (!pressed_ && element && element->Enabled() && element->Kind() != SkinKind::Drag) {
        pressed_ = element;
        pressButton_ = button;
        pressInside_ = true;
        if (element->Kind() == SkinKind::ScrollBar && button == Qt::LeftButton) {
            const QRect thumb = element->ThumbRect();
            const Qt::Orientation orientation = element->Description().orientation;
            const int along = orientation == Qt::Horizontal ? at.x() : at.y();
            const int start = Along(thumb, orientation);
            const int length = orientation == Qt::Horizontal ? thumb.width() : thumb.height();
            // Taking the thumb keeps it under the mouse; a press on the track jumps there.
            const bool onThumb = along >= start && along < start + length;
            grabOffset_ = onThumb ? along - start : length / 2;
            tracking_ = true;
            trackedAt_ = onThumb ? at : QPoint(-1, -1);
            Track(at);
        }
        update(element->Rect());
        const QPoint local = at - element->Rect().topLeft();
        if (skin_)
            emit skin_->OnMouseDown(element, button, local.x(), local.y());
        if (!dispatch.Alive())
            return;
    }
    if (skin_)
        emit skin_->OnFormMouseDown(window_, button, at.x(), at.y());
}

void SkinSurface::mouseMoveEvent(QMouseEvent* event) {
    SkinDispatch dispatch(this);
    const QPoint at = event->position().toPoint();
    if (pressed_) {
        const bool inside = pressed_->Rect().contains(at);
        if (inside != pressInside_) {
            pressInside_ = inside;
            update(pressed_->Rect());
        }
        Track(at);
    } else {
        SetHovered(ElementAt(at));
    }
    if (skin_)
        emit skin_->OnFormMouseMove(window_, at.x(), at.y());
}

void SkinSurface::mouseReleaseEvent(QMouseEvent* event) {
    SkinDispatch dispatch(this);
    const QPoint at = event->position().toPoint();
    const Qt::MouseButton button = event->button();
    QString builtIn;
    if (pressed_ && button == pressButton_) {
        SkinSurfaceElement* element = pressed_;
        Track(at);
        pressed_ = nullptr;
        tracking_ = false;
        const bool clicked = element->Kind() == SkinKind::Button && button == Qt::LeftButton &&
                             element->Rect().contains(at) && element->Enabled();
        update(element->Rect());
        SetHovered(ElementAt(at));
        const QPoint local = at - element->Rect().topLeft();
        if (skin_)
            emit skin_->OnMouseUp(element, button, local.x(), local.y());
        if (!dispatch.Alive())
            return;
        if (clicked) {
            builtIn = element->Name();
            if (skin_)
                emit skin_->OnClick(element);
            if (!dispatch.Alive())
                return;
        }
    }
    if (skin_)
        emit skin_->OnFormMouseUp(window_, button, at.x(), at.y());
    if (!dispatch.Alive())
        return;
    // Behaviours every skinned window shares, run last because they may hide the window.
    if (builtIn == QStringLiteral("min"))
        window_->showMinimized();
    else if (builtIn == QStringLiteral("close"))
        window_->close();
}

void SkinSurface::leaveEvent(QEvent* event) {
    SetHovered(nullptr);
    QWidget::leaveEvent(event);
}
