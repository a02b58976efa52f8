// The colour button and its grid: keyboard moves, the order of the messages to the parent, the
// separator and outside clicks, and custom colours chosen through the colour dialog.
#include "ui/colour_picker.h"

#include <QColorDialog>
#include <QPointer>
#include <QtTest>
#include <vector>

#include "ui_tests.h"

namespace glimmora::test {
namespace {

struct Message {
    int number;
    ColorRef colour;
    bool operator==(const Message& other) const = default;
};

// Records what the parent receives, in order.
struct ParentLog {
    std::vector<Message> messages;
    explicit ParentLog(CXColourPicker& picker) {
        const auto log = [this](int number) {
            return [this, number](ColorRef colour, int) { messages.push_back({number, colour}); };
        };
        QObject::connect(&picker, &CXColourPicker::selChange, log(kWmCpSelChange));
        QObject::connect(&picker, &CXColourPicker::dropDown, log(kWmCpDropDown));
        QObject::connect(&picker, &CXColourPicker::closeUp, log(kWmCpCloseUp));
        QObject::connect(&picker, &CXColourPicker::selEndOk, log(kWmCpSelEndOk));
        QObject::connect(&picker, &CXColourPicker::selEndCancel, log(kWmCpSelEndCancel));
    }
};

ColourPopup* Open(CXColourPicker& picker) {
    picker.click();
    auto* popup = picker.findChild<ColourPopup*>();
    if (popup) popup->setAttribute(Qt::WA_DeleteOnClose, true);
    return popup;
}

void Keys(ColourPopup* popup, const QList<Qt::Key>& keys) {
    for (Qt::Key key : keys) QTest::keyClick(popup, key);
}

// Waits until the popup has deleted itself.
bool Gone(ColourPopup* popup) {
    QPointer<ColourPopup> p(popup);
    return QTest::qWaitFor([&] { return p.isNull(); }, 2000);
}

}  // namespace

class ColourPickerTest : public QObject {
    Q_OBJECT
  private slots:
    void keyboardMovesOverTheGrid_data() {
        QTest::addColumn<uint>("colour");
        QTest::addColumn<QList<Qt::Key>>("keys");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        const uint unknown = Rgb(1, 2, 3);
        const uint red = Rgb(255, 0, 0);  // row 0, column 2
        using K = QList<Qt::Key>;
        QTest::newRow("right from nothing") << unknown << K{Qt::Key_Right} << 0 << 0;
        QTest::newRow("left from nothing") << unknown << K{Qt::Key_Left} << 12 << 7;
        QTest::newRow("left wraps in the row") << unknown << K{Qt::Key_Right, Qt::Key_Left} << 0 << 7;
        QTest::newRow("right wraps in the row") << unknown << K{Qt::Key_Left, Qt::Key_Right} << 12 << 0;
        QTest::newRow("up from row 0 to the last") << unknown << K{Qt::Key_Right, Qt::Key_Up} << 12 << 0;
        QTest::newRow("down from the last to row 0") << unknown << K{Qt::Key_Left, Qt::Key_Down} << 0 << 7;
        QTest::newRow("up from 12 to Custom")
            << unknown << K{Qt::Key_Right, Qt::Key_Up, Qt::Key_Up, Qt::Key_Up} << 10 << 0;
        QTest::newRow("up from Custom skips the separator")
            << unknown << K{Qt::Key_Right, Qt::Key_Up, Qt::Key_Up, Qt::Key_Up, Qt::Key_Up} << 8 << 0;
        K down9{Qt::Key_Right};
        for (int i = 0; i < 9; ++i) down9 << Qt::Key_Down;
        QTest::newRow("down from row 8 to Custom") << unknown << down9 << 10 << 0;
        QTest::newRow("starts from the picker's cell") << red << K{Qt::Key_Down} << 1 << 2;
        QTest::newRow("right from the picker's cell") << red << K{Qt::Key_Right} << 0 << 3;
    }
    void keyboardMovesOverTheGrid() {
        QFETCH(uint, colour);
        QFETCH(QList<Qt::Key>, keys);
        QFETCH(int, row);
        QFETCH(int, column);
        CXColourPicker picker(nullptr, 1071);
        picker.SetColour(colour);
        ColourPopup* popup = Open(picker);
        QVERIFY(popup);
        QCOMPARE(popup->HoverRow(), -1);
        QSignalSpy hovered(popup, &ColourPopup::selChange);
        Keys(popup, keys);
        QCOMPARE(popup->HoverRow(), row);
        QCOMPARE(popup->HoverColumn(), column);
        QCOMPARE(hovered.count(), keys.size());
        QTest::keyClick(popup, Qt::Key_Escape);
        QVERIFY(Gone(popup));
        QCOMPARE(picker.GetColour(), ColorRef(colour));
    }

