#include "components/text/texts.h"
#include "tests/stepfixture.h"
#include "tests/tablesupport.h"
#include "tests/testsupport.h"
#include "to_timetable/exportarrun.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Answers the time-frame dialog from prepared choices, in order; asked once more than there
// are answers, the test fails.
class ScriptedChoices : public Interaction {
public:
    explicit ScriptedChoices(QList<FrameChoice> answers) : m_answers(std::move(answers)) {}

    void showMessage(const QString& text) override
    {
        ADD_FAILURE() << "unexpected message: " << text;
    }
    void warn(const QString& text) override { ADD_FAILURE() << "unexpected warning: " << text; }
    FrameChoice chooseFrames(const XmlDocument&) override
    {
        ++calls;
        if (m_answers.isEmpty()) {
            ADD_FAILURE() << "the frame dialog was shown " << calls << " times";
            throw EngineError(QStringLiteral("no answer left"));
        }
        return m_answers.takeFirst();
    }
    bool completeTeachers(const QString&) override
    {
        ADD_FAILURE() << "unexpected teacher dialog";
        return false;
    }

    int calls = 0;

private:
    QList<FrameChoice> m_answers;
};

// A Yedra document with these time frames and time slots, each record's values in order.
QByteArray yedraDocument(const Records& frames, const Records& tramos)
{
    return ::yedraDocument({{QStringLiteral("JORNADAS_ESCOLARES"), frames},
                            {QStringLiteral("TRAMOS_HORARIOS"), tramos}});
}

QStringList frame(const QString& code, const QString& name = QStringLiteral("Jornada"))
{
    return {code, name, QStringLiteral("01/09/2026"), QStringLiteral("30/06/2027")};
}

QStringList slot(const QString& code, int from, int to, const QString& frameCode)
{
    return {code, QStringLiteral("Tramo ") + code, QString::number(from), QString::number(to),
            frameCode};
}

// The selection string the dialog builds for these codes.
QString pieces(std::initializer_list<const char*> codes)
{
    QString out;
    for (const char* code : codes)
        out += QString::fromUtf8(code).leftJustified(10, QLatin1Char(' '), true);
    return out;
}

// A DIASHORAST2 row: the slot's own fields; DIHO, TEXTODIA, HORA and MARCO stay empty.
QStringList takenRow(const QString& code, const QString& day, const QString& from,
                     const QString& to, const QString& minutes, const QString& frameCode,
                     const QString& orden)
{
    return {QString(), code, day,     QString(), QString(), QStringLiteral("Tramo ") + code,
            from,      to,   minutes, QString(), frameCode, orden};
}

// A field's place in a DIASHORAST row (the same in DIASHORAST2, which adds ORDEN at the end).
int column(const QString& field)
{
    for (int i = 0; i < layouts::gridFields.size(); ++i) {
        if (layouts::gridFields[i].name == field)
            return i;
    }
    return -1;
}

// The three tables of a finished run, read back from the timetable folder.
struct Outcome {
    QList<QStringList> grid;    // DIASHORAST
    QList<QStringList> taken;   // DIASHORAST2, natural order
    QList<QStringList> periods; // PERIODOS
    QString resultado;
    int nDiasPlanti = 0;
    int dialogs = 0;

    // DIASHORAST as "DIHO:CODDIHO", in order.
    QStringList cells() const
    {
        QStringList out;
        for (const QStringList& row : grid)
            out << row[column(QStringLiteral("DIHO"))] + QLatin1Char(':') +
                       row[column(QStringLiteral("CODDIHO"))];
        return out;
    }
};

struct Timetable {
    QTemporaryDir dir;
    QString folder = dir.filePath(QStringLiteral("OTEMP"));
    QString document = dir.filePath(QStringLiteral("horario.xml"));

    Timetable() { QDir().mkpath(folder); }
    QString table(const TableLayout& layout) const
    {
        return QDir(folder).filePath(layout.name + QStringLiteral(".DBF"));
    }

    // loadDocument, begin, TransformarJornadas, commit, as the window drives a run.
    Outcome convert(const QByteArray& xml, QList<FrameChoice> answers)
    {
        writeFile(document, xml);
        ScriptedChoices interaction(std::move(answers));
        ExportarRun run(folder, QString(), interaction);
        const QString refusal = run.loadDocument(document);
        EXPECT_TRUE(refusal.isEmpty()) << refusal;
        run.begin();
        run.TransformarJornadas();
        run.commit();
        return Outcome{tableRows(table(layouts::diashorast)),
                       tableRows(table(layouts::diashorast2)),
                       tableRows(table(layouts::periodos)),
                       run.resultado,
                       run.nDiasPlanti,
                       interaction.calls};
    }
};

