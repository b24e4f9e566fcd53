#include "app/mainform.h"
#include "app/windowinteraction.h"
#include "components/dbase/dbftable.h"
#include "components/xml/xmldocument.h"
#include "tests/gui/guisupport.h"
#include "tests/gui/modalscript.h"
#include "tests/stepfixture.h"
#include "tests/tablesupport.h"
#include "tests/testsupport.h"
#include "to_timetable/plantihoras/plantihoras.h"
#include "widgets/fittinglabel.h"
#include "widgets/helpwindow.h"
#include "widgets/messageboxes.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>
#include <optional>

namespace {

// A Yedra document with these time frames and time slots, each record's values in order.
QByteArray yedraDocument(const Records& frames, const Records& tramos)
{
    return ::yedraDocument({{QStringLiteral("JORNADAS_ESCOLARES"), frames},
                            {QStringLiteral("TRAMOS_HORARIOS"), tramos}});
}

// Time frames with these codes, named after them.
Records frames(const QStringList& codes)
{
    Records out;
    for (const QString& code : codes)
        out << QStringList{code, QStringLiteral("Marco ") + code, QStringLiteral("01/09/2026"),
                           QStringLiteral("30/06/2027")};
    return out;
}

XmlDocument loaded(const QByteArray& xml)
{
    XmlDocument document;
    EXPECT_TRUE(document.loadXml(xml));
    return document;
}

QListWidget* frameList(QWidget& dialog)
{
    return dialog.findChild<QListWidget*>(QStringLiteral("ListBox2"));
}

QString labelText(QWidget& dialog, const char* name)
{
    return dialog.findChild<QLabel*>(QLatin1String(name))->text();
}

QStringList entries(QListWidget* list, bool selectedOnly = false)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i) {
        if (!selectedOnly || list->item(i)->isSelected())
            out << list->item(i)->text();
    }
    return out;
}

// A click on an entry of the frame list, as the user makes it (Ctrl held adds or removes it).
void clickEntry(QWidget& dialog, int row, Qt::KeyboardModifiers modifiers = Qt::ControlModifier)
{
    QListWidget* list = frameList(dialog);
    QListWidgetItem* item = list->item(row);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                      list->visualItemRect(item).center());
}

void clickContinuar(QWidget& dialog)
{
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("BitBtnContinuar")),
                      Qt::LeftButton);
}

// The close box: the window system asks the dialog's window to close.
void clickCloseBox(QWidget& dialog)
{
    QCloseEvent event;
    QApplication::sendEvent(dialog.windowHandle(), &event);
}

// From inside a modal answer: the click on "Continuar" once the answer has returned, so that
// the messages it brings up are answered in their turn.
void clickContinuarLater(QWidget* dialog)
{
    QTimer::singleShot(0, dialog, [dialog] { clickContinuar(*dialog); });
}

const QString NoneSelected = QStringLiteral("Debe al menos seleccionar 1 Marco Horario.");

} // namespace

