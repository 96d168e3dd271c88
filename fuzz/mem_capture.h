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

#include <functional>
#include <string>

// Everything `fn` writes on standard output: the shell's writer, written
// out at the end, write(2) on descriptor 1 and the C stream.
std::string mem_capture_out(const std::function<void()> &fn);

// Everything `fn` writes on the C stream `stderr`.
std::string mem_capture_err(const std::function<void()> &fn);

#endif
