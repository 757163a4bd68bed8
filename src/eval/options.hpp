#pragma once
// brenk-eval's command line.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brenk::eval {

/// The exit statuses (docs/host.md lists them too).
enum Exit : int {
    exit_ok = 0,            // every script ran and its outlines were written
    exit_script_failed = 1, // at least one script failed; the others' outlines were written
    exit_usage = 2,         // a bad command line
    exit_output = 3,        // the output could not be written (nothing is left at -o OUT)
    exit_limit = 4,         // the output grew past --max-bytes, or an internal error
    exit_interrupted = 130, // SIGINT or SIGTERM (nothing is left at -o OUT)
};

inline constexpr std::uint64_t default_max_bytes = std::uint64_t{1} << 30;

struct Options {
    std::optional<std::string> call;   // --call NAME
    std::optional<std::string> output; // -o OUT
    std::uint64_t max_bytes = default_max_bytes;
    std::vector<std::string> scripts;
    bool help = false;
};

extern const char* const usage;

/// The options, or nothing with `error` set to the message for standard error.
std::optional<Options> parse_options(int argc, char** argv, std::string& error);

} // namespace brenk::eval
