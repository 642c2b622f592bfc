#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>

class TDatabase;

struct TCopyCounts
{
    qint64 Volumes = 0;
    qint64 Entries = 0;
};

// Copies a whole catalogue into another that holds no volume yet, whatever engine each is on:
// every volume, folder and file with its ID and description, every file type with its
// extensions and pictures, every info-file pattern. The target's own types and patterns (those
// a new catalogue starts with) give way to the source's. Both are brought to this program's
// layout first. The copy is written whole or not at all; progress is told with the entries done
// and the entries to do, and stops the copy when it returns false.
TCopyCounts CopyCatalogue(TDatabase &from, TDatabase &to,
                          const std::function<bool(qint64 done, qint64 total)> &progress = {});
