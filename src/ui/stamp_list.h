// The pictures of the "stamps" folder beside the program, as the stamp panel lists them.
#pragma once

#include <QImage>
#include <QString>
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

// Every file of folder that loads as a picture, in the order the folder lists them. Sub-folders, "." and
// ".." are left out; a file that cannot be read is skipped and the rest still come.
std::vector<StampEntry> ReadStampFolder(const QString& folder);

// A picture as Qt draws it; null for an image without pixels or of a depth that cannot be expanded.
QImage ToQImage(const Image& image);

}  // namespace glimmora
