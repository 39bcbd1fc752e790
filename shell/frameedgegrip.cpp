#include "shell/frameedgegrip.h"

#include <QMouseEvent>

namespace {
Qt::CursorShape cursorFor(Qt::Edges edges)
{
    const bool horizontal = edges & (Qt::LeftEdge | Qt::RightEdge);
    const bool vertical = edges & (Qt::TopEdge | Qt::BottomEdge);
    if (horizontal && vertical) {
        const bool mainDiagonal = edges == (Qt::TopEdge | Qt::LeftEdge) || edges == (Qt::BottomEdge | Qt::RightEdge);
        return mainDiagonal ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor;
    }
    return horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor;
}
} // namespace

FrameEdgeGrip::FrameEdgeGrip(Qt::Edges edges, QWidget* window)
    : QWidget(window)
    , gripEdges(edges)
    , target(window)
{
    setCursor(cursorFor(edges));
    setMouseTracking(true);
}

void FrameEdgeGrip::place()
{
    const int W = target->width();
    const int H = target->height();
    const int t = Thickness;
    const int c = 2 * Thickness;
    QRect r;
    if (gripEdges == Qt::LeftEdge)
        r = QRect(0, c, t, H - 2 * c);
    else if (gripEdges == Qt::RightEdge)
        r = QRect(W - t, c, t, H - 2 * c);
    else if (gripEdges == Qt::TopEdge)
        r = QRect(c, 0, W - 2 * c, t);
    else if (gripEdges == Qt::BottomEdge)
        r = QRect(c, H - t, W - 2 * c, t);
    else
        r = QRect(gripEdges & Qt::LeftEdge ? 0 : W - c, gripEdges & Qt::TopEdge ? 0 : H - c, c, c);
    setGeometry(r);
    raise();
}

QRect FrameEdgeGrip::resized(const QRect& start, Qt::Edges edges, const QPoint& delta, const QSize& minimum)
{
    int left = start.left();
    int top = start.top();
    int right = start.right();
    int bottom = start.bottom();
    const int minW = qMax(1, minimum.width());
    const int minH = qMax(1, minimum.height());
    if (edges & Qt::LeftEdge)
        left = qMin(left + delta.x(), right - minW + 1);
    if (edges & Qt::RightEdge)
        right = qMax(right + delta.x(), left + minW - 1);
    if (edges & Qt::TopEdge)
        top = qMin(top + delta.y(), bottom - minH + 1);
    if (edges & Qt::BottomEdge)
        bottom = qMax(bottom + delta.y(), top + minH - 1);
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

void FrameEdgeGrip::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    dragging = true;
    pressGlobal = event->globalPos();
    pressGeometry = target->geometry();
    event->accept();
}

void FrameEdgeGrip::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    target->setGeometry(resized(pressGeometry, gripEdges, event->globalPos() - pressGlobal, target->minimumSize()));
    event->accept();
}

void FrameEdgeGrip::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        dragging = false;
    QWidget::mouseReleaseEvent(event);
}
