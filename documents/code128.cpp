#include "documents/code128.h"

#include "documents/runtimelibrary.h"

#include <QPainter>

#include <memory>
#include <zint.h>

namespace {

// The functions of libzint that a symbol needs, loaded at the first barcode
// instead of at start-up: only printed documents have barcodes. The library
// is loaded once, by the file name that its soname gives (found when the
// client was built, so the functions' signatures come from the same
// version's header), and stays loaded.
struct Zint
{
    decltype(&::ZBarcode_Create) create = nullptr;
    decltype(&::ZBarcode_Delete) destroy = nullptr;
    decltype(&::ZBarcode_Encode_and_Buffer_Vector) encode = nullptr;
    // Why the functions are null.
    QString error;
};

Zint loadZint()
{
    Zint zint;
    QLibrary library(QStringLiteral(FREYMO_ZINT_SONAME));
    if (!library.load()) {
        zint.error = library.errorString();
        return zint;
    }
    const bool complete = resolveFunction(library, "ZBarcode_Create", zint.create, zint.error)
        & resolveFunction(library, "ZBarcode_Delete", zint.destroy, zint.error)
        & resolveFunction(library, "ZBarcode_Encode_and_Buffer_Vector", zint.encode, zint.error);
    if (!complete)
        zint.create = nullptr;
    return zint;
}

} // namespace

Code128::Code128(const QByteArray& data)
{
    // Thread-safe once; a library that failed to load is not tried again.
    static const Zint zint = loadZint();
    if (!zint.create) {
        error = zint.error;
        return;
    }
    const std::unique_ptr<zint_symbol, void (*)(zint_symbol*)> symbol(zint.create(), zint.destroy);
    if (!symbol) {
        error = QStringLiteral("out of memory");
        return;
    }
    symbol->symbology = BARCODE_CODE128;
    symbol->show_hrt = 0;
    symbol->height = 1;
    const int encoded
        = zint.encode(symbol.get(), reinterpret_cast<const unsigned char*>(data.constData()), data.size(), 0);
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
