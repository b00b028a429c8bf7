#pragma once

// The simulated world a person drives by hand: one QM-KM3300 and one
// QM-KM3800 that can be plugged into the virtual HID bus and unplugged,
// set up (mode, firmware version, unit number) and made to misbehave with
// the faults the simulated controller knows.  No JUCE here; the control
// window (ControlWindow) puts it on the screen.

#include <SimulatedController.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace simctl
{
enum class Model
{
    km3300,
    km3800
};

/** "QM-KM3300" or "QM-KM3800". */
const char* nameOf (Model model);

/** Who the controller is at its next plug. */
struct ControllerSettings
{
    bool updateMode = true;
    std::uint16_t firmwareVersion = 0x1000;
    /** 0 to 15, as the caps reply carries it. */
    std::uint8_t unitNumber = 0;
};

/** The faults a person can switch on; they hold from now on and across plugs. */
struct Faults
{
    /** NAKs the last block of every pass: the image looks corrupt. */
    bool refuseLastBlock = false;
    /** Takes every report and answers none. */
    bool stopAnswering = false;
    /** Goes away after block unplugBlock of a load, without replying. */
    bool unplugDuringLoad = false;
    /** Takes the execute request and never answers it. */
    bool neverConfirmExecution = false;
};

/** What the controller has done, as far as a person cares. */
struct ControllerStatus
{
    bool plugged = false;
    /** The mode and version it runs now (after a reboot: normal mode, new version). */
    bool updateMode = false;
    std::uint16_t firmwareVersion = 0;
    std::uint8_t unitNumber = 0;
    int capsAnswered = 0;
    /** Blocks of the current or last pass. */
    int blocks = 0;
    int passes = 0;
    int lastBlocksTaken = 0;
    int lastBlocksRefused = 0;
    int executeRequests = 0;
    int reboots = 0;
};

/** The two controllers.  Call it from one thread (the control window's). */
class SimulatedWorld
{
public:
    /** Lines telling what the controllers did, for whoever watches a run. */
    using Log = std::function<void (const std::string& line)>;

    /** The block after which "unplug during the load" pulls the controller
        out: about a third into a 512 KiB image. */
    static constexpr int unplugBlock = 6000;
    static constexpr int flashTimeMs = 3000;
    static constexpr int rebootTimeMs = 1500;

    explicit SimulatedWorld (Log log = {});
    /** Pulls out whatever is plugged in. */
    ~SimulatedWorld();

    /** Plugs the controller in as its settings say, with its faults armed. */
    void plugIn (Model model);
    void unplug (Model model);

    /** Take effect at the next plug. */
    void setSettings (Model model, const ControllerSettings& settings);
    ControllerSettings settings (Model model) const;

    /** Take effect at once. */
    void setFaults (Model model, const Faults& faults);
    Faults faults (Model model) const;

    /** Looks at what the controller did since the last call, logs what is
        new and returns where it stands. */
    ControllerStatus poll (Model model);

    sim::SimulatedController& controller (Model model);

private:
    struct Unit
    {
        std::shared_ptr<sim::SimulatedController> controller;
        ControllerSettings settings;
        Faults faults;
        ControllerStatus status;
        std::size_t receivedSeen = 0;
        std::size_t sentSeen = 0;
        int lastPass = 0;
    };

    Unit& unit (Model model);
    const Unit& unit (Model model) const;
    void armFaults (Unit& u);
    void say (const std::string& line) const;

    Log log;
    Unit units[2];
};

/** A firmware version as the window shows it: "1.0a2" for 0x10A2. */
std::string versionText (std::uint16_t version);

/** Reads "1.0a2" (or "0x10a2") back; false when it is neither. */
bool parseVersion (const std::string& text, std::uint16_t& version);
} // namespace simctl
