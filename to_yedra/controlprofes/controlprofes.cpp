#include "to_yedra/controlprofes/controlprofes.h"

#include "components/dbase/dbftable.h"
#include "components/platform/engineerror.h"
#include "to_yedra/controlprofes/navigatorglyphs.h"
#include "to_yedra/controlprofes/proftcolumns.h"
#include "to_yedra/controlprofes/proftgrid.h"
#include "to_yedra/controlprofes/proftmodel.h"
#include "to_yedra/teachercheck.h"
#include "widgets/formsetup.h"
#include "widgets/glyphs.h"
#include "widgets/gradientpanel.h"
#include "widgets/messageboxes.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <functional>

using controlprofes::FTomapos;
using controlprofes::Glyph;
using controlprofes::navigatorGlyph;
using controlprofes::ProftGrid;
using controlprofes::ProftModel;
using controlprofes::XEmpleado;

namespace {

constexpr int PageRows = 10; // the navigator's "back ten" and "forward ten"

// A label at `position`, word-wrapped within `wrapWidth` when one is given, on `background` or
// on the panel itself.
QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QPoint& position,
                  const QFont& font, const QColor& colour, int wrapWidth = 0,
                  const QColor& background = QColor())
{
    QLabel* label = form::label(parent, name, text, font, colour);
    label->setTextFormat(Qt::PlainText); // the runs of blanks stay as they are
    if (background.isValid()) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, background);
        label->setPalette(palette);
        // Translucency brings no-system-background along; the label paints its own again.
        label->setAttribute(Qt::WA_TranslucentBackground, false);
        label->setAttribute(Qt::WA_NoSystemBackground, false);
        label->setAutoFillBackground(true);
    }
    label->move(position);
    if (wrapWidth > 0) {
        label->setWordWrap(true);
        label->resize(wrapWidth, label->heightForWidth(wrapWidth));
    } else {
        label->adjustSize();
    }
    return label;
}

} // namespace

TControlProfesores::TControlProfesores(const QString& tablePath, QWidget* owner)
    : QDialog(owner), wwTableProft(std::make_unique<DbfTable>(tablePath))
{
    wwTableProft->open(DbfTable::Access::Shared);

    setObjectName(QStringLiteral("ControlProfesores"));
    form::setUpFixed(this, QStringLiteral("Control de Profesores"), QSize(754, 499));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    Draw3D1 = new GradientPanel(QColor(0xC2, 0xCD, 0xFE), QColor(0xCF, 0xF2, 0xFE),
                                QColor(0xCC, 0xD8, 0xE6), this);
    Draw3D1->setObjectName(QStringLiteral("Draw3D1"));
    Draw3D1->setGeometry(0, 0, 754, 499);

    setUpLabels();
    setUpGrid();
    setUpNavigator();
    setUpExitButton();

    // Help context 1 for the window, the grid and the exit button alike.
    form::addHelpKey(this, 1);
    form::enterPressesButtons(this);

    connect(wwDataSource1, &QAbstractItemModel::headerDataChanged, this,
            &TControlProfesores::updateNavigator);
    connect(wwDataSource1, &QAbstractItemModel::modelReset, this,
            &TControlProfesores::updateNavigator);

    wwDataSource1->reload();
    widenForGrid(); // for the values the table holds
    if (wwDataSource1->currentRow() >= 0)
        ProftDBGrid->setCurrentIndex(wwDataSource1->index(wwDataSource1->currentRow(), XEmpleado));
    ProftDBGrid->setFocus(); // the grid is the first control: it has the focus when shown
    updateNavigator();

    form::centreOnScreen(this);

    // Last: from here on the destructor disconnects it.
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { gridFocusChanged(now); });
}

