#pragma once
// Password scrambling: a position-dependent XOR written as hexadecimal digits.

#include <QString>

#include <optional>

namespace Qurel {

// Each character c at position i (from 1) becomes c ^ i ^ 0x5D; applying it twice restores the text.
QString ScrambleText(const QString &text);
// Each character's code in upper-case hexadecimal, at least two digits, no separators.
QString TextToHex(const QString &text);
// The characters whose codes the consecutive digit pairs give; an odd last digit is ignored.
// A pair that is not two hexadecimal digits gives std::nullopt.
std::optional<QString> TryHexToText(const QString &hex);
// As TryHexToText, but an invalid pair gives an empty text.
QString HexToText(const QString &hex);
// TextToHex(ScrambleText(text)).
QString EncryptText(const QString &text);
// ScrambleText(HexToText(hex)); std::nullopt when hex is not made of digit pairs.
std::optional<QString> TryDecryptText(const QString &hex);
QString DecryptText(const QString &hex);

} // namespace Qurel
