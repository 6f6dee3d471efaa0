#pragma once

#include <QFont>
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

// The windows' face: the desktop's sans-serif at the given size, narrowed
// so that the texts fit the boxes the layout gives them.
QFont windowFont(int points = 8, bool bold = false);

} // namespace artwork
