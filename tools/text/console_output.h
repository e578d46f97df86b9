// Standard output and error of the tools carry UTF-8 with bare line feeds: the same bytes on a
// Windows console (switched to the UTF-8 code page) as in a pipe read on Linux under Wine.
#pragma once

#include <string_view>

// Call once at start, before anything is printed.
void PrepareConsoleOutput() noexcept;

// Writes text to standard output (or error) and flushes, so lines from several threads and a
// reader on the other end of a pipe see each line at once.
void WriteOut(std::string_view text) noexcept;
void WriteErr(std::string_view text) noexcept;
