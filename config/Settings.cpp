#include "config/Settings.h"

void Settings::WriteString(const QString& section, const QString& key, const QString& value) {
    Write({{section, key, value}});
}

void Settings::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

void Settings::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void Settings::WriteTime(const QString& section, const QString& key, const QTime& value) {
    WriteString(section, key, value.toString(QStringLiteral("HH:mm:ss")));
}

void Settings::WriteDate(const QString& section, const QString& key, const QDate& value) {
    WriteString(section, key, value.toString(QStringLiteral("yyyy-MM-dd")));
}
