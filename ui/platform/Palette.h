#pragma once

#include <QColor>
#include <QFont>

namespace platform {

// A colour from a 24-bit RGB value.
QColor HEXACOLOR(unsigned hex, double alpha);
inline QColor HEXCOLOR(unsigned hex) {
    return HEXACOLOR(hex, 1.0);
}

// The application's named colours; every screen draws with these.
namespace Color {
QColor c1();
QColor c2();
QColor c3();
QColor c4();
QColor c5();
QColor c6();
QColor c7();
QColor c8();
QColor c9();
QColor c10();
}  // namespace Color

// The named sizes of the system font, in points.
namespace Font {
QFont font(double size);
QFont t1();
QFont t2();
QFont t3();
QFont t4();
QFont t5();
QFont t6();
}  // namespace Font

}  // namespace platform
