#include "ui/application_icon.h"

#include <QImageReader>

// The resources of a static library are registered by hand, outside any namespace.
static void InitUiResources() {
    Q_INIT_RESOURCE(resources);
}

namespace morvane {

QIcon ApplicationIcon() {
    static const QIcon icon = [] {
        InitUiResources();
        // The drawing scales to any size; without the plug-in that reads drawings the pictures serve
        // every size. Pictures win at their own sizes, where they are hinted for the pixel grid.
        QIcon built = QImageReader::supportedImageFormats().contains("svg")
                          ? QIcon(QStringLiteral(":/icons/morvane-backup.svg"))
                          : QIcon();
        for (int size : {16, 32, 48, 64, 128, 256})
            built.addFile(QStringLiteral(":/icons/morvane-backup-%1.png").arg(size), QSize(size, size));
        return built;
    }();
    return icon;
}

} // namespace morvane
