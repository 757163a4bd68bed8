// The stand-ins that the wheel's module links in place of newer glibc symbols (src/wheel), where
// they can run outside the module: C23 strtoul, 128-bit float formatting and the thread-exit list
// of glibc 2.17 systems.
#include <gtest/gtest.h>

#if defined(__linux__)

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "wheel/thread_exit_list.hpp"

extern "C" unsigned long __isoc23_strtoul(const char* text, char** end, int base);
extern "C" int strfromf128(char* out, std::size_t size, const char* format, _Float128 value);

namespace {

struct StrtoulCase {
    std::string text;
    int base;
    unsigned long value;
    std::size_t consumed;
    bool overflow;
};

const std::string ones(65, '1'); // one bit more than an unsigned long holds

const StrtoulCase strtoul_cases[] = {
    {"0b101", 0, 5, 5, false},
    {"0B11", 2, 3, 4, false},
    {" \t+0b1x", 0, 1, 6, false},
    {"-0b1", 0, ULONG_MAX, 4, false}, // negated in the unsigned type, as for any base
    {"0b101", 10, 0, 1, false},       // the prefix is binary only for bases 0 and 2
    {"0b101", 16, 0xb101, 5, false},
    {"0b2", 0, 0, 1, false}, // a prefix without a binary digit: only the 0 is a number
    {"0x1f", 0, 31, 4, false},
    {"017", 0, 15, 3, false},
    {"", 0, 0, 0, false},
    {"0b" + ones, 2, ULONG_MAX, 67, true},
    {"-0b" + ones, 0, ULONG_MAX, 68, true},
};

class Strtoul : public testing::TestWithParam<StrtoulCase> {};

TEST_P(Strtoul, ReadsC23BinaryPrefixes)
{
    const StrtoulCase& c = GetParam();
    char* end = nullptr;
    errno = EDOM; // left alone unless the value overflows
    EXPECT_EQ(__isoc23_strtoul(c.text.c_str(), &end, c.base), c.value);
    EXPECT_EQ(static_cast<std::size_t>(end - c.text.c_str()), c.consumed);
    EXPECT_EQ(errno, c.overflow ? ERANGE : EDOM);
}

INSTANTIATE_TEST_SUITE_P(Wheel, Strtoul, testing::ValuesIn(strtoul_cases));

std::mutex ran_lock;
std::vector<int> ran;

void record(void* id)
{
    std::lock_guard guard(ran_lock);
    ran.push_back(*static_cast<int*>(id));
}

int ids[] = {1, 2, 3, 4};

void record_and_register(void* id)
{
    record(id);
    brenk::wheel::run_at_thread_exit(record, &ids[3]);
}

TEST(ThreadExitList, RunsNewestFirstWhenTheThreadEnds)
{
    ran.clear();
    std::thread([] {
        for (int i = 0; i < 3; ++i) EXPECT_EQ(brenk::wheel::run_at_thread_exit(record, &ids[i]), 0);
    }).join();
    EXPECT_EQ(ran, (std::vector<int>{3, 2, 1}));
}

TEST(ThreadExitList, RunsWhatADestructorRegisters)
{
    ran.clear();
    std::thread([] { brenk::wheel::run_at_thread_exit(record_and_register, &ids[0]); }).join();
    EXPECT_EQ(ran, (std::vector<int>{1, 4}));
}

TEST(ThreadExitListDeathTest, RunsTheExitingThreadsAtExit)
{
    EXPECT_EXIT(
        {
            brenk::wheel::run_at_thread_exit([](void*) { std::fputs("ran at exit\n", stderr); }, nullptr);
            std::exit(0);
        },
        testing::ExitedWithCode(0), "ran at exit");
}

TEST(Strfromf128, FormatsThroughLongDouble)
{
    char text[64];
    EXPECT_EQ(strfromf128(text, sizeof text, "%.3f", _Float128(1) / 3), 5);
    EXPECT_STREQ(text, "0.333");
    EXPECT_EQ(strfromf128(text, sizeof text, "%g", _Float128(-1.5)), 4);
    EXPECT_STREQ(text, "-1.5");
    EXPECT_EQ(strfromf128(text, 3, "%.2e", _Float128(12345)), 8); // truncated, as snprintf
    EXPECT_STREQ(text, "1.");
    for (const char* refused : {"", "%", "g"}) EXPECT_EQ(strfromf128(text, sizeof text, refused, 1), -1) << refused;
}

} // namespace

#endif
