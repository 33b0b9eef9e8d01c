#include "components/widgets/SkinDescription.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QResource>
#include <QSet>
#include <QSvgRenderer>
#include <atomic>
#include <cmath>

#include "components/SonvaraError.h"

std::shared_ptr<SkinImage> SkinImage::FromData(const QByteArray& data, bool svg, QString* error) {
    std::shared_ptr<SkinImage> image(new SkinImage);
    if (svg) {
        image->svg_ = std::make_unique<QSvgRenderer>(data);
        if (!image->svg_->isValid()) {
            *error = QStringLiteral("is not a valid SVG picture");
            return nullptr;
        }
    } else {
        image->raster_ = QImage::fromData(data);
        if (image->raster_.isNull()) {
            *error = QStringLiteral("is not a picture Qt can read");
            return nullptr;
        }
    }
    return image;
}

SkinImage::~SkinImage() = default;

namespace {

// Disabled elements must read as unavailable whatever their colours (a red record button must
// not stay red), so the greyed look drops the colour and half the opacity.
void Grey(QImage& image) {
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = (qGray(line[x]) * 3 + 128 * 2) / 5;
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) / 2);
        }
    }
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace

QPixmap SkinImage::Render(QSize size, qreal ratio, bool greyed) const {
    const QString key = QStringLiteral("%1x%2@%3%4")
                            .arg(size.width())
                            .arg(size.height())
                            .arg(ratio)
                            .arg(greyed ? QStringLiteral("g") : QString());
    if (const auto cached = cache_.constFind(key); cached != cache_.cend())
        return *cached;
    const QSize pixels = (QSizeF(size) * ratio).toSize();
    if (pixels.isEmpty())
        return {};
    QImage image;
    if (svg_) {
        image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        svg_->render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    } else {
        image = raster_.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    if (greyed)
        Grey(image);
    image.setDevicePixelRatio(ratio);
    const QPixmap pixmap = QPixmap::fromImage(image);
    cache_.insert(key, pixmap);
    return pixmap;
}

const SkinElementDescription* SkinFormDescription::Find(const QString& elementName) const {
    for (const SkinElementDescription& element : elements) {
        if (element.name == elementName)
            return &element;
    }
    return nullptr;
}

namespace {

QString Quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// A bundle is mapped under a root of its own only while it is read: every picture is copied
// out, so nothing refers to the file afterwards and a later load cannot clash with it.
class BundleMapping {
public:
    explicit BundleMapping(const QString& fileName) : fileName_(fileName) {
        static std::atomic<int> next{0};
        root_ = QStringLiteral("/sonvara-skin-%1").arg(++next);
        mapped_ = QResource::registerResource(fileName_, root_);
    }
    ~BundleMapping() {
        if (mapped_)
            QResource::unregisterResource(fileName_, root_);
    }
    BundleMapping(const BundleMapping&) = delete;
    BundleMapping& operator=(const BundleMapping&) = delete;

    bool Mapped() const { return mapped_; }
    QString Root() const { return QLatin1Char(':') + root_; }

private:
    QString fileName_;
    QString root_;
    bool mapped_ = false;
};

class Reader {
public:
    Reader(const QString& fileName, const QString& root) : fileName_(fileName), root_(root) {}

    std::shared_ptr<SkinDescription> Read(const QByteArray& json);

private:
    [[noreturn]] void Fail(const QString& what) const;
    void CheckKeys(const QJsonObject& object, const QStringList& allowed, const QString& what);
    int Int(const QJsonValue& value, const QString& what);
    QString String(const QJsonObject& object, const QString& key);
    QColor Colour(const QString& text, const QString& key);
    QList<int> Ints(const QJsonValue& value, qsizetype count, const QString& what);
    std::shared_ptr<const SkinImage> Image(const QJsonValue& value, const QString& what);
    std::shared_ptr<const SkinFormDescription> Form(const QString& name, const QJsonValue& value);
    SkinElementDescription Element(const QJsonValue& value, int index, QSize formSize);
    void ReadImages(const QJsonObject& object, SkinElementDescription& element);
    void ReadText(const QJsonObject& object, SkinElementDescription& element);
    void ReadScrollBar(const QJsonObject& object, SkinElementDescription& element);

    QString fileName_;
    QString root_;
    QString place_;  // where in the description the reader is, for messages
    QHash<QString, std::shared_ptr<const SkinImage>> images_;
};

void Reader::Fail(const QString& what) const {
    const QString place = place_.isEmpty() ? QString() : place_ + QStringLiteral(": ");
    throw SonvaraError(QStringLiteral("Skin file %1: %2%3.").arg(Quoted(fileName_), place, what));
}

void Reader::CheckKeys(const QJsonObject& object, const QStringList& allowed, const QString& what) {
    // Unknown keys are refused so that a misspelt one does not silently fall back to a default.
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!allowed.contains(it.key()))
            Fail(QStringLiteral("unknown key %1 in %2").arg(Quoted(it.key()), what));
    }
}

