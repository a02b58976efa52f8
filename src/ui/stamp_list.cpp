#include "ui/stamp_list.h"

#include <QDir>
#include <QPainter>

namespace glimmora {

QImage ToQImage(const Image& image) {
    if (!image.IsValid()) return {};
    if (image.Depth() == 32) {
        QImage out(image.Width(), image.Height(), QImage::Format_ARGB32);
        for (int y = 0; y < image.Height(); ++y)
            std::memcpy(out.scanLine(y), image.Row(y), static_cast<size_t>(image.Width()) * 4);
        return out;
    }
    Image copy(image);
    if (copy.Depth() != 24 && !copy.ConvertDepth(24)) return {};
    QImage out(copy.Width(), copy.Height(), QImage::Format_BGR888);
    for (int y = 0; y < copy.Height(); ++y)
        std::memcpy(out.scanLine(y), copy.Row(y), static_cast<size_t>(copy.Width()) * 3);
    return out;
}

std::vector<StampEntry> ReadStampFolder(const QString& folder) {
    std::vector<StampEntry> stamps;
    QDir dir(folder);
    if (folder.isEmpty() || !dir.exists()) return stamps;
    // Unsorted: the order the file system lists them, as the folder search gave it.
    const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo& file : files) {
        const std::string path = QFile::encodeName(file.absoluteFilePath()).toStdString();
        Image picture;
        if (!picture.Load(path)) continue;
        const QImage full = ToQImage(picture);
        if (full.isNull()) continue;
        // Transparent parts show the list's white, as the picture shows on a light background.
        QImage icon(kStampIconWidth, kStampIconHeight, QImage::Format_RGB888);
        icon.fill(Qt::white);
        QPainter painter(&icon);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(icon.rect(), full);
        painter.end();
        stamps.push_back({path, icon});
    }
    return stamps;
}

}  // namespace glimmora
