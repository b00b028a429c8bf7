// The simulated world a person drives: settings at the next plug, the
// faults as a host sees them, what poll() reports and logs, and the control
// panel's buttons.

#include "ControllerTestHost.h"
#include "TestSupport.h"
#include "TestUpdateFile.h"

#include <sim_control/ControlWindow.h>
#include <sim_control/SimulatedWorld.h>

#include <gtest/gtest.h>

#include <algorithm>

using namespace simtest;
using simctl::Model;

namespace
{
class World : public testing::Test
{
protected:
    World()
        : world ([this] (const std::string& line) { lines.push_back (line); })
    {
        // Quick flashing and rebooting, so that a test need not wait.
        for (auto m : { Model::km3300, Model::km3800 })
        {
            world.controller (m).setFlashTimeMs (10);
            world.controller (m).setRebootTimeMs (10);
        }
    }

    std::unique_ptr<TestHost> plugAndOpen (Model m = Model::km3300)
    {
        world.plugIn (m);
        auto host = std::make_unique<TestHost> (world.controller (m).deviceId());
        EXPECT_TRUE (host->isOpen());
        return host;
    }

    bool logged (const std::string& line) const
    {
        return std::find (lines.begin(), lines.end(), line) != lines.end();
    }

    std::vector<std::string> lines;
    simctl::SimulatedWorld world;
};

const auto file = makeUpdateFile ({ 29 * 4, 0x1010 });

TEST_F (World, ModeVersionAndUnitNumberApplyAtTheNextPlug)
{
    world.plugIn (Model::km3800);
    const auto described =
        sim::VirtualHidBus::instance().describe (world.controller (Model::km3800).deviceId());
    ASSERT_TRUE (described.has_value());
    EXPECT_EQ (described->productId, 0x6109);
    auto status = world.poll (Model::km3800);
    EXPECT_TRUE (status.plugged);
    EXPECT_TRUE (status.updateMode);
    EXPECT_EQ (status.firmwareVersion, 0x1000);

    world.setSettings (Model::km3800, { false, 0x1234, 5 });
    EXPECT_TRUE (world.poll (Model::km3800).updateMode);

    world.unplug (Model::km3800);
    EXPECT_FALSE (world.poll (Model::km3800).plugged);
    world.plugIn (Model::km3800);
    status = world.poll (Model::km3800);
    EXPECT_FALSE (status.updateMode);
    EXPECT_EQ (status.firmwareVersion, 0x1234);
    EXPECT_EQ (status.unitNumber, 5);
    EXPECT_FALSE (world.poll (Model::km3300).plugged); // the other one stays out
}

TEST_F (World, EachFaultIsWhatTheHostMeets)
{
    {
        SCOPED_TRACE ("stop answering");
        world.setFaults (Model::km3300, { false, true, false, false });
        auto host = plugAndOpen();
        EXPECT_EQ (verdictOf (host->exchange (capsPoll())), Verdict::none);
        world.setFaults (Model::km3300, {});
        EXPECT_EQ (verdictOf (host->exchange (capsPoll())), Verdict::caps);
        world.unplug (Model::km3300);
    }
    {
        SCOPED_TRACE ("refuse the last block, on every pass and across plugs");
        world.setFaults (Model::km3300, { true, false, false, false });
        world.plugIn (Model::km3300);
        world.unplug (Model::km3300);
        auto host = plugAndOpen();
        ASSERT_EQ (verdictOf (host->exchange (selectRequest())), Verdict::ack);
        for (int pass = 0; pass < 3; ++pass)
            EXPECT_EQ (verdictOf (host->sendFile (file).back()), Verdict::nak) << "pass " << pass;
        world.setFaults (Model::km3300, {});
        EXPECT_EQ (verdictOf (host->sendFile (file).back()), Verdict::ack);
        world.unplug (Model::km3300);
    }
    {
        SCOPED_TRACE ("never confirm the execution");
        world.setFaults (Model::km3300, { false, false, false, true });
        auto host = plugAndOpen();
        ASSERT_EQ (verdictOf (host->exchange (selectRequest())), Verdict::ack);
        ASSERT_EQ (verdictOf (host->sendFile (file).back()), Verdict::ack);
        host->write (executeRequest());
        EXPECT_FALSE (host->nextReply (300).has_value());
        EXPECT_EQ (world.poll (Model::km3300).reboots, 0);
        world.unplug (Model::km3300);
    }
    {
        SCOPED_TRACE ("unplug during the load");
        world.setFaults (Model::km3300, { false, false, true, false });
        auto host = plugAndOpen();
        ASSERT_EQ (verdictOf (host->exchange (selectRequest())), Verdict::ack);
        const auto big = makeUpdateFile ({ 29 * (simctl::SimulatedWorld::unplugBlock + 10), 0x1010 });
        auto& controller = world.controller (Model::km3300);
        int unplugsBefore = 0;
        controller.waitUntil (
            [&] (const sim::ControllerRecord& r)
            {
                unplugsBefore = r.unplugs;
                return true;
            },
            0);
        host->sendFile (big);
        // The bus's own thread pulls it out.
        EXPECT_TRUE (controller.waitUntil (
            [&] (const sim::ControllerRecord& r) { return r.unplugs > unplugsBefore; }, 5000));
        const auto status = world.poll (Model::km3300);
        EXPECT_FALSE (status.plugged);
        EXPECT_EQ (status.blocks, simctl::SimulatedWorld::unplugBlock);
        EXPECT_TRUE (logged ("QM-KM3300 is out"));
    }
}

TEST_F (World, PollCountsAndLogsTheRoadUpToTheRebootWithTheNewVersion)
{
    auto host = plugAndOpen();
    EXPECT_TRUE (logged ("QM-KM3300 plugged in, update mode, version 1.000, unit number 0"));

    ASSERT_EQ (verdictOf (host->exchange (capsPoll())), Verdict::caps);
    EXPECT_EQ (world.poll (Model::km3300).capsAnswered, 1);
    EXPECT_TRUE (logged ("QM-KM3300 answered the caps poll"));

    ASSERT_EQ (verdictOf (host->exchange (selectRequest())), Verdict::ack);
    ASSERT_EQ (verdictOf (host->sendFile (file).back()), Verdict::ack);
    auto status = world.poll (Model::km3300);
    EXPECT_EQ (status.blocks, 4);
    EXPECT_EQ (status.lastBlocksTaken, 1);
    EXPECT_TRUE (logged ("QM-KM3300 took the whole image"));

    host->write (executeRequest());
    ASSERT_EQ (verdictOf (host->nextReply()->bytes), Verdict::ack);
    host.reset();
    ASSERT_TRUE (world.controller (Model::km3300)
                     .waitUntil ([] (const sim::ControllerRecord& r) { return r.plugs == 2; }, 5000));
    status = world.poll (Model::km3300);
    EXPECT_TRUE (status.plugged);
    EXPECT_FALSE (status.updateMode);
    EXPECT_EQ (status.firmwareVersion, 0x1010);
    EXPECT_EQ (status.reboots, 1);
    EXPECT_TRUE (logged ("QM-KM3300 confirmed the execution"));
    EXPECT_TRUE (logged ("QM-KM3300 rebooted into normal mode, version 1.010"));
}

TEST (VersionText, ReadsAndWritesThePanelsForm)
{
    struct Case
    {
        const char* text;
        bool ok;
        std::uint16_t version;
    };
    const Case cases[] = { { "1.000", true, 0x1000 },  { "1.0a2", true, 0x10A2 }, { "f.FFF", true, 0xFFFF },
                           { "0x10a2", true, 0x10A2 }, { "0x7", true, 0x0007 },   { "1.00", false, 0 },
                           { "1.00g", false, 0 },      { "10.00", false, 0 },     { "", false, 0 },
                           { "0x12345", false, 0 } };
    for (const auto& c : cases)
    {
        std::uint16_t v = 0;
        EXPECT_EQ (simctl::parseVersion (c.text, v), c.ok) << c.text;
        if (c.ok)
        {
            EXPECT_EQ (v, c.version) << c.text;
        }
    }
    EXPECT_EQ (simctl::versionText (0x10A2), "1.0a2");
    EXPECT_EQ (simctl::versionText (0x0000), "0.000");
}

TEST_F (World, ThePanelsButtonsDriveTheWorld)
{
    simctl::ControlPanel panel (world);
    auto& p = panel.panelFor (Model::km3300);

    p.plugButton.triggerClick();
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return world.controller (Model::km3300).isPlugged(); }));
    panel.refresh();
    EXPECT_EQ (p.plugButton.getButtonText(), "Unplug");

    p.updateMode.setToggleState (false, juce::sendNotificationSync);
    p.unit.setSelectedId (4, juce::sendNotificationSync);
    p.version.setText ("1.0a2", false);
    p.version.onReturnKey();
    auto settings = world.settings (Model::km3300);
    EXPECT_FALSE (settings.updateMode);
    EXPECT_EQ (settings.unitNumber, 3);
    EXPECT_EQ (settings.firmwareVersion, 0x10A2);

    // A version that does not read keeps the last good one.
    p.version.setText ("nonsense", false);
    p.version.onReturnKey();
    EXPECT_EQ (world.settings (Model::km3300).firmwareVersion, 0x10A2);
    EXPECT_EQ (p.version.getText(), "1.0a2");

    p.refuseLastBlock.setToggleState (true, juce::sendNotificationSync);
    p.neverConfirm.setToggleState (true, juce::sendNotificationSync);
    auto faults = world.faults (Model::km3300);
    EXPECT_TRUE (faults.refuseLastBlock);
    EXPECT_FALSE (faults.stopAnswering);
    EXPECT_FALSE (faults.unplugDuringLoad);
    EXPECT_TRUE (faults.neverConfirmExecution);

    p.plugButton.triggerClick();
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return !world.controller (Model::km3300).isPlugged(); }));
    EXPECT_FALSE (world.poll (Model::km3800).plugged);
}
} // namespace
