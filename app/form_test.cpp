#include "app/form.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace tarn;

namespace {

Control make(const QString& name, int index, Kind kind, int parent, std::vector<ListRow> rows = {})
{
    Control c;
    c.name = name;
    c.index = index;
    c.kind = kind;
    c.parent = parent;
    c.rows = std::move(rows);
    return c;
}

// A window with two containers, each with an option group, a latching
// button, a list box and a drop-down list.
struct Small {
    Small()
    {
        form.add(make("frmMain", kNoIndex, Kind::Window, -1));
        left = form.add(make("fraLeft", kNoIndex, Kind::Frame, 0));
        right = form.add(make("fraRight", kNoIndex, Kind::Frame, 0));
        for (int i = 0; i < 3; ++i)
            form.add(make("optA", i, Kind::OptionButton, left));
        form.add(make("optB", 0, Kind::OptionButton, right));
        Control latch = make("cmdLatch", kNoIndex, Kind::CommandButton, right);
        latch.latching = true;
        form.add(latch);
        form.add(make("lstRows", kNoIndex, Kind::ListBox, right, {{"a", 1}, {"b", 2}}));
        form.add(make("cboRows", kNoIndex, Kind::DropDownList, right, {{"1", 0}, {"2", 0}}));
        Control timer = make("tmrTick", kNoIndex, Kind::Timer, 0);
        timer.enabled = false;
        form.add(timer);
        for (const char* name : {"optA", "optB", "cmdLatch", "lstRows", "cboRows"})
            form.onClick(name, [this, name](int index) {
                clicks << FormModel::key(name, index);
                if (QString(name) == "cmdLatch")
                    latchSeen << form("cmdLatch").latchValue;
            });
    }
    FormModel form;
    int left = 0, right = 0;
    QStringList clicks;
    QList<int> latchSeen;
};

} // namespace

TEST(FormModel, KeysAndLookup)
{
    Small s;
    EXPECT_EQ(FormModel::key("cmdFreqNumber", 21), "cmdFreqNumber(21)");
    EXPECT_EQ(FormModel::key("cmdApply", kNoIndex), "cmdApply");
    EXPECT_EQ(s.form.group("optA").size(), 3u);
    EXPECT_EQ(s.form.find("optA", 7), nullptr);
    EXPECT_THROW(s.form("nothing"), std::out_of_range);
    EXPECT_THROW(s.form.add(make("optA", 1, Kind::OptionButton, 1)), std::logic_error);
}

TEST(FormModel, OptionsAreExclusiveWithinTheirContainerOnly)
{
    Small s;
    s.form.setOptionValue("optB", 0, true);
    s.form.setOptionValue("optA", 1, true);
    s.form.setOptionValue("optA", 2, true);
    EXPECT_FALSE(s.form("optA", 1).value);
    EXPECT_TRUE(s.form("optA", 2).value);
    EXPECT_TRUE(s.form("optB", 0).value);
    // Setting an option that is already selected raises nothing.
    s.form.setOptionValue("optA", 2, true);
    EXPECT_EQ(s.clicks, QStringList({"optB(0)", "optA(1)", "optA(2)"}));
}

TEST(FormModel, OperatorClickOnSelectedOptionStillRunsItsAction)
{
    Small s;
    s.form.operatorClick("optA", 0);
    s.form.operatorClick("optA", 0);
    EXPECT_EQ(s.clicks, QStringList({"optA(0)", "optA(0)"}));
}

TEST(FormModel, LatchFlipsBeforeTheClickAndNotFromCode)
{
    Small s;
    s.form.operatorClick("cmdLatch");
    s.form.operatorClick("cmdLatch");
    s.form.setLatchValue("cmdLatch", kNoIndex, 0);
    EXPECT_EQ(s.latchSeen, QList<int>({0, 1}));
    EXPECT_EQ(s.form("cmdLatch").latchValue, 0);
}

TEST(FormModel, ListBoxRaisesClickOnChangeDropDownNever)
{
    Small s;
    s.form.setListIndex("lstRows", kNoIndex, 1);
    s.form.setListIndex("lstRows", kNoIndex, 1);
    s.form.setListIndex("cboRows", kNoIndex, 1);
    EXPECT_EQ(s.clicks, QStringList({"lstRows"}));
    EXPECT_EQ(s.form("cboRows").listText(), "2");
    EXPECT_THROW(s.form.setListIndex("cboRows", kNoIndex, 2), std::out_of_range);
}

TEST(FormModel, DisabledOrHiddenControlsTakeNoInput)
{
    Small s;
    s.form.window().enabled = false;
    s.form.operatorClick("optA", 0);
    s.form.window().enabled = true;
    s.form.at(s.left).visible = false;
    s.form.operatorClick("optA", 1);
    s.form.at(s.left).visible = true;
    s.form("cmdLatch").enabled = false;
    s.form.operatorClick("cmdLatch");
    EXPECT_TRUE(s.clicks.isEmpty());
    EXPECT_EQ(s.form("cmdLatch").latchValue, 1);
}

TEST(FormModel, TimerTicksOnlyWhileEnabled)
{
    Small s;
    int ticks = 0;
    s.form.onTimer("tmrTick", [&] { ++ticks; });
    s.form.timerTick("tmrTick");
    s.form("tmrTick").enabled = true;
    s.form.timerTick("tmrTick");
    EXPECT_EQ(ticks, 1);
}
