#include "AutoRun.h"

#include <QRegularExpression>

// The switch is set by hand outside the tool, so any way of writing the
// number one counts: " 1", "01", "1.0", "+1", "1e0". Anything else is off.
bool AutoRunIsOn(const QString &autoRun)
{
    static const QRegularExpression number(
        QStringLiteral(R"(^\s*[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?\s*$)"));
    if (!number.match(autoRun).hasMatch())
        return false;
    bool ok = false;
    const double value = autoRun.trimmed().toDouble(&ok);
    return ok && value == 1.0;
}
