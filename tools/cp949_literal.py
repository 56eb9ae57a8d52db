#!/usr/bin/env python3
# Prints a UTF-8 text as a C++ string literal of its CP949 bytes, with the
# text beside it as a comment. An authoring aid for the program's Korean texts.
import sys
def esc(s):
    out=''; prev_esc=False
    for ch in s:
        if ord(ch)<128:
            if prev_esc and ch in '0123456789abcdefABCDEF':
                out+='" "'
            out+=ch; prev_esc=False
        else:
            out+=''.join('\\x%02X'%b for b in ch.encode('cp949')); prev_esc=True
    return '"'+out+'"'
for a in sys.argv[1:]:
    print(esc(a), '  //', a)
