// Where failures end: the one diagnostic line, the exit status, and the
// program's name that the line begins with. Above the platform layer,
// whose streams it writes to.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "failure.hpp"
#include "platform/console.hpp"

namespace tolvane {

// The name the diagnostics give the program: the file name of its
// invocation path. Kept in fixed storage too (cut at a fixed length), for
// the reports that may not allocate.
void set_program_name(std::string name);
const std::string& program_name();

// The single diagnostic line: "PROG: WHERE: KIND: MESSAGE", every line
// end within them (those of the converter's output protocol) made a blank.
std::string diagnostic(const std::string& program, const Failure& failure);

// Writes the diagnostic on standard error, if that stream takes it; used
// by the entry and for a failure that cannot travel to it (one on the
// detached worker). Without memory for the line, it is written cut short
// from fixed storage.
void report_failure_on_stderr(const Failure& failure) noexcept;

// The same line from fixed storage, cut at a fixed length: for when
// nothing may be allocated (a crash, exhausted memory).
void report_without_allocating(const char* where, const char* kind, const char* message) noexcept;

// Writes text that the program's user asked for (help, a list): a stream
// that refuses it is a failure naming the stream.
void write_or_fail(platform::Stream stream, std::string_view text);

// The one place where failures end: runs body and turns whatever it throws
// into a diagnostic on standard error and an exit status: 0 when it
// returns, an ExitRequest's own status, 1 for anything else. Nothing is
// left to std::terminate.
int exit_status_of(const std::function<void()>& body) noexcept;

}  // namespace tolvane
