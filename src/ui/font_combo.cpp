#include "ui/font_combo.h"

#include <QAbstractItemView>
#include <QFontDatabase>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>

#include "ui/ui_fonts.h"

namespace glimmora {

class FontComboDelegate : public QStyledItemDelegate {
  public:
    explicit FontComboDelegate(FontCombo* combo) : QStyledItemDelegate(combo), combo_(combo) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QString face = index.data().toString();
        const QFontMetrics faceMetrics(combo_->FaceFont(face));
        const QFontMetrics nameMetrics(combo_->font());
        const int height = std::max(faceMetrics.height(), nameMetrics.height()) + 4;
        const int name = nameMetrics.horizontalAdvance(face);
        const int sample = faceMetrics.horizontalAdvance(FontCombo::kSample);
        int width = 25;
        switch (combo_->style_) {
            case 0:
                width += QFontMetrics(combo_->FaceFont(face)).horizontalAdvance(face);
                break;
            case 1:
                width += name;
                break;
            case 2:
            case 3:
                width += 10 + combo_->widestName_ + combo_->widestSample_;
                break;
            default:
                width += sample;
                break;
        }
        Q_UNUSED(option);
        return QSize(width + 5, height);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QString face = index.data().toString();
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette& pal = option.palette;
        painter->save();
        painter->fillRect(option.rect, pal.color(selected ? QPalette::Highlight : QPalette::Base));
        painter->setPen(pal.color(selected ? QPalette::HighlightedText : QPalette::Text));
        if (index.data(FontCombo::kScalableRole).toBool()) {
            // The scalable-font mark: a small "T".
            QFont mark = combo_->font();
            mark.setBold(true);
            mark.setPixelSize(11);
            painter->setFont(mark);
            painter->drawText(QRect(option.rect.left() + 5, option.rect.top(), 15, option.rect.height()),
                              Qt::AlignVCenter | Qt::AlignLeft, "T");
        }
        QRect text = option.rect.adjusted(25, 0, 0, 0);
        const QFont faceFont = combo_->FaceFont(face);
        const auto draw = [&](const QFont& font, const QString& s, int left) {
            painter->setFont(font);
            painter->drawText(QRect(left, text.top(), text.right() - left + 1, text.height()),
                              Qt::AlignVCenter | Qt::AlignLeft, s);
        };
        const int second = option.rect.left() + 35;
        switch (combo_->style_) {
            case 0:
                draw(faceFont, face, text.left());
                break;
            case 1:
                draw(combo_->font(), face, text.left());
                break;
            case 2:
                draw(combo_->font(), face, text.left());
                draw(faceFont, FontCombo::kSample, second + combo_->widestName_);
                break;
            case 3:
                draw(faceFont, FontCombo::kSample, text.left());
                draw(combo_->font(), face, second + combo_->widestSample_);
                break;
            default:
                draw(faceFont, FontCombo::kSample, text.left());
                break;
        }
        if (option.state & QStyle::State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.rect = option.rect;
            focus.palette = pal;
            combo_->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, combo_);
        }
        painter->restore();
    }

  private:
    FontCombo* combo_;
};

FontCombo::FontCombo(QWidget* parent, int style) : QComboBox(parent), style_(style) {
    setAccessibleName("Font");
    setItemDelegate(new FontComboDelegate(this));
    Fill();
}

QFont FontCombo::FaceFont(const QString& family) const {
    auto it = fonts_.find(family);
    if (it == fonts_.end()) it = fonts_.insert(family, FontForCellHeight(family, kPreviewHeight));
    return *it;
}

void FontCombo::Fill() {
    clear();
    fonts_.clear();
    widestName_ = widestSample_ = 0;
    QStringList families = QFontDatabase::families();
    families.sort(Qt::CaseInsensitive);
    const QFontMetrics nameMetrics(font());
    for (const QString& family : families) {
        if (QFontDatabase::isPrivateFamily(family)) continue;
        addItem(family);
        setItemData(count() - 1, QFontDatabase::isScalable(family), kScalableRole);
        setItemData(count() - 1, family, Qt::AccessibleTextRole);
        if (style_ == 2 || style_ == 3) {
            widestName_ = std::max(widestName_, nameMetrics.horizontalAdvance(family));
            widestSample_ =
                std::max(widestSample_, QFontMetrics(FaceFont(family)).horizontalAdvance(kSample));
        }
    }
    if (count() > 0) setCurrentIndex(0);
}

void FontCombo::SetPreviewStyle(int style, bool refill) {
    if (style < 0 || style > 4) return;
    const bool changed = style != style_;
    style_ = style;
    if (refill && changed) Fill();
}

QString FontCombo::SelectedFace() const {
    return currentIndex() < 0 ? QString() : currentText();
}

QString DesktopSansFamily() {
    QFont sans(QStringLiteral("Sans Serif"));
    sans.setStyleHint(QFont::SansSerif);
    return QFontInfo(sans).family();
}

void FontCombo::SelectFace(const QString& face) {
    if (!face.isEmpty()) {
        for (int i = 0; i < count(); ++i) {
            if (itemText(i).startsWith(face, Qt::CaseInsensitive)) {
                setCurrentIndex(i);
                return;
            }
        }
    }
    // A family not installed: the one the desktop draws in its place (Arial's metric twin), else its
    // default sans, rather than whatever sorts first.
    const QString stands = face.isEmpty() ? QString() : QFontInfo(QFont(face)).family();
    for (const QString& candidate : {stands, DesktopSansFamily()}) {
        const int index = candidate.isEmpty() ? -1 : findText(candidate, Qt::MatchFixedString);
        if (index >= 0) {
            setCurrentIndex(index);
            return;
        }
    }
    if (count() > 0) setCurrentIndex(0);
}

// The list is wide enough for the longest entry, whatever the field's width.
void FontCombo::showPopup() {
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    int widest = 0;
    if (style_ == 2 || style_ == 3) {
        widest = bar + widestName_ + widestSample_ + 35;
    } else {
        for (int i = 0; i < count(); ++i) {
            const QString face = itemText(i);
            const int w = style_ == 4   ? QFontMetrics(FaceFont(face)).horizontalAdvance(kSample)
                          : style_ == 0 ? QFontMetrics(FaceFont(face)).horizontalAdvance(face)
                                        : fontMetrics().horizontalAdvance(face);
            widest = std::max(widest, w);
        }
        widest += bar + 15 + 25;
    }
    view()->setMinimumWidth(widest);
    QComboBox::showPopup();
}

}  // namespace glimmora
