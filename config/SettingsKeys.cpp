#include "config/SettingsKeys.h"

#include "config/Settings.h"
#include "config/ValueTables.h"

namespace {

// Asking a key of a reader that does not read it is a slip in the program, caught at once.
template <typename T>
T DefaultAt(const SettingKey<T>& key, Reader reader) {
    return (reader == Reader::Shown ? key.shown : key.used).value();
}

}  // namespace

bool Read(const Settings& settings, const BoolKey& key, Reader reader) {
    return settings.ReadBool(key.section, key.name, DefaultAt(key, reader));
}

QString Read(const Settings& settings, const TextKey& key, Reader reader) {
    return settings.ReadString(key.section, key.name, DefaultAt(key, reader));
}

int Read(const Settings& settings, const IntKey& key, Reader reader) {
    return settings.ReadInteger(key.section, key.name, DefaultAt(key, reader));
}

int Read(const Settings& settings, const ComputedKey<int>& key, int fallback) {
    return settings.ReadInteger(key.section, key.name, fallback);
}

QTime Read(const Settings& settings, const TimeKey& key, const QTime& fallback) {
    return settings.ReadTime(key.section, key.name, fallback);
}

QDate Read(const Settings& settings, const DateKey& key, const QDate& fallback) {
    return settings.ReadDate(key.section, key.name, fallback);
}

int ReadIndex(const Settings& settings, const IntKey& key, Reader reader, int tableSize) {
    return ReadTableIndex(settings, key.section, key.name, DefaultAt(key, reader), tableSize);
}

int ReadInRange(const Settings& settings, const IntKey& key, Reader reader, int low, int high) {
    const int fallback = DefaultAt(key, reader);
    const int value = settings.ReadInteger(key.section, key.name, fallback);
    return value >= low && value <= high ? value : fallback;
}

void Write(Settings& settings, const BoolKey& key, bool value) {
    settings.WriteBool(key.section, key.name, value);
}

void Write(Settings& settings, const TextKey& key, const QString& value) {
    settings.WriteString(key.section, key.name, value);
}

void Write(Settings& settings, const IntKey& key, int value) {
    settings.WriteInteger(key.section, key.name, value);
}

void Write(Settings& settings, const TimeKey& key, const QTime& value) {
    settings.WriteTime(key.section, key.name, value);
}

void Write(Settings& settings, const DateKey& key, const QDate& value) {
    settings.WriteDate(key.section, key.name, value);
}
