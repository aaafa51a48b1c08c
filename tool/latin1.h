// --latin1: UTF-8 text rewritten in ISO-8859-1, the character set QR Code
// readers assume for byte-mode data without an ECI marker.
#ifndef QRIMAGE_TOOL_LATIN1_H
#define QRIMAGE_TOOL_LATIN1_H

#include <string>
#include <string_view>

namespace qrtool {

// Replaces `text` (UTF-8) by its ISO-8859-1 bytes when every character is
// below U+0100. Otherwise leaves it alone, sets `error` to a message naming
// the first offending byte or character, and returns false.
bool ConvertToLatin1(std::string& text, std::string& error);

}  // namespace qrtool

#endif
