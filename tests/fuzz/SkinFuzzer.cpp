// The skin description as any bytes, in a skin folder with one real picture beside it.
#include <QGuiApplication>

#include "components/SonvaraError.h"
#include "components/widgets/SkinDescription.h"
#include "fuzz/FuzzFile.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString json = WriteFuzzFile(data, size, QStringLiteral("skin/skin.json"));
    static const QByteArray svg = "<svg xmlns='http://www.w3.org/2000/svg' width='4' height='4'/>";
    static const QString picture = WriteFuzzFile(reinterpret_cast<const uint8_t*>(svg.data()),
                                                 svg.size(), QStringLiteral("skin/face.svg"));
    Q_UNUSED(picture);
    try {
        ReadSkin(QFileInfo(json).absolutePath());
    } catch (const SonvaraError&) {
    }
    return 0;
}
