// The help text as the command line's documentation gives it, written out
// by hand for the tests and the fuzz target to compare with: everything
// after the usage line, each line ending in "\n".
#pragma once

#include <string>

namespace tolvane::expected {

inline const std::string help_after_usage =
    "\n"
    "positional arguments:\n"
    "  input                 INPファイルのパス\n"
    "\n"
    "options:\n"
    "  -h, --help            show this help message and exit\n"
    "  -nogui [/path/to/.s2f]\n"
    "                        設定ファイルのパス(指定しない場合はsession.rs2fを使用)\n";

}  // namespace tolvane::expected