int Reader::Int(const QJsonValue& value, const QString& what) {
    if (value.isUndefined())
        Fail(QStringLiteral("%1 is missing").arg(what));
    const double number = value.toDouble(std::nan(""));
    if (!value.isDouble() || std::floor(number) != number || std::abs(number) > 1e6)
        Fail(QStringLiteral("%1 is not a whole number").arg(what));
    return static_cast<int>(number);
}

QString Reader::String(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isUndefined() && !value.isString())
        Fail(QStringLiteral("%1 is not a text").arg(Quoted(key)));
    return value.toString();
}

QColor Reader::Colour(const QString& text, const QString& key) {
    const QColor colour = QColor::fromString(text);
    if (!colour.isValid())
        Fail(QStringLiteral("%1 is not a colour: %2").arg(Quoted(key), Quoted(text)));
    return colour;
}

QList<int> Reader::Ints(const QJsonValue& value, qsizetype count, const QString& what) {
    const QJsonArray array = value.toArray();
    if (!value.isArray() || array.size() != count)
        Fail(QStringLiteral("%1 is not a list of %2 numbers").arg(Quoted(what)).arg(count));
    QList<int> numbers;
    for (const QJsonValue& item : array)
        numbers.append(Int(item, Quoted(what)));
    return numbers;
}

std::shared_ptr<const SkinImage> Reader::Image(const QJsonValue& value, const QString& what) {
    if (!value.isString())
        Fail(QStringLiteral("picture %1 is not a file name").arg(Quoted(what)));
    const QString name = value.toString();
    const QString clean = QDir::cleanPath(name);
    // A path leaving the skin would work from a folder but not from the packed bundle.
    if (name.isEmpty() || QDir::isAbsolutePath(name) || clean.startsWith(QStringLiteral("..")))
        Fail(QStringLiteral("picture %1 lies outside the skin").arg(Quoted(name)));
    if (const auto known = images_.constFind(clean); known != images_.cend())
        return *known;
    QFile file(root_ + QLatin1Char('/') + clean);
    if (!file.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("picture %1 not found").arg(Quoted(name)));
    QString error;
    const bool svg = clean.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive) ||
                     clean.endsWith(QStringLiteral(".svgz"), Qt::CaseInsensitive);
    std::shared_ptr<const SkinImage> image = SkinImage::FromData(file.readAll(), svg, &error);
    if (!image)
        Fail(QStringLiteral("picture %1 %2").arg(Quoted(name), error));
    images_.insert(clean, image);
    return image;
}

