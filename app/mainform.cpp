#include "app/mainform.h"

#include "app/oranelini.h"
#include "components/platform/engineerror.h"
#include "components/platform/platform.h"
#include "components/platform/systemerror.h"
#include "components/text/texts.h"
#include "exchange/yedradocument.h"
#include "to_timetable/exportarrun.h"
#include "to_yedra/importarrun.h"
#include "widgets/filedetails.h"
#include "widgets/formsetup.h"
#include "widgets/glyphs.h"
#include "widgets/gradientpanel.h"
#include "widgets/helpviewer.h"
#include "widgets/messageboxes.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>

namespace {

const QString NoDocument = QStringLiteral("No existe archivo");
const QString NoLookupTable =
    QStringLiteral("ATENCIÓN - NIVELCAN.DBF No encontrado - Reinstale QUELVANA");
const QString Finished = QStringLiteral("Proceso finalizado");

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, const QIcon& icon,
                        const QRect& geometry)
{
    auto* button = new QPushButton(icon, text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    return button;
}

// How many items of each list of a run report the window shows; the saved report has them all.
constexpr int ReportItemsShown = 100;

// The details of a box that ends a run: the run's report, and where it is saved.
QString reportDetails(const RunReport& report)
{
    return report.text(ReportItemsShown, false);
}

// Where the run's report was saved; empty when it was not.
QString savedReport(const RunReport& report)
{
    return QDir::fromNativeSeparators(report.json().value(QStringLiteral("informe")).toString());
}

} // namespace

TMForm::TMForm(ShellSetup setup, QWidget* parent)
    : QWidget(parent), m_setup(std::move(setup)), m_interaction(this)
{
    setObjectName(QStringLiteral("MForm"));
    form::setUpFixed(this, QStringLiteral("Exportar e importar datos entre Oranel y Yedra"),
                     QSize(632, 266));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    const QColor gold(0xF9, 0xD3, 0x7D);
    const QColor cream(0xFF, 0xEE, 0xDD);
    Draw3D2 = new GradientPanel(gold, Qt::white, cream, this);
    Draw3D2->setObjectName(QStringLiteral("Draw3D2"));
    Draw3D2->setGeometry(1, 0, 315, 169);
    Draw3D3 = new GradientPanel(gold, Qt::white, cream, this);
    Draw3D3->setObjectName(QStringLiteral("Draw3D3"));
    Draw3D3->setGeometry(316, 0, 317, 169);
    Draw3D1 = new GradientPanel(QColor(0xC2, 0xCD, 0xFE), QColor(0xCF, 0xF2, 0xFE),
                                QColor(0xCC, 0xD8, 0xE6), this);
    Draw3D1->setObjectName(QStringLiteral("Draw3D1"));
    Draw3D1->setGeometry(0, 168, 633, 97);

    const QFont heading(QStringLiteral("Arial"), 12, QFont::Bold);
    Label3 = form::label(Draw3D2, "Label3",
                         QStringLiteral("Transformar datos desde Yedra hacia Oranel "), heading,
                         Qt::black);
    Label3->setGeometry(24, 24, 265, 57);
    Label3->setWordWrap(true);
    Label4 =
        form::label(Draw3D3, "Label4", QStringLiteral("Transformar datos desde Oranel hacia Yedra"),
                    heading, Qt::black);
    Label4->setGeometry(8, 24, 305, 57);
    Label4->setWordWrap(true);
    QFont bold = font();
    bold.setBold(true);
    Label1 = form::label(Draw3D1, "Label1", QStringLiteral("Quelvana para OR18 V-1.1"), bold,
                         QColor(0xFF, 0x00, 0x00));
    Label1->move(8, 72);
    Label1->adjustSize();

    const QIcon ok = glyphs::checkMark();
    BExportar = makeButton(Draw3D2, "BExportar", QStringLiteral("OK"), ok, QRect(96, 120, 89, 25));
    BImportar = makeButton(Draw3D3, "BImportar", QStringLiteral("OK"), ok, QRect(96, 120, 89, 25));
    BClose = makeButton(Draw3D1, "BClose", QStringLiteral("&Salir"), glyphs::cross(),
                        QRect(256, 32, 89, 25));
    Button1 =
        makeButton(Draw3D1, "Button1", QStringLiteral("F1 Ayuda"), QIcon(), QRect(264, 64, 75, 25));
    // What a screen reader says: both run buttons read "OK" on screen.
    const struct {
        QPushButton* button;
        const char* name;
        const char* description;
    } spoken[] = {
        {BExportar, "Exportar: de Yedra a Oranel",
         "Convierte un documento XML de Yedra en las tablas de Oranel"},
        {BImportar, "Importar: de Oranel a Yedra",
         "Escribe el horario resuelto por Oranel en un documento para Yedra"},
        {BClose, "Salir", "Cierra el programa"},
        {Button1, "Ayuda", "Abre la ayuda del programa (tecla F1)"},
    };
    for (const auto& s : spoken) {
        s.button->setAccessibleName(QString::fromUtf8(s.name));
        s.button->setAccessibleDescription(QString::fromUtf8(s.description));
    }
    connect(BExportar, &QPushButton::clicked, this, &TMForm::BExportarClick);
    connect(BImportar, &QPushButton::clicked, this, &TMForm::BImportarClick);
    connect(BClose, &QPushButton::clicked, this, &TMForm::close);
    connect(Button1, &QPushButton::clicked, this, &TMForm::Button1Click);
    form::addHelpKey(this, 3); // F1 anywhere in the window

    OpenDialogXML =
        new QFileDialog(this, QStringLiteral("Seleccione Archivo XML obtenido de YEDRA"));
    OpenDialogXML->setObjectName(QStringLiteral("OpenDialogXML"));
    OpenDialogXML->setNameFilter(QStringLiteral("*.xml (*.xml)"));
    OpenDialogXML->setDefaultSuffix(QStringLiteral("xml"));
    OpenDialogXML->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialogXML->setFileMode(QFileDialog::AnyFile); // a name that does not exist can be typed
    OpenDialogXML->setProxyModel(new FileDetails(OpenDialogXML));

    form::enterPressesButtons(this);
    form::centreOnScreen(this);

    FormCreate();
}

