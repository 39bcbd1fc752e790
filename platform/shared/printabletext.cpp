#include "printabletext.h"

namespace platform {

namespace {

bool isPrintable(uint codePoint)
{
    switch (QChar::category(codePoint)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return false;
    default:
        return true;
    }
}

} // namespace

QString printableText(const QString& text)
{
    QString printable;
    printable.reserve(text.size());
    // By code point: a character beyond the first 65,536 is a pair of
    // surrogates, judged as a whole; a lone surrogate is replaced.
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            const uint codePoint = QChar::surrogateToUcs4(c, text.at(i + 1));
            if (isPrintable(codePoint))
                printable.append(c).append(text.at(i + 1));
            else
                printable.append(QLatin1Char('?'));
            ++i;
            continue;
        }
        printable.append(isPrintable(c.unicode()) ? c : QLatin1Char('?'));
    }
    return printable;
}

} // namespace platform
