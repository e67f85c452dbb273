// The tools' one reader of whole numbers on the command line; each tool words its own message.
#pragma once

// True when text is a whole decimal number from lo to hi, written in full (strtol's form: an
// optional sign, leading blanks allowed, nothing after the digits); then *out is the number.
bool cli_whole_number(const char* text, long lo, long hi, long* out);
