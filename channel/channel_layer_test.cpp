// The channel on its own: the command channel and the link built from the
// platform services and a transport, without a main window.

#include "app/test_fakes.h"
#include "channel/command_channel.h"
#include "channel/link.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::testing;

namespace {

// The window's side of the channel, as the channel asks for it.
struct WindowProbe final : ChannelWindow {
    explicit WindowProbe(Journal& j) : journal(j) {}
    void setInputEnabled(bool enabled) override { journal.add(enabled ? "input:on" : "input:off"); }
    void showDeviceError(bool shown) override
    {
        error = shown;
        journal.add(shown ? "indicator:shown" : "indicator:hidden");
    }
    bool deviceErrorShown() const override { return error; }
    Journal& journal;
    bool error = false;
};

struct Channel {
    Channel()
    {
        services.messages = &messages;
        services.pauses = &pauses;
        services.busy = &busy;
        services.profile = &profile;
        services.serial = &transport;
        profile.writeString("Tarn", "Transport", "Serial", kSettingsPath);
        link.SelectTransport(kSettingsPath);
    }
    Journal journal;
    FormModel* noForm = nullptr;
    FakePauses pauses{journal};
    FakeBusy busy{journal, noForm};
    FakeMessages messages{journal};
    MemoryProfile profile;
    ScriptedTransport transport{journal};
    Services services;
    CommandLog log;
    WindowProbe window{journal};
    CalibratorLink link{services, log, window};
    CommandChannel channel{services, log, link, window};
};

} // namespace

TEST(ChannelLayer, OneCommandIsWrittenPacedAndLoggedInOneBusyPeriod)
{
    Channel c;
    ASSERT_EQ(c.link.transport(), &c.transport);
    c.channel.Send("A 1.0/G 8");
    EXPECT_EQ(c.journal.entries(),
              QStringList({"input:off", "pointer:wait", "events", "write:A 1.0", "sleep:50", "write:G 8",
                           "sleep:50", "input:on", "pointer:default", "events"}));
    ASSERT_EQ(c.log.lines().size(), 2u);
    EXPECT_TRUE(c.log.lines()[0].endsWith("  A 1.0"));
    EXPECT_TRUE(c.log.lines()[1].endsWith("  G 8"));
}

TEST(ChannelLayer, ATransportFaultShowsTheIndicatorStopsWritingAndIsReportedOnce)
{
    Channel c;
    c.transport.failWriteAt = 0;
    c.channel.Send("A 1.0/G 8");
    // The failed piece is still paced; the next is paced but not written,
    // and the one report comes after the window is given back.
    EXPECT_EQ(c.journal.entries(),
              QStringList({"input:off", "pointer:wait", "events", "write:A 1.0", "indicator:shown",
                           "sleep:50", "sleep:50", "input:on", "pointer:default", "events",
                           "message:Serial Error"}));
    EXPECT_TRUE(c.window.deviceErrorShown());
    ASSERT_EQ(c.log.lines().size(), 3u);
    EXPECT_TRUE(c.log.lines()[1].contains("[fault] line error: Serial port error: Input/output error"));
    EXPECT_EQ(c.link.calibratorIdentity(), QString(", not identified"));

    c.journal.clear();
    c.channel.Send("OFF");
    EXPECT_FALSE(c.journal.entries().join(u' ').contains("write:"));
    EXPECT_FALSE(c.journal.entries().join(u' ').contains("message:"));
}
