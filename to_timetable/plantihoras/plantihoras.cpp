#include "to_timetable/plantihoras/plantihoras.h"

#include "exchange/yedradocument.h"
#include "to_timetable/frameselection.h"
#include "widgets/fittinglabel.h"
#include "widgets/formsetup.h"
#include "widgets/glyphs.h"
#include "widgets/gradientpanel.h"
#include "widgets/itemlist.h"
#include "widgets/messageboxes.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>
#include <optional>

namespace {

const QString TooMany = QStringLiteral("Demasiados Marcos Horarios seleccionados.\r\n"
                                       "Como máximo puede seleccionar 5 Marcos Horarios");
const QString NoneSelected = QStringLiteral("Debe al menos seleccionar 1 Marco Horario.");
constexpr int MostFrames = 5;

const QColor SkyBlue(0xA6, 0xCA, 0xF0);
// Windows' usual inactive title bar colour; Qt's palette has no role for it.
const QColor InactiveCaption(0xBF, 0xCD, 0xDB);
const QColor Maroon(0x80, 0x00, 0x00);

QFont arial(int pixels, bool italic = false, bool underline = false)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    font.setBold(true);
    font.setItalic(italic);
    font.setUnderline(underline);
    return font;
}

template <typename Label = QLabel>
Label* makeLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry,
                 const QFont& font, const QColor& colour, bool wrapped = false)
{
    auto* label = form::label<Label>(parent, name, text, font, colour);
    label->setGeometry(geometry);
    label->setWordWrap(wrapped);
    return label;
}

// A dato text as it stands; a record without that position gives nothing.
std::optional<QString> rawValue(const yedra::Record& record, int position)
{
    if (position >= record.valueCount())
        return std::nullopt;
    return record.rawValue(position);
}

} // namespace

TPlantillas::TPlantillas(const XmlDocument& document, QWidget* owner)
    : QDialog(owner), m_document(document)
{
    setObjectName(QStringLiteral("Plantillas"));
    form::setUpFixed(this, QStringLiteral("Planillas, Marcos o Jornadas Horarias"),
                     QSize(371, 336));

    Draw3D4 = new GradientPanel(SkyBlue, Qt::white, InactiveCaption, this);
    Draw3D4->setObjectName(QStringLiteral("Draw3D4"));
    Draw3D4->setGeometry(0, 0, 369, 333);

    const QFont heading = arial(16);
    LabelPlantillas = makeLabel(Draw3D4, "LabelPlantillas",
                                QStringLiteral("Seleccione los 5 días de la semana del Marco "
                                               "Horario que desea recoger en Oranel."),
                                QRect(16, 2, 321, 31), arial(13), Qt::black, true);
    Label2 = makeLabel(Draw3D4, "Label2",
                       QStringLiteral("(Para seleccionar 2 Marcos, deberá marcar el primer día de "
                                      "la semana de cada uno de ellos. Las Horas de la Planilla "
                                      "del día seleccionado, se propagarán sobre todos los días "
                                      "de las Semana.)"),
                       QRect(16, 34, 321, 56), arial(11), Qt::blue, true);
    Label2->hide();
    LabelMarcos = makeLabel(Draw3D4, "LabelMarcos", QStringLiteral("MARCOS"), QRect(48, 37, 74, 16),
                            heading, Maroon);
    Label1 = makeLabel(Draw3D4, "Label1", QStringLiteral("HORAS"), QRect(215, 37, 67, 18), heading,
                       Maroon);

    // One line per code: a long one elided, whole in its tooltip, never wrapped into what
    // would look like two entries.
    ListBox2 = new ItemList(Draw3D4);
    ListBox2->setObjectName(QStringLiteral("ListBox2"));
    ListBox2->setAccessibleName(QStringLiteral("Marcos Horarios"));
    ListBox2->setAccessibleDescription(
        QStringLiteral("Los Marcos Horarios del documento; se eligen de uno a cinco"));
    ListBox2->setGeometry(16, 55, 127, 83);
    ListBox2->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListBox1 = new ItemList(Draw3D4);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setAccessibleName(QStringLiteral("Horas"));
    ListBox1->setAccessibleDescription(
        QStringLiteral("Los tramos horarios del Marco Horario señalado"));
    ListBox1->setGeometry(152, 55, 193, 155);

    LabelSelec = makeLabel(Draw3D4, "LabelSelec",
                           QStringLiteral("Para seleccionar mas de un Marco Horario, mantenga "
                                          "(Ctrl) pulsado y seleccione cada marco con 1 click "
                                          "del botón izquierdo del ratón."),
                           QRect(16, 89, 321, 48), arial(13, true), Qt::red, true);
    LabelSelec->hide();
    LabelNombre =
        makeLabel<FittingLabel>(Draw3D4, "LabelNombre", QStringLiteral("-"), QRect(9, 208, 120, 41),
                                arial(16, false, true), Maroon, true);
    LabelPlanFec1 = makeLabel<FittingLabel>(Draw3D4, "LabelPlanFec1", QStringLiteral("-"),
                                            QRect(9, 251, 120, 23), heading, Maroon, true);
    LabelPlanFec2 = makeLabel<FittingLabel>(Draw3D4, "LabelPlanFec2", QStringLiteral("-"),
                                            QRect(9, 277, 120, 23), heading, Maroon, true);

    ComboBoxPlantilla = new QComboBox(Draw3D4);
    ComboBoxPlantilla->setObjectName(QStringLiteral("ComboBoxPlantilla"));
    ComboBoxPlantilla->setGeometry(168, 307, 81, 21);
    ComboBoxPlantilla->hide(); // its change handler runs when the code calls it

    BitBtnContinuar = new QPushButton(glyphs::checkMark(), QStringLiteral("Continuar"), Draw3D4);
    BitBtnContinuar->setObjectName(QStringLiteral("BitBtnContinuar"));
    BitBtnContinuar->setAccessibleName(QStringLiteral("Continuar"));
    BitBtnContinuar->setAccessibleDescription(
        QStringLiteral("Sigue la exportación con los Marcos Horarios elegidos"));
    BitBtnContinuar->setGeometry(255, 305, 89, 25);
    BitBtnContinuar->setAutoDefault(false);

    // The selection and the focused entry change apart (a key moves the focus after selecting),
    // so both bring the details up to date.
    connect(ListBox2, &QListWidget::itemSelectionChanged, this, &TPlantillas::ListBox2Click);
    connect(ListBox2, &QListWidget::currentRowChanged, this, &TPlantillas::ListBox2Click);
    connect(BitBtnContinuar, &QPushButton::clicked, this, &TPlantillas::BitBtnContinuarClick);
    // The panel covers the whole dialog: F1 anywhere is the help topic of context 3.
    form::addHelpKey(this, 3);
    form::enterPressesButtons(this);
    form::centreOnScreen(this);
}

