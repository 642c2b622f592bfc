#include "Arrays.h"
#include "Databases.h"
#include "Tables.h"

#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <limits>

Q_DECLARE_METATYPE(TVariant)

// Lets QCOMPARE show the values of keys that differ.
char *toString(const TVariant &v)
{
    return qstrdup(v.DebugText().toUtf8().constData());
}

namespace {

// An array of 32-bit integers that counts its change notifications.
class TIntArray : public TAbstractArray
{
public:
    explicit TIntArray(const QList<int> &values = {}) : TAbstractArray(sizeof(qint32))
    {
        for (int value : values)
            SetValue(Add(), value);
        FChanges = 0;
    }

    int Value(int i) const
    {
        qint32 value;
        std::memcpy(&value, Item(i), sizeof value);
        return value;
    }
    void SetValue(int i, qint32 value) { std::memcpy(Item(i), &value, sizeof value); }
    QList<int> Values() const
    {
        QList<int> values;
        for (int i = 0; i < Count(); ++i)
            values << Value(i);
        return values;
    }
    int Changes() const { return FChanges; }

protected:
    void Changed() override { ++FChanges; }

private:
    int FChanges = 0;
};

enum class TArrayOp { Item, Delete, SetCount, SetCapacity };

TVariant keysOf(const TKeysArray &keys)
{
    TVariantArray result;
    for (int i = 0; i < keys.Count(); ++i) {
        TVariant key;
        keys.GetKey(i, key);
        result.push_back(key);
    }
    return TVariant(result);
}

void fill(TKeysArray &keys, const TVariant &values)
{
    for (const TVariant &value : values.Elements())
        keys.AddKey(value);
}

TVariant Arr(std::initializer_list<TVariant> elements)
{
    return TVariant::Array(elements);
}

const int CMaxInt = std::numeric_limits<qint32>::max();

} // namespace

Q_DECLARE_METATYPE(TArrayOp)

class TestArrays : public QObject
{
    Q_OBJECT

private slots:
    void grow_data();
    void grow();
    void addGrowsInSteps_data();
    void addGrowsInSteps();
    void zeroItemSizeRaises_data();
    void zeroItemSizeRaises();
    void boundsLeaveArrayUnchanged_data();
    void boundsLeaveArrayUnchanged();
    void newItemsZeroFilled_data();
    void newItemsZeroFilled();
    void deleteMovesLaterItemsDown_data();
    void deleteMovesLaterItemsDown();
    void itemsEqualComparesBytes();
    void pack_data();
    void pack();
    void consumeKey_data();
    void consumeKey();
    void consumedCountOutlivesBatch();
    void keyBoundsRaise();
    void keysOwnTheirValues();
    void keyItemsEqual();
    void keysEqual_data();
    void keysEqual();
    void keysEqualRaises_data();
    void keysEqualRaises();
    void keyIsEmpty_data();
    void keyIsEmpty();
    void keyLength_data();
    void keyLength();
    void restorePosition_data();
    void restorePosition();
};

void TestArrays::grow_data()
{
    QTest::addColumn<int>("grows");
    QTest::addColumn<int>("capacity");
    const int capacities[] = {4, 8, 16, 32, 48, 64};
    for (int i = 0; i < 6; ++i)
        QTest::addRow("%d grows", i + 1) << i + 1 << capacities[i];
}

void TestArrays::grow()
{
    QFETCH(int, grows);
    QFETCH(int, capacity);
    TIntArray array;
    for (int i = 0; i < grows; ++i)
        array.Grow();
    QCOMPARE(array.Capacity(), capacity);
    QCOMPARE(array.Count(), 0);
}

void TestArrays::addGrowsInSteps_data()
{
    QTest::addColumn<int>("adds");
    QTest::addColumn<int>("capacity");
    QTest::newRow("first item") << 1 << 4;
    QTest::newRow("full at 4") << 4 << 4;
    QTest::newRow("fifth item") << 5 << 8;
    QTest::newRow("ninth item") << 9 << 16;
    QTest::newRow("17th item") << 17 << 32;
    QTest::newRow("33rd item") << 33 << 48;
    QTest::newRow("49th item") << 49 << 64;
}

