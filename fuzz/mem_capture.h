// mem_capture.h - what the shell writes while a function runs, caught in
// memory without a system call, for the fuzz targets and their exhaustive
// runs, which capture on every input: a memory file costs a dozen system
// calls and a page of the kernel's each time, most of the cost of a check.
//
// Standard output is caught at the call of write(2): every target is linked
// with --wrap=write, which sends each call of write in its objects, and so
// each block the shell's writer writes, through __wrap_write
// (mem_capture.cpp); while a capture runs, what is meant for descriptor 1
// is kept there, and everything else goes on to the system. The C streams
// `stdout` and `stderr`, which the shell's messages go through, are
// replaced for the time of a capture by memory streams. Descriptor 2 stays
// as it is, so that a sanitizer's report still reaches the terminal.
#ifndef HUSK_FUZZ_MEM_CAPTURE_H
#define HUSK_FUZZ_MEM_CAPTURE_H

#include <cstdio>
#include <string>

#include "out.h"

// Written to descriptor 1 while `mem_capturing` is set.
extern std::string mem_written;
extern bool mem_capturing;

// A memory stream for the C stream `which` (0 stdout, 1 stderr), made once
// and emptied for each use.
FILE *mem_stream(int which);

// What was written on the memory stream of `which` since it was emptied.
std::string mem_stream_text(int which);

// Everything `fn` writes on standard output: the shell's writer, written
// out at the end, write(2) on descriptor 1 and the C stream.
template <typename F> std::string mem_capture_out(F fn)
{
    out_flush();  // what came before is not part of it
    FILE *saved = stdout;
    stdout = mem_stream(0);
    mem_written.clear();
    mem_capturing = true;
    fn();
    out_flush();
    mem_capturing = false;
    stdout = saved;
    return mem_written + mem_stream_text(0);
}

// Everything `fn` writes on the C stream `stderr`.
template <typename F> std::string mem_capture_err(F fn)
{
    FILE *saved = stderr;
    stderr = mem_stream(1);
    fn();
    stderr = saved;
    return mem_stream_text(1);
}

#endif
