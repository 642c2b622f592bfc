#pragma once

#include "SysUtils.h"
#include "VolumeSources.h"

#include <memory>

class TDiscTree;

// An image file that cannot be read as a disc, or whose folders are built to trap a reader.
class EDiscImageError : public EVolumeSourceError
{
public:
    using EVolumeSourceError::EVolumeSourceError;
};

// A disc image file (ISO 9660 with Joliet or Rock Ridge names, UDF) read without mounting it. It
// is labelled and numbered as the same image mounted through a loop device would be.
//
// Which tree is walked: the primary tree with Rock Ridge names when it has them (a Joliet tree
// beside it may lack long names and deep files), else Joliet names when the image has them, else
// ISO 9660 names without their ";1" version and trailing ".".
// An image holding UDF as well is walked by its UDF tree when that tree's root holds more entries
// than the ISO 9660 one (a bridge whose ISO side only says "this disc needs UDF"), or when the
// ISO 9660 tree cannot be read.
//
// ListFolder (and ReadFile, which lists the folders on its way) throws EDiscImageError when the
// image is built to trap a walk: folders that loop, nest deeper than any real disc, or hold more
// entries than any real disc. A folder that cannot be read (it lies beyond the end of a truncated
// image) gives nullopt, as on a mounted disc.
class TDiscImageSource final : public TVolumeSource
{
public:
    static constexpr int MaxDepth = 1000;
    static constexpr qint64 MaxEntries = 4'000'000;

    // Throws EDiscImageError when the file cannot be opened or holds no readable disc volume.
    static std::unique_ptr<TDiscImageSource> Open(const QString &imageFile);
    ~TDiscImageSource() override;

    QString DisplayName() const override;
    QString SourcePath() const override;
    std::optional<TVolumeInfo> VolumeInformation() override;
    qint64 Capacity() override;
    std::optional<QList<TDirEntry>> ListFolder(const QString &folder) override;
    TFileBytes ReadFile(const QString &folder, const QString &name, qint64 maxBytes) override;

    // "ISO 9660", "Joliet", "Rock Ridge" or "UDF": which names the walk gets.
    QString TreeKind() const;

private:
    struct TNode;

    TDiscImageSource(QString imageFile, qint64 size, TVolumeInfo info, std::unique_ptr<TDiscTree> tree);
    // The node of a folder path, listing the folders on the way that were not listed yet; -1 when
    // there is no such folder.
    int FindNode(const QString &folder);
    std::optional<QList<TDirEntry>> ListNode(int node);

    QString FImageFile;
    qint64 FSize = 0;
    TVolumeInfo FInfo;
    std::unique_ptr<TDiscTree> FTree;
    std::vector<TNode> FNodes;
    qint64 FEntriesSeen = 0;
};