void TestArrays::addGrowsInSteps()
{
    QFETCH(int, adds);
    QFETCH(int, capacity);
    TIntArray array;
    for (int i = 0; i < adds; ++i) {
        QCOMPARE(array.Add(), i);
        array.SetValue(i, i * 10);
    }
    QCOMPARE(array.Count(), adds);
    QCOMPARE(array.Capacity(), capacity);
    QCOMPARE(array.Value(adds - 1), (adds - 1) * 10);
    QCOMPARE(array.Value(0), 0);
}

void TestArrays::zeroItemSizeRaises_data()
{
    QTest::addColumn<int>("itemSize");
    QTest::newRow("zero") << 0;
    QTest::newRow("negative") << -4;
}

void TestArrays::zeroItemSizeRaises()
{
    QFETCH(int, itemSize);
    try {
        TAbstractArray array(itemSize);
        QFAIL("an item size below 1 was accepted");
    } catch (const EArrayError &e) {
        QCOMPARE(e.Message(), QStringLiteral("Array error"));
    }
}

void TestArrays::boundsLeaveArrayUnchanged_data()
{
    QTest::addColumn<TArrayOp>("op");
    QTest::addColumn<int>("itemSize");
    QTest::addColumn<int>("arg");
    QTest::newRow("Item -1") << TArrayOp::Item << 4 << -1;
    QTest::newRow("Item at Count") << TArrayOp::Item << 4 << 3;
    QTest::newRow("Delete -1") << TArrayOp::Delete << 4 << -1;
    QTest::newRow("Delete at Count") << TArrayOp::Delete << 4 << 3;
    QTest::newRow("SetCount -1") << TArrayOp::SetCount << 4 << -1;
    QTest::newRow("SetCount past byte limit") << TArrayOp::SetCount << 4 << CMaxInt / 4 + 1;
    QTest::newRow("SetCount past byte limit, big items") << TArrayOp::SetCount << 1000 << CMaxInt / 1000 + 1;
    QTest::newRow("SetCapacity below Count") << TArrayOp::SetCapacity << 4 << 2;
    QTest::newRow("SetCapacity -1") << TArrayOp::SetCapacity << 4 << -1;
    QTest::newRow("SetCapacity past byte limit") << TArrayOp::SetCapacity << 4 << CMaxInt / 4 + 1;
    QTest::newRow("SetCapacity past byte limit, big items")
        << TArrayOp::SetCapacity << 1000 << CMaxInt / 1000 + 1;
}

void TestArrays::boundsLeaveArrayUnchanged()
{
    QFETCH(TArrayOp, op);
    QFETCH(int, itemSize);
    QFETCH(int, arg);
    TAbstractArray array(itemSize);
    array.SetCount(3);
    for (int i = 0; i < 3; ++i)
        std::memset(array.Item(i), 'a' + i, size_t(itemSize));
    const int capacity = array.Capacity();

    try {
        switch (op) {
        case TArrayOp::Item:
            array.Item(arg);
            break;
        case TArrayOp::Delete:
            array.Delete(arg);
            break;
        case TArrayOp::SetCount:
            array.SetCount(arg);
            break;
        case TArrayOp::SetCapacity:
            array.SetCapacity(arg);
            break;
        }
        QFAIL("the out-of-range argument was accepted");
    } catch (const EArrayError &e) {
        QCOMPARE(e.Message(), QStringLiteral("Array error"));
    }
    QCOMPARE(array.Count(), 3);
    QCOMPARE(array.Capacity(), capacity);
    for (int i = 0; i < 3; ++i) {
        const auto *bytes = static_cast<const char *>(array.Item(i));
        QCOMPARE(bytes[0], char('a' + i));
        QCOMPARE(bytes[itemSize - 1], char('a' + i));
    }
}

void TestArrays::newItemsZeroFilled_data()
{
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<int>("shrinkTo");
    QTest::addColumn<int>("growTo");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("fresh array") << QList<int>{} << 0 << 3 << QList<int>{0, 0, 0};
    QTest::newRow("regrown after shrink") << QList<int>{7, 8, 9} << 1 << 3 << QList<int>{7, 0, 0};
    QTest::newRow("regrown after emptying") << QList<int>{7, 8, 9} << 0 << 2 << QList<int>{0, 0};
    QTest::newRow("beyond old capacity") << QList<int>{1, 2, 3, 4} << 4 << 6 << QList<int>{1, 2, 3, 4, 0, 0};
}

