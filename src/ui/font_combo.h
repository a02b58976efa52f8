// A combo box of the installed font families with a preview of each.
#pragma once

#include <QComboBox>
#include <QFont>
#include <QMap>

namespace glimmora {

// The family the desktop uses for the generic sans-serif.
QString DesktopSansFamily();

class FontCombo : public QComboBox {
    Q_OBJECT
  public:
    static constexpr int kPreviewHeight = 16;  // cell height of the preview fonts
    static constexpr char kSample[] = "abcdeABCDE";
    // Item data: whether the family scales freely (the old TrueType mark).
    static constexpr int kScalableRole = Qt::UserRole;

    // style: 0 name in its own font, 1 name only, 2 name then sample, 3 sample then name, 4 sample only.
    explicit FontCombo(QWidget* parent = nullptr, int style = 2);

    int PreviewStyle() const { return style_; }
    void SetPreviewStyle(int style, bool refill);

    // The selected family, empty when none.
    QString SelectedFace() const;
    // Selects the first family that starts with face; when none does, the family the desktop draws in
    // its place, else the desktop's default sans, else the first entry.
    void SelectFace(const QString& face);

    // The preview font of a family.
    QFont FaceFont(const QString& family) const;
    int WidestName() const { return widestName_; }
    int WidestSample() const { return widestSample_; }

    void showPopup() override;

  private:
    void Fill();

    int style_;
    mutable QMap<QString, QFont> fonts_;
    int widestName_ = 0;
    int widestSample_ = 0;

    friend class FontComboDelegate;
};

}  // namespace glimmora
