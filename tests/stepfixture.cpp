#include "tests/stepfixture.h"

#include "tests/tablesupport.h"
#include "tests/testsupport.h"

#include <QDir>
#include <gtest/gtest.h>

void NoQuestions::showMessage(const QString& text)
{
    ADD_FAILURE() << "unexpected message: " << text.toStdString();
}

FrameChoice NoQuestions::chooseFrames(const XmlDocument&)
{
    ADD_FAILURE() << "unexpected frame dialog";
    return {};
}

bool NoQuestions::completeTeachers(const QString&)
{
    ADD_FAILURE() << "unexpected teacher dialog";
    return false;
}

QByteArray yedraDocument(const QList<QPair<QString, Records>>& groups)
{
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SERVICIO><BLOQUE_DATOS>\n";
    for (const auto& [name, records] : groups) {
        out += "<grupo_datos seq=\"" + name.toUtf8() + "\">\n";
        for (const QStringList& values : records) {
            out += "  <grupo_datos>";
            for (const QString& v : values)
                out += "<dato>" + v.toHtmlEscaped().toUtf8() + "</dato>";
            out += "</grupo_datos>\n";
        }
        out += "</grupo_datos>\n";
    }
    return out + "</BLOQUE_DATOS></SERVICIO>\n";
}

void StepRun::run(const QByteArray& document, const std::function<void(ExportarRun&)>& steps)
{
    QDir().mkpath(folder);
    ExportarRun run(folder, lookupTable, interaction);
    ASSERT_TRUE(run.document().loadXml(document));
    run.begin();
    steps(run);
    run.commit();
}

QString StepRun::path(const TableLayout& layout) const
{
    return QDir(folder).filePath(layout.name + QStringLiteral(".DBF"));
}

QList<QStringList> StepRun::rows(const TableLayout& layout) const
{
    return tableRows(path(layout));
}
