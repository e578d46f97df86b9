#include "console_output.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <cstdio>

namespace {

void WriteAndFlush(FILE* stream, std::string_view text) noexcept {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

}  // namespace

void PrepareConsoleOutput() noexcept {
    SetConsoleOutputCP(CP_UTF8);
    // Binary mode: the C runtime would otherwise turn every line feed into CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

void WriteOut(std::string_view text) noexcept { WriteAndFlush(stdout, text); }

void WriteErr(std::string_view text) noexcept { WriteAndFlush(stderr, text); }
