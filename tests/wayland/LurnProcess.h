#pragma once

#include "LurnRun.h"

#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

// The lurn executable as the desktop starts it, with settings of its own.
class LurnProcess final : public LurnRun
{
public:
    // names: the programs to end, stored before the start as the operator
    // would have left them.
    explicit LurnProcess(const QStringList& names = {}, const QStringList& arguments = {})
    {
        {
            QSettings settings(m_config.path() + "/Lurn.conf", QSettings::IniFormat);
            settings.setValue("Noms/Numero", int(names.size()));
            for (int i = 0; i < names.size(); ++i)
                settings.setValue(QStringLiteral("Noms/Nom%1").arg(i + 1), names[i]);
        }
        // As some Wayland sessions have it: the program must choose xcb all
        // the same.
        start({{"XDG_CONFIG_HOME", m_config.path()}, {"QT_QPA_PLATFORM", "wayland"}}, arguments);
    }
    // Gone before its settings directory is.
    ~LurnProcess() { kill(); }

private:
    QTemporaryDir m_config;
};
