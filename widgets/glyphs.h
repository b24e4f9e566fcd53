#pragma once

#include <QIcon>
#include <functional>

class QPainter;

// The glyphs of the program's buttons, drawn here so that they look the same on every platform.
namespace glyphs {

// The green check mark of an OK button.
QIcon checkMark();
// The red cross of a close button.
QIcon cross();
// A glyph drawn by `paint` on a 16 by 16 grid, at the sizes buttons show.
QIcon drawn(const std::function<void(QPainter&)>& paint);

} // namespace glyphs
