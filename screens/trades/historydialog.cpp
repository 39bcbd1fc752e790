#include "screens/trades/historydialog.h"

#include "net/api.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonObject>
#include <QListWidget>
#include <QToolButton>

namespace {

QString actionText(const QString& action)
{
    static const QHash<QString, QString> texts = {
        { QStringLiteral("add"), QStringLiteral("新建") },
        { QStringLiteral("edit"), QStringLiteral("修改") },
        { QStringLiteral("delete"), QStringLiteral("删除") },
        { QStringLiteral("status"), QStringLiteral("状态变更") },
        { QStringLiteral("settle"), QStringLiteral("结算") },
    };
    return texts.value(action, action);
}

QString fieldText(const QString& field)
{
    static const QHash<QString, QString> texts = {
        { QStringLiteral("number"), QStringLiteral("车牌号码") },
        { QStringLiteral("driving_mode"), QStringLiteral("驱动形式") },
        { QStringLiteral("tonnage_level"), QStringLiteral("吨位级别") },
        { QStringLiteral("tonnage"), QStringLiteral("额定载重") },
        { QStringLiteral("packingcase_mode"), QStringLiteral("货箱形式") },
        { QStringLiteral("packingcase_length"), QStringLiteral("货箱长度") },
        { QStringLiteral("packingcase_width"), QStringLiteral("货箱宽度") },
        { QStringLiteral("packingcase_height"), QStringLiteral("货箱高度") },
        { QStringLiteral("photo1"), QStringLiteral("照片1") },
        { QStringLiteral("photo2"), QStringLiteral("照片2") },
        { QStringLiteral("driver1_name"), QStringLiteral("司机1姓名") },
        { QStringLiteral("driver1_mobile"), QStringLiteral("司机1手机") },
        { QStringLiteral("driver2_name"), QStringLiteral("司机2姓名") },
        { QStringLiteral("driver2_mobile"), QStringLiteral("司机2手机") },
        { QStringLiteral("company_name"), QStringLiteral("公司") },
        { QStringLiteral("company_tel"), QStringLiteral("公司电话") },
        { QStringLiteral("notes"), QStringLiteral("备注") },
        { QStringLiteral("status"), QStringLiteral("状态") },
        { QStringLiteral("name"), QStringLiteral("名称") },
        { QStringLiteral("address"), QStringLiteral("地址") },
        { QStringLiteral("industry"), QStringLiteral("行业") },
        { QStringLiteral("linkman"), QStringLiteral("联系人") },
        { QStringLiteral("tel1"), QStringLiteral("联系电话1") },
        { QStringLiteral("tel2"), QStringLiteral("联系电话2") },
        { QStringLiteral("truck"), QStringLiteral("货车") },
        { QStringLiteral("shipper"), QStringLiteral("托运人") },
        { QStringLiteral("consignee"), QStringLiteral("收货人") },
        { QStringLiteral("line"), QStringLiteral("线路") },
        { QStringLiteral("goods"), QStringLiteral("货物") },
        { QStringLiteral("weight"), QStringLiteral("重量") },
        { QStringLiteral("value"), QStringLiteral("价值") },
        { QStringLiteral("is_agency"), QStringLiteral("代收款") },
        { QStringLiteral("revenue"), QStringLiteral("收入") },
        { QStringLiteral("payout"), QStringLiteral("支出") },
        { QStringLiteral("payout_status"), QStringLiteral("支付司机") },
        { QStringLiteral("agency_status"), QStringLiteral("支付代收款") },
    };
    return texts.value(field, field);
}

// A value as the clerk knows it: states by their names, the rest as sent.
QString valueText(RecordKind kind, const QString& field, const QJsonValue& value)
{
    const QString raw = value.toVariant().toString();
    const int n = value.toVariant().toInt();
    if (field == QLatin1String("status") && kind == RecordKind::Truck)
        return n == 1 ? QStringLiteral("运输在途") : QStringLiteral("空闲");
    if (field == QLatin1String("status") && kind == RecordKind::Trade) {
        const QString names[] = { QStringLiteral("待发车"), QStringLiteral("运输在途"), QStringLiteral("完成") };
        return n >= 0 && n < 3 ? names[n] : raw;
    }
    if (field == QLatin1String("payout_status")) {
        const QString names[] = { QStringLiteral("未付"), QStringLiteral("部分支付"), QStringLiteral("已全部支付") };
        return n >= 0 && n < 3 ? names[n] : raw;
    }
    if (field == QLatin1String("agency_status"))
        return n == 1 ? QStringLiteral("已付") : QStringLiteral("未付");
    if (field == QLatin1String("is_agency"))
        return n == 1 ? QStringLiteral("是") : QStringLiteral("否");
    return raw.isEmpty() ? QStringLiteral("（空）") : raw;
}

} // namespace

