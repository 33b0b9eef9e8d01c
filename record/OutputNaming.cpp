#include "record/OutputNaming.h"

#include <QDateTime>

#include "components/Clock.h"
#include "config/OutputFolder.h"
#include "config/Settings.h"

namespace {

const QString kSection = QStringLiteral("output");
const QString kDefaultPrefix = QStringLiteral("EUT");

QString ReadPrefix(const Settings& settings) {
    return settings.ReadString(kSection, QStringLiteral("out_name"), kDefaultPrefix);
}

// A "/" in the prefix would name a sub-folder (or, with "..", a folder above) and NUL cannot
// be in a path at all.
QString SafeFileName(QString name) {
    name.replace(u'/', u'_');
    name.replace(QChar(u'\0'), u'_');
    if (name == u"." || name == u"..")
        name.fill(u'_');
    return name;
}

}  // namespace

QString BuildOutputFileName(const Settings& settings, const Clock& clock,
                            const QString& extension) {
    const bool customName = settings.ReadBool(kSection, QStringLiteral("rb_cust"), true);
    QString name = ReadPrefix(settings);
    if (!customName) {
        // Semicolons, because the Windows version could not put ":" in a file name and
        // existing recordings are named so.
        name += u'-' + clock.Now().toLocalTime().toString(QStringLiteral("dd-MM-yyyy--HH;mm;ss"));
    }
    return OutputDirectoryPath(settings) + SafeFileName(name + extension);
}

QString ShownFileName(const Settings& settings, const QString& outputFile) {
    const QString prefix = ReadPrefix(settings);
    const qsizetype start = outputFile.indexOf(prefix.isEmpty() ? QStringLiteral("-") : prefix);
    return start < 0 ? outputFile : outputFile.mid(start);
}
