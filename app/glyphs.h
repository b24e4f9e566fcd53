#pragma once

#include <QIcon>

// The glyphs of the program's buttons, drawn here so that they look the same on every platform.
namespace glyphs {

// The green check mark of an OK button.
QIcon checkMark();
// The red cross of a close button.
QIcon cross();

} // namespace glyphs
