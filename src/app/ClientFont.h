#pragma once
// The client's windows use the font "宋体"; here SimSun when installed, else a CJK fallback.

#include <QFont>
#include <QString>

namespace Qurel {

// "SimSun" when the system has it, otherwise "Noto Sans CJK SC".
QString ClientFontFamily();
// The client's font at a pixel size.
QFont ClientFont(int pixelSize, bool bold = false);

} // namespace Qurel