    // Close-up always comes before OK or cancel; a selection change only follows a new colour.
    void messagesReachTheParentInOrder() {
        CXColourPicker picker(nullptr, 1072);
        const ColorRef start = Rgb(1, 2, 3);  // in no cell: Right goes to row 0, column 0
        picker.SetColour(start);
        ParentLog parent(picker);
        const ColorRef maroon = Rgb(0x80, 0x00, 0x40);  // row 0, column 0

        ColourPopup* popup = Open(picker);
        Keys(popup, {Qt::Key_Right, Qt::Key_Return});
        QVERIFY(Gone(popup));
        const std::vector<Message> chosen{{kWmCpDropDown, start},
                                          {kWmCpCloseUp, maroon},
                                          {kWmCpSelEndOk, maroon},
                                          {kWmCpSelChange, maroon}};
        QVERIFY(parent.messages == chosen);
        QCOMPARE(picker.GetColour(), maroon);
        QCOMPARE(picker.LastRow(), 0);
        QCOMPARE(picker.LastColumn(), 0);

        // The same colour again: no selection change. The grid opens on the chosen cell.
        parent.messages.clear();
        popup = Open(picker);
        Keys(popup, {Qt::Key_Return});
        QVERIFY(Gone(popup));
        const std::vector<Message> same{
            {kWmCpDropDown, maroon}, {kWmCpCloseUp, maroon}, {kWmCpSelEndOk, maroon}};
        QVERIFY(parent.messages == same);

        // Escape after hovering another colour keeps the colour.
        parent.messages.clear();
        popup = Open(picker);
        Keys(popup, {Qt::Key_Down, Qt::Key_Down, Qt::Key_Escape});
        QVERIFY(Gone(popup));
        const std::vector<Message> cancelled{
            {kWmCpDropDown, maroon}, {kWmCpCloseUp, maroon}, {kWmCpSelEndCancel, maroon}};
        QVERIFY(parent.messages == cancelled);
        QCOMPARE(picker.GetColour(), maroon);
    }

    void releaseOverSeparatorStaysOpenOutsideCancels() {
        CXColourPicker picker;
        picker.SetColour(Rgb(0, 0, 255));
        ParentLog parent(picker);
        ColourPopup* popup = Open(picker);
        const QPoint separator = popup->CellCentre(kSeparatorRow, 0);
        SendMouse(popup, QEvent::MouseMove, separator);
        SendMouse(popup, QEvent::MouseButtonRelease, separator, Qt::LeftButton);
        QCoreApplication::processEvents();
        QVERIFY(picker.findChild<ColourPopup*>() == popup);

        // Hover a colour, then let go outside the grid.
        SendMouse(popup, QEvent::MouseMove, popup->CellCentre(2, 2));
        QCOMPARE(popup->PendingColour(), Rgb(0, 0x80, 0));
        SendMouse(popup, QEvent::MouseButtonPress, QPoint(-20, -20), Qt::LeftButton);
        SendMouse(popup, QEvent::MouseButtonRelease, QPoint(-20, -20), Qt::LeftButton);
        QVERIFY(Gone(popup));
        QCOMPARE(picker.GetColour(), Rgb(0, 0, 255));
        QCOMPARE(parent.messages.back().number, kWmCpSelEndCancel);
        QCOMPARE(parent.messages[parent.messages.size() - 2].number, kWmCpCloseUp);

        // A click on a cell chooses it.
        popup = Open(picker);
        SendMouse(popup, QEvent::MouseMove, popup->CellCentre(6, 0));
        SendMouse(popup, QEvent::MouseButtonRelease, popup->CellCentre(6, 0), Qt::LeftButton);
        QVERIFY(Gone(popup));
        QCOMPARE(picker.GetColour(), Rgb(0, 0, 0));
    }

