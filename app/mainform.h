#pragma once

#include "app/windowinteraction.h"
#include "components/timetablefolder/tablestaging.h"

#include <QStringList>
#include <QWidget>
#include <memory>

class GradientPanel;
class QFileDialog;
class QLabel;
class QPushButton;
class ExportarRun;

// Where the window finds what lies outside it. The program's entry fills it from the real
// command line, the executable's folder and the timetable folder; tests with their own.
struct ShellSetup {
    QStringList arguments;    // the command line without the program's own path
    QString executableFolder; // NIVELCAN.DBF, Oranel.ini and YEDRA.chm lie here
    QString timetableFolder;
    TableStaging::FileMover mover; // how the commit moves files (tests make it fail)
};

// The main window (MForm): it starts both runs, holds what they share and, in command-line
// mode, leaves the result status in "Oranel.ini" for the program that started it.
class TMForm : public QWidget {
    Q_OBJECT

public:
    enum class RunMode { Interactive, CommandLine };

    explicit TMForm(ShellSetup setup, QWidget* parent = nullptr);
    ~TMForm() override;

    // The first showing: in command-line mode it starts the run the verb names, before the
    // window becomes visible. The program's entry calls it, then shows the window unless a
    // run has closed it.
    void FormShow();

    void BExportarClick();
    void BImportarClick();
    void Button1Click();

    RunMode runMode() const { return m_runMode; }
    // 1: a run completed; -1: the chosen document did not exist (command-line mode); 0 else.
    int resultStatus() const { return m_resultStatus; }
    bool hasClosed() const { return m_closed; }

    // Shared with the runs.
    QString filenameXML;
    QString resultado;
    int nDiasPlanti = 0;
    bool Result = false;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    void closeMainWindow();
    void writeResultStatus();
    // Shows OpenDialogXML; a confirmed file becomes filenameXML. False when no file exists
    // at filenameXML afterwards (the run then ends as the mode says).
    bool chooseExistingDocument();
    // "Proceso finalizado", with the run's report in the box's details and a button that opens
    // the saved report at `reportFile`.
    void runEnded(const QString& details = QString(), const QString& reportFile = QString());

    GradientPanel* Draw3D1;
    GradientPanel* Draw3D2;
    GradientPanel* Draw3D3;
    QLabel* Label1;
    QLabel* Label3;
    QLabel* Label4;
    QPushButton* BExportar;
    QPushButton* BImportar;
    QPushButton* BClose;
    QPushButton* Button1;
    QFileDialog* OpenDialogXML;

    ShellSetup m_setup;
    WindowInteraction m_interaction;
    std::unique_ptr<ExportarRun> m_run; // the loaded document lives until the next run
    RunMode m_runMode = RunMode::Interactive;
    int m_resultStatus = 0;
    bool m_closed = false;
};
