#include "ui/image_dialogs.h"

#include "ui/adjust_dlg.h"
#include "ui/resize_dlg.h"

namespace glimmora {

bool ImageDialogRunner::RunAdjustDialog(CTavrikDoc& doc, int templateId, QWidget* parent) {
    if (templateId == adjust_template::kBrightnessContrast) {
        CBrightConDlg dialog(&doc, parent);
        return dialog.exec() == QDialog::Accepted;
    }
    if (!FindAdjustTemplate(templateId)) return false;
    AdjustDlg dialog(&doc, templateId, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool ImageDialogRunner::RunResizeDialog(int& width, int& height, int& quality, QWidget* parent) {
    CResizeDlg dialog(width, height, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    width = dialog.width;
    height = dialog.height;
    quality = dialog.quality;
    return true;
}

}  // namespace glimmora
