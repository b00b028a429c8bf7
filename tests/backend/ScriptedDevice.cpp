#include "ScriptedDevice.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace testbackend
{
Report makeReport (std::initializer_list<std::uint8_t> leading)
{
    Report report{};
    std::copy_n (leading.begin(), std::min (leading.size(), report.size()), report.begin());
    return report;
}

void ScriptedDevice::queueReply (const Report& report)
{
    std::lock_guard<std::mutex> guard (lock);
    answers.push_back ({ Answer::reply, report, 0 });
}

void ScriptedDevice::queueCode (int code)
{
    if (code == 0)
        throw std::invalid_argument ("a get that returns 0 has copied a report: queue the reply instead");
    std::lock_guard<std::mutex> guard (lock);
    answers.push_back ({ Answer::code, {}, code });
}

void ScriptedDevice::queueNoReport()
{
    std::lock_guard<std::mutex> guard (lock);
    answers.push_back ({ Answer::noReport, {}, timeoutCode });
}

void ScriptedDevice::queueSendFailure (int code)
{
    std::lock_guard<std::mutex> guard (lock);
    sendFailures.push_back (code);
}

void ScriptedDevice::unplug()
{
    std::lock_guard<std::mutex> guard (lock);
    gone = true;
}

bool ScriptedDevice::isUnplugged() const
{
    std::lock_guard<std::mutex> guard (lock);
    return gone;
}

void ScriptedDevice::onEachSend (SendHook hook)
{
    std::lock_guard<std::mutex> guard (lock);
    sendHook = std::move (hook);
    hookedSends = 0;
}

std::vector<SentReport> ScriptedDevice::sends() const
{
    std::lock_guard<std::mutex> guard (lock);
    return sent;
}

std::vector<GetCall> ScriptedDevice::gets() const
{
    std::lock_guard<std::mutex> guard (lock);
    return getCalls;
}

size_t ScriptedDevice::unusedReplies() const
{
    std::lock_guard<std::mutex> guard (lock);
    return answers.size();
}

int ScriptedDevice::releaseCount() const
{
    std::lock_guard<std::mutex> guard (lock);
    return released;
}

int ScriptedDevice::onSend (const std::uint8_t* data, int len, int timeoutMs)
{
    SendHook hook;
    std::size_t index = 0;
    int code = 0;
    {
        std::lock_guard<std::mutex> guard (lock);
        sent.push_back ({ std::vector<std::uint8_t> (data, data + std::max (len, 0)), timeoutMs });
        if (gone)
            code = goneCode;
        else if (!sendFailures.empty())
        {
            code = sendFailures.front();
            sendFailures.pop_front();
        }
        hook = sendHook;
        index = hookedSends++;
    }
    // Outside the lock: the hook may hold this thread while others look in.
    if (hook != nullptr)
        hook (index, timeoutMs);
    return code;
}

int ScriptedDevice::onGet (std::uint8_t* buf, int len, int timeoutMs)
{
    std::lock_guard<std::mutex> guard (lock);
    getCalls.push_back ({ len, timeoutMs });
    if (gone || answers.empty())
        return timeoutCode;

    const Answer answer = answers.front();
    answers.pop_front();
    if (answer.kind != Answer::reply)
        return answer.result;

    std::memcpy (buf, answer.report.data(), (size_t) std::clamp (len, 0, (int) answer.report.size()));
    return 0;
}

void ScriptedDevice::onRelease()
{
    std::lock_guard<std::mutex> guard (lock);
    ++released;
}
} // namespace testbackend
