#pragma once

#include "FileSystem.h"

#include <QString>

class QPlainTextEdit;

// A text file's text in a multi-line box and back. The files end their lines
// with CR LF, which the box shows as line breaks; a lone CR or LF is an
// ordinary character of the file and shows as the control picture U+240D or
// U+240A. Every other character, a no-break space among them, stays as it is,
// so a text put into a box and read back unedited is the text put in, unless
// the file itself holds those control pictures or U+2029, the box's own
// paragraph separator (they read back as CR, LF and CR LF).
namespace BoxText {

QString ToBox(const QString &fileText);
QString FromBox(const QString &boxText);

void Set(QPlainTextEdit *box, const QString &fileText);
QString Get(const QPlainTextEdit *box);

// Puts the whole file at path into box and returns the encoding to write it
// back with; a file that cannot be read shows as an empty box (UTF-8).
TextEncoding Load(QPlainTextEdit *box, FileSystem &fs, const QString &path);

} // namespace BoxText
