#pragma once

#include <Qt>

class QTextLayout;

namespace widgets {

// Lays `layout` out in lines of `width` pixels, wrapped at word boundaries or, for a word
// longer than a line, anywhere in it; gives the height of its lines together.
qreal wrapWithin(QTextLayout& layout, qreal width, Qt::Alignment alignment = Qt::AlignLeft);

} // namespace widgets
