#pragma once

#include <QString>
#include <memory>
#include <optional>

#include "config/Settings.h"

// Settings kept in one INI file, rewritten whole on every write. Every read sees the file as it
// is now: its text is kept between reads only while the file's identity, size and modification
// time (to the nanosecond) stay the same, so an edit made outside the program counts at the next
// read, and a file that can no longer be read leaves what was read before in force. Reads accept
// a file written by the Windows version (CRLF lines, ANSI text, its time and date forms); a
// write keeps every line it does not change and replaces the file atomically, once for all its
// values. Used from one thread at a time.
class IniSettings : public Settings {
public:
    explicit IniSettings(QString path);
    ~IniSettings() override;

    const QString& Path() const { return path_; }

    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue) const override;
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const override;
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const override;
    QTime ReadTime(const QString& section, const QString& key,
                   const QTime& defaultValue) const override;
    QDate ReadDate(const QString& section, const QString& key,
                   const QDate& defaultValue) const override;

    // Throws SonvaraError naming the file when it cannot be written; the file then keeps its
    // old contents, while the values stay in force for this run and go with the next write.
    void Write(const QList<StoredValue>& values) override;
    QString Trouble() const override;

private:
    struct Snapshot;

    std::optional<QString> ReadValue(const QString& section, const QString& key) const;
    const Snapshot& Current() const;

    QString path_;
    mutable std::unique_ptr<Snapshot> snapshot_;
    QList<StoredValue> unsaved_;  // written while the file could not be
    mutable QString readTrouble_;
    QString writeTrouble_;
};

// $XDG_CONFIG_HOME/Sonvara/Kelvo.ini, or ~/.config/Sonvara/Kelvo.ini when that is unset.
QString DefaultSettingsPath();