void TestArrays::newItemsZeroFilled()
{
    QFETCH(QList<int>, values);
    QFETCH(int, shrinkTo);
    QFETCH(int, growTo);
    QFETCH(QList<int>, expected);
    TIntArray array(values);
    array.SetCount(shrinkTo);
    array.SetCount(growTo);
    QCOMPARE(array.Values(), expected);
    QCOMPARE(array.Changes(), 2);
}

void TestArrays::deleteMovesLaterItemsDown_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("first") << 0 << QList<int>{20, 30, 40};
    QTest::newRow("middle") << 1 << QList<int>{10, 30, 40};
    QTest::newRow("last") << 3 << QList<int>{10, 20, 30};
}

void TestArrays::deleteMovesLaterItemsDown()
{
    QFETCH(int, index);
    QFETCH(QList<int>, expected);
    TIntArray array({10, 20, 30, 40});
    array.Delete(index);
    QCOMPARE(array.Values(), expected);
    QCOMPARE(array.Capacity(), 4);
    QCOMPARE(array.Changes(), 1);

    // The slot the delete freed comes back blank, not as a stale copy of the last item.
    QCOMPARE(array.Add(), 3);
    QCOMPARE(array.Value(3), 0);
}

void TestArrays::itemsEqualComparesBytes()
{
    TIntArray array({5, 5, 6, 0});
    QVERIFY(array.ItemsEqual(array.Item(0), array.Item(1)));
    QVERIFY(!array.ItemsEqual(array.Item(1), array.Item(2)));
    QVERIFY(!array.ItemIsEmpty(array.Item(3)));
    array.Pack();
    QCOMPARE(array.Values(), (QList<int>{5, 5, 6, 0}));
}

void TestArrays::pack_data()
{
    QTest::addColumn<TVariant>("keys");
    QTest::addColumn<TVariant>("expected");
    const TVariant null = TVariant::Null();
    QTest::newRow("mixed") << Arr({1, null, QStringLiteral("a"), TVariant(), Arr({null, null}), Arr({0}),
                                   Arr({}), QStringLiteral("b")})
                           << Arr({1, QStringLiteral("a"), Arr({0}), QStringLiteral("b")});
    QTest::newRow("none empty") << Arr({3, 2, 1}) << Arr({3, 2, 1});
    QTest::newRow("all empty") << Arr({null, TVariant(), Arr({TVariant()})}) << Arr({});
    QTest::newRow("empty at both ends") << Arr({null, 1, 2, null}) << Arr({1, 2});
    QTest::newRow("no keys") << Arr({}) << Arr({});
}

void TestArrays::pack()
{
    QFETCH(TVariant, keys);
    QFETCH(TVariant, expected);
    TKeysArray array;
    fill(array, keys);
    array.Pack();
    QCOMPARE(keysOf(array), expected);
}

void TestArrays::consumeKey_data()
{
    QTest::addColumn<QList<int>>("order");
    QTest::newRow("in order") << QList<int>{0, 1, 2};
    QTest::newRow("reversed") << QList<int>{2, 1, 0};
    QTest::newRow("middle first") << QList<int>{1, 2, 0};
}

void TestArrays::consumeKey()
{
    QFETCH(QList<int>, order);
    TKeysArray keys;
    fill(keys,
         Arr({Arr({1, QStringLiteral("x")}), Arr({2, QStringLiteral("y")}), Arr({3, QStringLiteral("z")})}));

    for (int n = 0; n < 3; ++n) {
        const int i = order[n];
        keys.ConsumeKey(i);
        QCOMPARE(keys.ConsumedCount(), n + 1);
        if (n < 2) {
            QCOMPARE(keys.Count(), 3);
            TVariant key;
            keys.GetKey(i, key);
            QVERIFY(key.IsEmpty());
        }
    }
    QCOMPARE(keys.Count(), 0);
}

