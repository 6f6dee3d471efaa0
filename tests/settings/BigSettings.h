#pragma once

#include "settings/SettingsIO.h"

// Two large settings sets that differ in every entry, so that any mixture or
// cut of the two reads as neither.
inline StoredSettings bigSettings(int variant)
{
    const int count = variant == 0 ? 3000 : 2500;
    const QString tag = variant == 0 ? QStringLiteral("first") : QStringLiteral("second");
    StoredSettings settings;
    for (int k = 1; k <= count; ++k)
        settings.names.append(
            QStringLiteral("%1 program %2 with a long window title").arg(tag).arg(k));
    settings.rate1 = tag + QStringLiteral(" rate");
    settings.rate2 = tag + QStringLiteral(" other rate");
    settings.password = tag + QStringLiteral(" password");
    return settings;
}