// The title and the explanations beside the grid.
void TControlProfesores::setUpLabels()
{
    QFont bold = font();
    bold.setBold(true);
    QFont larger = bold;
    larger.setPointSize(10);
    QFont underlined = bold;
    underlined.setUnderline(true);
    const QColor navy(0x00, 0x00, 0x80);
    const QColor red(0xFF, 0x00, 0x00);
    const QColor green(0x00, 0x80, 0x00);
    constexpr int WrapWidth = 228; // from the labels' left edge to the window's right edge

    const QString title = QStringLiteral("CONTROL DE DATOS DE LOS PROFESORES");
    Label1 = makeLabel(Draw3D1, "Label1", title, QPoint(9, 12), larger, Qt::black,
                       QFontMetrics(larger).horizontalAdvance(title) + 4, Qt::yellow);
    Label3 = makeLabel(Draw3D1, "Label3", QStringLiteral("INCIDENCIAS EN EL TRASPASO"),
                       QPoint(525, 66), underlined, red);
    Label3->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label2 = makeLabel(Draw3D1, "Label2",
                       QStringLiteral("Se ha detectado que existe algún Profesor sin todos los "
                                      "datos necesarios. (Seguramente hayan sido creados "
                                      "directamente desde Oranel.)      Para poder realizar "
                                      "correctamente la integración del Horario en YEDRA, "
                                      "deberán asignarlos en esta rejilla. "),
                       QPoint(519, 91), bold, navy, WrapWidth);
    Label4 = makeLabel(Draw3D1, "Label4",
                       QStringLiteral("Los Profesores deberán estar creados previamente en "
                                      "YEDRA, con los mismos Datos de X_EMPLEADO y F_TOMAPOS. "),
                       QPoint(519, 195), bold, red, WrapWidth);
    Label5 = makeLabel(Draw3D1, "Label5",
                       QStringLiteral("YEDRA, dispone de un proceso mediante el cual pueden "
                                      "obtener la información de estos 2 datos mencionados. "),
                       QPoint(519, 251), bold, green, WrapWidth);
    Label6 = makeLabel(Draw3D1, "Label6",
                       QStringLiteral("Después de haber introducido los datos que faltan, "
                                      "pulsando \"Salir\", se reiniciará el proceso."),
                       QPoint(519, 307), bold, navy, WrapWidth);
}

// The grid over the teacher table, its rows kept by the row gate.
void TControlProfesores::setUpGrid()
{
    wwDataSource1 = new ProftModel(*wwTableProft, this);
    wwDataSource1->setObjectName(QStringLiteral("wwDataSource1"));
    wwDataSource1->reportError = [this](const QString& message) { refuse(message); };

    ProftDBGrid = new ProftGrid(Draw3D1);
    ProftDBGrid->setObjectName(QStringLiteral("ProftDBGrid"));
    ProftDBGrid->setAccessibleName(QStringLiteral("Datos del profesorado"));
    ProftDBGrid->setAccessibleDescription(
        QStringLiteral("Un profesor por fila; se completan X_EMPLEADO y F_TOMAPOS"));
    ProftDBGrid->setGeometry(9, 56, 490, 433);
    QPalette rows = ProftDBGrid->palette();
    rows.setColor(QPalette::AlternateBase, QColor(0xEE, 0xF3, 0xFF));
    ProftDBGrid->setPalette(rows);
    ProftDBGrid->setUp(
        wwDataSource1, [this](int row) { return leaveRowFor(row); },
        [this] {
            if (!ProftDBGrid->openEditor())
                cancelRow();
        });
}

// The navigator bar above the grid.
void TControlProfesores::setUpNavigator()
{
    wwDBNavigator1 = new QWidget(Draw3D1);
    wwDBNavigator1->setObjectName(QStringLiteral("wwDBNavigator1"));
    wwDBNavigator1->setGeometry(224, 29, 275, 24);
    struct NavigatorButton {
        const char* name;
        const char* hint; // in Spanish, like the rest of the window; a screen reader says it too
        QIcon glyph;
        std::function<void()> action;
    };
    const NavigatorButton buttons[] = {
        {"First", "Ir al primer profesor", navigatorGlyph(Glyph::First), [this] { moveToRow(0); }},
        {"PriorPage", "Retroceder 10 profesores", navigatorGlyph(Glyph::PriorPage),
         [this] { moveBy(-PageRows); }},
        {"Prior", "Ir al profesor anterior", navigatorGlyph(Glyph::Prior), [this] { moveBy(-1); }},
        {"Next", "Ir al profesor siguiente", navigatorGlyph(Glyph::Next), [this] { moveBy(1); }},
        {"NextPage", "Avanzar 10 profesores", navigatorGlyph(Glyph::NextPage),
         [this] { moveBy(PageRows); }},
        {"Last", "Ir al último profesor", navigatorGlyph(Glyph::Last),
         [this] { moveToRow(wwDataSource1->rowCount() - 1); }},
        {"Edit", "Modificar el profesor actual", navigatorGlyph(Glyph::Edit),
         [this] { wwDataSource1->edit(); }},
        {"Post", "Guardar los cambios del profesor actual", glyphs::checkMark(),
         [this] { saveRow(); }},
        {"Cancel", "Deshacer los cambios del profesor actual", glyphs::cross(),
         [this] { cancelRow(); }},
        {"Refresh", "Volver a leer la tabla de profesores", navigatorGlyph(Glyph::Refresh),
         [this] { refresh(); }},
    };
    const int count = int(std::size(buttons));
    for (int i = 0; i < count; ++i) {
        auto* button = new QToolButton(wwDBNavigator1);
        button->setObjectName(QLatin1String(buttons[i].name));
        button->setToolTip(QString::fromUtf8(buttons[i].hint));
        button->setAccessibleName(QString::fromUtf8(buttons[i].hint));
        button->setIcon(buttons[i].glyph);
        // A click leaves the focus in the grid, and its row in editing; Tab reaches the button.
        button->setFocusPolicy(Qt::TabFocus);
        button->setAutoRepeat(true);
        button->setAutoRepeatDelay(500);
        button->setAutoRepeatInterval(100);
        const int left = i * 275 / count;
        button->setGeometry(left, 0, (i + 1) * 275 / count - left, 24);
        connect(button, &QToolButton::clicked, this, [this, action = buttons[i].action] {
            action();
            updateNavigator();
        });
        m_navigatorButtons << button;
    }
}

