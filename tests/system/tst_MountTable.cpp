#include "MountTable.h"

#include <QTest>

class TestMountTable : public QObject
{
    Q_OBJECT

private slots:
    void ParseLine_data();
    void ParseLine();
    void Malformed_data();
    void Malformed();
    void Unescape_data();
    void Unescape();
    void MountOf_data();
    void MountOf();
};

void TestMountTable::ParseLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("mountPoint");
    QTest::addColumn<QByteArray>("root");
    QTest::addColumn<QByteArrayList>("optional");
    QTest::addColumn<QString>("fileSystem");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("superOptions");

    QTest::newRow("one optional field")
        << QByteArray("36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw,errors=continue")
        << QByteArray("/mnt2") << QByteArray("/mnt1") << QByteArrayList{"master:1"} << QStringLiteral("ext3")
        << QByteArray("/dev/root") << QByteArray("rw,errors=continue");
    QTest::newRow("no optional field")
        << QByteArray("27 1 254:0 / / rw,relatime - ext4 /dev/vda rw,discard") << QByteArray("/")
        << QByteArray("/") << QByteArrayList{} << QStringLiteral("ext4") << QByteArray("/dev/vda")
        << QByteArray("rw,discard");
    QTest::newRow("several optional fields")
        << QByteArray("90 27 11:0 / /media/cd ro,nosuid shared:5 master:2 propagate_from:1 unbindable - "
                      "iso9660 /dev/sr0 ro")
        << QByteArray("/media/cd") << QByteArray("/")
        << QByteArrayList{"shared:5", "master:2", "propagate_from:1", "unbindable"}
        << QStringLiteral("iso9660") << QByteArray("/dev/sr0") << QByteArray("ro");
    QTest::newRow("escaped space, tab, newline, backslash")
        << QByteArray("91 27 7:0 / /media/My\\040Disc\\011\\012\\134x ro - udf /dev/loop0 ro")
        << QByteArray("/media/My Disc\t\n\\x") << QByteArray("/") << QByteArrayList{} << QStringLiteral("udf")
        << QByteArray("/dev/loop0") << QByteArray("ro");
    QTest::newRow("non-UTF-8 bytes kept")
        << QByteArray("92 27 7:1 / /media/caf\xe9 ro - iso9660 /dev/loop1 ro") << QByteArray("/media/caf\xe9")
        << QByteArray("/") << QByteArrayList{} << QStringLiteral("iso9660") << QByteArray("/dev/loop1")
        << QByteArray("ro");
    QTest::newRow("a folder named -") << QByteArray("93 27 0:40 / /mnt/- rw shared:7 - tmpfs tmp\\040fs rw")
                                      << QByteArray("/mnt/-") << QByteArray("/") << QByteArrayList{"shared:7"}
                                      << QStringLiteral("tmpfs") << QByteArray("tmp fs") << QByteArray("rw");
    QTest::newRow("without super options")
        << QByteArray("94 27 0:41 / /x rw - fuse.sshfs host:/") << QByteArray("/x") << QByteArray("/")
        << QByteArrayList{} << QStringLiteral("fuse.sshfs") << QByteArray("host:/") << QByteArray();
}

void TestMountTable::ParseLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, mountPoint);
    QFETCH(QByteArray, root);
    QFETCH(QByteArrayList, optional);
    QFETCH(QString, fileSystem);
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, superOptions);

    const std::optional<TMountEntry> entry = TMountTable::ParseLine(line);
    QVERIFY(entry);
    QCOMPARE(entry->MountPoint, mountPoint);
    QCOMPARE(entry->Root, root);
    QCOMPARE(entry->OptionalFields, optional);
    QCOMPARE(entry->FileSystem, fileSystem);
    QCOMPARE(entry->Source, source);
    QCOMPARE(entry->SuperOptions, superOptions);
}

void TestMountTable::Malformed_data()
{
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("no separator") << QByteArray("27 1 254:0 / / rw ext4 /dev/vda rw");
    QTest::newRow("nothing after the separator") << QByteArray("27 1 254:0 / / rw -");
    QTest::newRow("separator too early") << QByteArray("27 1 254:0 / - ext4 /dev/vda rw");
    QTest::newRow("device without colon") << QByteArray("27 1 254 / / rw - ext4 /dev/vda rw");
    QTest::newRow("id not a number") << QByteArray("x 1 254:0 / / rw - ext4 /dev/vda rw");
}

void TestMountTable::Malformed()
{
    QFETCH(QByteArray, line);
    QVERIFY(!TMountTable::ParseLine(line));
}

void TestMountTable::Unescape_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("space") << QByteArray("a\\040b") << QByteArray("a b");
    QTest::newRow("escaped backslash before digits") << QByteArray("\\134040") << QByteArray("\\040");
    QTest::newRow("at the end") << QByteArray("a\\040") << QByteArray("a ");
    QTest::newRow("too few digits") << QByteArray("a\\04") << QByteArray("a\\04");
    QTest::newRow("not octal") << QByteArray("\\089") << QByteArray("\\089");
    QTest::newRow("beyond a byte") << QByteArray("\\400") << QByteArray("\\400");
    QTest::newRow("high byte") << QByteArray("\\351") << QByteArray("\xe9");
}

void TestMountTable::Unescape()
{
    QFETCH(QByteArray, field);
    QFETCH(QByteArray, expected);
    QCOMPARE(TMountTable::Unescape(field), expected);
}

void TestMountTable::MountOf_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<int>("mountId");

    QTest::newRow("root") << QByteArray("/") << 1;
    QTest::newRow("below root") << QByteArray("/home/user") << 1;
    QTest::newRow("mount point itself") << QByteArray("/media/cd") << 2;
    QTest::newRow("below a mount point") << QByteArray("/media/cd/docs/a.txt") << 2;
    QTest::newRow("name sharing a prefix") << QByteArray("/media/cd2") << 1;
    QTest::newRow("later mount hides earlier") << QByteArray("/media/dvd/x") << 4;
    QTest::newRow("nested mount") << QByteArray("/media/cd/inner/y") << 5;
}

void TestMountTable::MountOf()
{
    QFETCH(QByteArray, path);
    QFETCH(int, mountId);

    const TMountTable table = TMountTable::FromText("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                                    "2 1 11:0 / /media/cd ro - iso9660 /dev/sr0 ro\n"
                                                    "3 1 11:1 / /media/dvd ro - udf /dev/sr1 ro\n"
                                                    "garbage line\n"
                                                    "4 1 7:0 / /media/dvd ro - iso9660 /dev/loop0 ro\n"
                                                    "5 2 7:1 / /media/cd/inner ro - iso9660 /dev/loop1 ro");
    QCOMPARE(table.Entries().size(), 5);
    const TMountEntry *entry = table.MountOf(path);
    QVERIFY(entry);
    QCOMPARE(entry->MountId, mountId);
}

QTEST_GUILESS_MAIN(TestMountTable)
#include "tst_MountTable.moc"
