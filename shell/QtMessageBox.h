#pragma once

#include "MessageBox.h"

// The message box of the windowed program: a modal QMessageBox captioned
// kAppTitle, with a single OK button. A CR in the text is a line break.
class QtMessageBox final : public MessageBox
{
public:
    void Show(const QString &text, MsgIcon icon) override;
};
