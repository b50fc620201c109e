#!/usr/bin/env python3
"""Writes a script of about N lines for the loading benchmark: user
functions with IF blocks, loops, SELECT, assignments and calls, the mix of
a long recorded or hand-written automation script."""
import sys

def block(k):
    return [
        f"FUNCTION f{k}(a, b = 2)",
        "  IFB a > b THEN",
        "    RESULT = a - b",
        "  ELSE",
        "    RESULT = b - a",
        "  ENDIF",
        "FEND",
        f"x{k} = f{k}({k}, 7)",
        "FOR i = 1 TO 3",
        f"  x{k} = x{k} + i * 2",
        "NEXT",
        f"SELECT x{k} MOD 3",
        "  CASE 0",
        f"    s = \"zero {k}\"",
        "  DEFAULT",
        "    s = \"other\" + x" + str(k),
        "SELEND",
        "WHILE s = \"\"",
        "  s = \"done\"",
        "WEND",
    ]

def main():
    target = int(sys.argv[1])
    out = open(sys.argv[2], "w", encoding="utf-8", newline="\r\n")
    lines = 0
    k = 0
    body = []
    # Functions go after the main script's statements, as scripts keep them.
    main_part, functions = [], []
    while lines < target:
        b = block(k)
        functions += b[:7]
        main_part += b[7:]
        lines += len(b)
        k += 1
    out.write("\n".join(main_part + functions) + "\n")

main()
