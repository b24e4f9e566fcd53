#include "components/timetablefolder/ownnames.h"

#include "components/timetablefolder/tablelayouts.h"

#include <QRandomGenerator>
#include <QRegularExpression>

namespace ownnames {

namespace {

const QString InTheMaking = QStringLiteral(".quelvana-nueva-");

} // namespace

const QStringList& tables()
{
    static const QStringList names = [] {
        QStringList out;
        for (const TableLayout* layout : layouts::timetableTables)
            out << layout->name;
        return out;
    }();
    return names;
}

bool isTableFile(const QString& name)
{
    if (name.size() < 5 || name.at(name.size() - 4) != QLatin1Char('.'))
        return false;
    const QString extension = name.right(3);
    if (extension.compare(QLatin1String("DBF"), Qt::CaseInsensitive) != 0 &&
        extension.compare(QLatin1String("MDX"), Qt::CaseInsensitive) != 0)
        return false;
    return tables().contains(name.left(name.size() - 4), Qt::CaseInsensitive);
}

bool isOwnFile(const QString& name)
{
    return isTableFile(name) || name == Report;
}

QString backupName(const QDateTime& when, int attempt)
{
    const QString stamp = when.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    if (attempt <= 1)
        return stamp;
    return stamp + QStringLiteral("_%1").arg(attempt, 3, 10, QLatin1Char('0'));
}

bool isBackupName(const QString& name)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d(_\\d{3,})?$"));
    return pattern.match(name).hasMatch();
}

QString folderInTheMaking()
{
    return InTheMaking + QString::number(QRandomGenerator::global()->generate64(), 36);
}

bool isFolderInTheMaking(const QString& name)
{
    static const QRegularExpression pattern(QRegularExpression::escape(InTheMaking) +
                                            QStringLiteral("[0-9a-z]{1,13}$"));
    return name.startsWith(InTheMaking) && pattern.match(name).hasMatch();
}

} // namespace ownnames