TMForm::~TMForm() = default;

void TMForm::FormCreate()
{
    m_resultStatus = 0;
    m_runMode = m_setup.arguments.size() == 2 ? RunMode::CommandLine : RunMode::Interactive;
    // A run that is killed must never leave an earlier run's 1 for Oranel to read as success.
    if (m_runMode == RunMode::CommandLine)
        writeResultStatus();
}

void TMForm::FormShow()
{
    if (m_runMode == RunMode::Interactive)
        return;
    if (texts::lowerAsciiLetters(m_setup.arguments.first()) == QLatin1String("importar"))
        BImportarClick();
    if (!m_closed &&
        texts::lowerAsciiLetters(m_setup.arguments.first()) == QLatin1String("exportar"))
        BExportarClick();
}

void TMForm::writeResultStatus()
{
    try {
        oranelini::writeStatus(m_setup.executableFolder, m_resultStatus);
    } catch (const EngineError& error) {
        showErrorBox(this, error.message());
    }
}

void TMForm::FormClose()
{
    if (m_runMode == RunMode::CommandLine)
        writeResultStatus();
}

void TMForm::closeEvent(QCloseEvent* event)
{
    if (!m_closed) {
        FormClose();
        m_closed = true;
    }
    event->accept();
}

void TMForm::closeMainWindow()
{
    if (isVisible()) {
        close();
    } else if (!m_closed) {
        // Closed before it was ever shown (a command-line run at start-up).
        FormClose();
        m_closed = true;
    }
}

bool TMForm::chooseExistingDocument()
{
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    if (OpenDialogXML->exec() == QDialog::Accepted && !OpenDialogXML->selectedFiles().isEmpty())
        filenameXML = OpenDialogXML->selectedFiles().first();
    QApplication::restoreOverrideCursor();
    // The window is painted again where the dialog was before a long load begins, so the
    // closed dialog does not stay on the screen meanwhile.
    if (isVisible()) {
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        repaint();
    }
    if (QFileInfo(filenameXML).isFile())
        return true;
    // A name written in another encoding (an old USB stick) shows with letters replaced, and
    // cannot be opened by that name.
    showMessageBox(this, filenameXML.contains(QChar::ReplacementCharacter)
                             ? QStringLiteral("El nombre del archivo «%1» tiene letras que no "
                                              "están escritas en UTF-8 (como los de algunas "
                                              "memorias USB antiguas), y Quelvana no lo puede "
                                              "abrir por ese nombre. Cámbiele el nombre y vuelva "
                                              "a empezar.")
                                   .arg(QDir::toNativeSeparators(filenameXML))
                             : NoDocument);
    if (m_runMode == RunMode::CommandLine) {
        m_resultStatus = -1;
        closeMainWindow();
    }
    return false;
}

