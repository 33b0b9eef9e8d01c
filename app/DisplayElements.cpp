#include "app/DisplayElements.h"

#include <QStringList>
#include <utility>

using display::kBar;

void DisplayElements::Bind(SkinForm* form) {
    bound_.clear();
    if (!form)
        return;
    // Nothing writes "s_left", "s_right" or "s_size"; they are bound with the rest so
    // that a display using them later needs no lookup of its own.
    static const QStringList names{display::kTime,           kBar,
                                   QStringLiteral("s_left"), QStringLiteral("s_right"),
                                   display::kProgress,       QStringLiteral("s_size"),
                                   display::kFileSize,       display::kFileName,
                                   display::kFileInfo};
    for (const QString& name : names) {
        SkinObject* object = form->FindObject(name);
        if (!object)
            continue;
        Bound bound;
        bound.element = object->Element();
        if (name == kBar)
            bound.scrollBar = object->ScrollBar();
        else
            bound.text = object->Text();
        bound_[name] = bound;
    }
}

const DisplayElements::Bound* DisplayElements::Find(const QString& name) const {
    const auto it = bound_.find(name);
    return it == bound_.end() ? nullptr : &it->second;
}

void DisplayElements::SetText(const QString& name, const QString& text) {
    if (textsHeld_)
        heldTexts_[name] = text;
    else
        Show(name, text);
}

void DisplayElements::HoldTexts(bool held) {
    textsHeld_ = held;
    if (held)
        return;
    for (const auto& [name, text] : std::exchange(heldTexts_, {}))
        Show(name, text);
}

void DisplayElements::Show(const QString& name, const QString& text) {
    const Bound* bound = Find(name);
    // A text without its redraw would leave the old one on screen, so both are needed.
    if (!bound || !bound->text || !bound->element)
        return;
    bound->text->SetText(text);
    bound->element->Redraw();
}

void DisplayElements::SetBarPosition(int position) {
    const Bound* bound = Find(kBar);
    if (barHeld_ || !bound || !bound->scrollBar)
        return;
    bound->scrollBar->SetPosition(position);
    if (bound->element)
        bound->element->Redraw();
}

int DisplayElements::BarPosition() const {
    const Bound* bound = Find(kBar);
    return bound && bound->scrollBar ? bound->scrollBar->Position() : 0;
}

void DisplayElements::SetBarEnabled(bool enabled) {
    const Bound* bound = Find(kBar);
    if (bound && bound->element)
        bound->element->SetEnabled(enabled);
}
