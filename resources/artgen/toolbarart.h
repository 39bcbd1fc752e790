#pragma once

#include <QImage>

// The tool bar: the five section icons, the "more" button and the tab
// backgrounds of its buttons.
namespace art::toolbar {

enum class Section { Home, Trades, Shippers, Trucks, Consignees };
// A white disc with the section's glyph in green: it reads both on the
// green band and on the light tab of the current section.
QImage sectionIcon(Section section);
QImage moreIcon();
QImage pressedTab();
QImage hoverTab();

} // namespace art::toolbar
