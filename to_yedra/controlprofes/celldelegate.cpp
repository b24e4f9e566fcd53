#include "to_yedra/controlprofes/celldelegate.h"

#include "to_yedra/controlprofes/picturevalidator.h"
#include "to_yedra/controlprofes/proftcolumns.h"
#include "to_yedra/controlprofes/proftmodel.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

namespace controlprofes {

CellDelegate::CellDelegate(ProftModel& model, QObject* parent)
    : QStyledItemDelegate(parent), m_model(model)
{
}

QWidget* CellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const
{
    const MaskedField* masked = maskedField(index.column());
    if (!masked)
        return QStyledItemDelegate::createEditor(parent, option, index);
    auto* editor = new QLineEdit(parent);
    editor->setFrame(false);
    editor->setValidator(new PictureValidator(masked->picture, editor));
    // The first change typed puts the row into editing, as the navigator then shows.
    connect(editor, &QLineEdit::textEdited, this, [this] { m_model.edit(); });
    if (const int width = m_model.fieldWidth(index.column()); width > 0)
        editor->setMaxLength(width);
    return editor;
}

bool CellDelegate::eventFilter(QObject* object, QEvent* event)
{
    auto* editor = qobject_cast<QWidget*>(object);
    if (editor && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Ctrl+Tab leaves the grid: the grid takes it once the cell is in the row.
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
            (key->modifiers() & Qt::ControlModifier)) {
            if (auto* grid = qobject_cast<QWidget*>(parent())) {
                emit commitData(editor);
                QKeyEvent leave(QEvent::KeyPress, key->key(), key->modifiers());
                QCoreApplication::sendEvent(grid, &leave);
                return true;
            }
        }
        QAbstractItemDelegate::EndEditHint hint = QAbstractItemDelegate::NoHint;
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
            (key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier)))
            hint = QAbstractItemDelegate::EditNextItem;
        else if (key->key() == Qt::Key_Backtab ||
                 (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ShiftModifier)))
            hint = QAbstractItemDelegate::EditPreviousItem;
        if (hint != QAbstractItemDelegate::NoHint) {
            emit commitData(editor);
            emit closeEditor(editor, hint);
            return true;
        }
    }
    if (editor && event->type() == QEvent::FocusOut) {
        // The base class commits only a value the validator accepts; a value on its way
        // goes into the row all the same. Focus moving inside the editor is no leaving.
        const QWidget* focus = QApplication::focusWidget();
        const bool inside = focus && (focus == editor || editor->isAncestorOf(focus));
        const auto* line = qobject_cast<QLineEdit*>(editor);
        if (line && !line->hasAcceptableInput() && !inside)
            emit commitData(editor);
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

} // namespace controlprofes
