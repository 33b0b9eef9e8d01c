#pragma once

#include <QRect>
#include <QStringList>
#include <memory>

#include "components/Skin.h"

class QWidget;
class SkinSurface;
struct SkinDescription;

// The skin engine, drawn with Qt widgets: reads a skin file (see SkinDescription.h) and dresses
// top-level widgets as its forms. SkinObjects stay valid until the window is dressed as another
// form, a newly loaded skin is applied to it, or the window is destroyed.
class WidgetSkin : public Skin {
    Q_OBJECT

public:
    explicit WidgetSkin(QObject* parent = nullptr);
    ~WidgetSkin() override;

    // Takes a bundle made by `rcc -binary`, or a plain folder holding skin.json (for skin
    // authors). A failed load keeps the skin loaded before.
    void LoadSkin(const QString& fileName) override;
    void ApplySkin(QObject* window) override;
    void ApplyForm(QObject* window, const QString& formName) override;
    SkinForm* GetSkinForm(QObject* window) override;

    // Where a named element lies in the window's form, for the program to place its own widgets
    // (the list view, the level display); empty when the window has no form or no such element.
    QRect AreaRect(const QObject* window, const QString& name) const;
    // Forms of the loaded skin; empty before a skin is loaded.
    QStringList FormNames() const;
    // The widget that draws the window's form and receives its mouse input; null without one.
    QWidget* Surface(QObject* window) const;

private:
    std::shared_ptr<const SkinDescription> skin_;
};
