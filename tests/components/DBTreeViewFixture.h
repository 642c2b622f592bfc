#pragma once

#include "DBCustomTreeView.h"
#include "Databases.h"
#include "ErrorHandlers.h"
#include "SqliteStatements.h"
#include "Tables.h"

#include <QTemporaryDir>
#include <QTest>
#include <functional>

// A folder table in a temporary SQLite file, bound to a tree view as the explorer binds its folders:
//
//   Root1 (1)            Root2 (6)      Root3 (9)
//     Docs (2)                            Photos (10)
//       Work (4)
//         Deep (7)
//           Deeper (8)
//       Letters (5)
//     Music (3)
//
// Root1 has picture 2 and state 1; the other folders picture 1 and no state.
struct TDBTreeFixture
{
    QTemporaryDir Dir;
    TDatabase Db;
    TTable Folders;
    TDataSource Source;
    std::unique_ptr<TDBTreeView> Tree;
    QStringList Errors;

    TDBTreeFixture()
    {
        Db.SetDriverName(QStringLiteral("SQLITE"));
        Db.SetParams({QStringLiteral("DATABASE NAME=") + Dir.filePath(QStringLiteral("tree.db")),
                      QStringLiteral("CREATE=TRUE")});
        Db.Open();
        Db.ExecSQL(QStringLiteral(
            "CREATE TABLE Folders (ID INTEGER PRIMARY KEY AUTOINCREMENT, Parent INTEGER, Name VARCHAR(100), "
            "ImageID SMALLINT, Status SMALLINT);"
            "CREATE INDEX \"Folders.Parent\" ON Folders(Parent);"
            "INSERT INTO Folders VALUES (1, NULL, 'Root1', 2, 1), (2, 1, 'Docs', 1, NULL), (3, 1, 'Music', "
            "1, NULL), "
            "(4, 2, 'Work', 1, NULL), (5, 2, 'Letters', 1, NULL), (6, NULL, 'Root2', 1, NULL), (7, 4, "
            "'Deep', 1, NULL), "
            "(8, 7, 'Deeper', 1, NULL), (9, NULL, 'Root3', 1, NULL), (10, 9, 'Photos', 1, NULL);"));
        Folders.SetDatabase(&Db);
        Folders.SetTableName(QStringLiteral("Folders"));
        Folders.SetIndexFieldNames(QStringLiteral("Parent"));
        Source.SetDataSet(&Folders);
        SetExceptionDisplay([this](const QString &message) { Errors << message; });
    }

    ~TDBTreeFixture()
    {
        SetExceptionDisplay({});
        Tree.reset();
    }

    // Binds a tree as the explorer does and lets the posted reload run.
    TDBTreeView *Bind(TLoadStyle style = lsOneAhead)
    {
        Tree = std::make_unique<TDBTreeView>();
        Tree->setObjectName(QStringLiteral("FoldersTree"));
        Tree->SetLoadStyle(style);
        Tree->SetNameField(QStringLiteral("Name"));
        Tree->SetImageIDField(QStringLiteral("ImageID"));
        Tree->SetStatusIDField(QStringLiteral("Status"));
        Tree->SetLinksFields(QStringLiteral("Parent->ID"));
        Tree->SetRootKey(QStringLiteral("null"));
        Tree->SetDataSource(&Source);
        if (!Folders.Active())
            Folders.Open();
        Tree->resize(260, 320);
        Tree->show();
        Tree->activateWindow();
        if (!QTest::qWaitForWindowActive(Tree.get()))
            qWarning("the tree's window did not become active");
        Tree->setFocus();
        Settle();
        return Tree.get();
    }

    // Runs what the tree posted to itself.
    void Settle() { QCoreApplication::sendPostedEvents(Tree.get(), 0); }

    static TVariant Key(int id) { return TVariant::Array({TVariant(qint32(id))}); }
    TDBTreeNode *Node(int id) const { return Tree->FindNodeByKey(Key(id)); }
    int CurrentId() const { return Folders.FieldByName(QStringLiteral("ID"))->AsInteger(); }
    bool Locate(int id) { return Folders.Locate(QStringLiteral("ID"), TVariant(qint32(id))); }
    // The first column of the first row as text: "NULL" for a null, "-" for no row.
    QString Sql(const QString &sql)
    {
        auto statement = Db.AcquireStatement(sql);
        QString value = QStringLiteral("-");
        if (statement->Step())
            value = statement->ColumnIsNull(0) ? QStringLiteral("NULL")
                                               : statement->Column(0, TFieldType::String).AsString();
        statement->Reset();
        return value;
    }

    QPoint Centre(const TTreeNode *node) const { return Tree->NodeRect(node, true).center(); }
    void Click(const TTreeNode *node)
    {
        QTest::mouseClick(Tree->viewport(), Qt::LeftButton, {}, Centre(node));
    }
    void ClickButton(const TTreeNode *node)
    {
        const QRect item = Tree->visualRect(Tree->Items()->IndexOf(node));
        QTest::mouseClick(Tree->viewport(), Qt::LeftButton, {},
                          QPoint(item.left() - Tree->Indent() / 2, item.center().y()));
    }

    // The nodes in depth-first order: a caption, "+" for an expand button, the children that
    // exist in brackets.
    static QString Shape(const TTreeNode *node)
    {
        QStringList parts;
        for (; node; node = node->GetNextSibling())
            parts << node->Text() + (node->HasChildren() ? QStringLiteral("+") : QString()) +
                         (node->Count() ? u'(' + Shape(node->GetFirstChild()) + u')' : QString());
        return parts.join(u',');
    }
    QString Shape() const { return Shape(Tree->Items()->GetFirstNode()); }
};
