#include "tests/testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <stdexcept>
#include <sys/stat.h>

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

QByteArray runProgram(const QString& program, const QStringList& arguments, int* exitCode,
                      QByteArray* errorOutput)
{
    QProcess process;
    process.start(program, arguments);
    process.closeWriteChannel();
    const bool ended = process.waitForFinished(120000);
    if (exitCode)
        *exitCode = ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    if (errorOutput)
        *errorOutput = process.readAllStandardError();
    return process.readAllStandardOutput();
}

namespace {

QString dbfTool()
{
    return QDir(QStringLiteral(QUELVANA_TEST_TOOLS_DIR)).filePath(QStringLiteral("dbftool.py"));
}

} // namespace

QJsonObject readTableWithPython(const QString& path)
{
    int code = 0;
    QByteArray error;
    const QByteArray out = runProgram(QStringLiteral(QUELVANA_PYTHON),
                                      {dbfTool(), QStringLiteral("read"), path}, &code, &error);
    if (code != 0)
        throw std::runtime_error("python3-dbf could not read " + path.toStdString() + ": " +
                                 error.toStdString());
    return QJsonDocument::fromJson(out).object();
}

void writeTableWithPython(const QString& path, const QJsonObject& description)
{
    const QString descriptionPath = path + QStringLiteral(".json");
    writeFile(descriptionPath, QJsonDocument(description).toJson());
    int code = 0;
    QByteArray error;
    runProgram(QStringLiteral(QUELVANA_PYTHON),
               {dbfTool(), QStringLiteral("write"), path, descriptionPath}, &code, &error);
    QFile::remove(descriptionPath);
    if (code != 0)
        throw std::runtime_error("python3-dbf could not write " + path.toStdString() + ": " +
                                 error.toStdString());
}

QString referenceSample(const QString& name)
{
    return QDir(QStringLiteral(QUELVANA_REFERENCE_SAMPLES)).filePath(name);
}

QMap<QString, QByteArray> snapshot(const QString& folder)
{
    QMap<QString, QByteArray> out;
    const QDir base(folder);
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isSymLink())
            out.insert(base.relativeFilePath(path) + QStringLiteral(" ->"),
                       info.symLinkTarget().toUtf8());
        else if (info.isDir())
            out.insert(base.relativeFilePath(path) + QLatin1Char('/'), QByteArray());
        else if (info.isFile())
            out.insert(base.relativeFilePath(path), readFile(path));
        else
            out.insert(base.relativeFilePath(path) + QStringLiteral(" (especial)"), QByteArray());
    }
    return out;
}

void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

void PrintTo(const QStringList& texts, std::ostream* out)
{
    *out << '{';
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (i > 0)
            *out << ", ";
        PrintTo(texts[i], out);
    }
    *out << '}';
}

std::ostream& operator<<(std::ostream& out, const QString& text)
{
    PrintTo(text, &out);
    return out;
}

QString snapshotChanges(const QMap<QString, QByteArray>& before,
                        const QMap<QString, QByteArray>& after)
{
    QStringList lines;
    for (auto it = before.begin(); it != before.end(); ++it) {
        if (!after.contains(it.key()))
            lines << QStringLiteral("- ") + it.key();
        else if (after.value(it.key()) != it.value())
            lines << QStringLiteral("~ ") + it.key();
    }
    for (auto it = after.begin(); it != after.end(); ++it) {
        if (!before.contains(it.key()))
            lines << QStringLiteral("+ ") + it.key();
    }
    return lines.join(QLatin1Char('\n'));
}

std::unique_ptr<QTemporaryDir> folderForAnotherUser()
{
    auto everyoneCanEnter = [](const QString& folder) {
        for (QDir dir(folder);;) {
            struct stat st;
            if (::stat(QFile::encodeName(dir.absolutePath()).constData(), &st) != 0 ||
                !(st.st_mode & S_IXOTH))
                return false;
            if (dir.isRoot())
                return true;
            dir.cdUp();
        }
    };
    for (const QString& base :
         {QDir::tempPath(), QStringLiteral("/tmp"), QStringLiteral("/var/tmp")}) {
        if (!everyoneCanEnter(base))
            continue;
        auto dir =
            std::make_unique<QTemporaryDir>(QDir(base).filePath(QStringLiteral("quelvana-XXXXXX")));
        if (dir->isValid() && ::chmod(QFile::encodeName(dir->path()).constData(), 0755) == 0)
            return dir;
    }
    return nullptr;
}
