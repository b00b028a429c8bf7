#pragma once

// What the fuzz targets share: reading the fuzzer's bytes as choices, and a
// process in which every JUCE assertion is a crash the fuzzer keeps.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz
{
/** Once per process, on the thread that runs the inputs: that thread becomes
    JUCE's message thread and a failed jassert aborts. */
void initialiseJuce();

/** A broken promise of the code under test: says which and aborts, so that
    the fuzzer keeps the input. */
void check (bool condition, const char* what);

/** The fuzzer's bytes taken in order; past the end every read gives 0. */
class Input
{
public:
    Input (const std::uint8_t* data, std::size_t size)
        : data (data)
        , size (size)
    {
    }

    bool empty() const { return position >= size; }
    std::size_t remaining() const { return size - position; }

    std::uint8_t byte() { return position < size ? data[position++] : 0; }
    std::uint16_t u16()
    {
        const auto hi = byte();
        return (std::uint16_t) ((hi << 8) | byte());
    }
    /** A value in 0 .. count-1. */
    int pick (int count) { return count <= 1 ? 0 : byte() % count; }
    bool flag() { return (byte() & 1) != 0; }

    /** Up to n bytes (fewer at the end). */
    std::vector<std::uint8_t> bytes (std::size_t n)
    {
        n = n < remaining() ? n : remaining();
        std::vector<std::uint8_t> out (data + position, data + position + n);
        position += n;
        return out;
    }
    /** Whatever is left. */
    std::vector<std::uint8_t> rest() { return bytes (remaining()); }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position = 0;
};

/** A directory of this process for files the targets write: on a RAM disk
    where there is one. */
std::string scratchDirectory();
} // namespace fuzz
