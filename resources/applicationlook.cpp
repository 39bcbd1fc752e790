#include "resources/applicationlook.h"

#include "resources/applicationfont.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QFont>
#include <QImageReader>
#include <QPixmap>
#include <QPixmapCache>
#include <QStringList>
#include <QTextCodec>

#include <utility>

namespace {

// A value's bytes in memory order, each as its low then its high hex digit:
// how QPixmap writes the numbers of its cache keys.
template <typename T> QString memoryHex(T value)
{
    static const char digits[] = "0123456789abcdef";
    QString text;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&value);
    for (size_t i = 0; i < sizeof value; ++i) {
        text += QLatin1Char(digits[bytes[i] & 0xf]);
        text += QLatin1Char(digits[bytes[i] >> 4]);
    }
    return text;
}

} // namespace

// Q_INIT_RESOURCE must be used outside any namespace.
void freymoInitResources()
{
    Q_INIT_RESOURCE(images);
}

const char* applicationStyleSheet()
{
    return "QScrollBar:vertical{border:0px;background:transparent;width:14px;margin:1px;}"
           "QScrollBar:horizontal{border:0px;background:transparent;height:16px;margin:1px;}"
           "QScrollBar::handle{background:#f9f9f9;min-height:20px;border:1px solid #b9b9b9;border-radius:4px;}"
           "QScrollBar::handle:hover{background:#ffffff;}"
           "QScrollBar::add-line,QScrollBar::sub-line{background:#d2cdcd;width:1px;"
           "subcontrol-position:center;margin-right:1px;}"
           "QComboBox,QPlainTextEdit,QLineEdit,QScrollArea{border:1px solid #cccccc;border-radius:4px;padding:2px;}"
           "QComboBox:hover,QPlainTextEdit:hover,QLineEdit:hover,QScrollArea:hover{border:1px solid #94D035;}"
           "QLabel,QToolButton,QCheckBox{font-family:\"Microsoft Yahei\",\"宋体\";font-size:12px;"
           "font-weight:normal;background:transparent;}"
           // A background brush on a check box makes the style drop the frame of
           // its indicator, leaving an unticked box invisible; "none" keeps it
           // transparent and lets the indicator be drawn.
           "QCheckBox{background:none;}"
           "QLineEdit{background:white;}"
           // A field whose text breaks its rule (FieldCheck) says so.
           "QLineEdit[invalid=\"true\"]{border:1px solid #E04040;background:#FFF3F3;}"
           // A ledger's debt owed past a week, and past a month (LedgerItem).
           "QLabel[age=\"week\"]{color:#D08000;font-weight:bold;}"
           "QLabel[age=\"month\"]{color:#E04040;font-weight:bold;}"
           // The item under the pointer in a drop-down list stays legible. A
           // plain type selector: one naming the combo box as an ancestor
           // would make every widget look up its ancestors' properties.
           "QAbstractItemView{background:white;color:#333333;"
           "selection-background-color:#E7F7D9;selection-color:#054500;outline:0px;}"
           "QToolButton#DialogButton{border-width:4px;"
           "border-image:url(:/images/btn_dialog_normal.png) 4 4 4 4 stretch stretch;}"
           "QToolButton#DialogButton:hover{border-image:url(:/images/btn_dialog_hover.png) 4 4 4 4 stretch stretch;}"
           "QToolButton#DialogButton:pressed{border-image:url(:/images/btn_dialog_pressed.png) 4 4 4 4 stretch "
           "stretch;}"
           "QToolButton#GreenButton{border-width:4px;"
           "border-image:url(:/images/btn_normal.png) 4 4 4 4 stretch stretch;}"
           "QToolButton#GreenButton:hover{border-image:url(:/images/btn_hover.png) 4 4 4 4 stretch stretch;}"
           "QToolButton#GreenButton:pressed{border-image:url(:/images/btn_pressed.png) 4 4 4 4 stretch stretch;}";
}

void applyApplicationLook()
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app)
        return;
    app->setStyleSheet(QString::fromUtf8(applicationStyleSheet()));

    QApplication::setFont(applicationFont(QApplication::font()));

    // The "System" codec is the operating system's code page where it exists;
    // on builds where Qt does not offer it, the default (UTF-8) stays, since
    // passing null would silently reset it anyway.
    if (QTextCodec* codec = QTextCodec::codecForName("System"))
        QTextCodec::setCodecForLocale(codec);
}

QString pixmapCacheKey(const QString& fileName)
{
    // As QPixmap::load() of Qt 5.15 makes it: the file's absolute path,
    // modification time and size, and the kind of pixmap (0, a colour
    // pixmap). Should another Qt make it otherwise, the pictures are simply
    // read again where they are shown (and the preload test notices).
    const QFileInfo info(fileName);
    return QStringLiteral("qt_pixmap") + info.absoluteFilePath()
        + memoryHex(uint(info.lastModified().toSecsSinceEpoch())) + memoryHex(quint64(info.size())) + memoryHex(0u);
}

QImage readPicture(const QString& fileName)
{
    QImageReader reader(fileName, QFileInfo(fileName).suffix().toLatin1());
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

bool keepPicture(const QString& fileName, QImage image)
{
    return !image.isNull() && QPixmapCache::insert(pixmapCacheKey(fileName), QPixmap::fromImage(std::move(image)));
}

int preloadPictures(const QStringList& fileNames)
{
    int kept = 0;
    for (const QString& fileName : fileNames) {
        if (keepPicture(fileName, readPicture(fileName)))
            ++kept;
    }
    return kept;
}
