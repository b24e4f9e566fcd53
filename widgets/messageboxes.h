#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The program's message boxes: titled with the application's title, one OK button, waiting for
// the user; the ordinary pointer shows over them. Their details are read in a box that can be
// made larger and scrolled with the keys (widgets/detailsbox.h).
//
// Errors: the widgets throw nothing; what fails is told to the user in one of these boxes.

// A message. Warnings, when there are any, are behind the box's details button, and a line under
// the text says so; `written` (where the run wrote) goes in the details too. A message of many
// lines shows its first lines and the whole text in the details.
void showMessageBox(QWidget* owner, const QString& text, const QStringList& warnings = {},
                    const QString& written = QString());
// The error box, with the critical icon: an error that ended a run, or a value or document that
// cannot be taken. `details`, when given, goes in the details too.
void showErrorBox(QWidget* owner, const QString& text, const QStringList& warnings = {},
                  const QString& details = QString());
// The box that ends a run: the message, the run's report behind its details, and, when the
// report was saved as `reportFile`, where under the text and a button that opens it.
void showRunEndBox(QWidget* owner, const QString& text, const QStringList& warnings,
                   const QString& report, const QString& reportFile);
