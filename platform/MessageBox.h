#pragma once

#include <QString>

// The caption every message box of the program carries.
inline constexpr const char *kAppTitle = "KVR_Bulkrun";

enum class MsgIcon { None, Critical, Information };

// A message's text as a box shows it: CR LF and a lone CR each break the line.
inline QString MessageLines(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// A modal message with a single OK button, captioned with kAppTitle.
// Show returns once the operator has pressed OK.
class MessageBox
{
public:
    virtual ~MessageBox() = default;
    virtual void Show(const QString &text, MsgIcon icon) = 0;
    // A remark that only an unattended run's output shows; a window shows
    // nothing, so that a run is never held up by it.
    virtual void Note(const QString &text) { (void)text; }
};
