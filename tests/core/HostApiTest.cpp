// The host's operations as a jig or the command line calls them: values in, results out, the
// outcome of a run as an event.
#include <gtest/gtest.h>

#include "host/HostApi.h"
#include "ops/Runs.h"
#include "support/EngineHost.h"

namespace lumacrest {
namespace {

using test::EngineHost;

struct Outcomes : HostEvents {
    void RunEnded(const Outcome& o) override { ended.push_back(o); }
    std::vector<Outcome> ended;
};

TEST(HostApi, ALoadSaysWhatFailedAndTheLogKeepsItsLines) {
    EngineHost t;
    Host& h = t.h();
    test::WriteText(t.dir.File("bad.hex"), ":020000000102FB\n:0200100001ZZ00\n");
    const api::Result bad = api::LoadImage(h, ImageTarget::Flash, t.dir.File("bad.hex"), 0x4000);
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.message, "******Open Flash File Failed******   ");
    EXPECT_EQ(bad.Describe().rfind("Open Flash File Failed: " + t.dir.File("bad.hex") + ": line 2: ", 0), 0u)
        << bad.Describe();
    EXPECT_EQ(t.LogLines().back().rfind("File refused, line 2: ", 0), 0u);

    const api::Result gone = api::LoadImage(h, ImageTarget::Boot, t.dir.File("gone.bin"));
    EXPECT_EQ(gone.Describe(), "Open Boot File Failed: " + t.dir.File("gone.bin") +
                                   ": the file cannot be opened or read");
    EXPECT_EQ(t.LogLines().back(), "Open Boot File \"" + t.dir.File("gone.bin") + "\"  . . . . . . Failed");

    test::WriteText(t.dir.File("good.hex"), ":020000000102FB\n:00000001FF\n");
    EXPECT_TRUE(api::LoadImage(h, ImageTarget::Flash, t.dir.File("good.hex"), 0).ok);
    EXPECT_EQ(h.target.FlashFilePath, t.dir.File("good.hex"));
    EXPECT_EQ(h.target.buf().flash[1], 0x02);
}

TEST(HostApi, SettingsAreRefusedAsValues) {
    EngineHost t;
    Host& h = t.h();
    h.target.dev.BootAreaEnabled = 0;
    const api::Result boot = api::SetOptions(h, {.programFlash = true, .programBoot = true});
    EXPECT_FALSE(boot.ok);
    EXPECT_EQ(boot.Describe(), "the device has no boot area: the boot option cannot be chosen");
    EXPECT_FALSE(h.view.Options().programFlash);  // nothing of a refused choice is taken

    const api::Result sn = api::SetSerialNumber(h, 5, h.target.dev.FlashSize + 1);
    EXPECT_EQ(sn.Describe(), "Address is too long than Flash size");
    EXPECT_EQ(t.MessageTexts().back(), "******Address is too long than Flash size******   ");
    EXPECT_TRUE(api::SetSerialNumber(h, 7, 0x10).ok);
    EXPECT_EQ(h.sn.SnValue, 7u);

    EXPECT_EQ(api::Connect(h, "COM17").Describe(), "unknown port COM17 (COM1..COM16 or USB)");
}

TEST(HostApi, ARunStartsOrIsRefusedAndItsOutcomeArrivesAsAnEvent) {
    EngineHost t;
    Host& h = t.h();
    Outcomes outcomes;
    h.view.AddObserver(&outcomes);
    ASSERT_TRUE(api::SetOptions(h, {.eraseChip = true}).ok);
    ASSERT_TRUE(api::StartUpdate(h).ok);
    EXPECT_TRUE(api::Busy(h));
    // A second run, or a load, while the first holds the line is refused.
    const api::Result busy = api::StartOperation(h, SingleOperation::VerifyFlash);
    EXPECT_FALSE(busy.ok);
    EXPECT_EQ(busy.message, kProgrammerBusy);
    EXPECT_FALSE(api::LoadImage(h, ImageTarget::KeyCode, t.dir.File("k.bin")).ok);
    t.RunUntilIdle();
    ASSERT_EQ(outcomes.ended.size(), 1u);
    EXPECT_TRUE(outcomes.ended[0].Passed());
    EXPECT_EQ(outcomes.ended[0].operation, "update");
    EXPECT_TRUE(t.AtRest());
    h.view.RemoveObserver(&outcomes);
}

// A run that ends as it starts, without a message box (no programmer on the port), is a
// failure in the run's own words; a refusal shown as a message keeps the message.
TEST(HostApi, ARunThatEndsAtOnceIsItsOutcomeNotTheMessagesShown) {
    EngineHost t;
    Host& h = t.h();
    Outcomes outcomes;
    h.view.AddObserver(&outcomes);
    const api::Result connect = api::Connect(h, "COM9");
    EXPECT_FALSE(connect.ok);
    EXPECT_TRUE(t.MessageTexts().empty());
    EXPECT_EQ(connect.message, "");
    ASSERT_EQ(outcomes.ended.size(), 1u);
    EXPECT_EQ(connect.detail, outcomes.ended[0].text);
    EXPECT_FALSE(connect.detail.empty());
    EXPECT_EQ(t.LogLines().back().rfind("Tried COM9", 0), 0u) << t.LogLines().back();

    ASSERT_TRUE(api::SetOptions(h, {.eraseChip = true}).ok);
    const std::size_t logLines = t.LogLines().size();
    const api::Result update = api::StartUpdate(h);  // still on COM9
    EXPECT_FALSE(update.ok);
    EXPECT_TRUE(t.MessageTexts().empty());
    EXPECT_EQ(t.LogLines()[logLines + 1], "Can Not Find Programmer  ");
    EXPECT_EQ(update.detail, outcomes.ended.back().text);

    // A run that cannot start is a refusal with the words the operator was shown.
    h.port.number = 1;
    ASSERT_TRUE(api::SetOptions(h, {.programSn = true}).ok);
    const api::Result none = api::StartUpdate(h);
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.message, kSelectProgramOption);
    EXPECT_EQ(none.Describe(), "Please Select Program Option");
    EXPECT_TRUE(t.AtRest());
    h.view.RemoveObserver(&outcomes);
}

// File commands: the result is whether the file was written; the log and the messages stay.
TEST(HostApi, AFileCommandIsOkOnlyWhenItsFileWasWritten) {
    EngineHost t;
    Host& h = t.h();
    const std::string nowhere = t.dir.File("missing/job");
    const api::Result save = api::SaveProject(h, nowhere);
    EXPECT_FALSE(save.ok);
    EXPECT_EQ(save.message, "******File Save Failed******");
    EXPECT_EQ(t.LogLines().back(), "Save Project File......Failed");
    EXPECT_TRUE(api::SaveProject(h, t.dir.File("job")).ok);
    EXPECT_EQ(t.LogLines().back(), "Save Project File......OK");
    EXPECT_FALSE(api::Combine(h, nowhere).ok);
    EXPECT_TRUE(api::Combine(h, t.dir.File("both")).ok);

    // Settings asked to be kept in a folder that is gone: Close says so.
    h.programDir = t.dir.File("gone/");
    const api::Result closed = api::Close(h);
    EXPECT_FALSE(closed.ok);
    EXPECT_EQ(closed.Describe(),
              "Open Config file failed: " + h.programDir + "Config.dat: the file cannot be written");
    EXPECT_EQ(t.MessageTexts().back(), "******Open Config file failed******   ");
}

}  // namespace
}  // namespace lumacrest
