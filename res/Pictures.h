#pragma once

class QIcon;
class QPixmap;

// The pictures compiled into the program.
QPixmap ActivityIcon();
// 390 x 64 pixels on the backdrop's grey; a null pixmap if it cannot be loaded.
QPixmap LogoBanner();
QIcon ApplicationIcon();
