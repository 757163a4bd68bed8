#pragma once
// Running package scripts in one embedded interpreter and rendering their outlines.
#include <optional>
#include <string>

namespace brenk::eval {

enum class Outcome : unsigned char {
    ok,          // the script ran; `lines` holds its outlines
    failed,      // it raised (the traceback is on standard error) or could not be read
    interrupted, // SIGINT or SIGTERM while it ran
    internal,    // an outline could not be rendered
};

/// Starts the interpreter with brenk built in (isolated: no environment, no user site);
/// false with `error` set when it cannot start. `quiet_stdout`: sys.stdout writes to
/// standard error, because standard output carries the JSON.
bool start_interpreter(bool quiet_stdout, std::string& error);
/// Ends it; false when finalisation reported an error.
bool stop_interpreter();

/// Runs the script at `path` in a namespace of its own and appends one JSON line per outline
/// to `lines`: NAME()'s result with `call`, else every global bound to an outline.
Outcome run_script(const std::string& path, const std::optional<std::string>& call, std::string& lines);

/// True when SIGINT or SIGTERM arrived since the last script (checked between scripts).
bool interrupted();

} // namespace brenk::eval