// Every close checks the selection and builds the selection string, by "Continuar" or by the
// close box alike: none or more than five selected is refused with its message.
TEST(Plantillas, ValidatesTheSelectionOnEveryClose)
{
    const QString tooMany = QStringLiteral("Demasiados Marcos Horarios seleccionados.\r\n"
                                           "Como máximo puede seleccionar 5 Marcos Horarios");
    const QStringList six = {"M1", "M2", "M3", "M4", "M5", "M6"};
    struct Case {
        const char* name;
        QStringList codes;
        QList<int> clicks; // Ctrl-clicks, in order
        bool closeBox;
        QStringList messages;
        bool resultMH;
        QString resultado;
    };
    const Case cases[] = {
        {"Continuar at once", six, {}, false, {NoneSelected}, false, ""},
        {"the close box at once", six, {}, true, {NoneSelected}, false, ""},
        {"six selected",
         six,
         {0, 1, 2, 3, 4, 5},
         false,
         {tooMany},
         false,
         "M1        M2        M3        M4        M5        M6        "},
        {"six selected, the close box",
         six,
         {5, 4, 3, 2, 1, 0},
         true,
         {tooMany},
         false,
         "M1        M2        M3        M4        M5        M6        "},
        {"five selected",
         six,
         {5, 0, 2, 3, 4},
         false,
         {},
         true,
         "M1        M3        M4        M5        M6        "},
        {"one selected, the close box", six, {3}, true, {}, true, "M4        "},
        {"A1 then B22", {"A1", "B22", "C3"}, {0, 1}, false, {}, true, "A1        B22       "},
        {"B22 then A1", {"A1", "B22", "C3"}, {1, 0}, false, {}, true, "A1        B22       "},
        {"a second click leaves an entry out",
         {"A1", "B22", "C3"},
         {0, 1, 2, 1},
         false,
         {},
         true,
         "A1        C3        "},
        {"a code of twelve characters", {"M1", "ABCDEFGHIJKL"}, {1}, false, {}, true, "ABCDEFGHIJ"},
        {"codes untrimmed", {" M1 ", "M2"}, {0, 1}, false, {}, true, " M1       M2        "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const XmlDocument document = loaded(yedraDocument(frames(c.codes), {}));
        ModalScript script;
        for (qsizetype i = 0; i < c.messages.size(); ++i)
            script.then(script.acknowledge());
        TPlantillas dialog(document);
        dialog.show();
        ASSERT_EQ(entries(frameList(dialog)), c.codes);
        for (int row : c.clicks)
            clickEntry(dialog, row);
        if (c.closeBox)
            clickCloseBox(dialog);
        else
            clickContinuar(dialog);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(script.messages, c.messages);
        EXPECT_EQ(script.unexpected, QStringList());
        EXPECT_EQ(dialog.resultMH, c.resultMH);
        EXPECT_EQ(dialog.resultado, c.resultado);
        EXPECT_EQ(dialog.frameCount(), c.codes.size());
    }
}

// The frame last clicked is shown: the name and dates of the last frame in the document with
// its code, and the labels of every slot with that code, in document order.
TEST(Plantillas, ShowsTheFrameLastClicked)
{
    const Records twoWithOneCode = {
        {"A1", "Mañana", "01/09/2026", "31/12/2026"},
        {"B2", "Tarde", "01/09/2026", "30/06/2027"},
        {"A1", "Intensiva", "01/06/2027", "30/06/2027"},
    };
    const Records tramos = {
        {"T3", "3ª hora", "600", "655", "A1"}, {"T1", "1ª hora", "480", "535", "A1"},
        {"T9", "Tarde 1", "900", "955", "B2"}, {"T2", "2ª hora", "535", "590", "A1"},
        {"T5", "Recreo", "655", "685", " A1"},
    };
    struct Case {
        const char* name;
        Records tramos;
        std::optional<int> click; // none: as shown at first
        QStringList details;      // LabelNombre, LabelPlanFec1, LabelPlanFec2
        QStringList hours;
    };
    const QStringList intensiva = {"Intensiva", "01/06/2027", "30/06/2027"};
    const QStringList aHours = {"3ª hora", "1ª hora", "2ª hora"};
    const Case cases[] = {
        {"at first, the first frame", tramos, std::nullopt, intensiva, aHours},
        {"its first entry", tramos, 0, intensiva, aHours},
        {"its later entry", tramos, 2, intensiva, aHours},
        {"another frame", tramos, 1, {"Tarde", "01/09/2026", "30/06/2027"}, {"Tarde 1"}},
        {"one slot in the document fills no hours", {tramos.first()}, 0, intensiva, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const XmlDocument document = loaded(yedraDocument(twoWithOneCode, c.tramos));
        TPlantillas dialog(document);
        dialog.show();
        if (c.click)
            clickEntry(dialog, *c.click, Qt::NoModifier);
        EXPECT_EQ((QStringList{labelText(dialog, "LabelNombre"), labelText(dialog, "LabelPlanFec1"),
                               labelText(dialog, "LabelPlanFec2")}),
                  c.details);
        EXPECT_EQ(entries(dialog.findChild<QListWidget*>(QStringLiteral("ListBox1"))), c.hours);
        dialog.hide();
    }
}

// Coming back to the dialog from another window does not fill the lists again: the selection
// the user made stays.
TEST(Plantillas, FillsItsListsOnlyOnce)
{
    const XmlDocument document = loaded(yedraDocument(frames({"M1", "M2", "M3"}), {}));
    ModalScript script;
    script.then(script.acknowledge());
    TPlantillas dialog(document);
    dialog.show();
    clickEntry(dialog, 2);
    clickEntry(dialog, 0);
    showMessageBox(&dialog, QStringLiteral("Otra ventana encima"));
    dialog.activateWindow();
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&dialog, &activate);
    QApplication::processEvents();
    EXPECT_EQ(entries(frameList(dialog)), (QStringList{"M1", "M2", "M3"}));
    EXPECT_EQ(entries(frameList(dialog), true), (QStringList{"M1", "M3"}));
    clickContinuar(dialog);
    EXPECT_EQ(dialog.resultado, "M1        M3        ");
    EXPECT_TRUE(dialog.resultMH);
}

// The dialog offers no way to cancel: Escape, anywhere in it, neither closes it nor checks the
// selection; the user goes on choosing.
TEST(Plantillas, EscapeDoesNothing)
{
    const XmlDocument document = loaded(yedraDocument(frames({"M1", "M2", "M3"}), {}));
    ModalScript script;
    TPlantillas dialog(document);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    clickEntry(dialog, 1);
    for (QWidget* target :
         {static_cast<QWidget*>(&dialog), static_cast<QWidget*>(frameList(dialog)),
          dialog.findChild<QWidget*>(QStringLiteral("BitBtnContinuar"))}) {
        QTest::keyClick(target, Qt::Key_Escape);
        QApplication::processEvents();
        EXPECT_TRUE(dialog.isVisible());
    }
    EXPECT_TRUE(script.messages.isEmpty());
    EXPECT_EQ(script.unexpected, QStringList());
    EXPECT_TRUE(dialog.resultado.isEmpty());
    clickContinuar(dialog);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.resultado, "M2        ");
}

