// A tree that breaks the layers, for the layer check's own test.
#include "net/api.h"
#include "screens/board/homeactivity.h"
#include "shell/mainwindow.h"

#include <QPainter>
#include <QWidget>
