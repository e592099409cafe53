#pragma once
// Reading hex digit pairs: the recorder's titles and the scrambled passwords
// are both kept as hex texts.

#include <QByteArray>
#include <QStringView>

namespace Qurel {

// The bytes of the hex digit pairs (either case) at the start of hex, at most
// maxBytes of them (no limit when negative). Reading stops at the first pair
// that is not two hex digits; a lone last digit is ignored.
QByteArray LeadingHexBytes(QStringView hex, qsizetype maxBytes = -1);

} // namespace Qurel
