#pragma once

#include "FilePicker.h"

// The platform's file-open dialog, modal over the active window.
class QtFilePicker final : public FilePicker
{
public:
    QString GetOpenFileName(const QString &title, const QString &filter, const QString &at) override;
};
