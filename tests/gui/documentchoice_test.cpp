// What the main window shows between the file dialog and the end of a refused export: the
// window painted again before the document loads, and a refusal box that fits the screen.

#include "app/mainform.h"
#include "tests/gui/modalscript.h"
#include "tests/testsupport.h"

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QStyle>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A Yedra document of one time frame and `count` subjects of two values each, where five are
// needed: every subject is a short record.
QByteArray shortSubjects(int count)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SERVICIO><BLOQUE_DATOS>\n"
                     "<grupo_datos seq=\"JORNADAS_ESCOLARES\"><grupo_datos><dato>M1</dato>"
                     "<dato>Mañana</dato><dato>01/09/2026</dato><dato>30/06/2027</dato>"
                     "</grupo_datos></grupo_datos>\n<grupo_datos seq=\"MATERIAS\">";
    xml.reserve(xml.size() + count * 60);
    for (int i = 1; i <= count; ++i)
        xml +=
            "<grupo_datos><dato>" + QByteArray::number(i) + "</dato><dato>M</dato></grupo_datos>";
    return xml + "</grupo_datos>\n</BLOQUE_DATOS></SERVICIO>\n";
}

// The main window, interactive, with the build's lookup table beside it.
ShellSetup shell(const QString& timetable)
{
    return ShellSetup{{}, QStringLiteral(QUELVANA_BIN_DIR), timetable, {}};
}

// The document typed into the file dialog and accepted, as the user does with the dialog up
// over the visible window (where the name field has the focus, selectFile() leaves it alone).
ModalScript::Answer typeFile(const QString& path)
{
    return [path](QWidget* modal) {
        auto* name = modal->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!name) {
            ModalScript::cancel()(modal);
            return;
        }
        name->setText(path);
        static_cast<QDialog*>(modal)->accept(); // QFileDialog keeps accept() protected
    };
}

} // namespace

// 200,000 records that lack values: the box says how many in its text, lists as many as the
// screen has room for and fits it; the details keep the list of the first ones and the count
// of the rest. On the screen of the test, or on the one TheShortRecordsBoxFitsSmallScreens
// gives it.
TEST(DocumentChoice, TheShortRecordsBoxFitsTheScreenAndCounts)
{
    QTemporaryDir dir;
    const QString document = dir.filePath(QStringLiteral("cortos.xml"));
    writeFile(document, shortSubjects(200000));
    TMForm form(shell(dir.filePath(QStringLiteral("OTEMP"))));
    form.show();
    ModalScript script;
    QRect box;
    QRect area;
    int titleBar = 0;
    const ModalScript::Answer acknowledge = script.acknowledge();
    script.then(typeFile(document)).then([&](QWidget* modal) {
        box = modal->frameGeometry();
        area = modal->screen()->availableGeometry();
        titleBar = modal->style()->pixelMetric(QStyle::PM_TitleBarHeight);
        acknowledge(modal);
    });
    form.BExportarClick();
    ASSERT_TRUE(script.done());
    EXPECT_EQ(script.unexpected, QStringList());
    ASSERT_EQ(script.messages.size(), 1);
    if (const QString asked = qEnvironmentVariable("QUELVANA_TEST_SCREEN"); !asked.isEmpty()) {
        EXPECT_EQ(QStringLiteral("%1x%2").arg(area.width()).arg(area.height()), asked);
    }
    // The title bar that a window system adds above it fits as well.
    EXPECT_TRUE(area.contains(box.adjusted(0, -titleBar, 0, 0))) << box.height();
    const QString& details = script.details.first();
    EXPECT_TRUE(details.startsWith(QStringLiteral(
        "Faltan datos en 200000 registros.\nEl archivo XML tiene registros con menos datos de "
        "los necesarios y no se puede convertir:\nMATERIAS, registro 1: tiene 2 datos y "
        "necesita 5\n")))
        << details;
    EXPECT_TRUE(details.contains(QStringLiteral("\ny 199975 registros más")));
    EXPECT_TRUE(
        script.messages.first().startsWith(QStringLiteral("Faltan datos en 200000 registros.\n")))
        << script.messages.first();
}

// Once the file dialog has closed, the main window is painted again before the document starts
// loading: the closed dialog does not stay over it while a large document loads.
TEST(DocumentChoice, TheWindowIsPaintedAgainBeforeTheDocumentLoads)
{
    QTemporaryDir dir;
    const QString document = dir.filePath(QStringLiteral("cortos.xml"));
    writeFile(document, shortSubjects(3));
    TMForm form(shell(dir.filePath(QStringLiteral("OTEMP"))));
    form.show();
    QApplication::processEvents();
    auto* dialog = form.findChild<QFileDialog*>(QStringLiteral("OpenDialogXML"));
    ASSERT_NE(dialog, nullptr);

    // Paints of the window between the dialog's closing and the box that ends the run, which
    // comes once the document has been loaded and refused.
    struct Watch : QObject {
        QWidget* form = nullptr;
        QWidget* dialog = nullptr;
        bool closed = false;
        bool refused = false;
        int paintsBeforeLoad = 0;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (watched == dialog && event->type() == QEvent::Hide)
                closed = true;
            if (event->type() == QEvent::Show && qobject_cast<QMessageBox*>(watched))
                refused = true;
            if (watched == form && event->type() == QEvent::Paint && closed && !refused)
                ++paintsBeforeLoad;
            return false;
        }
    } watch;
    watch.form = &form;
    watch.dialog = dialog;
    qApp->installEventFilter(&watch);
    ModalScript script;
    script.then(typeFile(document)).then(script.acknowledge());
    form.BExportarClick();
    qApp->removeEventFilter(&watch);
    EXPECT_TRUE(script.done());
    EXPECT_TRUE(watch.closed);
    EXPECT_TRUE(watch.refused);
    EXPECT_GE(watch.paintsBeforeLoad, 1);
}

// The same box on the two small screens of the school's computers, 1280x800 and 1024x600: the
// test program again, on an offscreen screen of that size.
TEST(DocumentChoice, TheShortRecordsBoxFitsSmallScreens)
{
    if (!qEnvironmentVariableIsEmpty("QUELVANA_TEST_SCREEN"))
        GTEST_SKIP() << "already on a screen of its own";
    QTemporaryDir dir;
    for (const char* size : {"1280x800", "1024x600"}) {
        SCOPED_TRACE(size);
        const QStringList sides = QString::fromLatin1(size).split(QLatin1Char('x'));
        const QString config = dir.filePath(QStringLiteral("pantalla-%1.json").arg(size));
        writeFile(config,
                  QStringLiteral("{\"screens\": [{\"name\": \"Pantalla\", \"x\": 0, \"y\": 0, "
                                 "\"width\": %1, \"height\": %2, \"logicalDpi\": 96, "
                                 "\"logicalBaseDpi\": 96, \"dpr\": 1}]}")
                      .arg(sides[0], sides[1])
                      .toUtf8());
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"),
                           QStringLiteral("offscreen:configfile=") + config);
        environment.insert(QStringLiteral("QUELVANA_TEST_SCREEN"), QString::fromLatin1(size));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral(
                        "--gtest_filter=DocumentChoice.TheShortRecordsBoxFitsTheScreenAndCounts")});
        ASSERT_TRUE(child.waitForFinished(120000));
        const QByteArray output = child.readAll();
        EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
        EXPECT_TRUE(output.contains("[  PASSED  ] 1 test.")) << output.toStdString();
    }
}