// What every DIASHORAST row holds whatever the case: DIHO is DIA followed by HORA, TEXTODIA is
// empty, MARCO is "0", and the slot's fields are those of its DIASHORAST2 row.
void expectGridCopiesItsSlots(const Outcome& outcome)
{
    const int code = column(QStringLiteral("CODDIHO"));
    for (const QStringList& row : outcome.grid) {
        SCOPED_TRACE(row.join(QLatin1Char('|')));
        EXPECT_EQ(row[column(QStringLiteral("DIHO"))],
                  row[column(QStringLiteral("DIA"))] + row[column(QStringLiteral("HORA"))]);
        EXPECT_EQ(row[column(QStringLiteral("TEXTODIA"))], QString());
        EXPECT_EQ(row[column(QStringLiteral("MARCO"))], QStringLiteral("0"));
        const auto source =
            std::find_if(outcome.taken.begin(), outcome.taken.end(),
                         [&](const QStringList& taken) { return taken[code] == row[code]; });
        ASSERT_NE(source, outcome.taken.end());
        for (const char* field : {"TEXTOHOR", "HORADESDE", "HORAHASTA", "MINUTOS", "MARCOXML"}) {
            const int c = column(QString::fromLatin1(field));
            EXPECT_EQ(row[c], (*source)[c]) << field;
        }
    }
}

const QString M1 = QStringLiteral("M1");
const QString M2 = QStringLiteral("M2");
const QString M3 = QStringLiteral("M3");
const QString M4 = QStringLiteral("M4");

} // namespace

// The only time frame of a document: no dialog, every slot an hour of its own on each of the
// seven days, the hours following the start times rather than the document's order.
TEST(Jornadas, OneTimeFrameGivesEverySlotSevenDays)
{
    Timetable timetable;
    const Outcome outcome = timetable.convert(
        yedraDocument({{M1, QStringLiteral("Mañana"), QStringLiteral("01/09/2026"),
                        QStringLiteral("30/06/2027")}},
                      {slot(QStringLiteral("T2"), 535, 590, M1),
                       slot(QStringLiteral("T3"), 600, 655, M1),
                       slot(QStringLiteral("T1"), 480, 535, M1)}),
        {});
    EXPECT_EQ(outcome.dialogs, 0);
    EXPECT_EQ(outcome.resultado, M1);
    EXPECT_EQ(outcome.nDiasPlanti, 1);
    EXPECT_EQ(outcome.taken, (QList<QStringList>{
                                 takenRow("T2", "1", "08:55", "09:50", "55", M1, "535"),
                                 takenRow("T3", "1", "10:00", "10:55", "55", M1, "600"),
                                 takenRow("T1", "1", "08:00", "08:55", "55", M1, "480"),
                             }));

    QList<QStringList> expected;
    const QStringList diho = {"11", "21", "31", "41", "51", "61", "71", "12", "22", "32", "42",
                              "52", "62", "72", "13", "23", "33", "43", "53", "63", "73"};
    const QStringList dia = {"1", "2", "3", "4", "5", "6", "7"};
    const QStringList hour[] = {
        {"T1", "08:00", "08:55"}, {"T2", "08:55", "09:50"}, {"T3", "10:00", "10:55"}};
    for (int i = 0; i < diho.size(); ++i) {
        const QStringList& h = hour[i / 7];
        expected << QStringList{
            diho[i], h[0], dia[i % 7], "", QString::number(i / 7 + 1), "Tramo " + h[0], h[1],
            h[2],    "55", "0",        M1};
    }
    EXPECT_EQ(outcome.grid, expected);
    EXPECT_EQ(outcome.periods,
              (QList<QStringList>{{M1, QStringLiteral("Mañana"), QStringLiteral("01/09/2026"),
                                   QStringLiteral("30/06/2027")}}));
}

