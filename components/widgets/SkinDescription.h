#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QMap>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <memory>
#include <vector>

class QSvgRenderer;

// One picture of a skin (SVG, or a raster format Qt reads), held in memory and drawn at the
// size of whatever element shows it. Renderings are cached per size, ratio and greying.
class SkinImage {
public:
    // Null, with *error set, when the data is not a picture.
    static std::shared_ptr<SkinImage> FromData(const QByteArray& data, bool svg, QString* error);
    ~SkinImage();

    // Scaled to size (logical pixels) at the device pixel ratio; greyed is the look of a
    // disabled element that has no picture of its own for it.
    QPixmap Render(QSize size, qreal ratio, bool greyed) const;

private:
    SkinImage() = default;

    std::unique_ptr<QSvgRenderer> svg_;
    QImage raster_;
    mutable QHash<QString, QPixmap> cache_;
};

enum class SkinKind { Button, Text, ScrollBar, Area, Drag };

// An element of a form as the skin file describes it; geometry in the form's coordinates.
struct SkinElementDescription {
    QString name;
    SkinKind kind = SkinKind::Area;
    QRect rect;
    QString tooltip;
    // normal is also the face of texts and drag areas; icon is drawn over a button's face.
    std::shared_ptr<const SkinImage> normal, hover, pressed, disabled, icon;
    // Texts.
    QString text;
    QFont font;
    QColor color;
    Qt::Alignment alignment;
    // Scroll bars; fill is the part of the track before the thumb.
    std::shared_ptr<const SkinImage> track, fill, thumb, thumbPressed;
    QSize thumbSize;
    int minimum = 0;
    int maximum = 980;
    Qt::Orientation orientation = Qt::Horizontal;
};

struct SkinFormDescription {
    QString name;
    QSize size;
    QColor color;
    std::shared_ptr<const SkinImage> background;   // may be null: the colour alone
    std::vector<SkinElementDescription> elements;  // in drawing order, the last on top

    const SkinElementDescription* Find(const QString& elementName) const;
};

struct SkinDescription {
    QString fileName;
    QMap<QString, std::shared_ptr<const SkinFormDescription>> forms;
};

// Reads a whole skin into memory: a bundle made by `rcc -binary`, or (for skin authors trying
// a skin without packing it) a plain folder, each holding skin.json and its pictures. Throws
// SonvaraError naming the file and the place of the fault.
std::shared_ptr<const SkinDescription> ReadSkin(const QString& fileName);
