#include "ScriptedAnswers.h"

#include <algorithm>
#include <iterator>

namespace fuzz
{
int getFailureCode (Input& input)
{
    static const int win32Codes[] = { 995, 996, 1167 };
    const std::uint8_t b = input.byte();
    return b < 253 ? 1 + b : win32Codes[b - 253];
}

void queueAnswers (testbackend::ScriptedDevice& script, Input& input,
                   const std::function<void (const testbackend::Report&)>& onReply)
{
    while (!input.empty())
    {
        const std::uint8_t kind = input.byte();
        testbackend::Report report{};
        switch (kind % 8)
        {
            case 0:
                script.queueNoReport();
                continue;
            case 1:
                script.queueCode (getFailureCode (input));
                continue;
            case 2:
                script.queueSendFailure (input.flag() ? testbackend::writeTimeoutCode
                                                      : testbackend::goneCode);
                continue;
            case 3:
            {
                // An ACK, a NAK or a caps reply with a hostile body.
                static const std::uint8_t heads[][3] = {
                    { 0x00, 0x0B, 0x06 }, { 0x00, 0x0E, 0x06 }, { 0x00, 0x0B, 0x15 }, { 0x41, 0x04, 0x21 }
                };
                const auto& head = heads[input.pick (4)];
                std::copy (std::begin (head), std::end (head), report.begin());
                const auto body = input.bytes (29);
                std::copy (body.begin(), body.end(), report.begin() + 3);
                break;
            }
            default:
            {
                const auto bytes = input.bytes (report.size());
                std::copy (bytes.begin(), bytes.end(), report.begin());
                break;
            }
        }
        if (onReply != nullptr)
            onReply (report);
        script.queueReply (report);
    }
}
} // namespace fuzz