void TestArrays::consumedCountOutlivesBatch()
{
    TKeysArray keys;
    fill(keys, Arr({1, 2}));
    keys.ConsumeKey(0);
    keys.ConsumeKey(1);
    QCOMPARE(keys.Count(), 0);
    keys.Clear();
    QCOMPARE(keys.ConsumedCount(), 2);

    // Without a reset the old tally carries on: one consumed key of the next batch of three
    // already counts as the third, and the array packs early.
    fill(keys, Arr({3, 4, 5}));
    keys.ConsumeKey(0);
    QCOMPARE(keys.ConsumedCount(), 3);
    QCOMPARE(keysOf(keys), Arr({4, 5}));

    keys.ResetConsumed();
    keys.ConsumeKey(1);
    QCOMPARE(keys.Count(), 2);
    keys.ConsumeKey(0);
    QCOMPARE(keys.Count(), 0);
}

void TestArrays::keyBoundsRaise()
{
    TKeysArray keys;
    fill(keys, Arr({1, 2}));
    TVariant key = 9;
    QVERIFY_THROWS_EXCEPTION(EArrayError, keys.GetKey(2, key));
    QVERIFY_THROWS_EXCEPTION(EArrayError, keys.GetKey(-1, key));
    QCOMPARE(key, TVariant(9));
    QVERIFY_THROWS_EXCEPTION(EArrayError, keys.ConsumeKey(2));
    QVERIFY_THROWS_EXCEPTION(EArrayError, keys.ConsumeKey(-1));
    QCOMPARE(keys.ConsumedCount(), 0);
    QCOMPARE(keysOf(keys), Arr({1, 2}));
}

void TestArrays::keysOwnTheirValues()
{
    // Run under the sanitizer build: a key released twice or left behind shows up there.
    TKeysArray keys;
    for (int i = 0; i < 20; ++i)
        keys.AddKey(Arr({i, QStringLiteral("name %1").arg(i), Arr({QStringLiteral("nested")})}));
    keys.Delete(0);
    keys.SetCount(10);
    QCOMPARE(keys.Count(), 10);
    TVariant key;
    keys.GetKey(9, key);
    QCOMPARE(key, Arr({10, QStringLiteral("name 10"), Arr({QStringLiteral("nested")})}));

    // Keys regrown over released ones are unassigned again.
    keys.SetCount(12);
    keys.GetKey(11, key);
    QVERIFY(key.IsEmpty());
    keys.Clear();
    QCOMPARE(keys.Capacity(), 0);
    keys.AddKey(QStringLiteral("left for the destructor"));
    keys.GetKey(0, key);
    QCOMPARE(key, TVariant(QStringLiteral("left for the destructor")));
}

void TestArrays::keyItemsEqual()
{
    TKeysArray keys;
    fill(keys, Arr({Arr({qint16(5)}), Arr({5}), Arr({5}), TVariant()}));
    QVERIFY(!keys.ItemsEqual(keys.Item(0), keys.Item(1)));
    QVERIFY(keys.ItemsEqual(keys.Item(1), keys.Item(2)));
    QVERIFY(!keys.ItemsEqual(keys.Item(3), keys.Item(2)));
    keys.ConsumeKey(2);
    QVERIFY(keys.ItemIsEmpty(keys.Item(2)));
    QVERIFY_THROWS_EXCEPTION(EVariantError, keys.ItemsEqual(keys.Item(2), keys.Item(3)));
}

