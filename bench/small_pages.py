#!/usr/bin/env python3
# Runs a program with transparent huge pages turned off for it (and its
# children): the native build then gets 4 KB pages only, as a Windows
# program under Wine does where huge pages come only on request, which
# shows how much of a gap between the two is the pages and how much the
# code.
#   bench/small_pages.py PROGRAM [ARGUMENT...]
import ctypes
import os
import sys

PR_SET_THP_DISABLE = 41

if len(sys.argv) < 2:
    sys.exit("usage: small_pages.py PROGRAM [ARGUMENT...]")
libc = ctypes.CDLL(None, use_errno=True)
if libc.prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0) != 0:
    sys.exit(f"small_pages.py: prctl failed: {os.strerror(ctypes.get_errno())}")
os.execvp(sys.argv[1], sys.argv[1:])