std::shared_ptr<SkinDescription> Reader::Read(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        const QByteArray before = json.left(error.offset);
        const qsizetype line = before.count('\n') + 1;
        const qsizetype column = before.size() - (before.lastIndexOf('\n') + 1) + 1;
        place_ = QStringLiteral("skin.json, line %1, column %2").arg(line).arg(column);
        Fail(error.errorString());
    }
    place_ = QStringLiteral("skin.json");
    if (!document.isObject())
        Fail(QStringLiteral("the description is not an object"));
    const QJsonObject top = document.object();
    CheckKeys(top, {QStringLiteral("name"), QStringLiteral("forms")}, QStringLiteral("the skin"));
    const QJsonObject forms = top.value(QStringLiteral("forms")).toObject();
    if (forms.isEmpty())
        Fail(QStringLiteral("no forms"));

    auto skin = std::make_shared<SkinDescription>();
    skin->fileName = fileName_;
    for (auto it = forms.begin(); it != forms.end(); ++it)
        skin->forms.insert(it.key(), Form(it.key(), it.value()));
    return skin;
}

std::shared_ptr<const SkinFormDescription> Reader::Form(const QString& name,
                                                        const QJsonValue& value) {
    place_ = QStringLiteral("form %1").arg(Quoted(name));
    if (!value.isObject())
        Fail(QStringLiteral("the form is not an object"));
    const QJsonObject object = value.toObject();
    CheckKeys(object,
              {QStringLiteral("width"), QStringLiteral("height"), QStringLiteral("background"),
               QStringLiteral("elements")},
              QStringLiteral("the form"));

    auto form = std::make_shared<SkinFormDescription>();
    form->name = name;
    form->size = QSize(Int(object.value(QStringLiteral("width")), QStringLiteral("\"width\"")),
                       Int(object.value(QStringLiteral("height")), QStringLiteral("\"height\"")));
    if (form->size.width() < 1 || form->size.height() < 1)
        Fail(QStringLiteral("the size is empty"));
    form->color = Qt::black;
    const QString background = String(object, QStringLiteral("background"));
    if (background.startsWith(QLatin1Char('#')))
        form->color = Colour(background, QStringLiteral("background"));
    else if (!background.isEmpty())
        form->background = Image(background, QStringLiteral("background"));

    const QJsonValue elements = object.value(QStringLiteral("elements"));
    if (!elements.isUndefined() && !elements.isArray())
        Fail(QStringLiteral("\"elements\" is not a list"));
    QSet<QString> names;
    const QJsonArray list = elements.toArray();
    for (int i = 0; i < list.size(); ++i) {
        SkinElementDescription element = Element(list.at(i), i, form->size);
        if (names.contains(element.name))
            Fail(QStringLiteral("the name is used twice"));
        names.insert(element.name);
        form->elements.push_back(std::move(element));
        place_ = QStringLiteral("form %1").arg(Quoted(name));
    }
    return form;
}

