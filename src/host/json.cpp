// The public JSON entry points: the core writer over a string, a stream or a descriptor.
#include "brenk/json.hpp"

#include <unistd.h>

#include <cerrno>

#include "access.hpp"
#include "core/json.hpp"

namespace brenk {
namespace {

class StreamSink final : public core::Sink {
public:
    explicit StreamSink(std::FILE* out) : out_(out) {}
    bool write(std::string_view piece) override
    {
        return std::fwrite(piece.data(), 1, piece.size(), out_) == piece.size();
    }

private:
    std::FILE* out_;
};

class FdSink final : public core::Sink {
public:
    explicit FdSink(int fd) : fd_(fd) {}
    bool write(std::string_view piece) override
    {
        while (!piece.empty()) {
            const ssize_t n = ::write(fd_, piece.data(), piece.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            piece.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

private:
    int fd_;
};

JsonStatus status_of(core::json::Status s) noexcept
{
    switch (s) {
    case core::json::Status::ok:
        return JsonStatus::ok;
    case core::json::Status::stopped:
        return JsonStatus::write_failed;
    case core::json::Status::invalid_text:
        break;
    }
    return JsonStatus::invalid_text;
}

JsonStatus write_outline(OutlineView outline, core::Sink& sink, const std::string_view* script)
{
    core::json::Writer writer(sink);
    return status_of(writer.outline(detail::Access::record(outline), script));
}

} // namespace

JsonStatus write_json(OutlineView outline, std::string& out, const std::string_view* script)
{
    core::StringSink sink(out);
    return write_outline(outline, sink, script);
}

JsonStatus write_json(OutlineView outline, std::FILE* out, const std::string_view* script)
{
    StreamSink sink(out);
    return write_outline(outline, sink, script);
}

JsonStatus write_json(OutlineView outline, int fd, const std::string_view* script)
{
    FdSink sink(fd);
    return write_outline(outline, sink, script);
}

JsonStatus write_json(ConstraintView constraint, std::string& out)
{
    core::StringSink sink(out);
    core::json::Writer writer(sink);
    core::Constraint held = core::Constraint::adopt(const_cast<core::Node*>(detail::Access::node(constraint)));
    held->retain();
    return status_of(writer.constraint(held));
}

} // namespace brenk
