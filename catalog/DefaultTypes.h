#pragma once

#include <QByteArray>
#include <QRgb>
#include <QString>
#include <QStringList>
#include <vector>

// The file types, volume pictures and info-file patterns a new catalogue starts with. The pictures
// are drawn here rather than shipped as files, so the command-line tool gets them without a
// display or any resource on disk.

// Reserved pictures the program refers to by number.
namespace DefaultImage {
constexpr qint16 OpenFolder = 0;
constexpr qint16 Folder = 1;
constexpr qint16 Disc = 2;
constexpr qint16 Unknown = 3;
} // namespace DefaultImage

struct TDefaultType
{
    // 0..3 are the reserved pictures above; the others follow without gaps.
    qint16 ImageID = 0;
    // The picture may be chosen for a volume.
    bool CD = false;
    // At most 50 characters, the width of the column that stores it.
    QString Description;
    // Lower case, 1..4 characters, without the dot; no extension belongs to two types.
    QStringList Extensions;
};

std::vector<TDefaultType> DefaultTypes();

// The picture of a default type as the bytes of a 24-bit Windows BMP file, 16x16 for size 16 and
// 32x32 for size 32; empty for any other size or an unknown type. Small pictures are drawn masked,
// taking their bottom-left pixel as the transparent colour, so every picture is drawn on
// DefaultPictureBackground and leaves that pixel alone.
QByteArray DefaultPicture(qint16 imageId, int size);

constexpr QRgb DefaultPictureBackground = 0xFFFF00FF;

struct TDefaultPattern
{
    // A file name; * and ? are wildcards, letter case does not matter.
    QString NameNFO;
    // A file of that name describes the folder it lies in.
    bool ForFolder = false;
    // A file of that name describes files beside it: the one it shares a name with, or all of them.
    bool ForFile = false;
};

std::vector<TDefaultPattern> DefaultInfoPatterns();
