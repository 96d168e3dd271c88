// syntax.h - the syntax check that every input line passes before it is
// split into tokens.
#ifndef HUSK_SYNTAX_H
#define HUSK_SYNTAX_H

typedef enum def_syntax_state {
    syntax_ok = 1,         // the line is complete and well formed
    syntax_cont_read = 2,  // unfinished: append the next input line, check again
    syntax_err = 3,        // an operator token stands where it may not
} syntax_state;

// What the look-ahead after an operator finds.
typedef enum def_token_type {
    tok_word = 0,
    tok_delim = 1,
    tok_none = 2,  // only spaces up to the end of the line
} token_type;

// Which neighbours an operator token needs.
typedef enum def_delim_type {
    delim_rside = 0,     // < > << >>: a word after it
    delim_lside = 1,     // ; &: command content before it
    delim_bside = 2,     // | || &&: content before and a word after it
    delim_type_err = 3,  // not an operator character
} delim_type;

// Checks the NUL-terminated line `buff`. On syntax_err the offending token
// is the `*symcnt` (1 or 2) characters at `buff + *err_pos`; with the other
// answers `*err_pos` is not written. The buffer is changed in one case only:
// a backslash that is its last character, outside quotes, becomes a blank
// and the answer is syntax_cont_read. Prints nothing. The loop checks with
// syntax_handle_from, which goes on where the check of the text before
// stopped; the tests, the fuzz targets and the benchmarks check whole lines
// with this.
syntax_state syntax_handle(char *buff, int *err_pos, int *symcnt);

// Where the check of an unfinished line stopped, so that the check of the
// line continued goes on from there instead of from the start, and a line
// read in many pieces costs time linear in its length. All zero is the
// start of a line.
typedef struct def_syntax_scan {
    int idx;        // where the check goes on
    int cmd_exist;  // command content since the last operator, before idx
    char quote;     // the quote that opened the stretch still open, or 0
    int op_idx;     // the operator that waits for the word after it, with
    int op_len;     // only spaces up to idx: its position and length, and
                    // op_len 0 when none waits. Kept so between calls; while
                    // a call scans, the last operator passed that needs a word
} syntax_scan;

// syntax_handle, going on from `*scan` over a buffer that holds the text
// checked before, unchanged, with more text appended. The answers are those
// syntax_handle gives for the whole buffer. On syntax_cont_read `*scan` is
// set for the next call; after the other answers it is of no further use.
syntax_state syntax_handle_from(char *buff, syntax_scan *scan, int *err_pos, int *symcnt);

// What the text of a command line still waits for at its end, carried from
// one of its input lines to the next. All zero is the start of a line.
typedef struct def_syntax_tail {
    char quote;  // the quote of a stretch still open, or 0
    int op;      // 1: the last token so far is | || or &&
} syntax_tail;

// Crosses `text`, joined directly onto the text that left `*tail`, by the
// quote rule, the backslash rule and the length rule of operators alone:
// where operators stand is not judged. Answers 1 when the joined text would
// go on past its end: a quote still open, a backslash that is its last
// character outside quotes, or a last token |, || or &&. The loop uses it
// to drop the rest of a command line that failed the check.
int syntax_tail_handle(const char *text, syntax_tail *tail);

#endif
