#include "ui/stamp_list.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <algorithm>

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

namespace {

// Digits only, as a number without its leading zeros; empty for any other name.
QString NumberOf(const QString& name) {
    if (name.isEmpty()) return {};
    for (QChar c : name)
        if (c < u'0' || c > u'9') return {};
    qsizetype first = 0;
    while (first + 1 < name.size() && name[first] == u'0') ++first;
    return name.mid(first);
}

QImage MakeIcon(const std::string& path) {
    Image picture;
    if (!picture.Load(path)) return {};
    const QImage full = ToQImage(picture);
    if (full.isNull()) return {};
    // Transparent parts show the list's white, as the picture shows on a light background.
    QImage icon(kStampIconWidth, kStampIconHeight, QImage::Format_RGB888);
    icon.fill(Qt::white);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(icon.rect(), full);
    painter.end();
    return icon;
}

}  // namespace

bool StampNameBefore(const QString& a, const QString& b) {
    const QString na = NumberOf(QFileInfo(a).completeBaseName());
    const QString nb = NumberOf(QFileInfo(b).completeBaseName());
    if (na.isEmpty() != nb.isEmpty()) return !na.isEmpty();
    if (!na.isEmpty() && na != nb) return na.size() != nb.size() ? na.size() < nb.size() : na < nb;
    const int folded = QString::compare(a, b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
}

std::vector<StampEntry> StampCatalogue::Read(const QString& folder) {
    std::vector<StampEntry> stamps;
    QDir dir(folder);
    if (folder.isEmpty() || !dir.exists()) return stamps;
    QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted);
    std::sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return StampNameBefore(a.fileName(), b.fileName());
    });
    for (const QFileInfo& file : files) {
        const std::string path = QFile::encodeName(file.absoluteFilePath()).toStdString();
        Known& known = known_[path];
        if (known.size != file.size() || known.modified != file.lastModified()) {
            known.size = file.size();
            known.modified = file.lastModified();
            known.icon = MakeIcon(path);
            ++decodes_;
        }
        if (!known.icon.isNull()) stamps.push_back({path, known.icon});
    }
    return stamps;
}

}  // namespace glimmora