    // "Custom..." keeps the grid open; its colour is taken by Enter without a hovered cell, and the
    // dialog's custom colours stay with this picker only.
    void customColourThroughTheDialog() {
        CXColourPicker picker(nullptr, 1068), other;
        picker.SetColour(Rgb(10, 20, 30));
        ParentLog parent(picker);
        ColourPopup* popup = Open(picker);
        Keys(popup, {Qt::Key_Right, Qt::Key_Up, Qt::Key_Up, Qt::Key_Up});
        QCOMPARE(popup->HoverRow(), kCustomButtonRow);
        const QColor chosen(200, 100, 50), saved(1, 2, 250);
        bool gridAside = false;
        QColor offered;
        AnswerModal<QColorDialog>([&](QColorDialog* dialog) {
            // The grid would keep the pointer and keyboard from the dialog.
            gridAside = !popup->isVisible();
            offered = dialog->currentColor();
            QColorDialog::setCustomColor(0, saved);
            dialog->setCurrentColor(chosen);
            dialog->accept();
        });
        QTest::keyClick(popup, Qt::Key_Return);
        QVERIFY(gridAside);
        QCOMPARE(offered, QColor(10, 20, 30));
        QVERIFY(picker.findChild<ColourPopup*>() == popup);
        QVERIFY(popup->isVisible());
        QCOMPARE(popup->PendingColour(), ToColorRef(chosen));
        QTest::keyClick(popup, Qt::Key_Return);
        QVERIFY(Gone(popup));
        QCOMPARE(picker.GetColour(), ToColorRef(chosen));
        QCOMPARE(parent.messages.back().number, kWmCpSelChange);
        QCOMPARE(picker.Customs()[0], ToColorRef(saved));
        QCOMPARE(other.Customs()[0], Rgb(255, 255, 255));

        // The saved custom colour is row 11, column 0 of this picker's grid.
        popup = Open(picker);
        QSignalSpy hovered(popup, &ColourPopup::selChange);
        Keys(popup, {Qt::Key_Right, Qt::Key_Up, Qt::Key_Up});
        QCOMPARE(hovered.last().at(0).value<ColorRef>(), ToColorRef(saved));
        QTest::keyClick(popup, Qt::Key_Escape);
        QVERIFY(Gone(popup));
    }

    void tableHasTheNamedAndSystemRows() {
        CustomColours custom;
        custom.fill(Rgb(255, 255, 255));
        const auto table = ColourTable(custom);
        QCOMPARE(table.size(), size_t(104));
        QCOMPARE(QString(table[0].name), QString("Light Maroon"));
        QCOMPARE(table[55].colour, Rgb(255, 255, 255));
        QCOMPARE(QString(table[56].name), QString("Window"));
        QCOMPARE(table[56 + 8].colour, ToColorRef(QApplication::palette().color(QPalette::Button)));
        QCOMPARE(QString(table[103].name), QString("Custom color 16"));
    }
};

int RunColourPickerTests(int argc, char** argv) {
    ColourPickerTest test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace glimmora::test

#include "colour_picker_test.moc"
