#pragma once

#include <QIcon>

namespace controlprofes {

enum class Glyph { First, PriorPage, Prior, Next, NextPage, Last, Edit, Refresh };

// The glyph of a navigator button: a navy shape.
QIcon navigatorGlyph(Glyph glyph);

} // namespace controlprofes
