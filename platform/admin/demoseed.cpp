#include "demoseed.h"

#include "sessionservice.h"
#include "sql.h"
#include "storage.h"
#include "transaction.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <QVector>

#include <cmath>
#include <random>

namespace platform {

namespace {

struct StationPlan
{
    QString username;
    QString name;
    QString linkman;
    QString address;
    QString summary;
    QString province; // plate prefix, e.g. "鲁"
    QString cityLetter; // plate letter
    QString areaCode; // four-digit landline prefix
    QString homeCity; // start of every line
    QString homeAddress; // province and city of the shippers
    QStringList districts; // short names, for company names
    QStringList addressDistricts;
    int trucksOnRoad;
    int trucksLoaded;
    int trucksEmpty;
    int shippers;
    int consignees;
    int trades;
};

struct Industry
{
    const char* industry;
    const char* suffix;
    QStringList goods;
};

struct City
{
    const char* city;
    const char* province;
    const char* district;
};

class Generator
{
public:
    explicit Generator(quint32 seed)
        : random(seed)
    {
    }

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); }
    int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }
    bool chance(int percent) { return below(100) < percent; }
    template <class T> const T& pick(const QVector<T>& list) { return list.at(below(list.size())); }
    QString pick(const QStringList& list) { return list.at(below(list.size())); }

    QString digits(int count)
    {
        QString text;
        for (int i = 0; i < count; ++i)
            text.append(QChar(u'0' + below(10)));
        return text;
    }

    // An eleven-digit mobile number with a prefix that the truck form accepts.
    QString mobile()
    {
        static const QStringList prefixes
            = { "134", "135", "136", "137", "138", "139", "150", "151", "152", "157", "158", "159", "182", "183", "187",
                  "188", "130", "131", "132", "155", "156", "185", "186", "133", "153", "180", "181", "189" };
        return pick(prefixes) + digits(8);
    }

    QString personName()
    {
        static const QStringList surnames = { "王", "李", "张", "刘", "陈", "杨", "黄", "赵", "吴", "周", "徐", "孙",
            "马", "朱", "胡", "郭", "何", "高", "林", "罗", "郑", "梁", "谢", "宋", "唐", "韩", "冯", "邓", "曹", "彭",
            "田", "董", "潘", "蒋", "蔡", "魏" };
        static const QStringList given = { "建国", "志强", "海涛", "永刚", "国庆", "春生", "德明", "立军", "红兵",
            "卫东", "文斌", "振华", "宝山", "长江", "金龙", "学军", "明亮", "庆丰", "东升", "晓峰", "俊杰", "传福",
            "玉林", "守成", "秀英", "桂兰", "丽华", "海燕", "淑珍", "凤芝" };
        return pick(surnames) + pick(given);
    }

    QString plate(const StationPlan& plan)
    {
        static const QString chars = QStringLiteral("0123456789ABCDEFGHJKLMNPQRSTUVWXYZ");
        QString text = plan.province + plan.cityLetter;
        for (int i = 0; i < 5; ++i)
            text.append(i < 2 && chance(50) ? chars.at(10 + below(chars.size() - 10)) : chars.at(below(10)));
        return text;
    }

private:
    std::mt19937 random;
};

const QVector<Industry>& industries()
{
    static const QVector<Industry> list = {
        { "建材", "建材有限公司", { "水泥", "石膏板", "防水卷材", "保温板" } },
        { "五金", "五金制品厂", { "五金配件", "不锈钢管件", "合页拉手" } },
        { "食品", "食品有限公司", { "方便面", "饮料", "食用油", "饼干" } },
        { "板材", "木业有限公司", { "胶合板", "生态板", "密度板" } },
        { "化工", "化工有限公司", { "建筑涂料", "化肥", "塑料颗粒" } },
        { "陶瓷", "陶瓷有限公司", { "瓷砖", "卫浴洁具" } },
        { "农资", "农资经营部", { "复合肥", "农药", "玉米种子" } },
        { "纺织", "纺织有限公司", { "棉纱", "坯布", "床上用品" } },
        { "机械", "机械制造有限公司", { "农机配件", "轴承", "电动机" } },
        { "日化", "日化用品厂", { "洗衣粉", "洗发水", "香皂" } },
        { "小商品", "工艺品有限公司", { "圣诞饰品", "小五金", "文具", "玩具" } },
    };
    return list;
}

