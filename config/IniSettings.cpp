#include "config/IniSettings.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringConverter>
#include <QStringList>
#include <algorithm>
#include <array>
#include <ctime>
#include <utility>

#include "components/SonvaraError.h"

namespace {

// The file as lines without their endings, plus what is needed to write it back the same way.
struct IniText {
    QStringList lines;
    QString eol = QStringLiteral("\n");
    bool bom = false;
};

// Windows-1252 differs from Latin-1 only in 0x80-0x9F; the five unassigned bytes keep their
// Latin-1 meaning, as Windows' own conversion does.
QString DecodeWindows1252(const QByteArray& bytes) {
    static constexpr std::array<char16_t, 32> kHigh = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = (byte >= 0x80 && byte < 0xA0) ? QChar(kHigh[byte - 0x80]) : QChar(byte);
    }
    return text;
}

// The Windows version wrote the file in the ANSI code page; anything that is not valid UTF-8
// is taken to be such a file.
QString Decode(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    return utf8.hasError() ? DecodeWindows1252(bytes) : text;
}

IniText Split(const QByteArray& bytes) {
    IniText ini;
    ini.bom = bytes.startsWith("\xEF\xBB\xBF");
    QString text = Decode(ini.bom ? bytes.mid(3) : bytes);
    const qsizetype firstBreak = text.indexOf(u'\n');
    if (firstBreak > 0 && text.at(firstBreak - 1) == u'\r')
        ini.eol = QStringLiteral("\r\n");
    if (text.endsWith(u'\n'))
        text.chop(1);
    if (text.isEmpty())
        return ini;
    ini.lines = text.split(u'\n');
    for (QString& line : ini.lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    return ini;
}

// What tells one state of the file from another without reading it. A file replaced by
// another (as our own writes replace it) gets a new inode; one rewritten in place a new size,
// modification or change time.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    bool operator==(const FileStamp& other) const {
        const auto same = [](const timespec& a, const timespec& b) {
            return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
        };
        return exists == other.exists && device == other.device && inode == other.inode &&
               size == other.size && same(modified, other.modified) && same(changed, other.changed);
    }
};

FileStamp StampOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return {true, info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

// File times advance by the kernel's clock tick (a few milliseconds), not by the nanosecond: a
// second edit within the tick of the first, of the same size, would keep the stamp. A file
// changed that recently is therefore read again next time instead of being trusted.
bool RecentlyChanged(const FileStamp& stamp) {
    constexpr long long kTickNs = 50'000'000;  // well above any tick
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const auto ns = [](const timespec& t) { return t.tv_sec * 1'000'000'000LL + t.tv_nsec; };
    return ns(now) - std::max(ns(stamp.modified), ns(stamp.changed)) < kTickNs;
}

// A file that cannot be opened gives no text; the caller keeps what it read before.
std::optional<IniText> LoadForReading(const QString& path, QString& trouble) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        trouble = QStringLiteral("Cannot read the settings file %1: %2")
                      .arg(QDir::toNativeSeparators(path), file.errorString());
        return std::nullopt;
    }
    trouble.clear();
    return Split(file.readAll());
}

// Writing over a file we could not read would throw away all its other settings.
IniText LoadForUpdate(const QString& path) {
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly)) {
        throw SonvaraError(QStringLiteral("Cannot read the settings file %1: %2")
                               .arg(QDir::toNativeSeparators(path), file.errorString()));
    }
    return Split(file.readAll());
}

struct IniLine {
    enum Kind { Other, Section, Key };
    Kind kind = Other;
    QString name;
    qsizetype valueStart = 0;  // for Key: where the value begins, after '=' and blanks
};

IniLine Classify(const QString& line) {
    IniLine result;
    const QString trimmed = line.trimmed();
    if (trimmed.startsWith(u';') || trimmed.startsWith(u'#'))
        return result;
    if (trimmed.startsWith(u'[')) {
        const qsizetype close = trimmed.indexOf(u']');
        if (close > 0) {
            result.kind = IniLine::Section;
            result.name = trimmed.mid(1, close - 1).trimmed();
        }
        return result;
    }
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0)
        return result;
    result.name = line.left(equals).trimmed();
    if (result.name.isEmpty())
        return result;
    result.kind = IniLine::Key;
    result.valueStart = equals + 1;
    while (result.valueStart < line.size() && line.at(result.valueStart).isSpace())
        ++result.valueStart;
    return result;
}

bool SameName(const QString& a, const QString& b) {
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

// The first line holding the key in a section of that name, or -1.
qsizetype FindKey(const QStringList& lines, const QString& section, const QString& key) {
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const IniLine line = Classify(lines.at(i));
        if (line.kind == IniLine::Section)
            inSection = SameName(line.name, section);
        else if (inSection && line.kind == IniLine::Key && SameName(line.name, key))
            return i;
    }
    return -1;
}

