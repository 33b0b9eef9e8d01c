#pragma once

#include <QString>
#include <map>

#include "components/MainDisplays.h"
#include "components/Skin.h"

// The main window's display elements, looked up by name in its skin form once after the skin
// is applied. Writes to an element the skin lacks are skipped silently, so a skin may leave out
// any display. The pointers belong to the skin form: bind again after a new skin is applied.
// What the user holds (the window in a drag, the seek bar) is not moved under them.
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

    // While the user drags the window, texts are kept back and shown, the latest of each, when
    // the drag ends.
    void HoldTexts(bool held);
    // While the user holds the seek bar, nothing else moves it.
    void HoldBar(bool held) { barHeld_ = held; }
    bool BarHeld() const { return barHeld_; }

private:
    struct Bound {
        SkinElement* element = nullptr;
        SkinText* text = nullptr;
        SkinScrollBar* scrollBar = nullptr;
    };
    const Bound* Find(const QString& name) const;

    void Show(const QString& name, const QString& text);

    std::map<QString, Bound> bound_;
    bool textsHeld_ = false;
    std::map<QString, QString> heldTexts_;
    bool barHeld_ = false;
};
