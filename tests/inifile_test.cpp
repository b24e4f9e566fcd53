#include "components/platform/engineerror.h"
#include "components/platform/inifile.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

namespace {

// Bytes of a literal, embedded NULs included.
template <std::size_t N> QByteArray b(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

struct Case {
    const char* name;
    std::optional<QByteArray> before; // nothing: the file does not exist
    const char* value;
    QByteArray after;
};

std::ostream& operator<<(std::ostream& out, const Case& c)
{
    return out << c.name;
}

class IniWriteKey : public testing::TestWithParam<Case> {};

// "Oranel.ini" as it stands before, the status written under [Transformadores] Transformado,
// and every byte of the file afterwards.
TEST_P(IniWriteKey, ChangesOnlyTheKey)
{
    const Case& c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Oranel.ini"));
    if (c.before)
        writeFile(path, *c.before);

    ini::writeKey(path, QStringLiteral("Transformadores"), QStringLiteral("Transformado"),
                  QString::fromLatin1(c.value));

    EXPECT_EQ(readFile(path).toStdString(), c.after.toStdString());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
              QStringList{QStringLiteral("Oranel.ini")});
}

const Case cases[] = {
    {"MissingFileIsCreatedWithCrlf", std::nullopt, "1",
     b("[Transformadores]\r\nTransformado=1\r\n")},
    {"EmptyFileGetsTheSection", b(""), "-1", b("[Transformadores]\r\nTransformado=-1\r\n")},
    {"ValueIsReplacedAndOtherLinesStay",
     b("; Oranel\r\n[General]\r\nRuta=C:\\OTEMP\r\n\r\n[Transformadores]\r\nAntes=x\r\n"
       "Transformado=-1\r\nDespues=y\r\n\r\n[Final]\r\nZ=9\r\n"),
     "1",
     b("; Oranel\r\n[General]\r\nRuta=C:\\OTEMP\r\n\r\n[Transformadores]\r\nAntes=x\r\n"
       "Transformado=1\r\nDespues=y\r\n\r\n[Final]\r\nZ=9\r\n")},
    {"LfFileStaysLf", b("[Transformadores]\nTransformado=1\n[Otra]\nA=b\n"), "0",
     b("[Transformadores]\nTransformado=0\n[Otra]\nA=b\n")},
    {"NamesMatchWithoutCaseOrBlanksAndKeepTheirSpelling",
     b("  [ transFORMADORES ]\t\r\n\tTRANSFORMADO  =  0   \r\n"), "1",
     b("  [ transFORMADORES ]\t\r\n\tTRANSFORMADO  =  1\r\n")},
    {"FirstOfTwoKeysIsReplaced", b("[Transformadores]\r\nTransformado=0\r\ntransformado=5\r\n"),
     "1", b("[Transformadores]\r\nTransformado=1\r\ntransformado=5\r\n")},
    {"KeyOfAnotherSectionIsLeftAlone",
     b("[Otra]\r\nTransformado=0\r\n[Transformadores]\r\nX=1\r\n"), "1",
     b("[Otra]\r\nTransformado=0\r\n[Transformadores]\r\nX=1\r\nTransformado=1\r\n")},
    {"MissingKeyGoesAfterTheLastFilledLineOfItsSection",
     b("[Transformadores]\r\nA=1\r\n\r\n\r\n[B]\r\nC=2\r\n"), "1",
     b("[Transformadores]\r\nA=1\r\nTransformado=1\r\n\r\n\r\n[B]\r\nC=2\r\n")},
    {"MissingKeyInAnEmptySection", b("[Transformadores]\n\n[B]\n"), "1",
     b("[Transformadores]\nTransformado=1\n\n[B]\n")},
    {"MissingSectionIsAppended", b("[A]\r\nx=1\r\n"), "1",
     b("[A]\r\nx=1\r\n[Transformadores]\r\nTransformado=1\r\n")},
    {"MissingSectionAfterALastLineWithoutBreak", b("[A]\nx=1"), "1",
     b("[A]\nx=1\n[Transformadores]\nTransformado=1\n")},
    {"MissingKeyAfterALastLineWithoutBreak", b("[Transformadores]\r\nA=1"), "1",
     b("[Transformadores]\r\nA=1\r\nTransformado=1\r\n")},
    {"ReplacedLastLineKeepsItsMissingBreak", b("[Transformadores]\r\nTransformado=0"), "1",
     b("[Transformadores]\r\nTransformado=1")},
    {"MixedEndingsStayLineByLine",
     b("[A]\nx=1\r\n[Transformadores]\r\nTransformado=0\nOtro=2\n\r\n[B]\n"), "-1",
     b("[A]\nx=1\r\n[Transformadores]\r\nTransformado=-1\nOtro=2\n\r\n[B]\n")},
    {"AddedKeyTakesTheBreakOfTheLineBefore", b("[Transformadores]\r\nOtro=2\n\r\n[B]\r\n"), "1",
     b("[Transformadores]\r\nOtro=2\nTransformado=1\n\r\n[B]\r\n")},
    {"ByteOrderMarkStays", b("\xEF\xBB\xBF[Transformadores]\r\nTransformado=0\r\n"), "1",
     b("\xEF\xBB\xBF[Transformadores]\r\nTransformado=1\r\n")},
    {"ByteOrderMarkAloneIsAnEmptyFile", b("\xEF\xBB\xBF"), "1",
     b("\xEF\xBB\xBF[Transformadores]\r\nTransformado=1\r\n")},
    {"CommentsPlainLinesAndOtherBytesPassThrough",
     b("[Transformadores]\r\n; Transformado=9\r\n# Transformado=8\r\nTransformado\r\n"
       "\xFF\xFE\0basura\r\nNombre=Jos\xE9 Mu\xC3\xB1oz\rfin\r\n\r\n[Otra]\r\n"),
     "1",
     b("[Transformadores]\r\n; Transformado=9\r\n# Transformado=8\r\nTransformado\r\n"
       "\xFF\xFE\0basura\r\nNombre=Jos\xE9 Mu\xC3\xB1oz\rfin\r\nTransformado=1\r\n\r\n[Otra]\r\n")},
};

INSTANTIATE_TEST_SUITE_P(Cases, IniWriteKey, testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

// A file that cannot be written or read: the message names it, and the folder is as it was.
TEST(IniFile, FailureNamesTheFileAndLeavesNothingBehind)
{
    QTemporaryDir dir;
    const QString missingFolder = dir.filePath(QStringLiteral("no-existe/Oranel.ini"));
    const QString directory = dir.filePath(QStringLiteral("Oranel.ini"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Oranel.ini")));

    for (const QString& path : {missingFolder, directory}) {
        SCOPED_TRACE(path.toStdString());
        try {
            ini::writeKey(path, QStringLiteral("Transformadores"), QStringLiteral("Transformado"),
                          QStringLiteral("1"));
            ADD_FAILURE() << "no error";
        } catch (const EngineError& error) {
            EXPECT_TRUE(error.message().contains(QDir::toNativeSeparators(path))) << error.what();
        }
        EXPECT_EQ(
            QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
            QStringList{QStringLiteral("Oranel.ini")});
        EXPECT_TRUE(QFileInfo(directory).isDir());
        EXPECT_TRUE(QDir(directory).isEmpty());
    }
}

} // namespace