const QVector<City>& destinations()
{
    static const QVector<City> list = {
        { "济南", "山东省", "历城区" },
        { "青岛", "山东省", "城阳区" },
        { "上海", "上海市", "嘉定区" },
        { "南京", "江苏省", "江宁区" },
        { "杭州", "浙江省", "萧山区" },
        { "合肥", "安徽省", "蜀山区" },
        { "郑州", "河南省", "金水区" },
        { "石家庄", "河北省", "裕华区" },
        { "天津", "天津市", "北辰区" },
        { "北京", "北京市", "大兴区" },
        { "徐州", "江苏省", "铜山区" },
        { "苏州", "江苏省", "吴中区" },
        { "宁波", "浙江省", "鄞州区" },
        { "武汉", "湖北省", "东西湖区" },
        { "西安", "陕西省", "未央区" },
    };
    return list;
}

const QStringList& streets()
{
    static const QStringList list = { "解放路", "沂蒙路", "通达路", "金雀山路", "工业大道", "北京路", "上海路",
        "南京路", "滨河大道", "建设路", "人民路", "长江路", "黄河路", "商贸大道" };
    return list;
}

const QStringList& cores()
{
    static const QStringList list = { "华泰", "鑫源", "金盛", "宏达", "恒通", "瑞丰", "永安", "天成", "利民", "富华",
        "东方", "裕丰", "众诚", "德胜", "嘉禾", "兴旺", "顺发", "汇通" };
    return list;
}