// Before the user picks anything, nothing looks selected: the entry that has the focus is
// marked by a dotted frame in the text colour, with no colour of its own.
TEST(Plantillas, TheFocusedEntryDoesNotLookSelected)
{
    const XmlDocument document = loaded(yedraDocument(frames({"M1", "M2", "M3"}), {}));
    TPlantillas dialog(document);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QListWidget* list = frameList(dialog);
    list->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(list->hasFocus());
    EXPECT_TRUE(entries(list, true).isEmpty());
    const QImage shown = list->viewport()->grab().toImage();
    list->clearFocus();
    list->setCurrentItem(nullptr, QItemSelectionModel::NoUpdate);
    QApplication::processEvents();
    const QImage plain = list->viewport()->grab().toImage();
    ASSERT_EQ(shown.size(), plain.size());
    int differing = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            const QColor colour = shown.pixelColor(x, y);
            if (colour == plain.pixelColor(x, y))
                continue;
            ++differing;
            EXPECT_EQ(colour.hsvSaturation(), 0)
                << x << "," << y << " " << colour.name().toStdString();
        }
    }
    EXPECT_GT(differing, 0); // the focus is shown all the same
}

// The hours list with the focus and no rows (a frame without slots) still shows where the focus
// is: a dotted frame inside it, in the text colour only.
TEST(Plantillas, TheEmptyHoursListShowsTheFocus)
{
    const XmlDocument document = loaded(yedraDocument(frames({"M1", "M2"}), {}));
    TPlantillas dialog(document);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    auto* hours = dialog.findChild<QListWidget*>(QStringLiteral("ListBox1"));
    ASSERT_NE(hours, nullptr);
    ASSERT_EQ(hours->count(), 0);
    const QImage plain = hours->viewport()->grab().toImage();
    hours->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    ASSERT_TRUE(hours->hasFocus());
    const QImage focused = hours->viewport()->grab().toImage();
    ASSERT_EQ(focused.size(), plain.size());
    int differing = 0;
    for (int y = 0; y < focused.height(); ++y) {
        for (int x = 0; x < focused.width(); ++x) {
            if (focused.pixelColor(x, y) == plain.pixelColor(x, y))
                continue;
            ++differing;
            EXPECT_EQ(focused.pixelColor(x, y).hsvSaturation(), 0) << x << "," << y;
        }
    }
    EXPECT_GT(differing, 0);
}

