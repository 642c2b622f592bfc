#pragma once

#include "DataSources.h"
#include "ImageLists.h"

// An image list whose pictures come from a table: each record's picture (a BMP or PNG file kept
// whole in a blob field) goes to the index given by the record's integer id field, so an id
// stored elsewhere is directly an image index. Ids missing between others get blank pictures; a
// repeated id replaces the earlier picture.
//
// A picture the reader cannot decode shows "Bad". An empty or null blob gives a transparent
// picture: the type simply has none, which is no error, and its index still equals its id.
class TCustomDBImageList : public TCustomImageList
{
    Q_OBJECT

public:
    explicit TCustomDBImageList(QObject *owner = nullptr);

    // Not owned; forgotten when the data set goes.
    TDataSet *DataSet() const { return FDataSource.DataSet(); }
    void SetDataSet(TDataSet *value);
    const QString &IDFieldName() const { return FIDFieldName; }
    void SetIDFieldName(const QString &value);
    const QString &ImageFieldName() const { return FImageFieldName; }
    void SetImageFieldName(const QString &value);

    // Loads every picture afresh from the first record. An open data set is left on its first
    // record, a closed one is opened for the pass and closed again.
    void Reload();

    // Ids beyond this are skipped: a 32-bit id in the billions would otherwise make the list
    // fill itself with blank pictures until memory ran out.
    static constexpr int MaxImageID = 32767;

protected:
    // The loading pass: from the current record to the end (from the first when past the end).
    virtual void LoadImages();

private:
    // Also tells us when the data set is destroyed: the source then forgets it.
    TDataSource FDataSource;
    QString FIDFieldName;
    QString FImageFieldName;
};

class TDBImageList : public TCustomDBImageList
{
    Q_OBJECT

public:
    using TCustomDBImageList::TCustomDBImageList;
};
