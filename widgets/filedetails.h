#pragma once

#include <QIdentityProxyModel>

// The file dialog's sizes and dates in the program's language: Qt's file model writes them in
// the system's locale (English without LANG), whatever the program speaks. Set on a file
// dialog with QFileDialog::setProxyModel(); names, types and everything else pass unchanged.
class FileDetails : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override;
};
