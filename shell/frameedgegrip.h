#pragma once

#include <QPoint>
#include <QRect>
#include <QWidget>

// An invisible strip along one edge or corner of a frameless window that
// resizes the window when dragged, as a native frame would. The window's
// minimum size is respected, and the opposite edges stay where they are.
class FrameEdgeGrip : public QWidget
{
    Q_OBJECT

public:
    // Width of an edge strip; corners are twice as large in both directions.
    static constexpr int Thickness = 4;

    FrameEdgeGrip(Qt::Edges edges, QWidget* window);

    Qt::Edges edges() const { return gripEdges; }
    // Places the grip along its edge of the window's current rectangle.
    void place();
    // The window geometry that dragging from `start` by `delta` gives.
    static QRect resized(const QRect& start, Qt::Edges edges, const QPoint& delta, const QSize& minimum);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    Qt::Edges gripEdges;
    QWidget* target;
    bool dragging = false;
    QPoint pressGlobal;
    QRect pressGeometry;
};
