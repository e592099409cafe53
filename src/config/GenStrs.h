#pragma once
// Random strings drawn from fixed character classes.

#include <QString>

namespace Qurel {

// A random text of exactly `length` characters of class `charClass`:
//  1 any code 0-254, 2 digits and letters, 3 digits, 4 letters, 5 letters upper-cased,
//  6 digits and letters upper-cased, 7 digits and "A"-"F".
// A class outside 1-7 or a length below 1 gives an empty text.
QString GenRandomString(int length, int charClass);

} // namespace Qurel
