#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The program's message boxes: titled with the application's title, one OK button, waiting for
// the user; the ordinary pointer shows over them.

// A message. Warnings, when there are any, are behind the box's details button, and a line under
// the text says so; `written` (where the run wrote) goes in the details too. A message of many
// lines shows its first lines and the whole text in the details.
void showMessageBox(QWidget* owner, const QString& text, const QStringList& warnings = {},
                    const QString& written = QString());
// The error box for an error that ended a run; `details`, when given, goes in the details too.
void showErrorBox(QWidget* owner, const QString& text, const QStringList& warnings = {},
                  const QString& details = QString());