// Where a new key of the section goes: after the last line of its first occurrence that is
// not blank or a comment, so that blank lines and a comment heading the next section stay
// with that section. -1 when the file has no such section.
qsizetype InsertionPoint(const QStringList& lines, const QString& section) {
    qsizetype lastContent = -1;
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const IniLine line = Classify(lines.at(i));
        if (line.kind == IniLine::Section) {
            if (inSection)
                break;
            inSection = SameName(line.name, section);
        }
        if (!inSection)
            continue;
        const QString trimmed = lines.at(i).trimmed();
        if (!trimmed.isEmpty() && !trimmed.startsWith(u';') && !trimmed.startsWith(u'#'))
            lastContent = i;
    }
    return lastContent < 0 ? -1 : lastContent + 1;
}

void Save(const QString& path, const IniText& ini) {
    const auto fail = [&path](const QString& reason) {
        throw SonvaraError(QStringLiteral("Cannot save the settings file %1: %2")
                               .arg(QDir::toNativeSeparators(path), reason));
    };
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        fail(QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(folder)));

    QByteArray bytes;
    if (ini.bom)
        bytes = "\xEF\xBB\xBF";
    for (const QString& line : ini.lines) {
        bytes += line.toUtf8();
        bytes += ini.eol.toLatin1();
    }
    // A crash or a full disk part way through must not leave half a settings file behind.
    // Unbuffered, because a buffered QSaveFile commits a short write as if it were whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fail(file.errorString());
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            const QString reason = file.errorString();
            file.cancelWriting();
            fail(reason);
        }
        done += written;
    }
    if (!file.commit())
        fail(file.errorString());
}

// Two-digit years fall in 1930-2029, the window Windows uses by default.
int FullYear(const QString& digits) {
    const int year = digits.toInt();
    if (digits.size() > 2)
        return year;
    return year < 30 ? 2000 + year : 1900 + year;
}

// A year-first locale ("yyyy-MM-dd") says nothing about "a/b/yyyy".
bool LocaleIsMonthFirst() {
    const QString format = QLocale().dateFormat(QLocale::ShortFormat);
    const qsizetype month = format.indexOf(u'M');
    const qsizetype day = format.indexOf(u'd');
    const qsizetype year = format.indexOf(u'y');
    return month >= 0 && day >= 0 && month < day && (year < 0 || year > month);
}

QDate ParseDate(const QString& text) {
    static const QRegularExpression yearFirst(
        QStringLiteral(R"(^(\d{4})([-./])(\d{1,2})\2(\d{1,2})$)"));
    static const QRegularExpression yearLast(
        QStringLiteral(R"(^(\d{1,2})([-./])(\d{1,2})\2(\d{2}|\d{4})$)"));

    if (const auto m = yearFirst.match(text); m.hasMatch())
        return QDate(m.captured(1).toInt(), m.captured(3).toInt(), m.captured(4).toInt());

    if (const auto m = yearLast.match(text); m.hasMatch()) {
        const int first = m.captured(1).toInt();
        const int second = m.captured(3).toInt();
        const int year = FullYear(m.captured(4));
        const QDate dayFirst(year, second, first);
        const QDate monthFirst(year, first, second);
        // "5/6/2006" is a valid date either way round; the user's locale decides, and
        // day-first (the Windows version's usual home) when the locale says neither.
        const auto [preferred, other] = LocaleIsMonthFirst() ? std::pair(monthFirst, dayFirst)
                                                             : std::pair(dayFirst, monthFirst);
        return preferred.isValid() ? preferred : other;
    }

    const QLocale locale;
    for (auto format : {QLocale::ShortFormat, QLocale::LongFormat}) {
        const QDate date = locale.toDate(text, format);
        if (date.isValid())
            return date;
    }
    return {};
}

QTime ParseTime(const QString& text) {
    // "AP" in a Qt format makes "h" the 12-hour hour.
    static const char* const kFormats[] = {"H:mm:ss",   "H:mm",    "h:mm:ss AP",
                                           "h:mm:ssAP", "h:mm AP", "h:mmAP"};
    for (const char* format : kFormats) {
        const QTime time = QTime::fromString(text, QString::fromLatin1(format));
        if (time.isValid())
            return time;
    }
    // Windows' long time format has no time zone, Qt's ends in one ("t"); what the Windows
    // version wrote is the time alone.
    static const QRegularExpression zone(QStringLiteral(R"(^t+\s+|\s+t+$)"));
    const QLocale locale;
    for (auto format : {QLocale::LongFormat, QLocale::ShortFormat}) {
        const QTime time = locale.toTime(text, locale.timeFormat(format).remove(zone));
        if (time.isValid())
            return time;
    }
    return {};
}

}  // namespace

