#include "widgets/textwindow.h"

#include "widgets/toolwindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

TextWindow::TextWindow(const QString& path)
    : QWidget(nullptr, Qt::Window), m_path(path), m_text(new QPlainTextEdit)
{
    setObjectName(QStringLiteral("TextWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("%1 - Quelvana").arg(QFileInfo(path).fileName()));
    m_text->setObjectName(QStringLiteral("TextWindowText"));
    m_text->setAccessibleName(QFileInfo(path).fileName());
    m_text->setReadOnly(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        QString contents = QString::fromUtf8(file.readAll());
        if (contents.startsWith(QChar(0xFEFF)))
            contents.remove(0, 1);
        contents.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        m_text->setPlainText(contents);
    } else {
        m_text->setPlainText(QStringLiteral("No se puede leer «%1»: %2.")
                                 .arg(QDir::toNativeSeparators(path), file.errorString()));
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_text);
    resize(760, 560);
    toolwindow::addCloseKeys(this);
}

TextWindow* TextWindow::showFile(QWidget* requester, const QString& path)
{
    auto* window = new TextWindow(path);
    toolwindow::show(window, requester);
    window->m_text->setFocus();
    return window;
}
