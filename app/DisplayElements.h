#pragma once

#include <QString>
#include <map>

#include "components/Skin.h"

// The main window's display elements, looked up by name in its skin form once after the skin
// is applied. Writes to an element the skin lacks are skipped silently, so a skin may leave out
// any display. The pointers belong to the skin form: bind again after a new skin is applied.
class DisplayElements {
public:
    DisplayElements() = default;  // binds nothing until Bind
    explicit DisplayElements(SkinForm* form) { Bind(form); }

    // Replaces all bindings; a null form leaves every element unbound.
    void Bind(SkinForm* form);

    // Sets the text and redraws the element.
    void SetText(const QString& name, const QString& text);
    void Clear(const QString& name) { SetText(name, QString()); }

    // The seek bar "play_bar", scale 0..980. Setting the position redraws it; an unbound bar
    // reads as 0.
    void SetBarPosition(int position);
    int BarPosition() const;
    void SetBarEnabled(bool enabled);

private:
    struct Bound {
        SkinElement* element = nullptr;
        SkinText* text = nullptr;
        SkinScrollBar* scrollBar = nullptr;
    };
    const Bound* Find(const QString& name) const;

    std::map<QString, Bound> bound_;
};