struct IniSettings::Snapshot {
    FileStamp stamp;
    bool trusted = false;  // false: read the file again at the next read
    IniText text;
};

IniSettings::IniSettings(QString path) : path_(std::move(path)) {}

IniSettings::~IniSettings() = default;

// The stamp is taken before the text is read: a change in between leaves a stamp that no
// longer matches, so the next read takes the file again. A file that is there but cannot be
// read leaves the text read before in force, and is tried again at the next read.
const IniSettings::Snapshot& IniSettings::Current() const {
    const FileStamp stamp = StampOf(path_);
    if (snapshot_ && snapshot_->trusted && snapshot_->stamp == stamp)
        return *snapshot_;
    auto fresh = std::make_unique<Snapshot>();
    fresh->stamp = stamp;
    fresh->trusted = !stamp.exists || !RecentlyChanged(stamp);
    readTrouble_.clear();
    if (stamp.exists) {
        std::optional<IniText> text = LoadForReading(path_, readTrouble_);
        if (!text) {
            fresh->trusted = false;
            text = snapshot_ ? snapshot_->text : IniText();
        }
        fresh->text = std::move(*text);
    }
    snapshot_ = std::move(fresh);
    return *snapshot_;
}

std::optional<QString> IniSettings::ReadValue(const QString& section, const QString& key) const {
    // The latest of the values not yet stored wins over the file.
    for (auto it = unsaved_.crbegin(); it != unsaved_.crend(); ++it) {
        if (SameName(it->section, section) && SameName(it->key, key))
            return it->text;
    }
    const IniText& ini = Current().text;
    const qsizetype index = FindKey(ini.lines, section, key);
    if (index < 0)
        return std::nullopt;
    const QString& line = ini.lines.at(index);
    return line.mid(Classify(line).valueStart).trimmed();
}

QString IniSettings::ReadString(const QString& section, const QString& key,
                                const QString& defaultValue) const {
    return ReadValue(section, key).value_or(defaultValue);
}

int IniSettings::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
    const auto text = ReadValue(section, key);
    if (!text)
        return defaultValue;
    bool ok = false;
    const int value = text->toInt(&ok, 10);
    return ok ? value : defaultValue;
}

bool IniSettings::ReadBool(const QString& section, const QString& key, bool defaultValue) const {
    const auto text = ReadValue(section, key);
    if (!text)
        return defaultValue;
    bool ok = false;
    const qlonglong value = text->toLongLong(&ok, 10);
    return ok ? value != 0 : defaultValue;
}

QTime IniSettings::ReadTime(const QString& section, const QString& key,
                            const QTime& defaultValue) const {
    const auto text = ReadValue(section, key);
    const QTime time = text ? ParseTime(*text) : QTime();
    return time.isValid() ? time : defaultValue;
}

QDate IniSettings::ReadDate(const QString& section, const QString& key,
                            const QDate& defaultValue) const {
    const auto text = ReadValue(section, key);
    const QDate date = text ? ParseDate(*text) : QDate();
    return date.isValid() ? date : defaultValue;
}

static void Apply(IniText& ini, const StoredValue& value) {
    const qsizetype existing = FindKey(ini.lines, value.section, value.key);
    if (existing >= 0) {
        QString& line = ini.lines[existing];
        line = line.left(Classify(line).valueStart) + value.text;
    } else if (const qsizetype at = InsertionPoint(ini.lines, value.section); at >= 0) {
        ini.lines.insert(at, value.key + u'=' + value.text);
    } else {
        ini.lines << u'[' + value.section + u']' << value.key + u'=' + value.text;
    }
}

void IniSettings::Write(const QList<StoredValue>& values) {
    for (const StoredValue& value : values) {
        if (value.text.contains(u'\n') || value.text.contains(u'\r')) {
            throw SonvaraError(QStringLiteral("Cannot save the settings file %1: the value of "
                                              "\"%2\" in [%3] holds a line break")
                                   .arg(QDir::toNativeSeparators(path_), value.key, value.section));
        }
    }
    const QList<StoredValue> all = unsaved_ + values;
    try {
        IniText ini = LoadForUpdate(path_);
        for (const StoredValue& value : all)
            Apply(ini, value);
        snapshot_.reset();
        Save(path_, ini);
    } catch (const SonvaraError& error) {
        unsaved_ = all;
        writeTrouble_ = error.message();
        throw;
    }
    unsaved_.clear();
    writeTrouble_.clear();
    readTrouble_.clear();
}

QString IniSettings::Trouble() const {
    return writeTrouble_.isEmpty() ? readTrouble_ : writeTrouble_;
}

QString DefaultSettingsPath() {
    // Relative values are to be ignored, as the XDG base directory rules say.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Sonvara/Kelvo.ini");
}
