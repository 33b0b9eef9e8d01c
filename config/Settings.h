#pragma once

#include <QDate>
#include <QString>
#include <QTime>

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

    virtual void WriteString(const QString& section, const QString& key, const QString& value) = 0;
    virtual void WriteInteger(const QString& section, const QString& key, int value) = 0;
    virtual void WriteBool(const QString& section, const QString& key, bool value) = 0;
    virtual void WriteTime(const QString& section, const QString& key, const QTime& value) = 0;
    virtual void WriteDate(const QString& section, const QString& key, const QDate& value) = 0;
};
