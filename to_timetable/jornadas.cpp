// TransformarJornadas: the day-and-hour grid (DIASHORAST, with its work table DIASHORAST2) and
// the period of validity (PERIODOS) from the document's time frames and time slots.

#include "components/dbase/dbftable.h"
#include "components/platform/engineerror.h"
#include "components/text/texts.h"
#include "exchange/yedradocument.h"
#include "to_timetable/exportarrun.h"

#include <algorithm>
#include <array>

namespace {

constexpr int CodeWidth = 10;
constexpr int SelectionSlots = 5;

// A time frame's code as the selection carries it: trimmed, then its first ten characters.
// Slots and PERIODOS compare their codes this way.
QString frameCode(const QString& code)
{
    return texts::leftCharacters(yedra::trimValue(code), CodeWidth);
}

// The selection string cut into its five ten-character pieces, each trimmed; pieces past the
// end of the string are empty, characters after the fiftieth are not looked at.
std::array<QString, SelectionSlots> decodeSelection(const QString& selection)
{
    std::array<QString, SelectionSlots> codes;
    QString rest = selection;
    for (QString& code : codes) {
        const QString piece = texts::leftCharacters(rest, CodeWidth);
        rest.remove(0, piece.size());
        code = yedra::trimValue(piece);
    }
    return codes;
}

// The fields a DIASHORAST row copies from its DIASHORAST2 row.
const QStringList copiedFields = {QStringLiteral("TEXTOHOR"),  QStringLiteral("CODDIHO"),
                                  QStringLiteral("HORADESDE"), QStringLiteral("HORAHASTA"),
                                  QStringLiteral("MINUTOS"),   QStringLiteral("MARCOXML")};

void appendGridRow(DbfTable& grid, const DbfTable& taken, const QString& day, int hour)
{
    grid.append();
    grid.setText(QStringLiteral("DIHO"), day + QString::number(hour));
    grid.setText(QStringLiteral("DIA"), day);
    grid.setText(QStringLiteral("HORA"), QString::number(hour));
    for (const QString& field : copiedFields)
        grid.setText(field, taken.text(field));
    grid.setText(QStringLiteral("MARCO"), QStringLiteral("0"));
    grid.post();
}

// The time frames taken: the only one, or those the user picks (one to five), asked again until
// the choice passes. Sets the run's selection string and day modulus.
void takeFrames(ExportarRun& run, const std::vector<yedra::Record>& frames)
{
    if (frames.size() == 1) {
        run.resultado = frames.front().value(0);
        run.nDiasPlanti = 1;
        return;
    }
    for (;;) {
        run.resultado.clear();
        const FrameChoice choice = run.interaction().chooseFrames(run.document());
        if (choice.resultMH) {
            run.resultado = choice.resultado;
            run.nDiasPlanti = choice.frameCount;
            return;
        }
    }
}

// DIASHORAST2: one row per slot of a frame taken. Every slot walked carries the next day
// number, 1 to nDiasPlanti over and over, whether its frame was taken or not.
template <typename Selected> void writeTakenSlots(ExportarRun& run, const Selected& isSelected)
{
    DbfTable taken(run.workFolder(), layouts::diashorast2.name);
    run.reportChanges(taken, layouts::diashorast2.name);
    taken.open();
    int day = 1;
    for (const yedra::Record& slot :
         run.readRecords(yedra::TramosHorarios, layouts::diashorast2.name)) {
        const QString code = slot.value(0);
        const QString label = slot.value(1);
        const QString start = slot.value(2);
        const QString end = slot.value(3);
        const QString marco = frameCode(slot.value(4));
        if (isSelected(marco)) {
            const int from = run.integerValue(
                start, slot, 2, QStringLiteral("la hora de comienzo del tramo, en minutos"));
            const int to = run.integerValue(end, slot, 3,
                                            QStringLiteral("la hora de fin del tramo, en minutos"));
            taken.append();
            taken.setText(QStringLiteral("DIA"), QString::number(day));
            taken.setText(QStringLiteral("CODDIHO"), code);
            taken.setText(QStringLiteral("TEXTOHOR"), label);
            taken.setText(QStringLiteral("HORADESDE"), texts::clockText(from));
            taken.setText(QStringLiteral("HORAHASTA"), texts::clockText(to));
            taken.setText(QStringLiteral("MINUTOS"), QString::number(qint64(to) - from));
            taken.setText(QStringLiteral("MARCOXML"), marco);
            taken.setInteger(QStringLiteral("ORDEN"), from);
            taken.post();
        }
        day = day >= run.nDiasPlanti ? 1 : day + 1;
    }
    taken.close();
}

// DIASHORAST, from the slots taken in order of their start. One frame: every slot is an hour of
// its own on each of the seven days. Several: the slots keep their day, and the hours are
// numbered by distinct start over all of them.
void writeGrid(ExportarRun& run)
{
    DbfTable taken(run.workFolder(), layouts::diashorast2.name);
    taken.open();
    DbfTable grid(run.workFolder(), layouts::diashorast.name);
    run.reportChanges(grid, layouts::diashorast.name);
    grid.open();
    taken.setOrderByField(QStringLiteral("ORDEN"));
    taken.first();
    if (run.nDiasPlanti <= 1) {
        int hour = 0;
        for (; !taken.eof(); taken.next()) {
            ++hour;
            for (int d = 1; d <= 7; ++d)
                appendGridRow(grid, taken, QString::number(d), hour);
        }
    } else {
        int hour = 1;
        qint64 reference = taken.eof() ? 0 : taken.integer(QStringLiteral("ORDEN"));
        for (; !taken.eof(); taken.next()) {
            const qint64 orden = taken.integer(QStringLiteral("ORDEN"));
            if (orden > reference) {
                ++hour;
                reference = orden;
            }
            appendGridRow(grid, taken, taken.text(QStringLiteral("DIA")), hour);
        }
    }
    grid.close();
    taken.close();
}

// PERIODOS: the frame whose code is the first piece of the selection, its code cut to ten
// characters as the selection cuts it.
void writePeriod(ExportarRun& run, const std::vector<yedra::Record>& frames,
                 const QString& firstSelected)
{
    DbfTable periods(run.workFolder(), layouts::periodos.name);
    run.reportChanges(periods, layouts::periodos.name);
    periods.open();
    for (const yedra::Record& frame : frames) {
        const QString code = frame.value(0);
        const QString name = frame.value(1);
        const QString first = frame.value(2);
        const QString last = frame.value(3);
        if (frameCode(code) != firstSelected)
            continue;
        periods.append();
        periods.setText(QStringLiteral("CJORNADA"), code);
        periods.setText(QStringLiteral("JORNADA"), name);
        periods.setText(QStringLiteral("FECINI"), first);
        periods.setText(QStringLiteral("FECFIN"), last);
        periods.post();
    }
    periods.close();
}

} // namespace

void ExportarRun::TransformarJornadas()
{
    resultado.clear();
    createTable(layouts::diashorast);
    createTable(layouts::diashorast2);
    createTable(layouts::periodos);

    const std::vector<yedra::Record> frames = yedra::records(document(), yedra::JornadasEscolares);
    if (frames.empty())
        throw EngineError(NoTimeFrames);
    takeFrames(*this, frames);

    std::array<QString, SelectionSlots> selection;
    if (texts::characterCount(resultado) <= CodeWidth) {
        selection[0] = yedra::trimValue(texts::leftCharacters(resultado, CodeWidth));
        nDiasPlanti = 1;
    } else {
        selection = decodeSelection(resultado);
    }
    writeTakenSlots(*this, [&selection](const QString& code) {
        return std::find(selection.begin(), selection.end(), code) != selection.end();
    });
    writeGrid(*this);
    writePeriod(*this, frames, selection[0]);
}
