#pragma once

#include "SettingsStore.h"

#include <QString>

// The settings of one application kept in one INI file that people edit by
// hand. The application name of a call is not looked at: the file is the
// application. The file is read afresh on every GetSetting, so edits made
// while the program runs are seen.
//
// Reading:
// - The file is UTF-8, or UTF-16 of either byte order when it starts with
//   that mark; a file that is neither is Windows-1252. A leading mark is not
//   text. CR LF, a lone CR and a lone LF each end a line.
// - A line whose text, without the blanks (spaces, tabs) around it, starts
//   with '[' and ends with ']' begins a section; its name is the text between,
//   without blanks. A line starting with ';' or '#' after blanks is a comment.
//   Any other line with an '=' is an entry: its key is the text before the
//   first '=', without blanks, and its value is everything after that '=',
//   unchanged. Every other line is ignored, and so are entries before the
//   first section.
// - Section and key names match without regard to case. A section may appear
//   more than once; the first entry of the key in any of its parts wins.
// - An absent file, section or key, and a file that cannot be read or is
//   larger than 64 MiB, read as "".
//
// Values: a value is written as it is, unless it contains CR or LF, holds an
// unpaired UTF-16 surrogate, or starts with "@Escaped:". Such a value is
// written as "@Escaped:" followed by the value with '\' as "\\", CR as "\r",
// LF as "\n" and an unpaired surrogate as "\uXXXX" (four hex digits). A stored
// value that starts with "@Escaped:" and uses only those escapes reads as the
// value it encodes; any other stored value, a hand-written C:\data\new.csv
// among them, reads exactly as it stands.
//
// Saving replaces the value of the key's first entry, or adds "Key=Value"
// after the last entry of the section's first part, or adds the section at
// the end of the file, after a blank line unless the last line is blank.
// Every other byte of the file stays as it was, its mark and encoding too,
// except that a Windows-1252 file is rewritten as UTF-8. A new line ends as
// the line it follows does; that line, when it is the last and has no line
// end, first gets the line end of the line before it (LF when there is
// none). The folder is created when missing, and the file is replaced
// atomically.
class IniSettingsStore final : public SettingsStore
{
public:
    explicit IniSettingsStore(QString path);

    // ${XDG_CONFIG_HOME:-$HOME/.config}/Tavrin.ini, where an empty or relative
    // XDG_CONFIG_HOME counts as unset.
    static QString DefaultPath();

    const QString &Path() const { return path_; }
    // With on, every save leaves the file readable and writable by its
    // owner only (it holds a password).
    void SetOwnerOnly(bool on) { ownerOnly_ = on; }

    // section and key are names that an entry can hold: not empty, no blanks
    // around them, no '=', '[', ']', CR or LF, and not starting with ';' or '#'.
    QString GetSetting(const QString &app, const QString &section, const QString &key) override;
    // Throws FileFailure naming the path and the reason when the existing file
    // cannot be read, the result would exceed 64 MiB, or the file or its
    // folder cannot be written; the file is then left as it was.
    void SaveSetting(const QString &app, const QString &section, const QString &key,
                     const QString &value) override;

private:
    QString path_;
    bool ownerOnly_ = false;
};