// The frames taken, the day each slot carries and the hours of the grid, case by case.
TEST(Jornadas, TakesTheSlotsOfTheFramesChosen)
{
    const QString T1 = QStringLiteral("T1"), T2 = QStringLiteral("T2"), T3 = QStringLiteral("T3"),
                  T4 = QStringLiteral("T4"), T5 = QStringLiteral("T5"), T6 = QStringLiteral("T6");
    const QString longCode = QStringLiteral("JORNADA_ORDINARIA");
    const QString blank = QStringLiteral(" \t ");
    struct Case {
        const char* name;
        Records frames;
        Records tramos;
        QList<FrameChoice> answers;
        QList<QStringList> taken;
        QStringList cells; // DIHO:CODDIHO
        QList<QStringList> periods;
        QString resultado;
        int nDiasPlanti;
    };
    const Case cases[] = {
        {"clock texts keep the sign rule and pass 99 hours",
         {frame(M1)},
         {slot(T1, 6000, 6075, M1), slot(T2, -30, 15, M1)},
         {},
         {takenRow(T1, "1", "100:00", "101:15", "75", M1, "6000"),
          takenRow(T2, "1", "-1:-30", "00:15", "45", M1, "-30")},
         {"11:T2", "21:T2", "31:T2", "41:T2", "51:T2", "61:T2", "71:T2", "12:T1", "22:T1", "32:T1",
          "42:T1", "52:T1", "62:T1", "72:T1"},
         {frame(M1)},
         M1,
         1},
        {"one frame: two slots with one start are two hours",
         {frame(M1)},
         {slot(T1, 480, 535, M1), slot(T2, 480, 535, M1)},
         {},
         {takenRow(T1, "1", "08:00", "08:55", "55", M1, "480"),
          takenRow(T2, "1", "08:00", "08:55", "55", M1, "480")},
         {"11:T1", "21:T1", "31:T1", "41:T1", "51:T1", "61:T1", "71:T1", "12:T2", "22:T2", "32:T2",
          "42:T2", "52:T2", "62:T2", "72:T2"},
         {frame(M1)},
         M1,
         1},
        {"two frames taken: slots with one start share an hour",
         {frame(M1), frame(M2)},
         {slot(T3, 535, 590, M1), slot(T1, 480, 535, M2), slot(T2, 480, 535, M1)},
         {{true, pieces({"M1", "M2"}), 2}},
         {takenRow(T3, "1", "08:55", "09:50", "55", M1, "535"),
          takenRow(T1, "2", "08:00", "08:55", "55", M2, "480"),
          takenRow(T2, "1", "08:00", "08:55", "55", M1, "480")},
         {"21:T1", "11:T2", "12:T3"},
         {frame(M1)},
         pieces({"M1", "M2"}),
         2},
        {"four frames, two chosen: days by place in the document, taken or not",
         {frame(M1), frame(M2, QStringLiteral("Tarde")), frame(M3), frame(M4)},
         {slot(T1, 480, 535, M2), slot(T2, 480, 535, M1), slot(T3, 480, 535, M4),
          slot(T4, 535, 590, M3), slot(T5, 535, 590, M4), slot(T6, 600, 655, M2)},
         {{true, pieces({"M2", "M4"}), 4}},
         {takenRow(T1, "1", "08:00", "08:55", "55", M2, "480"),
          takenRow(T3, "3", "08:00", "08:55", "55", M4, "480"),
          takenRow(T5, "1", "08:55", "09:50", "55", M4, "535"),
          takenRow(T6, "2", "10:00", "10:55", "55", M2, "600")},
         {"11:T1", "31:T3", "12:T5", "23:T6"},
         {frame(M2, QStringLiteral("Tarde"))},
         pieces({"M2", "M4"}),
         4},
        {"one of several chosen: seven days, as with a single frame",
         {frame(M1), frame(M2), frame(M3)},
         {slot(T1, 480, 535, M1), slot(T2, 535, 590, M2), slot(T3, 480, 535, M2)},
         {{true, pieces({"M2"}), 3}},
         {takenRow(T2, "1", "08:55", "09:50", "55", M2, "535"),
          takenRow(T3, "1", "08:00", "08:55", "55", M2, "480")},
         {"11:T3", "21:T3", "31:T3", "41:T3", "51:T3", "61:T3", "71:T3", "12:T2", "22:T2", "32:T2",
          "42:T2", "52:T2", "62:T2", "72:T2"},
         {frame(M2)},
         pieces({"M2"}),
         1},
        {"slots with fewer than two values neither give a row nor move the day",
         {frame(M1), frame(M2)},
         {slot(T1, 480, 535, M1),
          {QStringLiteral("X")},
          {},
          slot(T2, 480, 535, M2),
          slot(T3, 535, 590, M1)},
         {{true, pieces({"M1", "M2"}), 2}},
         {takenRow(T1, "1", "08:00", "08:55", "55", M1, "480"),
          takenRow(T2, "2", "08:00", "08:55", "55", M2, "480"),
          takenRow(T3, "1", "08:55", "09:50", "55", M1, "535")},
         {"11:T1", "21:T2", "12:T3"},
         {frame(M1)},
         pieces({"M1", "M2"}),
         2},
        {"an empty frame code is taken while a selection piece is empty",
         {frame(M1), frame(M2)},
         {slot(T1, 480, 535, blank), slot(T2, 535, 590, M3)},
         {{true, pieces({"M1", "M2"}), 2}},
         {takenRow(T1, "1", "08:00", "08:55", "55", QString(), "480")},
         {"11:T1"},
         {frame(M1)},
         pieces({"M1", "M2"}),
         2},
        {"an empty frame code is not taken with five frames chosen",
         {frame(M1), frame(M2), frame(M3), frame(M4), frame(QStringLiteral("M5")),
          frame(QStringLiteral("M6"))},
         {slot(T1, 480, 535, blank), slot(T2, 535, 590, QStringLiteral("M5"))},
         {{true, pieces({"M1", "M2", "M3", "M4", "M5"}), 6}},
         {takenRow(T2, "2", "08:55", "09:50", "55", QStringLiteral("M5"), "535")},
         {"21:T2"},
         {frame(M1)},
         pieces({"M1", "M2", "M3", "M4", "M5"}),
         6},
        {"a frame code of more than ten characters, the only frame",
         {{longCode, QStringLiteral("Ordinaria"), QStringLiteral("2026-09-01T08:00"),
           QStringLiteral("2027-06-30T15:00")}},
         {slot(T1, 480, 535, longCode)},
         {},
         {takenRow(T1, "1", "08:00", "08:55", "55", QStringLiteral("JORNADA_OR"), "480")},
         {"11:T1", "21:T1", "31:T1", "41:T1", "51:T1", "61:T1", "71:T1"},
         {{QStringLiteral("JORNADA_OR"), QStringLiteral("Ordinaria"), QStringLiteral("2026-09-01"),
           QStringLiteral("2027-06-30")}},
         longCode,
         1},
        {"a frame code of more than ten characters, chosen in the dialog",
         {frame(M1),
          {longCode, QStringLiteral("Ordinaria"), QStringLiteral("01/09/2026"),
           QStringLiteral("30/06/2027")}},
         {slot(T1, 480, 535, longCode), slot(T2, 480, 535, M1)},
         {{true, pieces({"JORNADA_ORDINARIA"}), 2}},
         {takenRow(T1, "1", "08:00", "08:55", "55", QStringLiteral("JORNADA_OR"), "480")},
         {"11:T1", "21:T1", "31:T1", "41:T1", "51:T1", "61:T1", "71:T1"},
         {{QStringLiteral("JORNADA_OR"), QStringLiteral("Ordinaria"), QStringLiteral("01/09/2026"),
           QStringLiteral("30/06/2027")}},
         QStringLiteral("JORNADA_OR"),
         1},
        {"rejected choices bring a fresh dialog until one passes",
         {frame(M1), frame(M2), frame(M3)},
         {slot(T1, 480, 535, M1), slot(T2, 480, 535, M2)},
         {{false, QString(), 3},
          {false, pieces({"M1", "M2", "M3", "M1", "M2", "M3"}), 3},
          {true, pieces({"M2"}), 3}},
         {takenRow(T2, "1", "08:00", "08:55", "55", M2, "480")},
         {"11:T2", "21:T2", "31:T2", "41:T2", "51:T2", "61:T2", "71:T2"},
         {frame(M2)},
         pieces({"M2"}),
         1},
        {"bad minutes in a slot not taken are never read",
         {frame(M1), frame(M2)},
         {{T1, QStringLiteral("1ª"), QStringLiteral("8:00"), QStringLiteral("nueve"), M2},
          slot(T2, 480, 535, M1)},
         {{true, pieces({"M1"}), 2}},
         {takenRow(T2, "1", "08:00", "08:55", "55", M1, "480")},
         {"11:T2", "21:T2", "31:T2", "41:T2", "51:T2", "61:T2", "71:T2"},
         {frame(M1)},
         pieces({"M1"}),
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Timetable timetable;
        const Outcome outcome = timetable.convert(yedraDocument(c.frames, c.tramos), c.answers);
        EXPECT_EQ(outcome.dialogs, c.answers.size());
        EXPECT_EQ(outcome.taken, c.taken);
        EXPECT_EQ(outcome.cells(), c.cells);
        expectGridCopiesItsSlots(outcome);
        EXPECT_EQ(outcome.periods, c.periods);
        EXPECT_EQ(outcome.resultado, c.resultado);
        EXPECT_EQ(outcome.nDiasPlanti, c.nDiasPlanti);
    }
}

// Minutes that are not a whole 32-bit decimal number in a slot that is taken end the run with
// the conversion error and where the value stands; the timetable folder is left as it was.
TEST(Jornadas, BadMinutesInATakenSlotEndTheRun)
{
    const struct {
        const char* from;
        const char* to;
        const char* message;
    } cases[] = {
        {"8:00", "535",
         "'8:00' is not a valid integer value\nEn el grupo TRAMOS_HORARIOS, registro 2, dato 2."},
        {"480", "9.5",
         "'9.5' is not a valid integer value\nEn el grupo TRAMOS_HORARIOS, registro 2, dato 3."},
        {"2147483648", "535",
         "'2147483648' is not a valid integer value\n"
         "En el grupo TRAMOS_HORARIOS, registro 2, dato 2."},
        {"", "535",
         "'' is not a valid integer value\nEn el grupo TRAMOS_HORARIOS, registro 2, dato 2."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.from + std::string(" ") + c.to);
        Timetable timetable;
        writeFile(QDir(timetable.folder).filePath(QStringLiteral("DIASHORAST.DBF")), "de antes");
        const QMap<QString, QByteArray> before = snapshot(timetable.folder);
        writeFile(
            timetable.document,
            yedraDocument({frame(M1)}, {slot(QStringLiteral("T1"), 480, 535, M1),
                                        {QStringLiteral("T2"), QStringLiteral("2ª"),
                                         QString::fromUtf8(c.from), QString::fromUtf8(c.to), M1}}));
        ScriptedChoices interaction({});
        {
            ExportarRun run(timetable.folder, QString(), interaction);
            ASSERT_TRUE(run.loadDocument(timetable.document).isEmpty());
            run.begin();
            try {
                run.TransformarJornadas();
                ADD_FAILURE() << "the run went on";
            } catch (const ConversionError& error) {
                EXPECT_EQ(error.message(), c.message);
            }
        }
        EXPECT_EQ(snapshot(timetable.folder), before);
    }
}

// Independent readers: Perl's XBase walks DIASHORAST2's index ORDEN and python3-dbf reads its
// rows, so the index visits ascending starts, equal ones in the order the rows were added;
// python3-dbf also finds the layouts' fields in the three files.
TEST(Jornadas, OtherReadersFindTheIndexAndTheFields)
{
    Timetable timetable;
    timetable.convert(yedraDocument({frame(M1)}, {slot(QStringLiteral("T1"), 600, 655, M1),
                                                  slot(QStringLiteral("T2"), 480, 535, M1),
                                                  slot(QStringLiteral("T3"), 535, 590, M1),
                                                  slot(QStringLiteral("T4"), 480, 535, M1)}),
                      {});
    int code = 0;
    const QByteArray out =
        runProgram(QStringLiteral("index_dump"),
                   {QDir(timetable.folder).filePath(QStringLiteral("DIASHORAST2.MDX")),
                    QStringLiteral("ORDEN")},
                   &code);
    ASSERT_EQ(code, 0);
    QList<int> records; // each line: the key's bytes, then the record number from 1
    for (const QByteArray& line : out.split('\n')) {
        if (!line.trimmed().isEmpty())
            records << line.simplified().split(' ').last().toInt();
    }
    EXPECT_EQ(records, (QList<int>{2, 4, 3, 1})) << out.toStdString();

    QList<int> ordenByRecord;
    for (const QJsonValue& row :
         readTableWithPython(timetable.table(layouts::diashorast2))[QStringLiteral("records")]
             .toArray())
        ordenByRecord << row.toArray().last().toInt();
    EXPECT_EQ(ordenByRecord, (QList<int>{600, 480, 535, 480}));

    for (const TableLayout* layout :
         {&layouts::diashorast, &layouts::diashorast2, &layouts::periodos}) {
        SCOPED_TRACE(layout->name);
        const QJsonArray fields =
            readTableWithPython(timetable.table(*layout))[QStringLiteral("fields")].toArray();
        ASSERT_EQ(fields.size(), layout->fields.size());
        for (int i = 0; i < fields.size(); ++i) {
            const QJsonArray field = fields[i].toArray();
            const FieldDef& def = layout->fields[i];
            EXPECT_EQ(field[0].toString(), def.name);
            EXPECT_EQ(field[1].toString(),
                      def.type == FieldDef::Type::Text ? QStringLiteral("C") : QStringLiteral("N"));
            EXPECT_EQ(field[2].toInt(), def.type == FieldDef::Type::Text ? def.width : 11);
            EXPECT_EQ(field[3].toInt(), 0);
        }
    }
    EXPECT_TRUE(
        QFileInfo::exists(QDir(timetable.folder).filePath(QStringLiteral("DIASHORAST2.MDX"))));
    EXPECT_FALSE(
        QFileInfo::exists(QDir(timetable.folder).filePath(QStringLiteral("DIASHORAST.MDX"))));
}
