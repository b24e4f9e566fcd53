#include "app/mainform.h"
#include "app/windowinteraction.h"
#include "components/dbase/dbftable.h"
#include "components/timetablefolder/tablelayouts.h"
#include "tests/gui/modalscript.h"
#include "tests/stepfixture.h"
#include "tests/testsupport.h"
#include "to_timetable/exportarrun.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// The progress dialog shows from a run's first step on, for the length of a test.
struct ProgressAtOnce {
    int kept = WindowInteraction::showProgressAfterMs;
    ProgressAtOnce() { WindowInteraction::showProgressAfterMs = 0; }
    ~ProgressAtOnce() { WindowInteraction::showProgressAfterMs = kept; }
};

// Every progress dialog that is up on the screen.
QList<QProgressDialog*> progressShown()
{
    QList<QProgressDialog*> shown;
    for (QWidget* widget : QApplication::allWidgets()) {
        if (auto* dialog = qobject_cast<QProgressDialog*>(widget); dialog && dialog->isVisible())
            shown << dialog;
    }
    return shown;
}

int progressDialogs()
{
    int count = 0;
    for (QWidget* widget : QApplication::allWidgets())
        count += qobject_cast<QProgressDialog*>(widget) != nullptr;
    return count;
}

// What the window showed after each step the run announced.
class WatchedInteraction : public WindowInteraction {
public:
    using WindowInteraction::WindowInteraction;
    void progress(const QString& step) override
    {
        WindowInteraction::progress(step);
        const QList<QProgressDialog*> shown = progressShown();
        if (shown.size() != 1) {
            seen << QStringLiteral("(%1 diálogos de progreso)").arg(shown.size());
            return;
        }
        QProgressDialog* dialog = shown.first();
        seen << dialog->labelText().section(QStringLiteral("\n\n"), 1);
        whole = dialog->labelText();
        title = dialog->windowTitle();
        buttons += dialog->findChildren<QPushButton*>().size();
        modal = modal && dialog->isModal();
        busyPointer = busyPointer && QApplication::overrideCursor() &&
                      QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    }
    QStringList seen;
    QString whole;
    QString title;
    int buttons = 0;
    bool modal = true;
    bool busyPointer = true;
};

QByteArray documentWithTwoFrames()
{
    return yedraDocument({{QStringLiteral("JORNADAS_ESCOLARES"),
                           {{"M1", "Mañana", "01/09/2026", "30/06/2027"},
                            {"M2", "Tarde", "01/09/2026", "30/06/2027"}}},
                          {QStringLiteral("TRAMOS_HORARIOS"),
                           {{"T1", "1ª", "480", "535", "M1"}, {"T2", "1ª", "900", "955", "M2"}}}});
}

void installLookupTable(const QString& folder)
{
    DbfTable(folder, QStringLiteral("NIVELCAN")).create(layouts::nivelcan.fields);
}

// The time-frame dialog answered: the first frame taken. `covered` says whether a progress
// dialog was up when it showed.
ModalScript::Answer takeFirstFrame(bool* covered)
{
    return [covered](QWidget* modal) {
        *covered = !progressShown().isEmpty();
        QListWidget* list = modal->findChild<QListWidget*>(QStringLiteral("ListBox2"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          list->visualItemRect(list->item(0)).center());
        QTimer::singleShot(0, modal, [modal] {
            QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("BitBtnContinuar")),
                              Qt::LeftButton);
        });
    };
}

} // namespace

