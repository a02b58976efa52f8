// The pictures of the "stamps" folder beside the program, as the stamp panel lists them.
#pragma once

#include <QDateTime>
#include <QImage>
#include <QString>
#include <map>
#include <string>
#include <vector>

#include "image/image.h"

namespace glimmora {

inline constexpr int kStampIconWidth = 36;
inline constexpr int kStampIconHeight = 27;

struct StampEntry {
    std::string path;
    QImage icon;  // kStampIconWidth x kStampIconHeight, opaque
};

// The stamp list's order: names that are numbers first, by their value, then the rest by name.
bool StampNameBefore(const QString& a, const QString& b);

// Every file of a folder that loads as a picture, in the stamp list's order, with its icon. Sub-folders,
// "." and ".." are left out; a file that cannot be read is skipped and the rest still come. A file is
// decoded once: reading the folder again decodes only files that are new or changed since.
class StampCatalogue {
  public:
    std::vector<StampEntry> Read(const QString& folder);
    // How many files were decoded so far.
    int Decodes() const { return decodes_; }

  private:
    struct Known {
        qint64 size = -1;
        QDateTime modified;
        QImage icon;  // null when the file did not load
    };
    std::map<std::string, Known> known_;
    int decodes_ = 0;
};

// A picture as Qt draws it; null for an image without pixels or of a depth that cannot be expanded.
QImage ToQImage(const Image& image);

}  // namespace glimmora
