#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QTime>

// One value on its way to the store, as the store keeps it: text.
struct StoredValue {
    QString section;
    QString key;
    QString text;
};

// The program's settings, by section and key. Every read consults the store and falls back
// to the caller's default on a missing or malformed value; every write reaches the store at
// once. Section and key names compare without regard to case.
class Settings {
public:
    virtual ~Settings() = default;

    virtual QString ReadString(const QString& section, const QString& key,
                               const QString& defaultValue) const = 0;
    virtual int ReadInteger(const QString& section, const QString& key, int defaultValue) const = 0;
    virtual bool ReadBool(const QString& section, const QString& key, bool defaultValue) const = 0;
    virtual QTime ReadTime(const QString& section, const QString& key,
                           const QTime& defaultValue) const = 0;
    virtual QDate ReadDate(const QString& section, const QString& key,
                           const QDate& defaultValue) const = 0;

    // Stores the values together, in one write of the store: all of them, or none when it
    // fails.
    virtual void Write(const QList<StoredValue>& values) = 0;
    // Why the store could not be read or written when last asked; empty when it could.
    virtual QString Trouble() const { return {}; }

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);
    void WriteTime(const QString& section, const QString& key, const QTime& value);
    void WriteDate(const QString& section, const QString& key, const QDate& value);
};

// Writes gathered over a store while a group of settings is saved, then stored there by
// Commit in one write. Reads go to the store as it is, without the gathered values.
class SettingsBatch : public Settings {
public:
    explicit SettingsBatch(Settings& store) : store_(store) {}

    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue) const override {
        return store_.ReadString(section, key, defaultValue);
    }
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const override {
        return store_.ReadInteger(section, key, defaultValue);
    }
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const override {
        return store_.ReadBool(section, key, defaultValue);
    }
    QTime ReadTime(const QString& section, const QString& key,
                   const QTime& defaultValue) const override {
        return store_.ReadTime(section, key, defaultValue);
    }
    QDate ReadDate(const QString& section, const QString& key,
                   const QDate& defaultValue) const override {
        return store_.ReadDate(section, key, defaultValue);
    }

    void Write(const QList<StoredValue>& values) override { gathered_ += values; }
    const QList<StoredValue>& Gathered() const { return gathered_; }
    // Throws as the store's Write does; the gathered values are then still held.
    void Commit() {
        if (gathered_.isEmpty())
            return;
        store_.Write(gathered_);
        gathered_.clear();
    }

private:
    Settings& store_;
    QList<StoredValue> gathered_;
};
