#pragma once

#include <QSize>
#include <QStringList>

class QWidget;

// The root activity of main-window section `index` (0 home, 1 trades,
// 2 shippers, 3 trucks, 4 consignees) as a child of `parent`; null outside
// 0 to 4. Handed to MainWindow as its root activity factory.
QWidget* createRootActivity(int index, QWidget* parent);

// The virtual desktop's size in pixels (all screens together), 0 × 0 without
// a screen. The visit start record reports it.
QSize virtualDesktopSize();

// Loads Qt's own Chinese texts (the standard buttons "确定", "是", "否", the
// line edits' menus) from the system's Qt translations into the running
// application. False when they are not installed; Qt's English texts stay.
bool installQtTranslations();

// Reads the pictures that the login dialog's constructor shows into the
// pixmap cache, each in its own format, so that no other image plugin is
// loaded before its first paint. Call after freymoInitResources().
void preloadLoginPictures();

// The pictures that the login dialog's style sheets show, which are read
// when it is first shown (polished): they can be read while it is made.
QStringList loginStylePictures();

// Sets what must be set before the application object is made: widgets are
// drawn by the raster engine alone, so no window sets up OpenGL.
void setApplicationAttributes();

// The whole program: the application object, its look, the login dialog and,
// once signed in, the main window and the event loop. Returns the exit status;
// a login that is not completed ends the process with -1 instead.
int runApplication(int& argc, char** argv);
