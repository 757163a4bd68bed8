#pragma once
// Text sinks for rendering: renderers stream pieces into a sink instead of building strings.
#include <string>
#include <string_view>

namespace brenk {

/// A destination for rendered text; write() returns false to stop the rendering.
class Sink {
public:
    virtual bool write(std::string_view piece) = 0;

protected:
    ~Sink() = default;
};

/// Appends to a std::string and never fails (allocation failure throws std::bad_alloc).
class StringSink final : public Sink {
public:
    explicit StringSink(std::string& out) : out_(out) {}
    bool write(std::string_view piece) override
    {
        out_.append(piece);
        return true;
    }

private:
    std::string& out_;
};

}  // namespace brenk