// F1 in the modal time-frame dialog opens the help in a window that takes clicks and keys as the
// window system delivers them while the dialog stays up; the choice goes on afterwards.
TEST(Plantillas, TheHelpCanBeUsedWhileTheDialogIsUp)
{
    const NoSystemViewer ownWindows;
    const XmlDocument document = loaded(yedraDocument(frames({"M1", "M2"}), {}));
    QWidget owner;
    owner.show();
    TPlantillas dialog(document, &owner);
    QString topicShown, topicAfterClick;
    bool dialogStayed = false;
    QTimer::singleShot(0, &dialog, [&] {
        QApplication::setActiveWindow(&dialog);
        systemKey(frameList(dialog), Qt::Key_F1);
        HelpWindow* help = shownHelpWindow();
        if (help) {
            topicShown = help->topic();
            auto* index = help->findChild<QListWidget*>(QStringLiteral("HelpIndex"));
            systemClick(index->viewport(), index->visualItemRect(index->item(0)).center());
            topicAfterClick = help->topic();
            help->close();
        }
        dialogStayed = dialog.isVisible();
        clickEntry(dialog, 0, Qt::NoModifier);
        clickContinuar(dialog);
    });
    dialog.exec();
    EXPECT_EQ(topicShown, QStringLiteral("ventana-principal.html"));
    EXPECT_EQ(topicAfterClick, QStringLiteral("index.html"));
    EXPECT_TRUE(dialogStayed);
    EXPECT_EQ(dialog.resultado, "M1        ");
}

// Long texts show whole or, for the lists, on one line each: a name of three lines within its
// label's area (smaller if it must be), above the dates; a code of thirteen characters on one
// line like every other code, elided, never wrapped into what would look like two entries, and
// the list never scrolls sideways. The whole texts are the tooltips as well. Measured with the
// fonts in use.
TEST(Plantillas, LongNamesAndCodesShowWhole)
{
    const QString name = QStringLiteral("Jornada de mañana intensiva de junio");
    const QString code = QStringLiteral("WMWMWMWMWMWMW");
    Records records = frames({"M1", "M2", "M3", "M4", "M5", "2"});
    records.insert(1, {code, name, QStringLiteral("01/09/2026"), QStringLiteral("30/06/2027")});
    const XmlDocument document = loaded(yedraDocument(records, {}));
    TPlantillas dialog(document);
    dialog.show();
    QListWidget* list = frameList(dialog);
    clickEntry(dialog, 1, Qt::NoModifier);

    EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
    EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0);
    const QFontMetrics listFont(list->font());
    const int oneLine = list->visualItemRect(list->item(0)).height();
    EXPECT_LT(oneLine, 2 * listFont.lineSpacing());
    for (int row = 0; row < list->count(); ++row) {
        SCOPED_TRACE(row);
        const QRect rect = list->visualItemRect(list->item(row));
        EXPECT_LE(rect.right(), list->viewport()->width() - 1);
        EXPECT_EQ(rect.height(), oneLine);
        EXPECT_EQ(list->item(row)->toolTip(), list->item(row)->text());
    }
    EXPECT_EQ(list->item(1)->text(), code);
    EXPECT_GT(listFont.horizontalAdvance(code), list->visualItemRect(list->item(1)).width());
    EXPECT_EQ(list->textElideMode(), Qt::ElideMiddle);
    EXPECT_FALSE(list->wordWrap());

    const auto* nombre = dialog.findChild<FittingLabel*>(QStringLiteral("LabelNombre"));
    const auto* fecha = dialog.findChild<QLabel*>(QStringLiteral("LabelPlanFec1"));
    ASSERT_NE(nombre, nullptr);
    EXPECT_EQ(nombre->text(), name);
    EXPECT_EQ(nombre->toolTip(), name);
    const QRect area = nombre->contentsRect();
    const QRect needed = QFontMetrics(nombre->shownFont())
                             .boundingRect(QRect(0, 0, area.width(), 0), Qt::TextWordWrap, name);
    const QFontMetrics own(nombre->font()); // three lines at the label's own size
    EXPECT_GE(own.boundingRect(QRect(0, 0, area.width(), 0), Qt::TextWordWrap, name).height(),
              3 * own.lineSpacing());
    EXPECT_LE(needed.height(), area.height());
    EXPECT_LE(needed.width(), area.width());
    EXPECT_LE(nombre->geometry().bottom(), fecha->geometry().top());
    EXPECT_EQ(fecha->text(), "01/09/2026");
}

