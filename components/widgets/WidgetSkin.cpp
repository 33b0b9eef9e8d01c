#include "components/widgets/WidgetSkin.h"

#include <QWidget>

#include "components/SonvaraError.h"
#include "components/widgets/SkinDescription.h"
#include "components/widgets/SkinSurface.h"

namespace {

QWidget* Widget(QObject* window, const char* operation) {
    auto* widget = qobject_cast<QWidget*>(window);
    if (!widget) {
        throw SonvaraError(
            QStringLiteral("The skin engine cannot dress %1 (%2): it is not a widget.")
                .arg(window ? window->objectName() : QStringLiteral("nothing"),
                     QLatin1String(operation)));
    }
    return widget;
}

SkinSurface* SurfaceOf(const QObject* window) {
    return window ? window->findChild<SkinSurface*>(QString(), Qt::FindDirectChildrenOnly)
                  : nullptr;
}

}  // namespace

WidgetSkin::WidgetSkin(QObject* parent) : Skin(parent) {}

WidgetSkin::~WidgetSkin() = default;

void WidgetSkin::LoadSkin(const QString& fileName) {
    skin_ = ReadSkin(fileName);
}

void WidgetSkin::ApplySkin(QObject* window) {
    QWidget* widget = Widget(window, "ApplySkin");
    const Qt::WindowFlags flags = widget->windowFlags();
    // Changing the flags hides a shown window, so a window already dressed is left alone: the
    // list window is dressed again each time it is shown.
    if (flags.testFlag(Qt::FramelessWindowHint) && widget->isWindow())
        return;
    const bool shown = widget->isVisible();
    // A skinned window's buttons are icons: their tooltips must show even when the window
    // is not the active one.
    widget->setAttribute(Qt::WA_AlwaysShowToolTips);
    widget->setWindowFlags((flags & ~Qt::WindowFlags(Qt::WindowType_Mask)) | Qt::Window |
                           Qt::FramelessWindowHint);
    if (shown)
        widget->show();
}

void WidgetSkin::ApplyForm(QObject* window, const QString& formName) {
    QWidget* widget = Widget(window, "ApplyForm");
    if (!skin_) {
        throw SonvaraError(
            QStringLiteral("No skin is loaded to dress the window as form \"%1\".").arg(formName));
    }
    const auto form = skin_->forms.constFind(formName);
    if (form == skin_->forms.cend()) {
        throw SonvaraError(
            QStringLiteral("Skin file \"%1\" has no form \"%2\".").arg(skin_->fileName, formName));
    }
    widget->setFixedSize((*form)->size);

    SkinSurface* surface = SurfaceOf(widget);
    // The same form again keeps its surface, so that the program's elements and their state
    // live on; anything else replaces it.
    if (surface && (surface->Skin() != skin_.get() || &surface->Form() != form->get())) {
        surface->hide();
        surface->setParent(nullptr);
        if (surface->Dispatching())
            surface->deleteLater();
        else
            delete surface;
        surface = nullptr;
    }
    if (!surface) {
        surface = new SkinSurface(this, widget, skin_, **form);
        surface->show();
    }
    surface->setGeometry(QRect(QPoint(0, 0), (*form)->size));
    // The program's own widgets (list view, level display) sit above the face.
    surface->lower();
}

SkinForm* WidgetSkin::GetSkinForm(QObject* window) {
    return SurfaceOf(window);
}

QRect WidgetSkin::AreaRect(const QObject* window, const QString& name) const {
    const SkinSurface* surface = SurfaceOf(window);
    const SkinElementDescription* element = surface ? surface->Form().Find(name) : nullptr;
    return element ? element->rect : QRect();
}

QStringList WidgetSkin::FormNames() const {
    return skin_ ? skin_->forms.keys() : QStringList();
}

QWidget* WidgetSkin::Surface(QObject* window) const {
    return SurfaceOf(window);
}
