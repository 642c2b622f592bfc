#pragma once

#include <QByteArray>
#include <QString>

// A Linux file name is bytes; the catalogue stores text. A name that is valid UTF-8 becomes its
// text. Any other name is still kept, byte for byte: ASCII stays itself and each byte 0x80-0xFF
// becomes the private-use character U+10FE00 + (byte - 0x80), so TextToFileName gives back
// exactly the bytes the file system holds and the program can open the file again.
//
// A valid UTF-8 name that itself contains one of those 128 characters is mapped byte by byte too:
// otherwise its text would turn back into different bytes.
QString FileNameToText(const QByteArray &name);
QByteArray TextToFileName(const QString &text);
