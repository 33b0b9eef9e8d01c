#pragma once

// A stand-in for the skin engine, for tests of the program's logic: forms are built by hand
// from named elements, every element records what the program did to it, and the test raises
// the skin's events itself.

#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <utility>

#include "components/Skin.h"
#include "components/SonvaraError.h"

// Which interfaces an element offers: a text display by default.
struct FakeSkinKinds {
    bool element = true;
    bool text = true;
    bool scrollBar = false;
};

class FakeSkinObject : public SkinObject,
                       public SkinElement,
                       public SkinText,
                       public SkinScrollBar {
public:
    using Kinds = FakeSkinKinds;

    explicit FakeSkinObject(QString name, Kinds kinds = {})
        : name_(std::move(name)), kinds_(kinds) {}

    // What the program did.
    bool enabled = true;
    int redraws = 0;
    QString text;
    int position = 0;
    QStringList log;  // "SetText:<text>", "Redraw", "SetEnabled:<0|1>", "SetPosition:<n>"

    QString Name() const override { return name_; }
    SkinElement* Element() override { return kinds_.element ? this : nullptr; }
    SkinText* Text() override { return kinds_.text ? this : nullptr; }
    SkinScrollBar* ScrollBar() override { return kinds_.scrollBar ? this : nullptr; }

    void SetEnabled(bool on) override {
        enabled = on;
        log << QStringLiteral("SetEnabled:%1").arg(on ? 1 : 0);
    }
    void Redraw() override {
        ++redraws;
        log << QStringLiteral("Redraw");
    }
    void SetText(const QString& value) override {
        text = value;
        log << QStringLiteral("SetText:") + value;
    }
    QString CurrentText() const override { return text; }
    int Position() const override { return position; }
    void SetPosition(int value) override {
        position = value;
        log << QStringLiteral("SetPosition:%1").arg(value);
    }

private:
    QString name_;
    Kinds kinds_;
};

class FakeSkinForm : public SkinForm {
public:
    // A text display, or with kinds given any other element.
    FakeSkinObject& Add(const QString& name, FakeSkinObject::Kinds kinds = {}) {
        auto& slot = objects_[name];
        slot = std::make_unique<FakeSkinObject>(name, kinds);
        return *slot;
    }
    FakeSkinObject& AddScrollBar(const QString& name) {
        return Add(name, {.element = true, .text = false, .scrollBar = true});
    }
    FakeSkinObject* Get(const QString& name) {
        const auto it = objects_.find(name);
        return it == objects_.end() ? nullptr : it->second.get();
    }

    QStringList lookups;  // names asked for, in order

    SkinObject* FindObject(const QString& name) override {
        lookups << name;
        return Get(name);
    }

private:
    std::map<QString, std::unique_ptr<FakeSkinObject>> objects_;
};

class FakeSkin : public Skin {
public:
    using Skin::Skin;

    // Set to make LoadSkin or ApplyForm fail the way the engine does.
    bool failLoad = false;
    QStringList knownForms{QStringLiteral("kelvox"), QStringLiteral("listwin")};

    // What the program did.
    QString loadedFile;
    QStringList calls;  // "LoadSkin:<file>", "ApplySkin", "ApplyForm:<form>"

    // The form of each window that ApplyForm dressed; tests fill it before or after.
    std::map<QObject*, FakeSkinForm> forms;
    std::map<QObject*, QString> formNames;

    void LoadSkin(const QString& fileName) override {
        calls << QStringLiteral("LoadSkin:") + fileName;
        if (failLoad)
            throw SonvaraError(QStringLiteral("Cannot read the skin file %1.").arg(fileName));
        loadedFile = fileName;
    }
    void ApplySkin(QObject*) override { calls << QStringLiteral("ApplySkin"); }
    void ApplyForm(QObject* window, const QString& formName) override {
        calls << QStringLiteral("ApplyForm:") + formName;
        if (!knownForms.contains(formName))
            throw SonvaraError(QStringLiteral("The skin has no form %1.").arg(formName));
        formNames[window] = formName;
    }
    SkinForm* GetSkinForm(QObject* window) override {
        if (!formNames.count(window))
            return nullptr;
        return &forms[window];
    }

    // Raise the engine's events.
    void Click(SkinObject* source) { emit OnClick(source); }
    void Press(SkinObject* source, int x = 0, int y = 0) {
        emit OnMouseDown(source, Qt::LeftButton, x, y);
    }
    void Release(SkinObject* source, int x = 0, int y = 0) {
        emit OnMouseUp(source, Qt::LeftButton, x, y);
    }
    void FormPress(QObject* window, int x, int y) {
        emit OnFormMouseDown(window, Qt::LeftButton, x, y);
    }
    void FormMove(QObject* window, int x, int y) { emit OnFormMouseMove(window, x, y); }
    void FormRelease(QObject* window, int x, int y) {
        emit OnFormMouseUp(window, Qt::LeftButton, x, y);
    }
};
