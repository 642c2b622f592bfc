#include "Arrays.h"

#include "DataSets.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

[[noreturn]] void invalidVariantOperation()
{
    throw EVariantError(QStringLiteral("Invalid variant operation"));
}

// Both values are of the same kind and neither is an array.
bool valuesEqual(const TVariant &a, const TVariant &b)
{
    switch (a.VarType()) {
    case TVarType::Null:
        return true;
    case TVarType::Smallint:
    case TVarType::Integer:
    case TVarType::Int64:
        return a.AsInt64() == b.AsInt64();
    case TVarType::Double:
    case TVarType::Date:
        return a.AsDouble() == b.AsDouble();
    case TVarType::Currency:
        return a.AsCurrency() == b.AsCurrency();
    case TVarType::Boolean:
        return a.AsBoolean() == b.AsBoolean();
    case TVarType::String:
        return a.AsString() == b.AsString();
    default:
        invalidVariantOperation();
    }
}

} // namespace

bool KeysEqual(const TVariant &a, const TVariant &b)
{
    if (a.IsArray() && b.IsArray()) {
        if (a.Count() != b.Count())
            return false;
        for (qsizetype i = 0; i < a.Count(); ++i)
            if (!KeysEqual(a[i], b[i]))
                return false;
        return true;
    }
    return a.VarType() == b.VarType() && valuesEqual(a, b);
}

bool KeyIsEmpty(const TVariant &k)
{
    if (!k.IsArray())
        return k.IsEmptyOrNull();
    for (const TVariant &element : k.Elements())
        if (!KeyIsEmpty(element))
            return false;
    return true;
}

int KeyLength(const TVariant &k)
{
    if (!k.IsArray())
        invalidVariantOperation();
    return int(k.Count());
}

TAbstractArray::TAbstractArray(int itemSize)
{
    if (itemSize <= 0)
        Error();
    FItemSize = itemSize;
}

TAbstractArray::~TAbstractArray()
{
    Clear();
}

void TAbstractArray::Error() const
{
    throw EArrayError();
}

void TAbstractArray::CheckIndex(int i) const
{
    if (i < 0 || i >= FCount)
        Error();
}

// The byte size of the storage must stay within a 32-bit signed count.
void TAbstractArray::CheckSize(int n) const
{
    if (n < 0 || n > std::numeric_limits<qint32>::max() / FItemSize)
        Error();
}

void *TAbstractArray::Item(int i)
{
    CheckIndex(i);
    return FItems + qsizetype(i) * FItemSize;
}

const void *TAbstractArray::Item(int i) const
{
    CheckIndex(i);
    return FItems + qsizetype(i) * FItemSize;
}

void TAbstractArray::SetCount(int n)
{
    CheckSize(n);
    if (n > FCapacity)
        SetCapacity(n);
    if (n > FCount)
        std::memset(FItems + qsizetype(FCount) * FItemSize, 0, size_t(n - FCount) * FItemSize);
    else if (n < FCount)
        ReleaseItems(n, FCount - n);
    FCount = n;
    Changed();
}

void TAbstractArray::SetCapacity(int n)
{
    CheckSize(n);
    if (n < FCount)
        Error();
    if (n == FCapacity)
        return;
    if (n == 0) {
        std::free(FItems);
        FItems = nullptr;
    } else {
        auto *items = static_cast<std::byte *>(std::realloc(FItems, size_t(n) * FItemSize));
        if (!items)
            throw std::bad_alloc();
        FItems = items;
        if (n > FCapacity)
            std::memset(FItems + qsizetype(FCapacity) * FItemSize, 0, size_t(n - FCapacity) * FItemSize);
    }
    FCapacity = n;
}

void TAbstractArray::Grow()
{
    SetCapacity(FCapacity + (FCapacity > 8 ? 16 : FCapacity > 4 ? 8 : 4));
}

int TAbstractArray::Add()
{
    if (FCount == FCapacity)
        Grow();
    SetCount(FCount + 1);
    return FCount - 1;
}

void TAbstractArray::Delete(int i)
{
    CheckIndex(i);
    ReleaseItems(i, 1);
    std::byte *item = FItems + qsizetype(i) * FItemSize;
    std::memmove(item, item + FItemSize, size_t(FCount - i - 1) * FItemSize);
    --FCount;
    Changed();
}

void TAbstractArray::Pack()
{
    for (int i = FCount - 1; i >= 0; --i)
        if (ItemIsEmpty(Item(i)))
            Delete(i);
}

void TAbstractArray::Clear()
{
    SetCount(0);
    SetCapacity(0);
}

bool TAbstractArray::ItemsEqual(const void *a, const void *b) const
{
    return std::memcmp(a, b, size_t(FItemSize)) == 0;
}

bool TAbstractArray::ItemIsEmpty(const void *) const
{
    return false;
}

void TAbstractArray::ReleaseItems(int, int)
{}

namespace {

// Items are raw bytes, so the key pointer is copied in and out rather than read through a cast.
TVariant *keyOf(const void *item)
{
    TVariant *key;
    std::memcpy(&key, item, sizeof key);
    return key;
}

void setKey(void *item, TVariant *key)
{
    std::memcpy(item, &key, sizeof key);
}

const TVariant &keyOrUnassigned(const void *item)
{
    static const TVariant unassigned;
    const TVariant *key = keyOf(item);
    return key ? *key : unassigned;
}

} // namespace

TKeysArray::TKeysArray() : TAbstractArray(sizeof(TVariant *))
{}

TKeysArray::~TKeysArray()
{
    Clear();
}

void TKeysArray::GetKey(int i, TVariant &key) const
{
    key = keyOrUnassigned(Item(i));
}

int TKeysArray::AddKey(const TVariant &key)
{
    auto copy = std::make_unique<TVariant>(key);
    const int i = Add();
    setKey(Item(i), copy.release());
    return i;
}

void TKeysArray::ConsumeKey(int i)
{
    void *item = Item(i);
    delete keyOf(item);
    setKey(item, nullptr);
    if (++FConsumedCount == Count())
        Pack();
}

bool TKeysArray::ItemsEqual(const void *a, const void *b) const
{
    return KeysEqual(keyOrUnassigned(a), keyOrUnassigned(b));
}

bool TKeysArray::ItemIsEmpty(const void *item) const
{
    return KeyIsEmpty(keyOrUnassigned(item));
}

void TKeysArray::ReleaseItems(int first, int count)
{
    for (int i = first; i < first + count; ++i) {
        delete keyOf(Item(i));
        setKey(Item(i), nullptr);
    }
}

void RestorePosition(TDataSet *dataSet, const TVariant &bookmark, bool wasBof, bool wasEof)
{
    if (wasBof && wasEof)
        return;
    if (wasEof)
        dataSet->Last();
    else if (wasBof)
        dataSet->First();
    else
        dataSet->GotoBookmark(bookmark);
}
