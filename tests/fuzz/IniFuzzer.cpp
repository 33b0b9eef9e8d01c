// Kelvo.ini as any bytes: every value the program reads at start-up is read, and a write goes
// back into the same file, as the settings dialog does.
#include <QCoreApplication>

#include "components/SonvaraError.h"
#include "config/IniSettings.h"
#include "config/Mp3Settings.h"
#include "config/OutputFolder.h"
#include "config/RecordingSettings.h"
#include "fuzz/FuzzFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = WriteFuzzFile(data, size, QStringLiteral("Kelvo.ini"));
    try {
        IniSettings settings(path);
        LoadRecordingSettings(settings);
        ReadMp3Settings(settings);
        ReadOutputDirectory(settings);
        settings.ReadTime(QStringLiteral("schedule"), QStringLiteral("begin1"), QTime());
        settings.ReadDate(QStringLiteral("schedule"), QStringLiteral("date"), QDate());
        settings.ReadBool(QStringLiteral("schedule"), QStringLiteral("check1"), false);
        settings.ReadString(QStringLiteral("info"), QStringLiteral("title"), QString());
        settings.WriteString(QStringLiteral("info"), QStringLiteral("title"), QStringLiteral("x"));
        IniSettings(path).ReadString(QStringLiteral("info"), QStringLiteral("title"), QString());
    } catch (const SonvaraError&) {
        // A clear refusal is a correct answer to bad bytes.
    }
    return 0;
}