void TestArrays::keysEqual_data()
{
    QTest::addColumn<TVariant>("a");
    QTest::addColumn<TVariant>("b");
    QTest::addColumn<bool>("equal");
    const TVariant null = TVariant::Null();
    const QString abc = QStringLiteral("abc");
    QTest::newRow("Integer 5, Integer 5") << TVariant(5) << TVariant(5) << true;
    QTest::newRow("Integer 5, Integer 6") << TVariant(5) << TVariant(6) << false;
    QTest::newRow("Smallint 5, Integer 5") << TVariant(qint16(5)) << TVariant(5) << false;
    QTest::newRow("Integer 5, Double 5.0") << TVariant(5) << TVariant(5.0) << false;
    QTest::newRow("Integer 5, Int64 5") << TVariant(5) << TVariant(5LL) << false;
    QTest::newRow("Int64, Int64") << TVariant(1LL << 40) << TVariant(1LL << 40) << true;
    QTest::newRow("Double, Double") << TVariant(0.5) << TVariant(0.5) << true;
    QTest::newRow("Date, same Date") << TVariant(TDateTime{45000.25}) << TVariant(TDateTime{45000.25})
                                     << true;
    QTest::newRow("Date, Double") << TVariant(TDateTime{45000.25}) << TVariant(45000.25) << false;
    QTest::newRow("Currency, Currency") << TVariant(TCurrency{12345}) << TVariant(TCurrency{12345}) << true;
    QTest::newRow("Currency, other Currency")
        << TVariant(TCurrency{12345}) << TVariant(TCurrency{12346}) << false;
    QTest::newRow("true, true") << TVariant(true) << TVariant(true) << true;
    QTest::newRow("true, false") << TVariant(true) << TVariant(false) << false;
    QTest::newRow("Null, Null") << null << null << true;
    QTest::newRow("Null, 0") << null << TVariant(0) << false;
    QTest::newRow("Null, empty string") << null << TVariant(QString()) << false;
    QTest::newRow("Null, unassigned") << null << TVariant() << false;
    QTest::newRow("unassigned, 5") << TVariant() << TVariant(5) << false;
    QTest::newRow("same string") << TVariant(abc) << TVariant(QStringLiteral("abc")) << true;
    QTest::newRow("string, other case") << TVariant(abc) << TVariant(QStringLiteral("ABC")) << false;
    QTest::newRow("string, longer string") << TVariant(abc) << TVariant(QStringLiteral("abc ")) << false;
    QTest::newRow("string, number") << TVariant(QStringLiteral("5")) << TVariant(5) << false;
    QTest::newRow("same arrays") << Arr({1, abc}) << Arr({1, abc}) << true;
    QTest::newRow("arrays, one element differs") << Arr({1, abc}) << Arr({1, QStringLiteral("abd")}) << false;
    QTest::newRow("arrays of different lengths") << Arr({1}) << Arr({1, 2}) << false;
    QTest::newRow("two empty arrays") << Arr({}) << Arr({}) << true;
    QTest::newRow("empty array, Null") << Arr({}) << null << false;
    QTest::newRow("array, its only element") << Arr({5}) << TVariant(5) << false;
    QTest::newRow("arrays of nulls") << Arr({null, 1}) << Arr({null, 1}) << true;
    QTest::newRow("nested arrays") << Arr({Arr({1, 2}), abc}) << Arr({Arr({1, 2}), abc}) << true;
    QTest::newRow("nested arrays, inner kinds differ")
        << Arr({Arr({1, 2}), abc}) << Arr({Arr({1, qint16(2)}), abc}) << false;
    QTest::newRow("nested, inner lengths differ") << Arr({Arr({1})}) << Arr({Arr({1, 2})}) << false;
    QTest::newRow("first unequal pair decides") << Arr({1, TVariant()}) << Arr({2, TVariant()}) << false;
}

void TestArrays::keysEqual()
{
    QFETCH(TVariant, a);
    QFETCH(TVariant, b);
    QFETCH(bool, equal);
    QCOMPARE(KeysEqual(a, b), equal);
    QCOMPARE(KeysEqual(b, a), equal);
}

void TestArrays::keysEqualRaises_data()
{
    QTest::addColumn<TVariant>("a");
    QTest::addColumn<TVariant>("b");
    QTest::newRow("unassigned, unassigned") << TVariant() << TVariant();
    QTest::newRow("bytes, bytes") << TVariant(QByteArray("x")) << TVariant(QByteArray("x"));
    QTest::newRow("unassigned inside arrays") << Arr({1, TVariant()}) << Arr({1, TVariant()});
    QTest::newRow("unassigned inside nested arrays") << Arr({Arr({TVariant()})}) << Arr({Arr({TVariant()})});
}

void TestArrays::keysEqualRaises()
{
    QFETCH(TVariant, a);
    QFETCH(TVariant, b);
    try {
        KeysEqual(a, b);
        QFAIL("the comparison did not raise");
    } catch (const EVariantError &e) {
        QCOMPARE(e.Message(), QStringLiteral("Invalid variant operation"));
    }
}