SkinElementDescription Reader::Element(const QJsonValue& value, int index, QSize formSize) {
    const QString form = place_;
    place_ = QStringLiteral("%1, element %2").arg(form).arg(index + 1);
    if (!value.isObject())
        Fail(QStringLiteral("the element is not an object"));
    const QJsonObject object = value.toObject();
    SkinElementDescription element;
    element.name = String(object, QStringLiteral("name"));
    if (element.name.isEmpty())
        Fail(QStringLiteral("the element has no name"));
    place_ = QStringLiteral("%1, element %2").arg(form, Quoted(element.name));

    static const QMap<QString, SkinKind> kinds{{QStringLiteral("button"), SkinKind::Button},
                                               {QStringLiteral("text"), SkinKind::Text},
                                               {QStringLiteral("scrollbar"), SkinKind::ScrollBar},
                                               {QStringLiteral("area"), SkinKind::Area},
                                               {QStringLiteral("drag"), SkinKind::Drag}};
    const QString kind = String(object, QStringLiteral("kind"));
    if (!kinds.contains(kind))
        Fail(QStringLiteral("unknown kind %1").arg(Quoted(kind)));
    element.kind = kinds.value(kind);

    // Keys beyond name, kind, rect and tooltip that each kind takes.
    static const QMap<SkinKind, QStringList> kindKeys{
        {SkinKind::Button, {QStringLiteral("images"), QStringLiteral("icon")}},
        {SkinKind::Text,
         {QStringLiteral("images"), QStringLiteral("text"), QStringLiteral("font"),
          QStringLiteral("color"), QStringLiteral("align")}},
        {SkinKind::ScrollBar,
         {QStringLiteral("images"), QStringLiteral("range"), QStringLiteral("orientation"),
          QStringLiteral("thumbSize")}},
        {SkinKind::Area, {}},
        {SkinKind::Drag, {QStringLiteral("images")}}};
    CheckKeys(object,
              QStringList{QStringLiteral("name"), QStringLiteral("kind"), QStringLiteral("rect"),
                          QStringLiteral("tooltip")} +
                  kindKeys.value(element.kind),
              QStringLiteral("a %1").arg(kind));

    if (!object.contains(QStringLiteral("rect")))
        Fail(QStringLiteral("no \"rect\""));
    const QList<int> rect = Ints(object.value(QStringLiteral("rect")), 4, QStringLiteral("rect"));
    element.rect = QRect(rect[0], rect[1], rect[2], rect[3]);
    if (element.rect.isEmpty())
        Fail(QStringLiteral("\"rect\" is empty"));
    if (!QRect(QPoint(0, 0), formSize).contains(element.rect))
        Fail(QStringLiteral("\"rect\" lies outside the form"));
    element.tooltip = String(object, QStringLiteral("tooltip"));

    ReadImages(object, element);
    if (element.kind == SkinKind::Text)
        ReadText(object, element);
    if (element.kind == SkinKind::ScrollBar)
        ReadScrollBar(object, element);
    return element;
}

void Reader::ReadImages(const QJsonObject& object, SkinElementDescription& element) {
    if (!object.contains(QStringLiteral("images")))
        return;
    const QJsonValue value = object.value(QStringLiteral("images"));
    if (!value.isObject())
        Fail(QStringLiteral("\"images\" is not an object"));
    const QJsonObject images = value.toObject();
    const QString what = QStringLiteral("\"images\"");
    const auto image = [&](const QString& state) -> std::shared_ptr<const SkinImage> {
        return images.contains(state) ? Image(images.value(state), state) : nullptr;
    };
    if (element.kind == SkinKind::ScrollBar) {
        CheckKeys(images,
                  {QStringLiteral("track"), QStringLiteral("fill"), QStringLiteral("thumb"),
                   QStringLiteral("thumbPressed")},
                  what);
        element.track = image(QStringLiteral("track"));
        element.fill = image(QStringLiteral("fill"));
        element.thumb = image(QStringLiteral("thumb"));
        element.thumbPressed = image(QStringLiteral("thumbPressed"));
    } else if (element.kind == SkinKind::Button) {
        CheckKeys(images,
                  {QStringLiteral("normal"), QStringLiteral("hover"), QStringLiteral("pressed"),
                   QStringLiteral("disabled")},
                  what);
        element.hover = image(QStringLiteral("hover"));
        element.pressed = image(QStringLiteral("pressed"));
        element.disabled = image(QStringLiteral("disabled"));
    } else {
        CheckKeys(images, {QStringLiteral("normal")}, what);
    }
    element.normal = image(QStringLiteral("normal"));
    if (object.contains(QStringLiteral("icon")))
        element.icon = Image(object.value(QStringLiteral("icon")), QStringLiteral("icon"));
}

