// brenk-eval: package scripts in, one JSON line per outline out (docs/host.md).
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>

#include "options.hpp"
#include "output.hpp"
#include "scripts.hpp"

namespace brenk::eval {
namespace {

/// "done/total scripts, rate" on one terminal line, for runs long enough to want it.
class Progress {
public:
    explicit Progress(std::size_t total) : total_(total), shown_(total > 8 && ::isatty(2)) {}
    void step(std::size_t done)
    {
        if (!shown_) return;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
        std::fprintf(stderr, "\rbrenk-eval: %zu/%zu scripts, %.0f/s ", done, total_,
                     seconds > 0 ? static_cast<double>(done) / seconds : 0.0);
        if (done == total_) std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    std::size_t total_;
    bool shown_;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

/// The JSON's own descriptor, and fd 1 pointed at standard error: whatever a script writes
/// to its standard output (or closes) cannot touch the lines. -1 when fd 1 is not open.
int take_standard_output()
{
    const int fd = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
    if (fd < 0) return -1;
    ::dup2(2, 1);
    return fd;
}

int run(const Options& options)
{
    std::unique_ptr<Output> output;
    if (options.output) {
        output = std::make_unique<Output>(*options.output, options.max_bytes);
        if (!output->open_error().empty()) {
            std::cerr << "brenk-eval: " << output->open_error() << "\n";
            return exit_output;
        }
    }
    else {
        const int fd = take_standard_output();
        if (fd < 0) {
            std::cerr << "brenk-eval: standard output is not open\n";
            return exit_output;
        }
        output = std::make_unique<Output>(fd, options.max_bytes);
    }
    std::string error;
    if (!start_interpreter(!options.output, error)) {
        std::cerr << "brenk-eval: " << error << "\n";
        return exit_limit;
    }
    int status = exit_ok;
    Progress progress(options.scripts.size());
    std::string lines;
    for (std::size_t i = 0; i < options.scripts.size() && status <= exit_script_failed; ++i) {
        lines.clear();
        const Outcome outcome = run_script(options.scripts[i], options.call, lines);
        if (outcome == Outcome::interrupted || interrupted()) {
            status = exit_interrupted;
            break;
        }
        if (outcome == Outcome::internal) status = exit_limit;
        if (outcome == Outcome::failed) status = exit_script_failed;
        switch (output->write(lines)) {
        case Refused::nothing:
            break;
        case Refused::write_failed:
            status = exit_output;
            break;
        case Refused::limit:
            status = exit_limit;
            break;
        }
        progress.step(i + 1);
    }
    if (status <= exit_script_failed && !output->commit()) status = exit_output;
    if ((status == exit_output || status == exit_limit) && !output->error().empty()) {
        std::cerr << "brenk-eval: " << output->error() << "\n";
    }
    if (status == exit_interrupted) std::cerr << "brenk-eval: interrupted\n";
    output.reset(); // an uncommitted file is removed before the interpreter ends
    if (!stop_interpreter() && status == exit_ok) status = exit_limit;
    return status;
}

} // namespace
} // namespace brenk::eval

int main(int argc, char** argv)
{
    using namespace brenk::eval;
    std::string error;
    const std::optional<Options> options = parse_options(argc, argv, error);
    if (!options) {
        std::cerr << error << "\n" << usage;
        return exit_usage;
    }
    if (options->help) {
        std::cout << usage;
        return exit_ok;
    }
    return run(*options);
}
