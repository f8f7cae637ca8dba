#include "ui/platform/Palette.h"

#include <QApplication>

namespace platform {

QColor HEXACOLOR(unsigned hex, double alpha) {
    QColor color(static_cast<int>((hex >> 16) & 0xFF), static_cast<int>((hex >> 8) & 0xFF),
                 static_cast<int>(hex & 0xFF));
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

namespace Color {
QColor c1() {
    return HEXCOLOR(0xFFFFFF);
}
QColor c2() {
    return HEXCOLOR(0xD4D4D4);
}
QColor c3() {
    return HEXCOLOR(0x919191);
}
QColor c4() {
    return HEXCOLOR(0x474747);
}
QColor c5() {
    return HEXCOLOR(0x353535);
}
QColor c6() {
    return HEXCOLOR(0x303030);
}
QColor c7() {
    return HEXCOLOR(0x2C2C2C);
}
QColor c8() {
    return HEXCOLOR(0x5BBBCE);
}
QColor c9() {
    return HEXCOLOR(0xEB866E);
}
QColor c10() {
    return HEXCOLOR(0x313131);
}
}  // namespace Color

namespace Font {
QFont font(double size) {
    QFont f = QApplication::font();
    // Points here are device-independent pixels, as everywhere in the layout.
    f.setPixelSize(static_cast<int>(size + 0.5));
    return f;
}
QFont t1() {
    return font(10);
}
QFont t2() {
    return font(12);
}
QFont t3() {
    return font(14);
}
QFont t4() {
    return font(15);
}
QFont t5() {
    return font(16);
}
QFont t6() {
    return font(18);
}
}  // namespace Font

}  // namespace platform
