#pragma once

#include "MessageBox.h"

// For runs without a screen: prints the text on standard error, each CR as a
// line break, and returns as if OK had been pressed.
class ConsoleMessageBox final : public MessageBox
{
public:
    void Show(const QString &text, MsgIcon icon) override;
    void Note(const QString &text) override { Show(text, MsgIcon::Information); }
};
