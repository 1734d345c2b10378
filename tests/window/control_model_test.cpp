// The control-event cascade and input focus of the window model.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "window/control.h"

namespace eb {
namespace {

class CascadeTest : public ::testing::Test {
 protected:
  ControlModel m;
  ControlArray boxes{m, Kind::CheckBox, "Check", 4};
  ControlArray options{m, Kind::OptionButton, "Opt", 3};
  Control combo{m, Kind::ComboBox, "Combo"};
  Control label{m, Kind::Label, "Lbl"};
  std::vector<std::string> log;

  void SetUp() override {
    for (auto& b : boxes) {
      int i = b.index;
      b.onClick = [this, i] { log.push_back("Check" + std::to_string(i)); };
    }
    for (auto& o : options) {
      int i = o.index;
      o.onClick = [this, i] { log.push_back("Opt" + std::to_string(i)); };
    }
    combo.list = {"a", "b", "c"};
    combo.onClick = [this] { log.push_back("Combo" + std::to_string(combo.listIndex())); };
  }
};

TEST_F(CascadeTest, CheckBoxRunsClickOnlyWhenValueChanges) {
  boxes[1].setValue(1);
  boxes[1].setValue(1);  // same value: nothing
  boxes[1].setValue(0);
  EXPECT_EQ(log, (std::vector<std::string>{"Check1", "Check1"}));
  EXPECT_EQ(boxes[1].value(), 0);
}

TEST_F(CascadeTest, InitialValuesRunNothing) {
  boxes[0].initValue(1);
  combo.initListIndex(2);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(combo.text, "c");
}

TEST_F(CascadeTest, OptionSelectionIsExclusiveAndDeselectingRunsNothing) {
  options[0].setValue(1);
  options[2].setValue(1);
  EXPECT_EQ(options[0].value(), 0);
  EXPECT_EQ(options[2].value(), 1);
  options[2].setValue(1);  // already selected: nothing
  options[2].setValue(0);  // deselect: nothing
  EXPECT_EQ(log, (std::vector<std::string>{"Opt0", "Opt2"}));
  EXPECT_EQ(options[2].value(), 0);
}

TEST_F(CascadeTest, ComboRunsClickOnChangedIndexAndRejectsOutOfRange) {
  combo.setListIndex(1);
  combo.setListIndex(1);
  combo.setListIndex(0);
  EXPECT_EQ(log, (std::vector<std::string>{"Combo1", "Combo0"}));
  EXPECT_EQ(combo.text, "a");
  EXPECT_THROW(combo.setListIndex(3), std::out_of_range);
  EXPECT_EQ(combo.listIndex(), 0);
}

TEST_F(CascadeTest, PlainPropertiesRunNothing) {
  boxes[0].caption = "x";
  boxes[0].visible = false;
  boxes[0].enabled = false;
  boxes[0].left = 5;
  boxes[0].back = colors::Red;
  label.caption = "y";
  EXPECT_TRUE(log.empty());
}

TEST_F(CascadeTest, ReentrantChainsRunInOrder) {
  // Check0's handler ticks Check1, whose handler ticks Check2: the inner
  // handlers run to completion before the outer one goes on.
  boxes[0].onClick = [this] {
    log.push_back("Check0 begin");
    boxes[1].setValue(1);
    log.push_back("Check0 end");
  };
  boxes[1].onClick = [this] {
    log.push_back("Check1 begin");
    boxes[2].setValue(1);
    log.push_back("Check1 end");
  };
  boxes[0].setValue(1);
  EXPECT_EQ(log, (std::vector<std::string>{"Check0 begin", "Check1 begin", "Check2", "Check1 end",
                                           "Check0 end"}));
}

TEST_F(CascadeTest, ChainBackToTheStartingBoxStops) {
  // A handler setting a box that is already at that value ends the chain.
  boxes[0].onClick = [this] {
    log.push_back("Check0");
    boxes[1].setValue(boxes[0].value());
  };
  boxes[1].onClick = [this] {
    log.push_back("Check1");
    boxes[0].setValue(boxes[1].value());
  };
  boxes[0].setValue(1);
  EXPECT_EQ(log, (std::vector<std::string>{"Check0", "Check1"}));
}

TEST(ControlModel, FocusRunsLostThenGot) {
  ControlModel m;
  ControlArray texts{m, Kind::TextBox, "Text", 2};
  Control button{m, Kind::CommandButton, "Button"};
  std::vector<std::string> log;
  for (auto& t : texts) {
    int i = t.index;
    t.onGotFocus = [&log, i] { log.push_back("got" + std::to_string(i)); };
    t.onLostFocus = [&log, i] { log.push_back("lost" + std::to_string(i)); };
  }
  m.setFocus(texts[0]);
  m.setFocus(texts[0]);  // unchanged: nothing
  m.setFocus(texts[1]);
  m.setFocus(button);
  EXPECT_EQ(log, (std::vector<std::string>{"got0", "lost0", "got1", "lost1"}));
  EXPECT_EQ(m.focused(), &button);
}

TEST(ControlModel, FocusMovedAgainByLostFocusHandlerWins) {
  ControlModel m;
  Control a{m, Kind::TextBox, "A"};
  Control b{m, Kind::TextBox, "B"};
  Control c{m, Kind::CommandButton, "C"};
  int bGot = 0;
  a.onLostFocus = [&] { m.setFocus(c); };
  b.onGotFocus = [&] { ++bGot; };
  m.setFocus(a);
  m.setFocus(b);
  EXPECT_EQ(m.focused(), &c);
  EXPECT_EQ(bGot, 0);
}

TEST(ControlModel, TypeKeyFiltersInsertsAtCaretAndDeletes) {
  ControlModel m;
  Control t{m, Kind::TextBox, "T"};
  t.onKeyPress = [](int key) {
    return (key >= '0' && key <= '9') || key == 8 || key == 13 ? key : 0;
  };
  for (char ch : std::string("1a2")) m.typeKey(t, ch);
  EXPECT_EQ(t.text, "12");
  t.caret = 1;
  m.typeKey(t, '9');
  EXPECT_EQ(t.text, "192");
  m.typeKey(t, 8);
  EXPECT_EQ(t.text, "12");
  m.typeKey(t, 13);  // Enter inserts nothing in a single-line box
  EXPECT_EQ(t.text, "12");
  t.caret = 0;
  m.typeKey(t, 8);  // nothing before the caret
  EXPECT_EQ(t.text, "12");
}

TEST(ControlModel, RegistryFindsSinglesAndArrayElements) {
  ControlModel m;
  Control single{m, Kind::Label, "Label21"};
  ControlArray arr{m, Kind::Shape, "Shape1", 120};
  EXPECT_EQ(m.find("Label21", -1), &single);
  EXPECT_EQ(m.find("Shape1", 119), &arr[119]);
  EXPECT_EQ(m.find("Shape1", 120), nullptr);
  EXPECT_EQ(m.find("Shape1", -1), nullptr);
  EXPECT_EQ(m.find("Nope", -1), nullptr);
  EXPECT_TRUE(m.isArray("Shape1"));
  EXPECT_FALSE(m.isArray("Label21"));
  EXPECT_EQ(m.controls().size(), 121u);
  EXPECT_THROW(arr[120], std::out_of_range);
  EXPECT_EQ(arr[7].Label(), "Shape1(7)");
}

TEST(ControlModel, EffectiveVisibilityFollowsContainers) {
  ControlModel m;
  Control frame{m, Kind::Frame, "Frame"};
  Control box{m, Kind::CheckBox, "Box"};
  box.container = &frame;
  EXPECT_TRUE(box.effectivelyVisible());
  frame.visible = false;
  EXPECT_FALSE(box.effectivelyVisible());
  frame.visible = true;
  frame.enabled = false;
  EXPECT_FALSE(box.effectivelyEnabled());
}

}  // namespace
}  // namespace eb