void TControlProfesores::setUpExitButton()
{
    QFont bold = font();
    bold.setBold(true);
    BitBtn1 = new QPushButton(glyphs::cross(), QStringLiteral("Salir"), Draw3D1);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setAccessibleName(QStringLiteral("Salir"));
    BitBtn1->setAccessibleDescription(
        QStringLiteral("Cierra la ventana y sigue la importación si no falta ningún dato"));
    BitBtn1->setFont(bold);
    BitBtn1->setGeometry(583, 368, 75, 25);
    BitBtn1->setAutoDefault(false);
    connect(BitBtn1, &QPushButton::clicked, this, &TControlProfesores::BitBtn1Click);
}

void TControlProfesores::widenForGrid()
{
    // What the window system's frame takes of the screen's width, at most.
    constexpr int FrameAllowance = 16;
    int extra = std::max(0, ProftDBGrid->neededWidth() - ProftDBGrid->width());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        extra = std::min(
            extra, std::max(0, screen->availableGeometry().width() - FrameAllowance - width()));
    if (extra == 0)
        return;
    // The navigator keeps to the grid's right edge, the explanations and "Salir" to its right.
    const QList<QWidget*> moved = {wwDBNavigator1, Label3, Label2, Label4, Label5, Label6, BitBtn1};
    for (QWidget* part : moved)
        part->move(part->pos() + QPoint(extra, 0));
    ProftDBGrid->resize(ProftDBGrid->width() + extra, ProftDBGrid->height());
    Draw3D1->resize(Draw3D1->width() + extra, Draw3D1->height());
    setFixedSize(width() + extra, height());
}

TControlProfesores::~TControlProfesores()
{
    disconnect(qApp, nullptr, this, nullptr);
    // A dialog destroyed while open keeps a row being edited whose values fit their masks.
    try {
        if (wwDataSource1->isEditing()) {
            if (wwDataSource1->refusal().isEmpty())
                wwDataSource1->post();
            else
                wwDataSource1->cancel();
        }
        wwTableProft->close();
    } catch (const EngineError&) {
        wwTableProft.reset(); // the file is let go all the same
    }
}

void TControlProfesores::ProftDBGridEnter()
{
    if (wwTableProft->isOpen() && !wwDataSource1->isEditing())
        wwDataSource1->edit();
}

void TControlProfesores::ProftDBGridExit()
{
    if (wwTableProft->isOpen() && wwDataSource1->isEditing())
        saveRow();
}

void TControlProfesores::BitBtn1Click()
{
    if (!wwTableProft->isOpen() || !saveRow())
        return;
    result = true;
    try {
        if (hasIncompleteTeacher(*wwTableProft))
            result = false;
        wwTableProft->close();
    } catch (const EngineError& error) {
        result = false;
        showErrorBox(this, error.message());
    }
    accept();
}

void TControlProfesores::done(int r)
{
    if (!saveRow())
        return;
    QDialog::done(r);
}

void TControlProfesores::showEvent(QShowEvent* event)
{
    // The run shows the busy pointer; the user types with the ordinary one.
    m_pointer.take();
    QDialog::showEvent(event);
}

void TControlProfesores::hideEvent(QHideEvent* event)
{
    m_pointer.release();
    QDialog::hideEvent(event);
}

