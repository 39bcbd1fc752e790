#pragma once

#include <functional>

class QWidget;

// The hidden widget whose look (font, palette, alignment, as the style rules
// give them) the rows of one list draw in, instead of each row holding a
// widget of its own for it. `make` makes it the first time `key` is asked for,
// as a child of the rows' parent (of `row` itself without one); it is kept
// there under `key`, hidden, and returned polished.
QWidget* sharedLook(const QWidget* row, const char* key, const std::function<QWidget*(QWidget* home)>& make);
