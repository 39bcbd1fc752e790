// The floor of the start-up benchmark: the least a Qt Widgets program does to
// show a dialog with one line of Chinese text, in the client's font. Like the
// client, it asks for raster-only widgets, so that neither sets up OpenGL and
// the two compare like with like.
#include "firstpaint.h"

#include "resources/applicationfont.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QVBoxLayout>

int main(int argc, char* argv[])
{
    reportFirstPaintOf("QDialog");
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    QApplication app(argc, argv);
    QApplication::setFont(applicationFont(QApplication::font()));
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("中小型货站管理助手"), &dialog));
    return dialog.exec();
}
