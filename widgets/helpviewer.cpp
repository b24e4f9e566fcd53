#include "widgets/helpviewer.h"

#include "widgets/helpwindow.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>

#ifdef Q_OS_WIN
#include <string>
#include <windows.h>
#endif

namespace help {
namespace {

const int Contents = 0;

// The topic of a context number, as YEDRA.hhp maps it; the contents page for Contents.
QString topicOf(int context)
{
    switch (context) {
    case 3:
        return QStringLiteral("ventana-principal.html");
    case 1:
        return QStringLiteral("datos-profesorado.html");
    default:
        return QStringLiteral("index.html");
    }
}

#ifdef Q_OS_WIN

// HtmlHelpW of hhctrl.ocx, loaded at run time: the program also starts where it is missing.
using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
constexpr UINT HhDisplayTopic = 0x0000;
constexpr UINT HhDisplayToc = 0x0001;
constexpr UINT HhCloseAll = 0x0012;

HtmlHelpFunction htmlHelp()
{
    static const HtmlHelpFunction function = [] {
        HMODULE module = LoadLibraryW(L"hhctrl.ocx");
        // Through void (*)(), the one function type that converts to any other without warning.
        auto found = module ? reinterpret_cast<HtmlHelpFunction>(
                                  reinterpret_cast<void (*)()>(GetProcAddress(module, "HtmlHelpW")))
                            : nullptr;
        // The viewer's windows live in this process; they must close before it ends.
        if (found)
            qAddPostRoutine([] { htmlHelp()(nullptr, nullptr, HhCloseAll, 0); });
        return found;
    }();
    return function;
}

bool showInViewer(QWidget* parent, const QString& chm, int context)
{
    const HtmlHelpFunction function = htmlHelp();
    if (!function)
        return false;
    // Owned by the main window, so that the help outlives the dialog that asked for it.
    QWidget* owner = parent;
    while (owner && owner->parentWidget())
        owner = owner->parentWidget();
    const HWND ownerHandle = owner ? reinterpret_cast<HWND>(owner->winId()) : nullptr;
    const std::wstring file = QDir::toNativeSeparators(chm).toStdWString();
    if (context == Contents)
        return function(ownerHandle, file.c_str(), HhDisplayToc, 0) != nullptr;
    // By topic rather than HH_HELP_CONTEXT: chmcmd writes the [MAP] targets with the path of
    // the folder it compiled in, which the viewer then cannot find inside the file.
    const std::wstring topic = topicOf(context).toStdWString();
    return function(ownerHandle, file.c_str(), HhDisplayTopic,
                    reinterpret_cast<DWORD_PTR>(topic.c_str())) != nullptr;
}

#else

// A viewer of compiled help, if one is installed; it opens the file at its start.
bool showInViewer(QWidget*, const QString& chm, int)
{
    for (const char* name : {"xchm", "kchmviewer", "okular"}) {
        const QString program = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!program.isEmpty() && QProcess::startDetached(program, {chm}))
            return true;
    }
    return false;
}

#endif

// The help folder and the compiled help beside the program, or in the installed data folder.
QString& programFolder()
{
    static QString folder;
    return folder;
}

QDir helpHome()
{
    const QDir beside(programFolder().isEmpty() ? QCoreApplication::applicationDirPath()
                                                : programFolder());
    const QDir installed(beside.filePath(QStringLiteral("../share/quelvana")));
    if (!QFileInfo::exists(beside.filePath(QStringLiteral("help/index.html"))) &&
        QFileInfo::exists(installed.filePath(QStringLiteral("help/index.html"))))
        return installed;
    return beside;
}

void show(QWidget* parent, int context)
{
    const QDir folder = helpHome();
    const QString chm = folder.filePath(QStringLiteral("YEDRA.chm"));
    const QString topics = folder.filePath(QStringLiteral("help"));
    const QString topic = QDir(topics).filePath(topicOf(context));
    if (QFileInfo::exists(chm) && showInViewer(parent, chm, context))
        return;

        // Without a viewer: the file as the desktop opens it, the compiled help first on Windows,
        // where the system opens it by itself, and the HTML topic first elsewhere.
#ifdef Q_OS_WIN
    const QStringList candidates = {chm, topic};
#else
    const QStringList candidates = {topic, chm};
#endif
    for (const QString& file : candidates) {
        if (QFileInfo::exists(file) && QDesktopServices::openUrl(QUrl::fromLocalFile(file)))
            return;
    }
    // Nothing on the system opens it: the program's own window shows the same topics.
    if (QFileInfo::exists(topic)) {
        HelpWindow::showTopic(parent, topics, topicOf(context));
        return;
    }
    QMessageBox::warning(parent, QStringLiteral("Quelvana"),
                         QStringLiteral("La ayuda no está instalada: no se encuentra YEDRA.chm ni "
                                        "la carpeta help en «%1».")
                             .arg(QDir::toNativeSeparators(folder.path())));
}

} // namespace

void setProgramFolder(const QString& folder)
{
    programFolder() = folder;
}

void showContents(QWidget* parent)
{
    show(parent, Contents);
}

void showContext(QWidget* parent, int context)
{
    show(parent, context);
}

} // namespace help
