#pragma once
// Text sinks for rendering: renderers stream pieces into a sink instead of building strings.
#include <cstddef>
#include <string>
#include <string_view>

namespace brenk::core {

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

/// The most bytes of one rendering that a message carries. Shared subtrees make a rendering
/// exponentially longer than the tree, so every text that enters a message is cut here.
inline constexpr std::size_t message_text_cap = std::size_t{1} << 20;
/// Written where a rendering was cut.
inline constexpr std::string_view truncation_marker = "\xe2\x80\xa6(truncated)";

/// Appends at most `cap` bytes to a std::string. The piece that would pass the cap is cut at a
/// UTF-8 character boundary and followed by truncation_marker; that write and every later one
/// fail, so the renderer stops there and its work is bounded as well as its output.
class BoundedSink final : public Sink {
public:
    explicit BoundedSink(std::string& out, std::size_t cap = message_text_cap) : out_(out), room_(cap) {}
    bool write(std::string_view piece) override
    {
        if (full_) return false;
        if (piece.size() <= room_) {
            out_.append(piece);
            room_ -= piece.size();
            return true;
        }
        std::size_t cut = room_;
        while (cut > 0 && (static_cast<unsigned char>(piece[cut]) & 0xC0) == 0x80) --cut;
        out_.append(piece.substr(0, cut));
        out_.append(truncation_marker);
        full_ = true;
        return false;
    }

private:
    std::string& out_;
    std::size_t room_;
    bool full_ = false;
};

} // namespace brenk::core
