#include "fuzz/fuzzchecks.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QMap>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Inputs that once broke a reader, and hostile inputs of each kind, run through the same checks
// as the fuzz targets (fuzz/): each ends in a clear error or is read, and every invariant holds.
namespace {

using Check = fuzzchecks::Outcome (*)(const QByteArray&, const QString&);

const QMap<QString, Check> checks = {
    {QStringLiteral("fuzz_yedradocument"), fuzzchecks::checkYedraDocument},
    {QStringLiteral("fuzz_dbftable"), fuzzchecks::checkDbfTable},
    {QStringLiteral("fuzz_inifile"), fuzzchecks::checkIniFile},
    {QStringLiteral("fuzz_texts"), fuzzchecks::checkTextConversions},
    {QStringLiteral("fuzz_folderfiles"), fuzzchecks::checkFolderFiles},
};

// What each input comes to: a part of the error it is refused with, or nothing when it is read.
const QMap<QString, QString> outcomes = {
    {QStringLiteral("fuzz_dbftable/timestamp-beyond-any-date.dbf"), {}},
    {QStringLiteral("fuzz_dbftable/number-padded-with-zero-bytes.dbf"), {}},
    {QStringLiteral("fuzz_dbftable/last-row-cut-short.dbf"), {}},
    {QStringLiteral("fuzz_dbftable/truncated-header.dbf"), QStringLiteral("es demasiado corto")},
    {QStringLiteral("fuzz_dbftable/level7-header-cut.dbf"),
     QStringLiteral("la cabecera está cortada")},
    {QStringLiteral("fuzz_dbftable/record-count-lies.dbf"),
     QStringLiteral("la cabecera declara 1000000 filas")},
    {QStringLiteral("fuzz_dbftable/header-length-past-end.dbf"),
     QStringLiteral("la cabecera dice medir 65520 bytes")},
    {QStringLiteral("fuzz_dbftable/field-list-without-end.dbf"),
     QStringLiteral("falta el final de la lista de campos")},
    {QStringLiteral("fuzz_dbftable/record-shorter-than-fields.dbf"),
     QStringLiteral("los campos miden 11 bytes y el registro 4")},
    {QStringLiteral("fuzz_yedradocument/billion-laughs.xml"),
     QStringLiteral("las entidades se expanden sin límite")},
    {QStringLiteral("fuzz_yedradocument/external-entity.xml"),
     QStringLiteral("pide leer un recurso externo")},
    {QStringLiteral("fuzz_yedradocument/truncated.xml"),
     QStringLiteral("falta «>» al final de una etiqueta")},
    {QStringLiteral("fuzz_yedradocument/deep-nesting.xml"),
     QStringLiteral("los elementos están anidados a demasiada profundidad (más de 256 niveles)")},
    {QStringLiteral("fuzz_yedradocument/undeclared-entity-named-dtd.xml"),
     QStringLiteral("se usa una entidad no declarada (&uno;)")},
    {QStringLiteral("fuzz_yedradocument/utf8-bom-under-latin1.xml"),
     QStringLiteral("marca de orden de bytes de UTF-8, pero su declaración XML dice que está en "
                    "«ISO-8859-1»")},
    {QStringLiteral("fuzz_texts/lowest-minute.bin"), {}},
    {QStringLiteral("fuzz_texts/names-out-of-code-page.bin"), {}},
    {QStringLiteral("fuzz_texts/control-characters.bin"), {}},
    {QStringLiteral("fuzz_texts/lone-surrogates.bin"), {}},
    {QStringLiteral("fuzz_texts/blank-only.bin"), {}},
    {QStringLiteral("fuzz_texts/zero-bytes-at-the-end.bin"), {}},
    {QStringLiteral("fuzz_texts/code-base-of-wide-letters.bin"), {}},
    {QStringLiteral("fuzz_texts/byte-order-mark-character.bin"), {}},
    {QStringLiteral("fuzz_folderfiles/rollback-from-its-backup.txt"), {}},
    {QStringLiteral("fuzz_folderfiles/a-file-outside.txt"),
     QStringLiteral("no se sabe qué tablas movió")},
    {QStringLiteral("fuzz_inifile/lone-cr-on-last-line.ini"), {}},
    {QStringLiteral("fuzz_inifile/zero-bytes.ini"), {}},
    {QStringLiteral("fuzz_inifile/bom-only.ini"), {}},
    {QStringLiteral("fuzz_inifile/empty-section-then-repeat.ini"), {}},
};

QString regressionsFolder()
{
    return testDataPath(QStringLiteral("fuzz-regressions"));
}

// Every file kept in the folders has its outcome stated, and every outcome stated has its file.
TEST(FuzzRegressions, EveryInputHasItsOutcome)
{
    QStringList kept;
    for (const QString& target : checks.keys()) {
        const QDir folder(QDir(regressionsFolder()).filePath(target));
        for (const QString& name : folder.entryList(QDir::Files))
            kept << target + QLatin1Char('/') + name;
    }
    kept.sort();
    EXPECT_EQ(kept, outcomes.keys());
}

TEST(FuzzRegressions, EachInputEndsCleanly)
{
    for (auto it = outcomes.cbegin(); it != outcomes.cend(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        const QString target = it.key().section(QLatin1Char('/'), 0, 0);
        ASSERT_TRUE(checks.contains(target));
        QTemporaryDir scratch;
        const fuzzchecks::Outcome outcome = checks.value(target)(
            readFile(QDir(regressionsFolder()).filePath(it.key())), scratch.path());
        EXPECT_EQ(outcome.violations.join(QLatin1Char('\n')).toStdString(), "");
        if (it.value().isEmpty())
            EXPECT_EQ(outcome.error.toStdString(), "");
        else
            EXPECT_TRUE(outcome.error.contains(it.value())) << outcome.error.toStdString();
    }
}

} // namespace
