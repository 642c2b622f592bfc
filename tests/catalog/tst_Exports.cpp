// The catalogue written out as CSV, JSON and an HTML page, over a volume walked from disk whose
// names and descriptions are as hostile to each format as names can be; each output is parsed
// back and compared with what the catalogue holds.

#include "ByteTrees.h"
#include "CatalogFixture.h"
#include "Exports.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

// RFC 4180 records: fields split at commas outside quotes, "" inside quotes a quote, records
// ended by CRLF. A bare LF or a stray quote outside a quoted field fails the parse.
std::optional<QList<QStringList>> ParseCsv(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes);
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            if (!field.isEmpty() || wasQuoted)
                return std::nullopt;
            quoted = wasQuoted = true;
        } else if (c == u',') {
            record << field;
            field.clear();
            wasQuoted = false;
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            record << field;
            records << record;
            record.clear();
            field.clear();
            wasQuoted = false;
            ++i;
        } else if (c == u'\n' || c == u'\r') {
            return std::nullopt;
        } else {
            field += c;
        }
    }
    if (quoted || !field.isEmpty() || !record.isEmpty())
        return std::nullopt;
    return records;
}

// "path|name|description" of every entry below a JSON folder, in the order written.
void CollectJson(const QJsonArray &children, const QString &path, QStringList &into)
{
    for (const QJsonValue &value : children) {
        const QJsonObject entry = value.toObject();
        const QString name = entry[u"name"].toString();
        into << path + u'|' + name + u'|' + entry[u"description"].toString();
        if (entry[u"folder"].toBool())
            CollectJson(entry[u"children"].toArray(), path + name + u'\\', into);
    }
}

} // namespace

