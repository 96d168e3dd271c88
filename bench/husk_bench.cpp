// husk_bench.cpp - microbenchmarks of the line analysis: the syntax check,
// the tokeniser and the -s printer (beside building the list and printing
// it, which the printer saves), each on a script of typical command lines
// and on one long line of typical words, in bytes per second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "capture.h"
#include "gen.h"
#include "syntax.h"
#include "word.h"

namespace {

// Both inputs are larger than the caches, as a real script is.
constexpr size_t input_bytes = 8 << 20;

// A text of NUL-terminated lines, as the shell's loop hands them over one
// by one, and where each line starts.
typedef struct def_bench_input {
    std::string text;
    std::vector<size_t> starts;
    size_t bytes;  // line characters, terminators not counted
} bench_input;

bench_input input_make(std::string text)
{
    bench_input in{std::move(text), {}, 0};
    size_t start = 0;
    for (size_t i = 0; i < in.text.size(); i++) {
        if (in.text[i] != '\n')
            continue;
        in.text[i] = '\0';
        in.starts.push_back(start);
        in.bytes += i - start;
        start = i + 1;
    }
    return in;
}

bench_input *script_input(void)
{
    static bench_input in = [] {
        gen_rng rng = {1};
        std::string s;
        gen_script(&rng, &s, input_bytes);
        return input_make(std::move(s));
    }();
    return &in;
}

bench_input *long_line_input(void)
{
    static bench_input in = [] {
        gen_rng rng = {2};
        std::string s;
        gen_long_line(&rng, &s, input_bytes);
        s += '\n';
        return input_make(std::move(s));
    }();
    return &in;
}

void bytes_count(benchmark::State &state, const bench_input *in)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(in->bytes));
}

void BM_SyntaxHandle(benchmark::State &state, bench_input *(*input)(void))
{
    bench_input *in = input();
    int err_pos = 0, symcnt = 0;
    for (auto _ : state) {
        for (size_t start : in->starts) {
            syntax_state st = syntax_handle(&in->text[start], &err_pos, &symcnt);
            benchmark::DoNotOptimize(st);
        }
    }
    bytes_count(state, in);
}

// The list is destroyed inside the timing: the shell pays for both.
void BM_WordListFromBuff(benchmark::State &state, bench_input *(*input)(void))
{
    bench_input *in = input();
    for (auto _ : state) {
        for (size_t start : in->starts) {
            word_list *wl = word_list_from_buff(&in->text[start]);
            benchmark::DoNotOptimize(wl);
            word_list_destroy(&wl);
        }
    }
    bytes_count(state, in);
}

// Lists every line of the input through `print`, into /dev/null through
// the shell's own writer.
void print_lines(benchmark::State &state, bench_input *in, void (*print)(const char *))
{
    int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null_fd == -1) {
        state.SkipWithError("cannot open /dev/null");
        return;
    }
    husk_test::with_stdout_on(null_fd, [&] {
        for (auto _ : state) {
            for (size_t start : in->starts)
                print(&in->text[start]);
        }
    });
    close(null_fd);
    bytes_count(state, in);
}

// The -s printer, which lists a line without building its list.
void BM_WordListPrintFromBuff(benchmark::State &state, bench_input *(*input)(void))
{
    print_lines(state, input(), word_list_print_from_buff);
}

// What the -s printer saves: building the list and printing it.
void BM_WordListPrint(benchmark::State &state, bench_input *(*input)(void))
{
    print_lines(state, input(), [](const char *line) {
        word_list *wl = word_list_from_buff(line);
        word_list_print(wl);
        word_list_destroy(&wl);
    });
}

}  // namespace

BENCHMARK_CAPTURE(BM_SyntaxHandle, script, script_input)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SyntaxHandle, long_line, long_line_input)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WordListFromBuff, script, script_input)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WordListFromBuff, long_line, long_line_input)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WordListPrintFromBuff, script, script_input)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WordListPrintFromBuff, long_line, long_line_input)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WordListPrint, script, script_input)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WordListPrint, long_line, long_line_input)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
