#include "tests/testsupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <stdexcept>

QString testDataPath(const QString& name)
{
    return QDir(QStringLiteral(QUELVANA_TEST_DATA_DIR)).filePath(name);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    return file.readAll();
}

QJsonObject readWithPython(const QString& path, QString* error)
{
    QProcess python;
    python.start(
        QStringLiteral(QUELVANA_PYTHON),
        {QDir(QStringLiteral(QUELVANA_TEST_TOOLS_DIR)).filePath(QStringLiteral("xmlread.py")),
         path});
    python.closeWriteChannel();
    if (!python.waitForFinished(60000) || python.exitStatus() != QProcess::NormalExit ||
        python.exitCode() != 0) {
        if (error)
            *error = QString::fromUtf8(python.readAllStandardError());
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}
