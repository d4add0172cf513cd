#pragma once

class QIcon;
class QPixmap;

// The pictures compiled into the program.
QPixmap activityPicture();
// 390 x 64 pixels on the backdrop's grey; a null pixmap if it cannot be loaded.
QPixmap logoBanner();
QIcon applicationIcon();