class TestExports : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        FFixture = std::make_unique<TCatalogFixture>();
        QVERIFY(FFixture->IsValid() && FDisk.isValid());
        TByteTree tree(FDisk.path());
        tree.File("a,b \"quoted\".txt", 5);
        tree.File("sub/line\nbreak", 7);
        tree.File("sub/bad\xff\xfe.bin", 1);
        tree.File("sub/deeper/last.txt", 2);
        tree.File("z.txt", 3);
        QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));
        FFixture->Services.AddDrive(FDisk.path(), QStringLiteral("DISK"), 0x1234abcd, 1000);
        FRoot = FFixture->Global->LoadDisk(FDisk.path(), QStringLiteral("Disk"), 2, false);
        QVERIFY(FRoot > 0);
        // No file system holds a name with a slash; the catalogue can.
        FFixture->Global->Database.ExecSQL(
            QStringLiteral("UPDATE Entries SET Name = '</script><b>', Description = ?1 WHERE Name = 'z.txt'"),
            {TVariant(QStringLiteral("say \"hi\",\r\nthen </SCRIPT> & \x01 bell"))});
    }
    void cleanup()
    {
        FFixture.reset();
        // QDir cannot name a file whose name is no text, so it could not remove the folder.
        ::unlink(TByteTree(FDisk.path()).Path("sub/bad\xff\xfe.bin").constData());
    }

    void ExportsEveryEntry_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("csv") << int(TExportFormat::Csv);
        QTest::newRow("json") << int(TExportFormat::Json);
        QTest::newRow("html") << int(TExportFormat::Html);
    }
    void ExportsEveryEntry()
    {
        QFETCH(int, format);
        QStringList expected = FFixture->Rows(QStringLiteral(
            "SELECT IFNULL(FullPath, '') || '|' || Name || '|' || IFNULL(Description, '') FROM Entries"));
        QCOMPARE(expected.size(), 8);
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QVERIFY(ExportCatalogue(*FFixture->Global, out, TExportFormat(format)));

        QStringList found;
        if (TExportFormat(format) == TExportFormat::Csv) {
            const std::optional<QList<QStringList>> records = ParseCsv(out.data());
            QVERIFY(records);
            QCOMPARE(records->value(0).join(u','),
                     QStringLiteral("Volume,Path,Name,Folder,Size,Modified,Type,Description"));
            QStringList folders{QString()};
            for (qsizetype i = 1; i < records->size(); ++i) {
                const QStringList &record = records->at(i);
                QCOMPARE(record.size(), 8);
                QCOMPARE(record[0], QStringLiteral("Disk"));
                // Tree order: an entry's folder came before it.
                QVERIFY2(folders.contains(record[1]), qPrintable(record[1]));
                if (record[3] == u"1" && i > 1)
                    folders << record[1] + record[2] + u'\\';
                found << record[1] + u'|' + record[2] + u'|' + record[7];
            }
        } else {
            QByteArray data = out.data();
            if (TExportFormat(format) == TExportFormat::Html) {
                // The page's own two script elements close; nothing from the data does.
                QCOMPARE(data.count("</script>"), 2);
                QCOMPARE(data.toLower().count("</script"), 2);
                const QByteArray open = "<script type=\"application/json\" id=\"vnx-data\">";
                const qsizetype from = data.indexOf(open) + open.size();
                data = data.mid(from, data.indexOf("</script>", from) - from);
            }
            QJsonParseError error;
            const QJsonDocument document = QJsonDocument::fromJson(data, &error);
            QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
            if (TExportFormat(format) == TExportFormat::Json) {
                const QJsonArray volumes = document[u"volumes"].toArray();
                QCOMPARE(volumes.size(), 1);
                const QJsonObject volume = volumes[0].toObject();
                QCOMPARE(volume[u"serial"].toString(), QStringLiteral("1234-abcd"));
                QCOMPARE(volume[u"label"].toString(), QStringLiteral("Disk"));
                QCOMPARE(volume[u"id"].toInt(), FRoot);
                QCOMPARE(volume[u"size"].toInteger(), 18);
                found << u'|' + volume[u"name"].toString() + u'|';
                CollectJson(volume[u"children"].toArray(), QString(), found);
            } else {
                const QJsonArray entries = document[u"e"].toArray();
                QCOMPARE(document[u"v"].toArray(),
                         QJsonArray(
                             {QJsonArray({0, QStringLiteral("Disk"), QStringLiteral("1234-abcd"), FRoot})}));
                QStringList paths;
                for (const QJsonValue &value : entries) {
                    const QJsonArray entry = value.toArray();
                    const int parent = entry[0].toInt();
                    // A parent is written before its entries.
                    QVERIFY(parent < paths.size());
                    const QString path = parent < 0 ? QString() : paths[parent];
                    paths << (parent < 0 ? QString() : path + entry[1].toString() + u'\\');
                    found << path + u'|' + entry[1].toString() + u'|' + entry[6].toString();
                }
            }
        }
        expected.sort();
        found.sort();
        QCOMPARE(found, expected);
    }

    void OneVolumeOnly()
    {
        QTemporaryDir other;
        TByteTree(other.path()).File("only-here.txt", 1);
        FFixture->Services.AddDrive(other.path(), QStringLiteral("OTHER"), 0x11112222, 1000);
        const int second = FFixture->Global->LoadDisk(other.path(), QStringLiteral("Other"), 2, false);
        QVERIFY(second > 0);
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QVERIFY(ExportCatalogue(*FFixture->Global, out, TExportFormat::Csv, second));
        const QList<QByteArray> lines = out.data().split('\n');
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[1], QByteArray("Other,,Other,1,1,,CD-ROM disc,\r"));
        QVERIFY2(lines[2].startsWith("Other,,only-here.txt,0,1,"), lines[2].constData());
        QCOMPARE(lines[3], QByteArray());
    }

    void StopsWhenAsked()
    {
        QTemporaryDir wide;
        TByteTree(wide.path()).Wide(QByteArray(), 4, 200);
        FFixture->Services.AddDrive(wide.path(), QStringLiteral("WIDE"), 0x33334444, 1000);
        QVERIFY(FFixture->Global->LoadDisk(wide.path(), QStringLiteral("Wide"), 2, false) > 0);
        FFixture->Services.SetTickStep(600);
        QList<int> percents;
        FFixture->Global->OnProgress = [&percents](TGlobal *, int percent, int) {
            percents << percent;
            return percent >= 50;
        };
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QVERIFY(!ExportCatalogue(*FFixture->Global, out, TExportFormat::Json));
        QVERIFY(!percents.isEmpty());
        QVERIFY(percents.last() >= 50 && percents.last() < 100);
        // Stopped before the end: not a whole document.
        QVERIFY(QJsonDocument::fromJson(out.data()).isNull());
    }

    void FailedWriteIsAnError()
    {
        QFile full(QStringLiteral("/dev/full"));
        if (!full.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            QSKIP("no /dev/full here");
        QVERIFY_THROWS_EXCEPTION(EExportError, ExportCatalogue(*FFixture->Global, full, TExportFormat::Html));
    }

private:
    std::unique_ptr<TCatalogFixture> FFixture;
    QTemporaryDir FDisk;
    int FRoot = 0;
};

QTEST_GUILESS_MAIN(TestExports)
#include "tst_Exports.moc"