void TMForm::runEnded(const QString& details, const QString& reportFile)
{
    m_resultStatus = 1;
    showRunEndBox(this, Finished, m_interaction.takeWarnings(), details, reportFile);
    BExportar->setEnabled(false);
    BImportar->setEnabled(false);
    if (m_runMode == RunMode::CommandLine)
        closeMainWindow();
}

void TMForm::BExportarClick()
{
    if (!chooseExistingDocument())
        return;
    const QString lookup =
        platform::dataFile(m_setup.executableFolder, QStringLiteral("NIVELCAN.DBF"));
    if (!QFileInfo(lookup).isFile()) {
        showMessageBox(this, NoLookupTable);
        return;
    }
    m_interaction.takeWarnings(); // none of an earlier run
    m_run.reset();
    m_run = std::make_unique<ExportarRun>(m_setup.timetableFolder, lookup, m_interaction,
                                          m_setup.mover);
    m_interaction.setBusy(true);
    const ExportarRun::Result result = m_run->run(filenameXML);
    m_interaction.setBusy(false);
    switch (result.outcome) {
    case ExportarRun::Result::Outcome::Refused:
        // A document that cannot be converted is an error, told as every other one; records
        // that lack values are counted first, however few of them the box has room to list.
        showErrorBox(
            this, result.shortRecords == 0 ? result.message
                  : result.shortRecords == 1
                      ? QStringLiteral("Faltan datos en 1 registro.\n") + result.message
                      : QStringLiteral("Faltan datos en %1 registros.\n").arg(result.shortRecords) +
                            result.message);
        return;
    case ExportarRun::Result::Outcome::Failed:
        // The details list every other problem of the document, so that all of them can be put
        // right in Yedra at once.
        showErrorBox(this, result.message, m_interaction.takeWarnings(),
                     result.otherProblems.isEmpty()
                         ? QString()
                         : QStringLiteral("Otros problemas del documento (corríjalos todos en "
                                          "Yedra antes de volver a exportar):\n\n") +
                               result.otherProblems.join(QStringLiteral("\n\n")));
        return;
    case ExportarRun::Result::Outcome::Done:
        break;
    }
    resultado = m_run->resultado;
    nDiasPlanti = m_run->nDiasPlanti;
    runEnded(reportDetails(m_run->report()), savedReport(m_run->report()));
}

void TMForm::BImportarClick()
{
    if (!chooseExistingDocument())
        return;
    m_interaction.setBusy(true);
    ImportarRun run(m_setup.timetableFolder, m_interaction);
    const ImportarRun::Result result = run.run(filenameXML);
    QString details;
    QString reportFile;
    if (result.outcome == ImportarRun::Outcome::Saved) {
        run.saveReport();
        details = reportDetails(run.report());
        reportFile = savedReport(run.report());
    }
    m_interaction.setBusy(false);
    if (result.outcome == ImportarRun::Outcome::Failed) {
        // Nothing is saved; the window stays open with the status as it was.
        showErrorBox(this, result.message);
        return;
    }
    Result = result.verdict;
    switch (result.outcome) {
    case ImportarRun::Outcome::Failed:
        return;
    case ImportarRun::Outcome::Refused:
        showErrorBox(this, result.message);
        return;
    case ImportarRun::Outcome::Incomplete:
        // Teacher data still missing: the program ends, whatever the run mode.
        showMessageBox(this, result.message);
        closeMainWindow();
        return;
    case ImportarRun::Outcome::Saved:
        runEnded(details, reportFile);
        return;
    }
}

void TMForm::Button1Click()
{
    help::showContents(this);
}
