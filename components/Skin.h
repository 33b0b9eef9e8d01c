#pragma once

#include <QObject>
#include <QString>

// What the program asks of the skin engine: it draws the whole face of a skinned window from
// a skin file, and reports presses and clicks on its named elements. Windows are passed as
// QObject so that the program's logic needs no widgets.

// Repaints and greys an element.
class SkinElement {
public:
    virtual ~SkinElement() = default;
    virtual void SetEnabled(bool enabled) = 0;
    virtual void Redraw() = 0;
};

class SkinText {
public:
    virtual ~SkinText() = default;
    virtual void SetText(const QString& text) = 0;  // empty text allowed
    virtual QString CurrentText() const = 0;
};

class SkinScrollBar {
public:
    virtual ~SkinScrollBar() = default;
    virtual int Position() const = 0;
    virtual void SetPosition(int position) = 0;
};

// One named element of a skinned window, with the second interfaces that its kind offers
// (null where it offers none).
class SkinObject {
public:
    virtual ~SkinObject() = default;
    virtual QString Name() const = 0;
    virtual SkinElement* Element() = 0;
    virtual SkinText* Text() = 0;
    virtual SkinScrollBar* ScrollBar() = 0;
};

// A window as the skin has dressed it.
class SkinForm {
public:
    virtual ~SkinForm() = default;
    // Null when the form has no element of that name.
    virtual SkinObject* FindObject(const QString& name) = 0;
};

class Skin : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Reads the skin file; throws SonvaraError naming the file and, for a malformed one, the
    // place of the fault.
    virtual void LoadSkin(const QString& fileName) = 0;
    // Takes over the window's face (frameless, drawn by the skin).
    virtual void ApplySkin(QObject* window) = 0;
    // Dresses the window as the named form of the loaded skin: its size, background and
    // elements. Throws SonvaraError when the skin has no such form.
    virtual void ApplyForm(QObject* window, const QString& formName) = 0;
    // Null for a window that has no form applied.
    virtual SkinForm* GetSkinForm(QObject* window) = 0;

signals:
    // A button element was pressed and released inside it.
    void OnClick(SkinObject* source);
    // Press and release on an element (not on areas that move the window, such as "bar").
    void OnMouseDown(SkinObject* source, Qt::MouseButton button, int x, int y);
    void OnMouseUp(SkinObject* source, Qt::MouseButton button, int x, int y);
    // Every mouse event on a skinned window's surface, in client coordinates, after the element
    // events above: the window's own press, move and release handling.
    void OnFormMouseDown(QObject* window, Qt::MouseButton button, int x, int y);
    void OnFormMouseMove(QObject* window, int x, int y);
    void OnFormMouseUp(QObject* window, Qt::MouseButton button, int x, int y);
};
