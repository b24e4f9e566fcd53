#pragma once

#include "widgets/ordinarypointer.h"

#include <QDialog>
#include <QString>

class FittingLabel;
class GradientPanel;
class ItemList;
class QComboBox;
class QLabel;
class QPushButton;
class XmlDocument;

// The time-frame dialog (Plantillas): the user picks the one to five time frames of the loaded
// Yedra document that go over to Oranel. It lists the frame codes, shows the name, dates and
// slot labels of the frame last clicked, and on every close, whichever way, turns the selection
// into the selection string. A rejected selection is reported here and still closes the dialog;
// the caller then shows a fresh one.
//
// Texts are the document's dato texts as they stand, untrimmed; comparisons are exact.
class TPlantillas : public QDialog {
    Q_OBJECT

public:
    // The document must outlive the dialog.
    explicit TPlantillas(const XmlDocument& document, QWidget* owner = nullptr);
    ~TPlantillas() override;

    // Built on closing: the selection string, and whether one to five frames were selected.
    QString resultado;
    bool resultMH = false;

    // How many entries the frame list holds: the document's time frames when it has two or more.
    int frameCount() const;

    void FormActivate();
    void ComboBoxPlantillaChange();
    void ListBox2Click();
    void BitBtnContinuarClick();
    void FormClose();

    void done(int result) override;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    const XmlDocument& m_document;
    bool m_filled = false;  // FormActivate fills the lists once, at the first showing
    bool m_closing = false; // FormClose runs once per close
    OrdinaryPointer m_pointer;

    GradientPanel* Draw3D4;
    QLabel* LabelPlantillas;
    QLabel* Label2;
    QLabel* LabelMarcos;
    QLabel* Label1;
    ItemList* ListBox2;
    ItemList* ListBox1;
    QLabel* LabelSelec;
    FittingLabel* LabelNombre;
    FittingLabel* LabelPlanFec1;
    FittingLabel* LabelPlanFec2;
    QComboBox* ComboBoxPlantilla;
    QPushButton* BitBtnContinuar;
};