HistoryDialog::HistoryDialog(QWidget* parent)
    : DialogWidget(parent)
    , list(new QListWidget(this))
{
    setObjectName(QStringLiteral("HistoryDialog"));
    setTitle(QStringLiteral("历史记录"));
    list->setObjectName(QStringLiteral("historyList"));
    list->setWordWrap(true);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setFocusPolicy(Qt::NoFocus);
    list->setStyleSheet(
        QStringLiteral("QListWidget{border:none;background:white;}"
                       "QListWidget::item{padding:4px;border-bottom:1px solid #E7F7D9;color:#333333;}"));
    setContent(list);
    connect(this, &DialogWidget::signal_ok, this, [this] { hide(); });
    if (parent)
        parent->installEventFilter(this);
}

void HistoryDialog::open(RecordKind kind, int id)
{
    if (fetching)
        fetching->abandon();
    shownKind = kind;
    list->clear();
    list->addItem(QStringLiteral("正在读取数据，请稍候..."));
    if (parentWidget())
        setGeometry(parentWidget()->rect());
    show();
    raise();
    fetching = API::instance()->fetchHistory(kind, id);
    connect(fetching, &ApiCall::finished, this, &HistoryDialog::slot_fetch_history_finished);
}

void HistoryDialog::slot_fetch_history_finished(const ApiAnswer& answer)
{
    fetching = nullptr;
    list->clear();
    if (!answer.success) {
        list->addItem(QStringLiteral("读取失败！") + answer.errors);
        return;
    }
    const QJsonArray entries = answer.data.toArray();
    if (entries.isEmpty()) {
        list->addItem(QStringLiteral("暂无记录"));
        return;
    }
    for (const QJsonValue& entry : entries)
        list->addItem(entryText(shownKind, entry.toObject()));
}

QString HistoryDialog::entryText(RecordKind kind, const QJsonObject& entry)
{
    QString text = QStringLiteral("%1  %2（%3）  %4")
                       .arg(entry.value(QLatin1String("time")).toString(),
                           entry.value(QLatin1String("name")).toString(), entry.value(QLatin1String("user")).toString(),
                           actionText(entry.value(QLatin1String("action")).toString()));
    const QJsonObject changes = entry.value(QLatin1String("changes")).toObject();
    QStringList lines;
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        const QJsonArray pair = it.value().toArray();
        lines << QStringLiteral("%1：%2 → %3")
                     .arg(fieldText(it.key()), valueText(kind, it.key(), pair.at(0)),
                         valueText(kind, it.key(), pair.at(1)));
    }
    if (!lines.isEmpty())
        text += QLatin1Char('\n') + lines.join(QStringLiteral("；"));
    return text;
}

QToolButton* HistoryDialog::addButton(QWidget* form, QHBoxLayout* header, QToolButton* beside, RecordKind kind, int id)
{
    auto* button = new QToolButton(form);
    button->setObjectName(QStringLiteral("historyButton"));
    button->setText(QStringLiteral("历史记录"));
    button->setStyleSheet(beside->styleSheet());
    button->setCursor(beside->cursor());
    header->insertWidget(header->indexOf(beside), button);
    QPointer<HistoryDialog> dialog;
    QObject::connect(button, &QToolButton::clicked, form, [form, kind, id, dialog]() mutable {
        if (!dialog)
            dialog = new HistoryDialog(form);
        dialog->open(kind, id);
    });
    return button;
}

bool HistoryDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parent() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return DialogWidget::eventFilter(watched, event);
}
