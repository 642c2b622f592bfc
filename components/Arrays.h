#pragma once

#include "SysUtils.h"
#include "Variants.h"

#include <cstddef>

// A record's key is an array variant with one element per key field. Two keys match only when every
// element has the same kind and value: a key read from a 16-bit column never finds a record keyed
// by plain integers, and 5 never finds 5.0. Comparing unassigned values raises EVariantError.
bool KeysEqual(const TVariant &a, const TVariant &b);
// Unassigned, null, or an array whose elements are all empty keys.
bool KeyIsEmpty(const TVariant &k);
// The element count of an array key; EVariantError for a value that is not an array.
int KeyLength(const TVariant &k);

class TDataSet;

// Puts a data set back where a walk found it, by what was noted before the walk: on the bookmark
// when it stood on a record, on the last record when it was past the end, on the first when it was
// before the start, and nowhere when it was empty (both flags). Errors of the move propagate; the
// views call it where a failure must not hide the error that ended the walk.
void RestorePosition(TDataSet *dataSet, const TVariant &bookmark, bool wasBof, bool wasEof);

// Raised by every misuse of an array (index or size out of range); the array is left as it was.
class EArrayError : public Exception
{
public:
    EArrayError() : Exception(QStringLiteral("Array error")) {}
};

// A contiguous block of Count() raw items of ItemSize() bytes each, with room for Capacity() items.
// New items are zero-filled, so a descendant picks an item layout in which all-zero bytes mean
// "nothing there".
class TAbstractArray
{
public:
    explicit TAbstractArray(int itemSize);
    virtual ~TAbstractArray();
    TAbstractArray(const TAbstractArray &) = delete;
    TAbstractArray &operator=(const TAbstractArray &) = delete;

    int Count() const { return FCount; }
    int Capacity() const { return FCapacity; }
    int ItemSize() const { return FItemSize; }

    void *Item(int i);
    const void *Item(int i) const;
    void SetCount(int n);
    void SetCapacity(int n);
    // Appends one zero-filled item, growing the storage by Grow() when it is full; returns its index.
    int Add();
    void Delete(int i);
    // Deletes every item for which ItemIsEmpty holds, keeping the order of the others.
    void Pack();
    void Clear();

    // Capacity steps of 4, 8, then 16 items: few reallocations for the small key batches the views
    // hand around, without doubling the storage of a long list.
    virtual void Grow();
    virtual bool ItemsEqual(const void *a, const void *b) const;
    virtual bool ItemIsEmpty(const void *item) const;

protected:
    // Raises the array's error; an override must throw too.
    [[noreturn]] virtual void Error() const;
    // Called after the count changed or an item was deleted.
    virtual void Changed() {}
    // Called while items first..first+count-1 are still in place, just before they are deleted or cut
    // off by a smaller count, so a descendant can free what they own. The destructor of this class
    // cannot reach an override, so a descendant that owns resources clears itself in its destructor.
    virtual void ReleaseItems(int first, int count);

private:
    void CheckIndex(int i) const;
    void CheckSize(int n) const;

    std::byte *FItems = nullptr;
    qint32 FCount = 0;
    qint32 FCapacity = 0;
    qint32 FItemSize = 0;
};

// The keys of a batch of records, e.g. the ones a view has to locate. Each item points to a key it
// owns (nullptr: an unassigned key), so zero-filled items are valid empty keys.
class TKeysArray : public TAbstractArray
{
public:
    TKeysArray();
    ~TKeysArray() override;

    int ConsumedCount() const { return FConsumedCount; }

    void GetKey(int i, TVariant &key) const;
    // Appends a copy of key; returns its index.
    int AddKey(const TVariant &key);
    // Empties key i as handled. Once as many keys were consumed as the array holds, the batch is done
    // and the array packs itself (to nothing, when each key was consumed once).
    void ConsumeKey(int i);
    // Starts counting consumed keys afresh for a new batch; neither Pack nor Clear does.
    void ResetConsumed() { FConsumedCount = 0; }

    bool ItemsEqual(const void *a, const void *b) const override;
    bool ItemIsEmpty(const void *item) const override;

protected:
    void ReleaseItems(int first, int count) override;

private:
    qint32 FConsumedCount = 0;
};