void Reader::ReadText(const QJsonObject& object, SkinElementDescription& element) {
    element.text = String(object, QStringLiteral("text"));
    element.color = Qt::white;
    if (object.contains(QStringLiteral("color")))
        element.color = Colour(String(object, QStringLiteral("color")), QStringLiteral("color"));

    element.font.setPixelSize(12);
    if (object.contains(QStringLiteral("font"))) {
        const QJsonObject font = object.value(QStringLiteral("font")).toObject();
        CheckKeys(font,
                  {QStringLiteral("family"), QStringLiteral("size"), QStringLiteral("weight")},
                  QStringLiteral("\"font\""));
        if (font.contains(QStringLiteral("family")))
            element.font.setFamily(String(font, QStringLiteral("family")));
        if (font.contains(QStringLiteral("size"))) {
            const int size = Int(font.value(QStringLiteral("size")), QStringLiteral("font size"));
            if (size < 4 || size > 400)
                Fail(QStringLiteral("font size %1 is out of range").arg(size));
            element.font.setPixelSize(size);
        }
        const QJsonValue weight = font.value(QStringLiteral("weight"));
        if (weight.isString() && weight.toString() == QStringLiteral("bold")) {
            element.font.setWeight(QFont::Bold);
        } else if (weight.isString() && weight.toString() == QStringLiteral("normal")) {
            element.font.setWeight(QFont::Normal);
        } else if (!weight.isUndefined()) {
            const int number = Int(weight, QStringLiteral("font weight"));
            if (number < 100 || number > 900)
                Fail(QStringLiteral("font weight %1 is out of range").arg(number));
            element.font.setWeight(static_cast<QFont::Weight>(number));
        }
    }

    static const QMap<QString, Qt::Alignment> alignments{
        {QStringLiteral("left"), Qt::AlignLeft},
        {QStringLiteral("center"), Qt::AlignHCenter},
        {QStringLiteral("right"), Qt::AlignRight}};
    const QString align = String(object, QStringLiteral("align"));
    if (!align.isEmpty() && !alignments.contains(align))
        Fail(QStringLiteral("unknown alignment %1").arg(Quoted(align)));
    element.alignment = alignments.value(align, Qt::AlignLeft) | Qt::AlignVCenter;
}

void Reader::ReadScrollBar(const QJsonObject& object, SkinElementDescription& element) {
    const QString orientation = String(object, QStringLiteral("orientation"));
    if (orientation == QStringLiteral("vertical"))
        element.orientation = Qt::Vertical;
    else if (!orientation.isEmpty() && orientation != QStringLiteral("horizontal"))
        Fail(QStringLiteral("unknown orientation %1").arg(Quoted(orientation)));

    if (object.contains(QStringLiteral("range"))) {
        const QList<int> range =
            Ints(object.value(QStringLiteral("range")), 2, QStringLiteral("range"));
        if (range[1] <= range[0])
            Fail(QStringLiteral("\"range\" is empty"));
        element.minimum = range[0];
        element.maximum = range[1];
    }

    const int across =
        element.orientation == Qt::Horizontal ? element.rect.height() : element.rect.width();
    element.thumbSize = QSize(across, across);
    if (object.contains(QStringLiteral("thumbSize"))) {
        const QList<int> size =
            Ints(object.value(QStringLiteral("thumbSize")), 2, QStringLiteral("thumbSize"));
        element.thumbSize = QSize(size[0], size[1]);
    }
    if (element.thumbSize.isEmpty() || element.thumbSize.width() > element.rect.width() ||
        element.thumbSize.height() > element.rect.height())
        Fail(QStringLiteral("the thumb does not fit the bar"));
}

}  // namespace

std::shared_ptr<const SkinDescription> ReadSkin(const QString& fileName) {
    const QFileInfo info(fileName);
    const auto fail = [&](const QString& what) {
        throw SonvaraError(QStringLiteral("Skin file %1 %2.").arg(Quoted(fileName), what));
    };
    if (!info.exists())
        fail(QStringLiteral("does not exist"));

    std::unique_ptr<BundleMapping> mapping;
    QString root = info.absoluteFilePath();
    if (!info.isDir()) {
        mapping = std::make_unique<BundleMapping>(info.absoluteFilePath());
        if (!mapping->Mapped())
            fail(QStringLiteral("is not a skin bundle"));
        root = mapping->Root();
    }
    QFile json(root + QStringLiteral("/skin.json"));
    if (!json.open(QIODevice::ReadOnly))
        fail(QStringLiteral("holds no skin.json"));
    return Reader(fileName, root).Read(json.readAll());
}
