#!/usr/bin/env python3
"""The house's direction: no file of src/ includes one that stands above it.
Each file has a level, and may include files of its own level or below:

  0  the pure logic and the vocabulary: no system, no platform
  1  src/platform/: the thin layer over the operating system
  2  what stands on the platform: the reporting, the process, the calls
  3  the pipelines
  4  the programs: the launcher's entry and the validator

Prints each include that runs back up, and exits 1 if there is one."""

import os
import re
import sys

SRC = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "src")

LEVEL_0 = {"failure", "component_kinds", "paths", "utf", "heading", "cli", "command_line",
           "code_pages", "windows_errors", "pe_imports"}
LEVEL_3 = {"main", "module_chain", "tool_chain", "chain_observer"}
LEVEL_4 = {"Tolvane"}


def level(path):
    relative = os.path.relpath(path, SRC).replace(os.sep, "/")
    if relative.startswith("platform/"):
        return 1
    if relative.startswith("check/"):
        return 4
    stem = os.path.splitext(os.path.basename(relative))[0]
    if stem in LEVEL_0:
        return 0
    if stem in LEVEL_3:
        return 3
    if stem in LEVEL_4:
        return 4
    return 2


def main():
    wrong = []
    for folder, _, files in os.walk(SRC):
        for name in files:
            path = os.path.join(folder, name)
            with open(path, encoding="utf-8") as f:
                for number, line in enumerate(f, 1):
                    match = re.match(r'#include "([^"]+)"', line)
                    if not match:
                        continue
                    included = os.path.normpath(os.path.join(folder, match.group(1)))
                    if not included.startswith(SRC) or not os.path.exists(included):
                        continue
                    if level(included) > level(path):
                        wrong.append("%s:%d: includes %s, which stands above it (%d > %d)" % (
                            os.path.relpath(path, os.path.dirname(SRC)), number,
                            os.path.relpath(included, os.path.dirname(SRC)),
                            level(included), level(path)))
    for line in wrong:
        print(line)
    if not wrong:
        print("include levels: every file of src/ includes only files at its level or below")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
