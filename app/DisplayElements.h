#pragma once

#include <QString>
#include <map>

#include "components/MainDisplays.h"
#include "components/Skin.h"

// The main window's display elements, looked up by name in its skin form once after the skin
// is applied. Writes to an element the skin lacks are skipped silently, so a skin may leave out
// any display. The pointers belong to the skin form: bind again after a new skin is applied.
class DisplayElements : public MainDisplays {
public:
    DisplayElements() = default;  // binds nothing until Bind
    explicit DisplayElements(SkinForm* form) { Bind(form); }

    // Replaces all bindings; a null form leaves every element unbound.
    void Bind(SkinForm* form);

    void SetText(const QString& name, const QString& text) override;
    void SetBarPosition(int position) override;
    int BarPosition() const override;
    void SetBarEnabled(bool enabled) override;

private:
    struct Bound {
        SkinElement* element = nullptr;
        SkinText* text = nullptr;
        SkinScrollBar* scrollBar = nullptr;
    };
    const Bound* Find(const QString& name) const;

    std::map<QString, Bound> bound_;
};
