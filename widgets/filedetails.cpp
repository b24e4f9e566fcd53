#include "widgets/filedetails.h"

#include <QFileSystemModel>
#include <QLocale>

namespace {

// The columns of Qt's file model.
constexpr int SizeColumn = 1;
constexpr int DateColumn = 3;

} // namespace

QVariant FileDetails::data(const QModelIndex& index, int role) const
{
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (!files || role != Qt::DisplayRole || !index.isValid())
        return QIdentityProxyModel::data(index, role);
    const QModelIndex source = mapToSource(index);
    const QLocale language;
    if (index.column() == SizeColumn && !files->isDir(source))
        return language.formattedDataSize(files->size(source));
    if (index.column() == DateColumn)
        return language.toString(files->lastModified(source), QLocale::ShortFormat);
    return QIdentityProxyModel::data(index, role);
}