TPlantillas::~TPlantillas() = default;

int TPlantillas::frameCount() const
{
    return ListBox2->count();
}

bool TPlantillas::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(event);
}

void TPlantillas::showEvent(QShowEvent* event)
{
    // The run shows the busy pointer; the user picks with the ordinary one.
    m_pointer.take();
    FormActivate(); // activation may come later, or never, on some window systems
    QDialog::showEvent(event);
}

void TPlantillas::keyPressEvent(QKeyEvent* event)
{
    // The dialog offers no way to cancel: Escape must not close it, which would go on with the
    // conversion.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TPlantillas::hideEvent(QHideEvent* event)
{
    m_pointer.release();
    QDialog::hideEvent(event);
}

void TPlantillas::FormActivate()
{
    // Only the first activation: coming back from another window keeps the user's selection.
    if (m_filled)
        return;
    m_filled = true;
    const std::vector<yedra::Record> frames = yedra::records(m_document, yedra::JornadasEscolares);
    if (frames.size() > 1) {
        const QSignalBlocker blockList(ListBox2); // the lists change, not the user's choice
        ComboBoxPlantilla->clear();
        ListBox2->clear();
        for (const yedra::Record& frame : frames) {
            const QString code = rawValue(frame, 0).value_or(QString());
            ComboBoxPlantilla->addItem(code);
            ListBox2->addEntry(code);
        }
    }
    ComboBoxPlantilla->setCurrentIndex(0);
    ComboBoxPlantillaChange();
}

void TPlantillas::ComboBoxPlantillaChange()
{
    const QString current = ComboBoxPlantilla->currentText();
    const std::vector<yedra::Record> frames = yedra::records(m_document, yedra::JornadasEscolares);
    for (FittingLabel* label : {LabelNombre, LabelPlanFec1, LabelPlanFec2})
        label->setFittedText(QStringLiteral("-"));
    if (frames.size() > 1) {
        // Every match sets the labels: the last frame with the code wins.
        for (const yedra::Record& frame : frames) {
            if (rawValue(frame, 0) != current)
                continue;
            LabelNombre->setFittedText(rawValue(frame, 1).value_or(QString()));
            LabelPlanFec1->setFittedText(rawValue(frame, 2).value_or(QString()));
            LabelPlanFec2->setFittedText(rawValue(frame, 3).value_or(QString()));
        }
    }

    const std::vector<yedra::Record> tramos = yedra::records(m_document, yedra::TramosHorarios);
    if (tramos.size() > 1) {
        ListBox1->clear();
        for (const yedra::Record& slot : tramos) {
            // A slot without its frame code or its label belongs to no frame.
            const std::optional<QString> label = rawValue(slot, 1);
            if (label && rawValue(slot, 4) == current)
                ListBox1->addEntry(*label);
        }
    }
}

void TPlantillas::ListBox2Click()
{
    ComboBoxPlantilla->setCurrentIndex(ListBox2->currentRow());
    ComboBoxPlantillaChange();
}

void TPlantillas::BitBtnContinuarClick()
{
    close();
}

void TPlantillas::FormClose()
{
    resultMH = true;
    resultado.clear();
    QStringList entries;
    QList<bool> selected;
    for (int i = 0; i < ListBox2->count(); ++i) {
        entries << ListBox2->item(i)->text();
        selected << ListBox2->item(i)->isSelected();
    }
    const qsizetype count = std::count(selected.cbegin(), selected.cend(), true);
    if (count > MostFrames) {
        showMessageBox(this, TooMany);
        resultMH = false;
    } else if (count == 0) {
        showMessageBox(this, NoneSelected);
        resultMH = false;
    }
    resultado = frameSelectionString(entries, selected);
}

void TPlantillas::done(int result)
{
    // Every way of closing (the button, the close box, Escape) passes through here, once.
    if (m_closing)
        return;
    m_closing = true;
    FormClose();
    QDialog::done(result);
    m_closing = false;
}