void TestArrays::keyIsEmpty_data()
{
    QTest::addColumn<TVariant>("key");
    QTest::addColumn<bool>("empty");
    const TVariant null = TVariant::Null();
    QTest::newRow("unassigned") << TVariant() << true;
    QTest::newRow("Null") << null << true;
    QTest::newRow("0") << TVariant(0) << false;
    QTest::newRow("empty string") << TVariant(QString()) << false;
    QTest::newRow("empty array") << Arr({}) << true;
    QTest::newRow("array of nulls") << Arr({null, null}) << true;
    QTest::newRow("array of null and unassigned") << Arr({null, TVariant()}) << true;
    QTest::newRow("array holding 0") << Arr({0}) << false;
    QTest::newRow("array of null and 0") << Arr({null, 0}) << false;
    QTest::newRow("nested empty arrays") << Arr({Arr({null}), Arr({})}) << true;
    QTest::newRow("nested value") << Arr({Arr({null, false})}) << false;
}

void TestArrays::keyIsEmpty()
{
    QFETCH(TVariant, key);
    QFETCH(bool, empty);
    QCOMPARE(KeyIsEmpty(key), empty);
}

void TestArrays::keyLength_data()
{
    QTest::addColumn<TVariant>("key");
    QTest::addColumn<int>("length");
    QTest::newRow("empty array") << Arr({}) << 0;
    QTest::newRow("one field") << Arr({7}) << 1;
    QTest::newRow("three fields") << Arr({7, TVariant::Null(), QStringLiteral("x")}) << 3;
    QTest::newRow("nested counts the outer level") << Arr({Arr({1, 2, 3}), 4}) << 2;
    QTest::newRow("Integer raises") << TVariant(7) << -1;
    QTest::newRow("unassigned raises") << TVariant() << -1;
    QTest::newRow("Null raises") << TVariant::Null() << -1;
}

void TestArrays::keyLength()
{
    QFETCH(TVariant, key);
    QFETCH(int, length);
    if (length >= 0) {
        QCOMPARE(KeyLength(key), length);
        return;
    }
    try {
        KeyLength(key);
        QFAIL("a key that is not an array has a length");
    } catch (const EVariantError &e) {
        QCOMPARE(e.Message(), QStringLiteral("Invalid variant operation"));
    }
}

void TestArrays::restorePosition_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("wasBof");
    QTest::addColumn<bool>("wasEof");
    QTest::addColumn<int>("expectedId"); // 0: the cursor stays where the walk left it

    QTest::newRow("on a record") << 5 << false << false << 3;
    QTest::newRow("past the end") << 5 << false << true << 5;
    QTest::newRow("before the start") << 5 << true << false << 1;
    QTest::newRow("empty") << 0 << true << true << 0;
}

void TestArrays::restorePosition()
{
    QFETCH(int, rows);
    QFETCH(bool, wasBof);
    QFETCH(bool, wasEof);
    QFETCH(int, expectedId);

    QTemporaryDir dir;
    TDatabase db;
    db.SetDriverName(QStringLiteral("SQLITE"));
    db.SetParams({QStringLiteral("DATABASE NAME=") + dir.filePath(QStringLiteral("keys.db")),
                  QStringLiteral("CREATE=TRUE")});
    db.Open();
    db.ExecSQL(QStringLiteral("CREATE TABLE T (ID INTEGER PRIMARY KEY)"));
    for (int id = 1; id <= rows; ++id)
        db.ExecSQL(QStringLiteral("INSERT INTO T (ID) VALUES (?)"), {TVariant(qint32(id))});
    TTable table;
    table.SetDatabase(&db);
    table.SetTableName(QStringLiteral("T"));
    table.SetIndexName(QStringLiteral("PrimaryKey"));
    table.Open();

    TVariant bookmark;
    if (rows > 0) {
        table.Locate(QStringLiteral("ID"), TVariant(qint32(3)));
        bookmark = table.GetBookmark();
        table.Locate(QStringLiteral("ID"), TVariant(qint32(2))); // where a walk might leave it
    }
    RestorePosition(&table, bookmark, wasBof, wasEof);
    if (expectedId == 0) {
        QVERIFY(table.IsEmpty());
    } else {
        QCOMPARE(table.FieldByName(QStringLiteral("ID"))->AsInteger(), expectedId);
        QCOMPARE(table.Bof(), wasBof);
        QCOMPARE(table.Eof(), wasEof);
    }
}

QTEST_GUILESS_MAIN(TestArrays)
#include "tst_Arrays.moc"