// An exportar run drives the window's progress dialog through its steps, busy pointer kept and
// no button on it; the time-frame dialog it asks mid-run is never under it, and nothing is left
// of it at the end.
TEST(Progress, TheWindowShowsEachStepOfARun)
{
    ProgressAtOnce atOnce;
    QTemporaryDir dir;
    const QString timetable = dir.filePath(QStringLiteral("OTEMP"));
    QDir().mkpath(timetable);
    installLookupTable(dir.path());
    const QString document = dir.filePath(QStringLiteral("horario.xml"));
    writeFile(document, documentWithTwoFrames());

    QWidget window;
    window.show();
    bool covered = true;
    ModalScript script;
    script.then(takeFirstFrame(&covered));
    WatchedInteraction interaction(&window);
    {
        ExportarRun run(timetable, QDir(dir.path()).filePath(QStringLiteral("NIVELCAN.DBF")),
                        interaction);
        ASSERT_EQ(run.loadDocument(document), QString());
        interaction.setBusy(true);
        run.begin();
        run.runSteps();
        run.commit();
        interaction.setBusy(false);
    }
    EXPECT_TRUE(script.done());
    EXPECT_EQ(script.unexpected, QStringList());
    EXPECT_FALSE(covered);
    EXPECT_EQ(interaction.seen,
              (QStringList{
                  QStringLiteral("Materias (ASIGNOMT, ASIGNOMT2)…"),
                  QStringLiteral("Actividades (tareas de ASIGNOMT)…"),
                  QStringLiteral("Profesores (PROFT)…"),
                  QStringLiteral("Dependencias (AULAT)…"),
                  QStringLiteral("Cursos y unidades (CURSOST, GRUPOST)…"),
                  QStringLiteral("Asignaciones (ASIGT)…"),
                  QStringLiteral("Jornadas y tramos (DIASHORAST, DIASHORAST2, PERIODOS)…"),
                  QStringLiteral("Colocando las tablas nuevas en la carpeta de horarios…"),
              }));
    EXPECT_TRUE(interaction.whole.startsWith(
        QStringLiteral("Quelvana está trabajando. Espere a que termine.\n\n")))
        << interaction.whole;
    EXPECT_EQ(interaction.title, QStringLiteral("Quelvana"));
    EXPECT_EQ(interaction.buttons, 0);
    EXPECT_TRUE(interaction.modal);
    EXPECT_TRUE(interaction.busyPointer);
    EXPECT_EQ(progressDialogs(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// A short run shows no progress dialog; one that goes on gets it; a message the run shows, and
// the end of the run, take it away.
TEST(Progress, OnlyALongRunGetsTheDialog)
{
    QWidget window;
    window.show();
    WindowInteraction interaction(&window);
    interaction.setBusy(true);
    interaction.progress(QStringLiteral("Paso corto"));
    EXPECT_TRUE(progressShown().isEmpty());

    ProgressAtOnce atOnce;
    interaction.progress(QStringLiteral("Paso largo"));
    ASSERT_EQ(progressShown().size(), 1);
    EXPECT_TRUE(progressShown().first()->labelText().endsWith(QStringLiteral("Paso largo…")));
    interaction.progress(QStringLiteral("Profesor 2 de 3"));
    ASSERT_EQ(progressShown().size(), 1);
    EXPECT_TRUE(progressShown().first()->labelText().endsWith(QStringLiteral("Profesor 2 de 3…")));

    int shownWithMessage = -1;
    ModalScript script;
    script.then([&](QWidget* modal) {
        shownWithMessage = progressShown().size();
        script.acknowledge()(modal);
    });
    interaction.showMessage(QStringLiteral("Aviso a mitad de la conversión"));
    EXPECT_TRUE(script.done());
    EXPECT_EQ(script.messages, QStringList{QStringLiteral("Aviso a mitad de la conversión")});
    EXPECT_EQ(shownWithMessage, 0);
    EXPECT_EQ(progressDialogs(), 0);

    interaction.progress(QStringLiteral("Después del aviso"));
    EXPECT_EQ(progressShown().size(), 1);
    interaction.setBusy(false);
    EXPECT_EQ(progressDialogs(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// A step that counts ("Profesor 2109 de 4000") fills the bar by its count; a step that does not
// shows it busy again.
TEST(Progress, TheBarFollowsTheCountOfAStep)
{
    ProgressAtOnce atOnce;
    QWidget window;
    window.show();
    WindowInteraction interaction(&window);
    interaction.setBusy(true);
    struct Step {
        const char* text;
        int value;
        int maximum; // 0: busy
    };
    const Step steps[] = {
        {"Leyendo el documento de Yedra", 0, 0},
        {"Profesor 1 de 4000", 1, 4000},
        {"Profesor 2109 de 4000", 2109, 4000},
        {"Profesor 4000 de 4000", 4000, 4000},
        {"Guardando", 0, 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.text);
        interaction.progress(QString::fromUtf8(step.text));
        ASSERT_EQ(progressShown().size(), 1);
        const QProgressDialog* dialog = progressShown().first();
        EXPECT_EQ(dialog->minimum(), 0);
        EXPECT_EQ(dialog->maximum(), step.maximum);
        if (step.maximum > 0) {
            EXPECT_EQ(dialog->value(), step.value);
        }
        EXPECT_TRUE(dialog->labelText().endsWith(QString::fromUtf8(step.text) + u'…'));
    }
    interaction.setBusy(false);
    EXPECT_EQ(progressDialogs(), 0);
}

// Importar from the window: the teacher dialog it opens mid-run is not under the progress
// dialog, and neither is the message that ends the run.
TEST(Progress, TheWindowsDialogsOfImportarAreNeverCovered)
{
    ProgressAtOnce atOnce;
    for (bool complete : {true, false}) {
        SCOPED_TRACE(complete);
        QTemporaryDir dir;
        const QString bin = dir.filePath(QStringLiteral("bin"));
        const QString timetable = dir.filePath(QStringLiteral("OTEMP"));
        const QString document = dir.filePath(QStringLiteral("horario.xml"));
        QDir().mkpath(bin);
        QDir().mkpath(timetable);
        installLookupTable(bin);
        writeFile(document, documentWithTwoFrames());
        for (const TableLayout* layout :
             {&layouts::proft, &layouts::asigt, &layouts::asignomt, &layouts::asignomt2,
              &layouts::grupost, &layouts::cursost, &layouts::aulat, &layouts::diashorast,
              &layouts::periodos})
            DbfTable(timetable, layout->name).create(layout->fields);
        DbfTable(timetable, QStringLiteral("SOLUC"))
            .create({{QStringLiteral("PROF"), FieldDef::Type::Text, 10},
                     {QStringLiteral("DIA"), FieldDef::Type::Integer}});
        DbfTable proft(timetable, QStringLiteral("PROFT"));
        proft.open();
        for (const char* code : {"GLA", "RMP"}) {
            proft.append();
            proft.setText(QStringLiteral("ABREV"), QString::fromLatin1(code));
            proft.setText(QStringLiteral("X_EMPLEADO"),
                          complete ? QStringLiteral("42") : QString());
            proft.setText(QStringLiteral("F_TOMAPOS"), QStringLiteral("01/09/2020"));
            proft.post();
        }
        proft.close();

        QList<int> coveredBy; // progress dialogs up as each window of the run showed
        ModalScript script;
        script.then(ModalScript::chooseFile(document));
        if (!complete) {
            script.then([&](QWidget* modal) {
                coveredBy << progressShown().size();
                QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("BitBtn1")),
                                  Qt::LeftButton);
            });
        }
        script.then([&](QWidget* modal) {
            coveredBy << progressShown().size();
            script.acknowledge()(modal);
        });
        TMForm form(ShellSetup{{}, bin, timetable, {}});
        form.show();
        form.BImportarClick();
        EXPECT_TRUE(script.done());
        EXPECT_EQ(script.unexpected, QStringList());
        EXPECT_EQ(coveredBy, QList<int>(complete ? 1 : 2, 0));
        ASSERT_EQ(script.messages.size(), 1);
        EXPECT_EQ(script.messages.first() == QLatin1String("Proceso finalizado"), complete);
        EXPECT_EQ(progressDialogs(), 0);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
}
