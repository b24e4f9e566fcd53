#include "widgets/helpwindow.h"

#include "widgets/toolwindow.h"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPointer>
#include <QRegularExpression>
#include <QSplitter>
#include <QTextBrowser>
#include <QUrl>

namespace {

// The topics in the order of the help's table of contents; any other page of the folder
// follows them.
const char* const orderedTopics[] = {
    "index.html",
    "ventana-principal.html",
    "marcos-horarios.html",
    "datos-profesorado.html",
    "mensajes.html",
    "carpeta-horarios.html",
    "copias.html",
    "informe.html",
    "linea-de-ordenes.html",
    "quelvana-cli.html",
};

QString titleOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QFileInfo(path).completeBaseName();
    const QString text = QString::fromUtf8(file.read(4096));
    const QRegularExpressionMatch title =
        QRegularExpression(QStringLiteral("<title>(.*?)</title>"),
                           QRegularExpression::CaseInsensitiveOption |
                               QRegularExpression::DotMatchesEverythingOption)
            .match(text);
    return title.hasMatch() ? title.captured(1).simplified() : QFileInfo(path).completeBaseName();
}

QPointer<HelpWindow>& theWindow()
{
    static QPointer<HelpWindow> window;
    return window;
}

} // namespace

HelpWindow::HelpWindow(const QString& folder, QWidget* parent)
    : QWidget(parent, Qt::Window), m_folder(folder), m_index(new QListWidget),
      m_browser(new QTextBrowser)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Ayuda de Quelvana"));
    m_index->setObjectName(QStringLiteral("HelpIndex"));
    m_index->setAccessibleName(QStringLiteral("Temas de la ayuda"));
    m_index->setWordWrap(true); // long titles whole, on two lines
    m_index->setSpacing(2);
    m_browser->setObjectName(QStringLiteral("HelpBrowser"));
    m_browser->setAccessibleName(QStringLiteral("Tema de la ayuda"));
    m_browser->setSearchPaths({folder});
    m_browser->setOpenExternalLinks(true);

    QStringList topics;
    for (const char* name : orderedTopics) {
        if (QFileInfo::exists(QDir(folder).filePath(QString::fromLatin1(name))))
            topics << QString::fromLatin1(name);
    }
    for (const QString& name : QDir(folder).entryList({QStringLiteral("*.html")}, QDir::Files)) {
        if (!topics.contains(name))
            topics << name;
    }
    for (const QString& name : std::as_const(topics)) {
        auto* item = new QListWidgetItem(titleOf(QDir(folder).filePath(name)), m_index);
        item->setData(Qt::UserRole, name);
        item->setToolTip(item->text());
    }
    connect(m_index, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item && item->data(Qt::UserRole).toString() != topic())
            m_browser->setSource(
                QUrl::fromLocalFile(QDir(m_folder).filePath(item->data(Qt::UserRole).toString())));
    });
    connect(m_browser, &QTextBrowser::sourceChanged, this, &HelpWindow::showTopicInIndex);

    auto* splitter = new QSplitter;
    splitter->addWidget(m_index);
    splitter->addWidget(m_browser);
    splitter->setStretchFactor(1, 3);
    splitter->setSizes({290, 590});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    resize(880, 580);
    toolwindow::addCloseKeys(this);
}

HelpWindow* HelpWindow::showTopic(QWidget* parent, const QString& folder, const QString& topic)
{
    QPointer<HelpWindow>& window = theWindow();
    if (!window || window->m_folder != folder) {
        delete window;
        window = new HelpWindow(folder, nullptr);
    }
    window->setTopic(topic);
    toolwindow::show(window, parent);
    return window;
}

void HelpWindow::setTopic(const QString& topic)
{
    m_browser->setSource(QUrl::fromLocalFile(QDir(m_folder).filePath(topic)));
    showTopicInIndex();
}

void HelpWindow::showTopicInIndex()
{
    const QString shown = topic();
    for (int i = 0; i < m_index->count(); ++i) {
        if (m_index->item(i)->data(Qt::UserRole).toString() == shown) {
            const QSignalBlocker quiet(m_index);
            m_index->setCurrentRow(i);
        }
    }
}

QString HelpWindow::topic() const
{
    return QFileInfo(m_browser->source().toLocalFile()).fileName();
}
