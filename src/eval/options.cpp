#include "options.hpp"

#include <charconv>
#include <string_view>

namespace brenk::eval {

const char* const usage =
    "usage: brenk-eval [--call NAME] [-o OUT] [--max-bytes N] SCRIPT...\n"
    "Runs each package script once, in one interpreter, and writes one JSON line per outline.\n"
    "  --call NAME     the outlines are what NAME() returns (an outline or an iterable of them);\n"
    "                  without it, every global bound to a PackageOutline, in binding order\n"
    "  -o OUT          write to OUT atomically instead of standard output\n"
    "  --max-bytes N   stop with status 4 when the output would pass N bytes (default 1 GiB)\n"
    "exit status: 0 ok, 1 a script failed, 2 usage, 3 output not written, 4 limit or internal\n"
    "error, 130 interrupted\n";

std::optional<Options> parse_options(int argc, char** argv, std::string& error)
{
    Options options;
    bool only_scripts = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (only_scripts || arg.empty() || arg[0] != '-' || arg == "-") {
            options.scripts.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            only_scripts = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            options.help = true;
            return options;
        }
        const bool takes_value = arg == "--call" || arg == "-o" || arg == "--max-bytes";
        if (!takes_value) {
            error = "brenk-eval: unknown option " + std::string(arg);
            return std::nullopt;
        }
        if (i + 1 == argc) {
            error = "brenk-eval: " + std::string(arg) + " needs a value";
            return std::nullopt;
        }
        const std::string_view value = argv[++i];
        if (arg == "--call") {
            if (value.empty()) {
                error = "brenk-eval: --call needs a name";
                return std::nullopt;
            }
            options.call = std::string(value);
        }
        else if (arg == "-o") {
            if (value.empty()) {
                error = "brenk-eval: -o needs a path";
                return std::nullopt;
            }
            options.output = std::string(value);
        }
        else {
            const auto r = std::from_chars(value.data(), value.data() + value.size(), options.max_bytes);
            if (r.ec != std::errc() || r.ptr != value.data() + value.size()) {
                error = "brenk-eval: --max-bytes takes a number of bytes, not " + std::string(value);
                return std::nullopt;
            }
        }
    }
    if (options.scripts.empty()) {
        error = "brenk-eval: no script given";
        return std::nullopt;
    }
    return options;
}

} // namespace brenk::eval
