// word.h - the token list of one command line and the tokeniser that
// fills it from a line the syntax check has accepted.
#ifndef HUSK_WORD_H
#define HUSK_WORD_H

// One token. Its text is owned by the word and freed with it.
typedef struct def_word {
    char *str;              // the token text, NUL-terminated, never null
    short is_delim;         // 1 for an operator token, 0 for a plain word
    struct def_word *next;  // null for the last word
    struct def_word *prev;  // null for the first word
} word;

// The tokens of one line in line order; both ends null when empty.
typedef struct def_word_list {
    word *head;
    word *tail;
} word_list;

// A new empty list, owned by the caller. The tokeniser makes its own; the
// tests build lists with it.
word_list *word_list_init(void);

// A new list of the tokens of the NUL-terminated line `buff`, owned by the
// caller; null when `buff` is null or empty. Quotes and backslashes of
// words are resolved, so each text is the final argument. The list holds
// copies: `buff` may be freed at any time.
word_list *word_list_from_buff(const char *buff);

// Writes the tokens on standard output, each in square brackets, separated
// by one blank and ended by a newline; nothing at all for a null or empty
// list. The list is neither kept nor freed. The shell lists with
// word_list_print_from_buff; this is the reference the tests, the fuzz
// targets and the benchmarks hold that printer to.
void word_list_print(const word_list *wl);

// Prints the tokens of the line `buff` exactly as word_list_print would
// print word_list_from_buff(buff), without building the list.
void word_list_print_from_buff(const char *buff);

// A new null-terminated array of the words' texts in list order; null for
// a null or empty list. The caller frees the array only: the texts stay
// the list's and are valid while it lives. The executor cuts its argument
// vectors with word_list_part_to_argv; this whole-list form is for tests.
char **word_list_to_argv(const word_list *wl);

// The same for the `len` words from `head`; null when `len` is 0. A null
// head, a negative count or too few words end the shell with status 1.
char **word_list_part_to_argv(const word *head, int len);

// Releases the list `*wl` with all its words and sets `*wl` to null.
void word_list_destroy(word_list **wl);

// Gives back the scratch text that the tokeniser keeps from line to line
// for words it rewrites: at the end of a run, nothing stays allocated.
void word_scratch_free(void);

#endif
