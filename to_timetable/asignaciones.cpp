// The class assignments (ASIGT): every subject record with every group of its course.

#include "components/text/texthash.h"
#include "components/text/texts.h"
#include "components/timetablefolder/tablelayouts.h"
#include "exchange/yedradocument.h"
#include "to_timetable/exportarrun.h"

#include <QList>

namespace {

// A unit's four texts kept together: a large school has many units, and every class
// assignment row reads one.
class Group {
public:
    Group(const QString& abrev, const QString& nivel, const QString& curso, const QString& grupo)
        : m_texts(abrev + nivel + curso + grupo), m_ends{abrev.size(), abrev.size() + nivel.size(),
                                                         abrev.size() + nivel.size() + curso.size(),
                                                         m_texts.size()}
    {
    }
    QStringView abrev() const { return part(0); }
    QStringView nivel() const { return part(1); }
    QStringView curso() const { return part(2); }
    QStringView grupo() const { return part(3); }

private:
    QStringView part(int i) const
    {
        const qsizetype start = i == 0 ? 0 : m_ends[i - 1];
        return QStringView(m_texts).sliced(start, m_ends[i] - start);
    }
    QString m_texts;
    qsizetype m_ends[4];
};

// A subject name as the lookup compares it: upper-cased (a to z only), then trimmed.
QString comparedName(const QString& name)
{
    return texts::trimmed(texts::upperAsciiLetters(name));
}

// Weekly minutes to teaching hours: rounded up, at least 1.
int hoursOf(int minutes)
{
    // In 64 bits: the lowest minute value has no negation in 32.
    const qint64 m = minutes;
    const qint64 hours = m > 0 ? (m - 1) / 60 + 1 : -(-m / 60);
    return static_cast<int>(std::max<qint64>(hours, 1));
}

// The lesson pattern: n ones, or for more than 13 hours n - 13 followed by thirteen ones.
QString lessonPattern(int hours)
{
    const QString thirteen(13, QLatin1Char('1'));
    return hours > 13 ? QString::number(hours - 13) + thirteen : QString(hours, QLatin1Char('1'));
}

} // namespace

void ExportarRun::TransformarAsignaciones()
{
    createTable(layouts::asigt);

    // The subject codes by name and the groups by course offer key, read once: a lookup then
    // finds the first row in natural order without a walk. The document's texts are looked up
    // as the tables store them.
    TextMap<QString, QString> codeByName;
    {
        DbfTable asignomt(tablePath(layouts::asignomt));
        asignomt.open(DbfTable::Access::Exclusive);
        for (asignomt.first(); !asignomt.eof(); asignomt.next()) {
            codeByName.try_emplace(comparedName(asignomt.text(QStringLiteral("NOMBRE"))),
                                   asignomt.text(QStringLiteral("COD")));
        }
    }
    TextMap<QString, QList<Group>> groupsByOffer;
    {
        DbfTable grupost(tablePath(layouts::grupost));
        grupost.open(DbfTable::Access::Exclusive);
        for (grupost.first(); !grupost.eof(); grupost.next())
            groupsByOffer[grupost.text(QStringLiteral("CLAVECURSO"))].append(Group(
                grupost.text(layouts::codeField), grupost.text(QStringLiteral("NIVEL")),
                grupost.text(QStringLiteral("CURSO")), grupost.text(QStringLiteral("GRUPO"))));
    }

    // Records without two values were said when the subjects were read.
    const std::vector<yedra::Record> records = readRecords(yedra::Materias);
    DbfTable asigt(tablePath(layouts::asigt));
    reportChanges(asigt, layouts::asigt.name);
    asigt.open();
    for (const yedra::Record& record : records) {
        const QString offerKey = record.value(0);
        const QString subjectKey = record.value(1);
        const QString name = record.value(2);
        QString minutes = record.value(4);
        // The name as ASIGNOMT stores it: the subject whose row holds it.
        const auto found = codeByName.find(comparedName(textAsRead(name, 80)));
        const QString code = found == codeByName.end() ? QString() : found->second;
        if (code.isEmpty()) {
            noteRecord(layouts::asigt.name, record,
                       QStringLiteral("la materia «%1» no está en ASIGNOMT: no tiene filas en "
                                      "ASIGT")
                           .arg(name));
            continue;
        }
        if (minutes.isEmpty())
            minutes = QStringLiteral("240");
        const auto offerGroups = groupsByOffer.find(textAsRead(offerKey, 10));
        const QList<Group> groups =
            offerGroups == groupsByOffer.end() ? QList<Group>() : offerGroups->second;
        if (groups.isEmpty()) {
            noteRecord(layouts::asigt.name, record,
                       QStringLiteral("ninguna unidad tiene su oferta de curso «%1»: la materia "
                                      "«%2» no tiene filas en ASIGT")
                           .arg(offerKey, name));
            continue;
        }
        // Converted only for a record that gives rows: one that gives none never fails here.
        const int hours = hoursOf(integerValue(
            minutes, record, 4, QStringLiteral("los minutos semanales de la materia")));
        const QString sessions = lessonPattern(hours);
        for (const Group& group : groups) {
            asigt.append();
            asigt.setText(QStringLiteral("CASIG"), code);
            asigt.setText(QStringLiteral("CGRUP"), group.abrev());
            asigt.setText(QStringLiteral("CAULA"), QString());
            asigt.setText(QStringLiteral("TURNO"), QString());
            asigt.setText(QStringLiteral("NIVEL"), group.nivel());
            asigt.setText(QStringLiteral("CURSO"), group.curso());
            asigt.setText(QStringLiteral("GRUPO"), group.grupo());
            asigt.setFloat(QStringLiteral("HORAS"), hours);
            asigt.setText(QStringLiteral("SESIONES"), sessions);
            asigt.setText(QStringLiteral("CLAVE"), subjectKey);
            asigt.setText(QStringLiteral("CLAVECURSO"), offerKey);
            if (hayActividad513 == 1)
                asigt.setText(QStringLiteral("CTAREA"), QStringLiteral("513"));
            asigt.post();
        }
    }
    asigt.close();
}
