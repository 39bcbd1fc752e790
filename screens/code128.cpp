#include "screens/code128.h"

#include <QPainter>

#include <memory>
#include <zint.h>

Code128::Code128(const QByteArray& data)
{
    const std::unique_ptr<zint_symbol, void (*)(zint_symbol*)> symbol(ZBarcode_Create(), ZBarcode_Delete);
    if (!symbol) {
        error = QStringLiteral("out of memory");
        return;
    }
    symbol->symbology = BARCODE_CODE128;
    symbol->show_hrt = 0;
    symbol->height = 1;
    const int encoded = ZBarcode_Encode_and_Buffer_Vector(
        symbol.get(), reinterpret_cast<const unsigned char*>(data.constData()), data.size(), 0);
    if (encoded >= ZINT_ERROR || !symbol->vector || symbol->width <= 0) {
        error = QString::fromUtf8(symbol->errtxt);
        return;
    }
    // libzint's vector units are a fixed multiple of the module; the symbol
    // says how many modules wide it is.
    const qreal unit = static_cast<qreal>(symbol->vector->width) / symbol->width;
    for (const zint_vector_rect* rect = symbol->vector->rectangles; rect; rect = rect->next)
        rects.append(QRectF(rect->x / unit, 0, rect->width / unit, 1));
    modules = symbol->width;
}

void Code128::paint(QPainter& painter, const QRectF& area) const
{
    if (!isValid())
        return;
    const qreal module = area.width() / modules;
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    for (const QRectF& bar : rects)
        painter.drawRect(QRectF(area.left() + bar.x() * module, area.top(), bar.width() * module, area.height()));
    painter.restore();
}
