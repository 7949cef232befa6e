#pragma once

#include "DocumentViewer.h"

// Shows an HTML file in the desktop's web browser, or, when the desktop names
// none, in a window of the program's own that lives until it is closed.
class QtDocumentViewer final : public DocumentViewer
{
public:
    void Show(const QString &path) override;
};
