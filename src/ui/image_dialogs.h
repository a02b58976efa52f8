// The Image and Filter commands' dialogs, as the main frame hands them to each view.
#pragma once

#include "editor/image_commands.h"

namespace glimmora {

class ImageDialogRunner : public ImageDialogs {
  public:
    bool RunAdjustDialog(CTavrikDoc& doc, int templateId, QWidget* parent) override;
    bool RunResizeDialog(int& width, int& height, int& quality, QWidget* parent) override;
};

}  // namespace glimmora
