// Runs the fuzz input as a small stack program that builds constraint trees (deep, wide and
// shared ones included), copies, checks and renders them, and releases them in input order.
// The rendered length of every tree is predicted from its parts, and a sink that refuses a
// write part-way must receive exactly a prefix of the full text.
//
// Each input runs on a thread with a small stack, which recursion per level overflows within a
// couple of thousand levels: far fewer than the node limit (for building, checking and
// releasing) and than the levels the render budget allows.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>
#include <string_view>
#include <vector>

#include "comparison.hpp"
#include "constraint.hpp"
#include "render.hpp"

namespace {

using namespace brenk::core;

void check(bool ok)
{
    if (!ok) std::abort();
}

constexpr std::size_t max_nodes = 20'000;        // per input, to keep runs fast
constexpr std::size_t thread_stack = 128 * 1024; // the body itself needs a few KiB
// Shared nodes make texts grow exponentially with the input; every input may render this many
// bytes in all, so that no single input takes seconds.
constexpr std::size_t render_budget = 64 * 1024;
constexpr std::size_t max_stack = 64;

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint64_t u64()
    {
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v = (v << 8) | byte();
        return v;
    }
    std::string text()
    {
        const std::size_t n = byte() % 12;
        std::string out;
        for (std::size_t i = 0; i < n && !empty(); ++i) out += static_cast<char>(byte());
        return out;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

std::size_t add(std::size_t a, std::size_t b)
{
    return a > SIZE_MAX - b ? SIZE_MAX : a + b;
}

struct Entry {
    Constraint c;
    std::size_t length; // predicted rendering length, saturating
};

std::size_t value_length(const OptionValue& v)
{
    std::string out;
    StringSink sink(out);
    check(option_value_text(v, sink));
    return out.size();
}

Entry value_entry(OptionValue v)
{
    const std::size_t n = value_length(v);
    return Entry{make_value(std::move(v)), n};
}

/// Accepts `accept` writes, then refuses; checks every accepted piece against `full`.
class PrefixSink final : public Sink {
public:
    PrefixSink(std::string_view full, std::size_t accept) : full_(full), accept_(accept) {}
    bool write(std::string_view piece) override
    {
        check(!refused_); // nothing may be written after a refusal
        if (calls_++ == accept_) {
            refused_ = true;
            return false;
        }
        check(full_.substr(offset_, piece.size()) == piece);
        offset_ += piece.size();
        return true;
    }
    bool refused() const { return refused_; }
    std::size_t offset() const { return offset_; }

private:
    std::string_view full_;
    std::size_t accept_;
    std::size_t calls_ = 0, offset_ = 0;
    bool refused_ = false;
};

std::size_t cmp_length(CmpType op, std::size_t lhs, std::size_t rhs)
{
    return add(add(lhs, rhs), 10 + std::strlen(operator_text(op)));
}

void run_program(const std::uint8_t* data, std::size_t size)
{
    Reader in(data, size);
    std::vector<Entry> stack;
    std::size_t nodes = 0;
    std::size_t render_left = render_budget;
    auto may_render = [&](std::size_t length) {
        if (length > render_left) return false;
        render_left -= length;
        return true;
    };
    auto push = [&](Entry e) {
        ++nodes;
        if (stack.size() < max_stack) stack.push_back(std::move(e));
    };
    auto pop = [&] {
        Entry e = std::move(stack.back());
        stack.pop_back();
        return e;
    };

    while (!in.empty() && nodes < max_nodes) {
        const std::uint8_t op = in.byte();
        switch (op % 17) {
        case 0: {
            std::string on = in.text();
            const std::size_t n = on.size() + 11;
            push(Entry{make_depends(std::move(on)), n});
            break;
        }
        case 1: {
            std::string package = in.text(), option = in.text();
            const std::size_t n = package.size() + option.size() + 23;
            push(Entry{make_spec_option(std::move(package), std::move(option)), n});
            break;
        }
        case 2:
            push(value_entry(OptionValue{(in.byte() & 1) != 0}));
            break;
        case 3:
            push(value_entry(OptionValue{static_cast<std::int64_t>(in.u64())}));
            break;
        case 4: {
            const std::uint64_t bits = in.u64();
            double d;
            std::memcpy(&d, &bits, sizeof d);
            if (std::isfinite(d)) {
                // The text of a finite double reads back as the same bits.
                std::string text;
                append_float_text(text, d);
                const double back = std::strtod(text.c_str(), nullptr);
                check(std::memcmp(&back, &d, sizeof d) == 0);
            }
            push(value_entry(OptionValue{d}));
            break;
        }
        case 5:
            push(value_entry(OptionValue{in.text()}));
            break;
        case 6: {
            auto v = parse_version(in.text());
            if (v) push(value_entry(OptionValue{std::move(*v)}));
            break;
        }
        case 7:
        case 8:
            if (!stack.empty()) {
                Entry e = pop();
                Constraint c = op % 17 == 7 ? make_maximize(std::move(e.c)) : make_minimize(std::move(e.c));
                push(Entry{std::move(c), add(e.length, 12)});
            }
            break;
        case 9:
        case 10:
            if (stack.size() >= 2) {
                Entry rhs = pop(), lhs = pop();
                if (op % 17 == 9) {
                    const auto cmp = static_cast<CmpType>(in.byte() % cmp_type_count);
                    const std::size_t n = cmp_length(cmp, lhs.length, rhs.length);
                    push(Entry{make_cmp(std::move(lhs.c), std::move(rhs.c), cmp), n});
                }
                else {
                    const std::size_t n = add(add(lhs.length, rhs.length), 16);
                    push(Entry{make_if_then(std::move(lhs.c), std::move(rhs.c)), n});
                }
            }
            break;
        case 11: {
            const std::size_t count = std::min<std::size_t>(in.byte() % 8, stack.size());
            std::vector<Constraint> of;
            std::size_t n = 9 + (count > 1 ? 2 * (count - 1) : 0);
            for (std::size_t i = stack.size() - count; i < stack.size(); ++i) {
                n = add(n, stack[i].length);
                of.push_back(std::move(stack[i].c));
            }
            stack.resize(stack.size() - count);
            push(Entry{make_num_of(std::move(of)), n});
            break;
        }
        case 12:
            if (!stack.empty()) push(Entry{stack.back().c, stack.back().length}); // shares the node
            break;
        case 13:
            if (!stack.empty()) {
                // A deep chain of mixed wrappers around the top entry.
                Entry e = pop();
                const std::uint8_t b = in.byte();
                const std::size_t depth = std::size_t{1} << (b % (b >= 0xF0 ? 17 : 11)); // up to 65536, rarely
                const std::uint8_t pattern = in.byte();
                for (std::size_t i = 0; i < depth && nodes < max_nodes; ++i, ++nodes) {
                    switch ((pattern >> (i % 4 * 2)) & 3) {
                    case 0:
                        e.c = make_maximize(std::move(e.c));
                        e.length = add(e.length, 12);
                        break;
                    case 1:
                        e.c = make_minimize(std::move(e.c));
                        e.length = add(e.length, 12);
                        break;
                    case 2:
                        e.c = make_cmp(make_depends(""), std::move(e.c), CmpType::Equal);
                        e.length = cmp_length(CmpType::Equal, 11, e.length);
                        break;
                    case 3: {
                        std::vector<Constraint> of;
                        of.push_back(std::move(e.c));
                        e.c = make_num_of(std::move(of));
                        e.length = add(e.length, 9);
                        break;
                    }
                    }
                }
                push(std::move(e));
            }
            break;
        case 14:
            if (stack.size() >= 2) {
                Entry rhs = pop(), lhs = pop();
                const auto cmp = static_cast<CmpType>(in.byte() % cmp_type_count);
                if (!may_render(add(lhs.length, rhs.length))) break;
                const std::size_t n = cmp_length(cmp, lhs.length, rhs.length);
                auto result = check_comparison(lhs.c, rhs.c, cmp);
                if (result) {
                    check(result->kind() == ConstraintKind::Cmp);
                    push(Entry{std::move(*result), n});
                }
                else {
                    const std::string& message = result.error();
                    check(message.starts_with("Cannot compare type "));
                    check(message.size() >= add(lhs.length, rhs.length));
                }
            }
            break;
        case 15:
            if (!stack.empty()) stack.pop_back();
            break;
        case 16:
            if (stack.size() >= 2) std::swap(stack.back(), stack[in.byte() % stack.size()]);
            break;
        }
    }

    for (const Entry& e : stack) {
        (void)comparison_kind(e.c);
        if (!may_render(e.length)) continue;
        const std::string full = constraint_string(e.c);
        check(full.size() == e.length);
        const Constraint copy = e.c;
        PrefixSink sink(full, in.byte() * 3u + e.length % 5);
        const bool ok = constraint_text(copy, sink);
        check(ok != sink.refused());
        if (ok) check(sink.offset() == full.size());
    }
    // Release in an order the input chooses: front first or back first.
    if (in.byte() & 1) {
        while (!stack.empty()) stack.pop_back();
    }
    else {
        for (Entry& e : stack) e.c.reset();
    }
}

struct Input {
    const std::uint8_t* data;
    std::size_t size;
};

void* run_input(void* arg)
{
    const auto* input = static_cast<const Input*>(arg);
    run_program(input->data, input->size);
    return nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input input{data, size};
    pthread_attr_t attr;
    check(pthread_attr_init(&attr) == 0);
    check(pthread_attr_setstacksize(&attr, thread_stack) == 0);
    pthread_t thread;
    check(pthread_create(&thread, &attr, run_input, &input) == 0);
    check(pthread_join(thread, nullptr) == 0);
    pthread_attr_destroy(&attr);
    return 0;
}
