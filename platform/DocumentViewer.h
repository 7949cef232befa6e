#pragma once

#include <QString>

// Shows a document (an HTML file) to the operator without waiting for it to
// be closed. Throws Failure when the document cannot be shown.
class DocumentViewer
{
public:
    virtual ~DocumentViewer() = default;
    virtual void Show(const QString &path) = 0;
};