// The window's answer to the engine: the dialog shown modally over the busy pointer with the
// ordinary one, and its verdict handed back with the number of entries in its frame list.
TEST(Plantillas, TheWindowAsksThroughTheDialog)
{
    const XmlDocument document = loaded(yedraDocument(frames({"M1", "M2", "M3", "M4"}), {}));
    QWidget owner;
    WindowInteraction interaction(&owner);
    std::optional<Qt::CursorShape> whileUp;
    ModalScript script;
    script.then([&](QWidget* modal) {
        auto* dialog = qobject_cast<TPlantillas*>(modal);
        ASSERT_NE(dialog, nullptr);
        whileUp = QApplication::overrideCursor()->shape();
        clickEntry(*dialog, 3);
        clickEntry(*dialog, 1);
        clickContinuarLater(dialog);
    });
    interaction.setBusy(true);
    const FrameChoice choice = interaction.chooseFrames(document);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    interaction.setBusy(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(whileUp, Qt::ArrowCursor);
    EXPECT_TRUE(choice.resultMH);
    EXPECT_EQ(choice.resultado, "M2        M4        ");
    EXPECT_EQ(choice.frameCount, 4);
}

// A whole exportar run from the window: a rejected choice brings a fresh dialog with its lists
// filled anew and nothing selected; the choice that passes reaches the window and the tables.
TEST(Plantillas, TheRunAsksAgainUntilTheChoicePasses)
{
    QTemporaryDir dir;
    const QString bin = dir.filePath(QStringLiteral("bin"));
    const QString timetable = dir.filePath(QStringLiteral("OTEMP"));
    const QString path = dir.filePath(QStringLiteral("horario.xml"));
    QDir().mkpath(bin);
    QDir().mkpath(timetable);
    DbfTable(bin, QStringLiteral("NIVELCAN"))
        .create({{QStringLiteral("X_OFERTAMAT"), FieldDef::Type::Integer},
                 {QStringLiteral("NIVEL_ABREV"), FieldDef::Type::Text, 5},
                 {QStringLiteral("NIVEL"), FieldDef::Type::Text, 60}});
    writeFile(path, yedraDocument(frames({"M1", "M2", "M3"}), {{"T1", "1ª", "480", "535", "M1"},
                                                               {"T2", "1ª", "480", "535", "M2"},
                                                               {"T3", "2ª", "535", "590", "M3"}}));

    QPointer<QWidget> first;
    QStringList secondSelection = {QStringLiteral("not seen")};
    ModalScript script;
    script.then(ModalScript::chooseFile(path))
        .then([&](QWidget* modal) {
            first = modal;
            clickContinuarLater(modal);
        })
        .then(script.acknowledge())
        .then([&](QWidget* modal) {
            EXPECT_TRUE(first.isNull()); // the rejected dialog is gone
            secondSelection = entries(frameList(*modal), true);
            EXPECT_EQ(entries(frameList(*modal)), (QStringList{"M1", "M2", "M3"}));
            clickEntry(*modal, 2);
            clickEntry(*modal, 1);
            clickContinuarLater(modal);
        })
        .then(script.acknowledge());
    TMForm form(ShellSetup{{}, bin, timetable, {}});
    form.show();
    form.BExportarClick();
    EXPECT_TRUE(script.done());
    EXPECT_EQ(script.unexpected, QStringList());
    EXPECT_EQ(script.messages, (QStringList{NoneSelected, QStringLiteral("Proceso finalizado")}));
    EXPECT_TRUE(secondSelection.isEmpty());
    EXPECT_EQ(form.resultado, "M2        M3        ");
    EXPECT_EQ(form.nDiasPlanti, 3);
    EXPECT_EQ(tableRows(QDir(timetable).filePath(QStringLiteral("DIASHORAST.DBF"))).size(), 2);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}
