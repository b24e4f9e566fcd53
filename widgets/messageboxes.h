#pragma once

#include <QString>

class QWidget;

// The program's message boxes: titled with the application's title, one OK button, waiting for
// the user; the ordinary pointer shows over them.

// A message; `details`, when given, goes in the box's details part.
void showMessageBox(QWidget* owner, const QString& text, const QString& details = QString());
// The error box for an error that ended a run.
void showErrorBox(QWidget* owner, const QString& text);
