#pragma once

#include <QString>

// True when the automatic run is on: the Auto_Run setting reads as the
// number 1 (leading blanks or zeros and a zero fraction allowed). Never fails.
bool AutoRunIsOn(const QString &autoRun);