void TControlProfesores::keyPressEvent(QKeyEvent* event)
{
    // Escape belongs to the grid, where it undoes a row's changes; it never closes the dialog.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    // Ctrl+Tab moves on as Tab does, here as out of the grid.
    if ((event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) &&
        (event->modifiers() & Qt::ControlModifier)) {
        focusNextPrevChild(event->key() == Qt::Key_Tab &&
                           !(event->modifiers() & Qt::ShiftModifier));
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TControlProfesores::saveRow()
{
    if (m_refusing)
        return false;
    if (!wwTableProft->isOpen())
        return true;
    ProftDBGrid->commitOpenEditor();
    if (!wwDataSource1->isEditing())
        return true;
    QString problem = wwDataSource1->refusal();
    if (problem.isEmpty()) {
        try {
            wwDataSource1->post();
            return true;
        } catch (const EngineError& error) {
            problem = error.message();
        }
    }
    const int refused = wwDataSource1->refusedColumn();
    refuse(problem);
    // The row stays in editing, and the user is back in the refused cell, typing after its
    // text, to mend the value.
    const QModelIndex current = ProftDBGrid->currentIndex();
    ProftDBGrid->editAgain(refused >= 0        ? refused
                           : current.isValid() ? current.column()
                                               : XEmpleado);
    return false;
}

void TControlProfesores::cancelRow()
{
    ProftDBGrid->discardOpenEditor();
    wwDataSource1->cancel();
}

void TControlProfesores::refuse(const QString& message)
{
    // A held button would go on repeating under the message.
    for (QToolButton* button : std::as_const(m_navigatorButtons))
        button->setDown(false);
    BitBtn1->setDown(false);
    m_refusing = true;
    showErrorBox(this, message);
    m_refusing = false;
    activateWindow(); // the user goes on here, where the focus was
}

bool TControlProfesores::leaveRowFor(int row)
{
    if (!saveRow())
        return false;
    wwDataSource1->moveTo(row);
    return true;
}

void TControlProfesores::moveBy(int rows)
{
    moveToRow(std::max(wwDataSource1->currentRow(), 0) + rows);
}

void TControlProfesores::moveToRow(int row)
{
    const int count = wwDataSource1->rowCount();
    if (count == 0 || !wwTableProft->isOpen())
        return;
    const QModelIndex current = ProftDBGrid->currentIndex();
    ProftDBGrid->setCurrentIndex(wwDataSource1->index(
        std::clamp(row, 0, count - 1), current.isValid() ? current.column() : XEmpleado));
}

void TControlProfesores::refresh()
{
    // As the table component does: the row being edited is saved first.
    if (!wwTableProft->isOpen() || !saveRow())
        return;
    const QModelIndex current = ProftDBGrid->currentIndex();
    wwDataSource1->reload();
    if (wwDataSource1->currentRow() >= 0)
        ProftDBGrid->setCurrentIndex(wwDataSource1->index(
            wwDataSource1->currentRow(), current.isValid() ? current.column() : XEmpleado));
}

void TControlProfesores::gridFocusChanged(QWidget* now)
{
    // Only moves of the focus inside this window count: a message box over it, or another
    // program taking the focus, leaves the grid as it was.
    if (!now || now->window() != this)
        return;
    // The navigator's buttons act on the grid's row: the keyboard reaches them without leaving
    // it, as a click on them does.
    const bool inGrid =
        now == ProftDBGrid || ProftDBGrid->isAncestorOf(now) || wwDBNavigator1->isAncestorOf(now);
    if (inGrid == m_gridFocused)
        return;
    m_gridFocused = inGrid;
    if (inGrid) {
        ProftDBGridEnter();
        return;
    }
    // Once the focus change is over: a refusal must not come up in the middle of the mouse
    // press that moved the focus.
    QTimer::singleShot(0, this, [this] {
        if (!m_gridFocused)
            ProftDBGridExit();
    });
}

void TControlProfesores::updateNavigator()
{
    const bool open = wwTableProft->isOpen();
    const int row = wwDataSource1->currentRow();
    const int last = wwDataSource1->rowCount() - 1;
    const bool editing = wwDataSource1->isEditing();
    const bool enabled[] = {
        open && row > 0,
        open && row > 0,
        open && row > 0,
        open && row < last,
        open && row < last,
        open && row < last,
        open && row >= 0 && !editing,
        editing,
        editing,
        open,
    };
    for (int i = 0; i < 10; ++i)
        m_navigatorButtons[i]->setEnabled(enabled[i]);
}
