// Pictures of the windows as a person sees them, for a look on a real (virtual) screen:
//   xvfb-run -s "-screen 0 1024x600x24" env QT_QPA_PLATFORM=xcb QUELVANA_SCREENSHOTS=FOLDER
//       build/tests/gui_tests --gtest_filter='Screenshots.*'
// Skipped unless QUELVANA_SCREENSHOTS names the folder for them.

#include "app/mainform.h"
#include "components/xml/xmldocument.h"
#include "tests/gui/modalscript.h"
#include "tests/gui/teachergrid.h"
#include "tests/stepfixture.h"
#include "tests/testsupport.h"
#include "to_timetable/plantihoras/plantihoras.h"
#include "to_yedra/controlprofes/controlprofes.h"
#include "widgets/messageboxes.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QString folder()
{
    return qEnvironmentVariable("QUELVANA_SCREENSHOTS");
}

// The whole screen, once `window` is on it.
void take(QWidget* window, const QString& name)
{
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
    QTest::qWait(300);
    const QPixmap picture = window->screen()->grabWindow(0);
    EXPECT_TRUE(picture.save(QDir(folder()).filePath(name + QStringLiteral(".png"))));
}

QByteArray shortSubjects(int count)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SERVICIO><BLOQUE_DATOS>\n"
                     "<grupo_datos seq=\"JORNADAS_ESCOLARES\"><grupo_datos><dato>M1</dato>"
                     "<dato>Mañana</dato><dato>01/09/2026</dato><dato>30/06/2027</dato>"
                     "</grupo_datos></grupo_datos>\n<grupo_datos seq=\"MATERIAS\">";
    for (int i = 1; i <= count; ++i)
        xml +=
            "<grupo_datos><dato>" + QByteArray::number(i) + "</dato><dato>M</dato></grupo_datos>";
    return xml + "</grupo_datos>\n</BLOQUE_DATOS></SERVICIO>\n";
}

} // namespace

TEST(Screenshots, TheWindowsAsAPersonSeesThem)
{
    if (folder().isEmpty())
        GTEST_SKIP() << "QUELVANA_SCREENSHOTS names no folder";
    ASSERT_TRUE(QDir().mkpath(folder()));
    QTemporaryDir dir;
    TMForm form(ShellSetup{{}, QStringLiteral(QUELVANA_BIN_DIR), dir.path(), {}});
    form.show();
    take(&form, QStringLiteral("1-ventana-principal"));

    {
        teachergrid::Proft proft(teachergrid::staff);
        TControlProfesores dialog(proft.path);
        dialog.show();
        take(&dialog, QStringLiteral("2-datos-profesorado"));
        dialog.reject();
    }
    {
        XmlDocument document;
        Records frames;
        for (const char* code : {"M1", "T1", "N1", "V1"})
            frames << QStringList{QString::fromLatin1(code), QStringLiteral("Marco %1").arg(code),
                                  QStringLiteral("01/09/2026"), QStringLiteral("30/06/2027")};
        ASSERT_TRUE(
            document.loadXml(yedraDocument({{QStringLiteral("JORNADAS_ESCOLARES"), frames}})));
        TPlantillas dialog(document);
        dialog.show();
        take(&dialog, QStringLiteral("3-marcos-horarios"));
        dialog.hide();
    }
    {
        QStringList report;
        for (int i = 1; i <= 400; ++i)
            report << QStringLiteral(
                          "ASIGNOMT, registro %1: la materia de la oferta de curso %1 no "
                          "tiene ninguna unidad en el documento y se deja fuera")
                          .arg(i);
        ModalScript script;
        script.then([&](QWidget* box) {
            take(box, QStringLiteral("4-proceso-finalizado"));
            script.acknowledge()(box);
        });
        showRunEndBox(&form, QStringLiteral("Proceso finalizado"), {}, report.join('\n'),
                      QString());
    }
    {
        const QString document = dir.filePath(QStringLiteral("cortos.xml"));
        writeFile(document, shortSubjects(200000));
        ModalScript script;
        script.then([document](QWidget* modal) {
            modal->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(document);
            static_cast<QDialog*>(modal)->accept();
        });
        script.then([&](QWidget* box) {
            take(box, QStringLiteral("5-registros-cortos"));
            script.acknowledge()(box);
        });
        form.BExportarClick();
        EXPECT_TRUE(script.done());
    }
}
