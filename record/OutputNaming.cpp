#include "record/OutputNaming.h"

#include <QDateTime>

#include "components/Clock.h"
#include "config/OutputFolder.h"
#include "config/SettingsKeys.h"

namespace {

bool CustomName(const Settings& settings) {
    return Read(settings, keys::kCustomName, Reader::Used);
}

// A custom name of an empty prefix would be only the extension: a hidden file the user would
// not find. The time-stamped name has its stamp.
QString ReadPrefix(const Settings& settings) {
    const QString prefix = Read(settings, keys::kMainName, Reader::Used);
    return prefix.isEmpty() && CustomName(settings) ? *keys::kMainName.used : prefix;
}

// A "/" in the prefix would name a sub-folder (or, with "..", a folder above), NUL cannot be in
// a path at all, and other control characters would reach the terminal that prints the name.
QString SafeFileName(QString name) {
    for (QChar& c : name) {
        if (c == u'/' || c.category() == QChar::Other_Control)
            c = u'_';
    }
    if (name == u"." || name == u"..")
        name.fill(u'_');
    return name;
}

// "EUT.mp3" becomes "EUT-2.mp3"; a name without an extension gets the number at its end.
QString NumberedPath(const QString& path, int number) {
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    const qsizetype at = dot > slash + 1 ? dot : path.size();
    return path.left(at) + u'-' + QString::number(number) + path.mid(at);
}

}  // namespace

QString BuildOutputFileName(const Settings& settings, const Clock& clock,
                            const QString& extension) {
    QString name = ReadPrefix(settings);
    if (!CustomName(settings)) {
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

QString FreeFileName(const QString& path, const std::function<bool(const QString&)>& taken) {
    QString free = path;
    for (int number = 2; taken(free); ++number)
        free = NumberedPath(path, number);
    return free;
}
