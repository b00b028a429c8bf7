#include <sim_control/SimulatedWorld.h>

#include <cstdio>
#include <cstdlib>

namespace simctl
{
namespace
{
sim::ControllerIdentity identityOf (Model model, const ControllerSettings& settings)
{
    const auto mode =
        settings.updateMode ? sim::ControllerIdentity::updateMode : sim::ControllerIdentity::normalMode;
    auto identity = model == Model::km3300 ? sim::ControllerIdentity::km3300 (mode)
                                           : sim::ControllerIdentity::km3800 (mode);
    identity.firmwareVersion = settings.firmwareVersion;
    identity.unitNumber = (std::uint8_t) (settings.unitNumber & 0x0F);
    return identity;
}

int hexDigit (char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

const char* nameOf (Model model)
{
    return model == Model::km3300 ? "QM-KM3300" : "QM-KM3800";
}

std::string versionText (std::uint16_t version)
{
    char text[8];
    std::snprintf (text, sizeof (text), "%x.%x%x%x", (version >> 12) & 0xF, (version >> 8) & 0xF,
                   (version >> 4) & 0xF, version & 0xF);
    return text;
}

bool parseVersion (const std::string& text, std::uint16_t& version)
{
    std::string digits;
    if (text.size() == 5 && text[1] == '.')
        digits = text.substr (0, 1) + text.substr (2);
    else if (text.size() > 2 && text.size() <= 6 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        digits = text.substr (2);
    else
        return false;

    unsigned value = 0;
    for (char c : digits)
    {
        const int d = hexDigit (c);
        if (d < 0)
            return false;
        value = value * 16 + (unsigned) d;
    }
    version = (std::uint16_t) value;
    return true;
}

SimulatedWorld::SimulatedWorld (Log logToUse)
    : log (std::move (logToUse))
{
    for (auto model : { Model::km3300, Model::km3800 })
    {
        auto& u = unit (model);
        u.controller = sim::SimulatedController::create (identityOf (model, u.settings));
        // A real controller takes seconds to write its flash and to start again.
        u.controller->setFlashTimeMs (flashTimeMs);
        u.controller->setRebootTimeMs (rebootTimeMs);
    }
}

SimulatedWorld::~SimulatedWorld()
{
    for (auto& u : units)
        u.controller->unplug();
}

SimulatedWorld::Unit& SimulatedWorld::unit (Model model)
{
    return units[model == Model::km3300 ? 0 : 1];
}

const SimulatedWorld::Unit& SimulatedWorld::unit (Model model) const
{
    return units[model == Model::km3300 ? 0 : 1];
}

sim::SimulatedController& SimulatedWorld::controller (Model model)
{
    return *unit (model).controller;
}

void SimulatedWorld::say (const std::string& line) const
{
    if (log)
        log (line);
}

void SimulatedWorld::plugIn (Model model)
{
    auto& u = unit (model);
    if (u.controller->isPlugged())
        return;

    u.controller->setIdentity (identityOf (model, u.settings));
    armFaults (u);
    u.controller->plugIn();
    u.status.plugged = true;
    say (std::string (nameOf (model)) + " plugged in, " + (u.settings.updateMode ? "update" : "normal") +
         " mode, version " + versionText (u.settings.firmwareVersion) + ", unit number " +
         std::to_string (u.settings.unitNumber));
}

void SimulatedWorld::unplug (Model model)
{
    auto& u = unit (model);
    if (!u.controller->isPlugged())
        return;
    u.controller->unplug();
    u.status.plugged = false;
    say (std::string (nameOf (model)) + " unplugged");
}

void SimulatedWorld::setSettings (Model model, const ControllerSettings& settings)
{
    unit (model).settings = settings;
}

ControllerSettings SimulatedWorld::settings (Model model) const
{
    return unit (model).settings;
}

void SimulatedWorld::setFaults (Model model, const Faults& faults)
{
    auto& u = unit (model);
    u.faults = faults;
    armFaults (u);
}

Faults SimulatedWorld::faults (Model model) const
{
    return unit (model).faults;
}

void SimulatedWorld::armFaults (Unit& u)
{
    auto& c = *u.controller;
    c.clearFaults();
    // Counted faults get a count no person will use up.
    constexpr int always = 1000000;
    if (u.faults.refuseLastBlock)
        c.nakLastBlock (always);
    if (u.faults.stopAnswering)
        c.stopAnswering();
    if (u.faults.unplugDuringLoad)
        c.unplugAfterBlock (unplugBlock);
    if (u.faults.neverConfirmExecution)
        c.neverConfirmExecute (true);
}

ControllerStatus SimulatedWorld::poll (Model model)
{
    auto& u = unit (model);
    auto& s = u.status;
    const bool wasPlugged = s.plugged;
    const int capsBefore = s.capsAnswered;
    const int takenBefore = s.lastBlocksTaken;
    const int refusedBefore = s.lastBlocksRefused;
    const int executesBefore = s.executeRequests;
    const int rebootsBefore = s.reboots;
    int confirmed = 0;

    // The condition runs under the controller's lock: it only reads the
    // record, and only what is new since the last look.
    u.controller->waitUntil (
        [&] (const sim::ControllerRecord& r)
        {
            for (; u.receivedSeen < r.received.size(); ++u.receivedSeen)
            {
                const auto kind = r.received[u.receivedSeen].kind;
                if (kind == sim::RequestKind::firstBlock)
                    s.blocks = 0;
                if (kind == sim::RequestKind::firstBlock || kind == sim::RequestKind::middleBlock ||
                    kind == sim::RequestKind::lastBlock)
                    ++s.blocks;
            }
            for (; u.sentSeen < r.sent.size(); ++u.sentSeen)
            {
                const auto& reply = r.sent[u.sentSeen];
                if (reply.kind == sim::ReplyKind::caps)
                    ++s.capsAnswered;
                else if (reply.inReplyTo == sim::RequestKind::lastBlock)
                    ++(reply.kind == sim::ReplyKind::ack ? s.lastBlocksTaken : s.lastBlocksRefused);
                else if (reply.inReplyTo == sim::RequestKind::execute && reply.kind == sim::ReplyKind::ack)
                    ++confirmed;
            }
            s.passes = r.passes;
            s.executeRequests = r.executeRequests;
            s.reboots = r.reboots;
            return true;
        },
        0);

    const auto identity = u.controller->identity();
    s.plugged = u.controller->isPlugged();
    s.updateMode = identity.operationMode == sim::ControllerIdentity::updateMode;
    s.firmwareVersion = identity.firmwareVersion;
    s.unitNumber = identity.unitNumber;

    const std::string name = nameOf (model);
    if (s.capsAnswered > capsBefore)
        say (name + " answered the caps poll");
    if (s.lastBlocksTaken > takenBefore)
        say (name + " took the whole image");
    if (s.lastBlocksRefused > refusedBefore)
        say (name + " refused the last block");
    if (s.executeRequests > executesBefore)
        say (name + " got the execute request");
    if (confirmed > 0)
        say (name + " confirmed the execution");
    if (s.reboots > rebootsBefore)
        say (name + " rebooted into " + (s.updateMode ? "update" : "normal") + " mode, version " +
             versionText (s.firmwareVersion));
    if (wasPlugged && !s.plugged)
        say (name + " is out");
    if (!wasPlugged && s.plugged)
        say (name + " is in");
    return s;
}
} // namespace simctl