QString timeText(const QDateTime& time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

// Rounds to a whole multiple of `step` (10 yuan, 100 yuan).
double roundTo(double value, double step)
{
    return std::round(value / step) * step;
}

struct Party
{
    qint64 id;
    QString industry;
    QString city;
};

void seedStation(const QSqlDatabase& db, const StationPlan& plan, Generator& g)
{
    const QDateTime now = QDateTime::currentDateTime();
    qint64 organ = 0;
    {
        Sql q(db,
            QStringLiteral("INSERT INTO organs (name, linkman, mobile_number, address, summary, create_time)"
                           " VALUES (?, ?, ?, ?, ?, ?)"));
        q.bind(plan.name)
            .bind(plan.linkman)
            .bind(g.mobile())
            .bind(plan.address)
            .bind(plan.summary)
            .bind(timeText(now.addDays(-400)))
            .exec();
        organ = q.lastInsertId();
    }
    SessionService::createUser(db, organ, plan.username, QString::fromLatin1(DemoSeed::demoPassword()));

    // Trucks: on the road, resting with loads, resting and empty.
    struct Truck
    {
        qint64 id;
        int state; // 0 on the road, 1 loaded, 2 empty
    };
    QVector<Truck> trucks;
    QSet<QString> plates;
    const int truckCount = plan.trucksOnRoad + plan.trucksLoaded + plan.trucksEmpty;
    static const QStringList companies = { "通达运输有限公司", "鑫源物流车队", "顺风货运有限公司", "恒通运输队" };
    for (int i = 0; i < truckCount; ++i) {
        QString plate;
        do {
            plate = g.plate(plan);
        } while (plates.contains(plate));
        plates.insert(plate);
        const int level = g.chance(60) ? 0 : 1; // 重卡 or 中卡
        const double tonnage
            = level == 0 ? g.pick(QVector<double> { 25, 30, 32, 35 }) : g.pick(QVector<double> { 8, 10, 12, 15 });
        const double length
            = level == 0 ? g.pick(QVector<double> { 9.6, 13, 13.5, 17.5 }) : g.pick(QVector<double> { 6.8, 7.6, 7.8 });
        const bool twoDrivers = level == 0 && g.chance(60);
        const bool company = g.chance(50);
        Sql q(db,
            QStringLiteral("INSERT INTO trucks (organ, number, driving_mode, tonnage_level, tonnage,"
                           " packingcase_mode, packingcase_length, packingcase_width, packingcase_height,"
                           " driver1_name, driver1_mobile, driver2_name, driver2_mobile, company_name,"
                           " company_tel, notes, status, create_time)"
                           " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        q.bind(organ)
            .bind(plate)
            .bind(level == 0 ? g.pick(QVector<int> { 3, 4 }) : g.pick(QVector<int> { 1, 2 }))
            .bind(level)
            .bind(tonnage)
            .bind(1 + g.below(5))
            .bind(length)
            .bind(length > 9 ? 2.4 : 2.3)
            .bind(g.pick(QVector<double> { 2.5, 2.6, 2.7 }))
            .bind(g.personName())
            .bind(g.mobile())
            .bind(twoDrivers ? g.personName() : QString())
            .bind(twoDrivers ? g.mobile() : QString())
            .bind(company ? plan.homeCity + g.pick(companies) : QString())
            .bind(company ? plan.areaCode + g.digits(7) : QString())
            .bind(g.chance(20) ? QStringLiteral("长期跑%1专线").arg(g.pick(destinations()).city) : QString())
            .bind(i < plan.trucksOnRoad ? 1 : 0)
            .bind(timeText(now.addDays(-300 + i * 7)))
            .exec();
        trucks.append(
            { q.lastInsertId(), i < plan.trucksOnRoad ? 0 : (i < plan.trucksOnRoad + plan.trucksLoaded ? 1 : 2) });
    }

    // Shippers at home, consignees at the destinations.
    QVector<Party> shippers;
    QSet<QString> names;
    for (int i = 0; i < plan.shippers; ++i) {
        const Industry& industry = industries().at(i % industries().size());
        QString name;
        do {
            name = g.pick(plan.districts) + g.pick(cores()) + QString::fromUtf8(industry.suffix);
        } while (names.contains(name));
        names.insert(name);
        Sql q(db,
            QStringLiteral("INSERT INTO shippers (organ, name, address, industry, linkman, tel1, tel2, notes,"
                           " create_time) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        q.bind(organ)
            .bind(name)
            .bind(plan.homeAddress + g.pick(plan.addressDistricts) + g.pick(streets())
                + QString::number(g.between(1, 399)) + "号")
            .bind(QString::fromUtf8(industry.industry))
            .bind(g.personName())
            .bind(g.mobile())
            .bind(g.chance(60) ? plan.areaCode + g.digits(7) : QString())
            .bind(g.chance(15) ? QStringLiteral("月结客户") : QString())
            .bind(timeText(now.addDays(-200 + i)))
            .exec();
        shippers.append({ q.lastInsertId(), QString::fromUtf8(industry.industry), QString() });
    }
    QVector<Party> consignees;
    static const QStringList kinds
        = { "商贸有限公司", "建材市场", "五金批发部", "物资供应站", "百货商行", "超市配送中心" };
    static const QHash<QString, QString> areaCodes
        = { { "济南", "0531" }, { "青岛", "0532" }, { "上海", "021" }, { "南京", "025" }, { "杭州", "0571" },
              { "合肥", "0551" }, { "郑州", "0371" }, { "石家庄", "0311" }, { "天津", "022" }, { "北京", "010" },
              { "徐州", "0516" }, { "苏州", "0512" }, { "宁波", "0574" }, { "武汉", "027" }, { "西安", "029" } };
    for (int i = 0; i < plan.consignees; ++i) {
        const City& city = destinations().at(i % destinations().size());
        const QString cityName = QString::fromUtf8(city.city);
        QString name;
        do {
            name = cityName + g.pick(cores()) + g.pick(kinds);
        } while (names.contains(name));
        names.insert(name);
        const QString province = QString::fromUtf8(city.province);
        const QString cityPart = province.endsWith(QStringLiteral("市")) ? QString() : cityName + QStringLiteral("市");
        const QString code = areaCodes.value(cityName);
        Sql q(db,
            QStringLiteral("INSERT INTO consignees (organ, name, address, linkman, tel1, tel2, notes, create_time)"
                           " VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
        q.bind(organ)
            .bind(name)
            .bind(province + cityPart + QString::fromUtf8(city.district) + g.pick(streets())
                + QString::number(g.between(1, 599)) + "号")
            .bind(g.personName())
            .bind(g.mobile())
            .bind(g.chance(50) ? code + g.digits(11 - code.size()) : QString())
            .bind(QString())
            .bind(timeText(now.addDays(-200 + i)))
            .exec();
        consignees.append({ q.lastInsertId(), QString(), cityName });
    }

    // Trades: the loads of the trucks on the road and of the loaded ones,
    // and a history of delivered trades across the whole fleet.
    auto addTrade = [&](const Truck& truck, int status, const QDateTime& created) {
        const Party& shipper = g.pick(shippers);
        const Party& consignee = g.pick(consignees);
        QStringList goods;
        for (const Industry& industry : industries()) {
            if (QString::fromUtf8(industry.industry) == shipper.industry)
                goods = industry.goods;
        }
        const double weight = g.between(10, 300) / 10.0; // tons, one decimal
        const double revenue = roundTo(weight * g.between(120, 380), 10);
        const double payout = roundTo(revenue * 0.7, 10);
        const bool agency = g.chance(40);
        const QDateTime started = created.addSecs(g.between(2, 20) * 3600);
        const QDateTime completed = started.addSecs(g.between(20, 60) * 3600);
        int payoutStatus = 0;
        int agencyStatus = 0;
        QString payAgencyTime;
        if (status == 2) {
            payoutStatus = g.pick(QVector<int> { 0, 1, 2, 2, 2 });
            if (agency && g.chance(60)) {
                agencyStatus = 1;
                payAgencyTime = timeText(completed.addSecs(g.between(2, 48) * 3600));
            }
        } else if (status == 1) {
            payoutStatus = g.chance(30) ? 1 : 0;
        }
        Sql q(db,
            QStringLiteral("INSERT INTO trades (organ, truck, shipper, consignee, line, goods, weight, value,"
                           " is_agency, revenue, payout, notes, status, payout_status, agency_status, create_time,"
                           " start_time, complete_time, pay_agency_time)"
                           " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        q.bind(organ)
            .bind(truck.id)
            .bind(shipper.id)
            .bind(consignee.id)
            .bind(plan.homeCity + QStringLiteral("—") + consignee.city)
            .bind(g.pick(goods))
            .bind(weight)
            .bind(roundTo(g.between(5000, 200000), 100))
            .bind(agency ? 1 : 0)
            .bind(revenue)
            .bind(payout)
            .bind(g.chance(15) ? QStringLiteral("易碎，轻装轻卸") : QString())
            .bind(status)
            .bind(payoutStatus)
            .bind(agencyStatus)
            .bind(timeText(created))
            .bind(status >= 1 ? timeText(started) : QString())
            .bind(status == 2 ? timeText(completed) : QString())
            .bind(payAgencyTime)
            .exec();
    };

    // History first, so that ids follow the times as they would in use.
    int open = 0;
    for (const Truck& truck : trucks)
        open += truck.state == 0 ? 2 : (truck.state == 1 ? 1 : 0);
    const int delivered = std::max(0, plan.trades - open);
    for (int i = 0; i < delivered; ++i) {
        const QDateTime created = now.addSecs(-(30 - i * 27 / std::max(1, delivered)) * 86400 - g.between(0, 40000));
        addTrade(trucks.at(g.below(trucks.size())), 2, created);
    }
    for (const Truck& truck : trucks) {
        if (truck.state == 0) {
            for (int k = 0; k < 2; ++k)
                addTrade(truck, 1, now.addSecs(-g.between(30, 40) * 3600));
        }
    }
    for (const Truck& truck : trucks) {
        if (truck.state == 1)
            addTrade(truck, 0, now.addSecs(-g.between(1, 5) * 3600));
    }
}

} // namespace

bool DemoSeed::seedIfEmpty(const Storage& storage)
{
    const QSqlDatabase db = storage.connection();
    Transaction transaction(db, Transaction::Write);
    if (Sql::scalar(db, QStringLiteral("SELECT COUNT(*) FROM organs")).toLongLong() > 0)
        return false;

    Generator generator(20240607);
    const StationPlan main {
        QStringLiteral("demo"),
        QStringLiteral("临沂顺达物流配货站"),
        QStringLiteral("王建国"),
        QStringLiteral("山东省临沂市兰山区义堂镇物流园A区18号"),
        QStringLiteral("专营临沂发往华东、华北各地的整车与零担货运，日发车二十余班，提供代收货款服务。"),
        QStringLiteral("鲁"),
        QStringLiteral("Q"),
        QStringLiteral("0539"),
        QStringLiteral("临沂"),
        QStringLiteral("山东省临沂市"),
        { QStringLiteral("兰山"), QStringLiteral("罗庄"), QStringLiteral("河东"), QStringLiteral("沂南"),
            QStringLiteral("郯城"), QStringLiteral("沂水"), QStringLiteral("兰陵"), QStringLiteral("费县"),
            QStringLiteral("平邑"), QStringLiteral("莒南"), QStringLiteral("临沭") },
        { QStringLiteral("兰山区"), QStringLiteral("罗庄区"), QStringLiteral("河东区"), QStringLiteral("沂南县"),
            QStringLiteral("郯城县"), QStringLiteral("沂水县"), QStringLiteral("兰陵县"), QStringLiteral("费县"),
            QStringLiteral("平邑县"), QStringLiteral("莒南县"), QStringLiteral("临沭县") },
        5,
        6,
        3,
        30,
        30,
        60,
    };
    const StationPlan second {
        QStringLiteral("demo2"),
        QStringLiteral("义乌宏远货运配载站"),
        QStringLiteral("陈海峰"),
        QStringLiteral("浙江省义乌市稠江街道物流中心B座6号"),
        QStringLiteral("义乌小商品发往全国各地的专线配载。"),
        QStringLiteral("浙"),
        QStringLiteral("G"),
        QStringLiteral("0579"),
        QStringLiteral("义乌"),
        QStringLiteral("浙江省义乌市"),
        { QStringLiteral("稠城"), QStringLiteral("北苑"), QStringLiteral("稠江"), QStringLiteral("江东"),
            QStringLiteral("后宅"), QStringLiteral("佛堂") },
        { QStringLiteral("稠城街道"), QStringLiteral("北苑街道"), QStringLiteral("稠江街道"),
            QStringLiteral("江东街道"), QStringLiteral("后宅街道"), QStringLiteral("佛堂镇") },
        2,
        2,
        2,
        10,
        10,
        20,
    };
    seedStation(db, main, generator);
    seedStation(db, second, generator);
    transaction.commit();
    return true;
}

} // namespace platform
