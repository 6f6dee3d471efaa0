#pragma once

#include <QIcon>
#include <QPixmap>

// The program's pictures, bundled in the executable so they show without any
// icon theme.
namespace artwork {

QPixmap logo();
QIcon applicationIcon();
QIcon add();
QIcon remove();
// The two-state button pictures: the normal look and the disabled look.
QIcon start();
QIcon stop();
QIcon resume();
QIcon ok();

} // namespace artwork
