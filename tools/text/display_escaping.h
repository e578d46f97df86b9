// Text that comes from outside the tool (a provider's labels, values and status texts, a
// client's user name) made safe to print on a console or into a log: it can neither start a line
// of its own, nor send a terminal escape sequence, nor reorder what follows it, nor close the
// quotes it is printed in.
//
// Escaped, in one form each:
//   - ASCII controls (C0, DEL), the backslash and the double quote as \xHH ("\x1B", "\x5C");
//   - C1 controls (U+0080-U+009F), the line and paragraph separators (U+2028, U+2029) and the
//     bidirectional controls (U+061C, U+200E, U+200F, U+202A-U+202E, U+2066-U+2069) as \u{H}
//     ("\u{85}", "\u{202E}");
//   - a byte that is not part of valid UTF-8 as \xHH.
// Everything else passes unchanged.
#pragma once

#include <string>
#include <string_view>

// A walk over the bytes that calls no Windows API.
std::string EscapedForDisplay(std::string_view utf8);

// The same for UTF-16 text (converted to UTF-8 first; unpaired surrogates become U+FFFD).
std::string EscapedForDisplay(std::wstring_view text);

// The same, except that a backslash passes unchanged: for what the system names with backslashes
// (paths, registry keys, DOMAIN\account), printed unquoted, where "\x5C" for every separator
// would be unreadable. A literal "\x1B" in such a name then reads like an escaped control.
std::string EscapedPathForDisplay(std::wstring_view text);
