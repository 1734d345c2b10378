// Every property of every control, compared with a golden snapshot: the
// window as built (before any procedure has run) and after start-up on a
// one-board stack. A change to the layout shows as the lines that differ.
//
// After an intended change, regenerate the snapshots and review the diff:
//   EB_UPDATE_SNAPSHOTS=1 build/default/tests/eb2250-tests --gtest_filter='LayoutSnapshot*'
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/json.h"
#include "support/fake_stack.h"
#include "window/form1.h"

namespace eb {
namespace {

const char* AlignName(Align a) {
  switch (a) {
    case Align::Left: return "left";
    case Align::Right: return "right";
    case Align::Center: return "center";
  }
  return "?";
}

const char* ShapeName(ShapeType s) {
  switch (s) {
    case ShapeType::Rectangle: return "rectangle";
    case ShapeType::Square: return "square";
    case ShapeType::Oval: return "oval";
    case ShapeType::Circle: return "circle";
    case ShapeType::RoundedRectangle: return "rounded-rectangle";
  }
  return "?";
}

std::string Number(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

// One JSON line holding every property of a control.
std::string Snapshot(const Control& c) {
  std::string s = "{\"control\":" + JsonString(c.Label());
  auto add = [&s](const char* key, const std::string& json) {
    s += ",\"";
    s += key;
    s += "\":" + json;
  };
  auto flag = [](bool b) { return std::string(b ? "true" : "false"); };
  auto colour = [](const std::optional<Rgb>& rgb) {
    return rgb ? JsonString(ColorText(*rgb)) : std::string("null");
  };
  add("kind", JsonString(KindName(c.kind)));
  add("container", c.container ? JsonString(c.container->Label()) : "null");
  add("caption", JsonString(c.caption));
  add("text", JsonString(c.text));
  add("tooltip", JsonString(c.tooltip));
  add("value", std::to_string(c.value()));
  add("listIndex", std::to_string(c.listIndex()));
  std::string list = "[";
  for (size_t i = 0; i < c.list.size(); ++i) list += (i ? "," : "") + JsonString(c.list[i]);
  add("list", list + "]");
  add("back", colour(c.back));
  add("fore", colour(c.fore));
  add("fill", JsonString(ColorText(c.fill)));
  add("fillShown", flag(c.fillShown));
  add("border", JsonString(ColorText(c.border)));
  add("borderWidth", std::to_string(c.borderWidth));
  add("shape", JsonString(ShapeName(c.shape)));
  add("visible", flag(c.visible));
  add("enabled", flag(c.enabled));
  add("locked", flag(c.locked));
  add("left", std::to_string(c.left));
  add("top", std::to_string(c.top));
  add("width", std::to_string(c.width));
  add("height", std::to_string(c.height));
  add("font", "{\"name\":" + JsonString(c.font.name) + ",\"size\":" + Number(c.font.size) +
                  ",\"bold\":" + flag(c.font.bold) + "}");
  add("align", JsonString(AlignName(c.align)));
  add("multiLine", flag(c.multiLine));
  add("picture", JsonString(c.picture));
  add("interval", std::to_string(c.interval));
  add("caret", std::to_string(c.caret));
  return s + "}";
}

std::vector<std::string> SnapshotOf(const Form1& form) {
  std::vector<std::string> lines;
  lines.push_back("{\"window\":" + JsonString(form.ui.caption) +
                  ",\"clientWidth\":" + std::to_string(form.ui.clientWidth) +
                  ",\"clientHeight\":" + std::to_string(form.ui.clientHeight) +
                  ",\"back\":" + JsonString(ColorText(form.ui.back)) + "}");
  for (const Control* c : form.ui.controls()) lines.push_back(Snapshot(*c));
  return lines;
}

// Compares with the golden file, or rewrites it when EB_UPDATE_SNAPSHOTS is set.
void CompareWithGolden(const std::vector<std::string>& lines, const std::string& name) {
  const std::string path = std::string(EB_TEST_DATA_DIR) + "/window/data/" + name;
  if (std::getenv("EB_UPDATE_SNAPSHOTS") != nullptr) {
    std::ofstream out(path, std::ios::trunc);
    for (const auto& l : lines) out << l << "\n";
    ASSERT_TRUE(out.good()) << "cannot write " << path;
    return;
  }
  std::ifstream in(path);
  ASSERT_TRUE(in.good()) << "no snapshot " << path << " (set EB_UPDATE_SNAPSHOTS=1 to write it)";
  std::vector<std::string> golden;
  for (std::string l; std::getline(in, l);) golden.push_back(l);
  EXPECT_EQ(lines.size(), golden.size()) << "number of controls in " << name;
  int differences = 0;
  for (size_t i = 0; i < std::min(lines.size(), golden.size()); ++i) {
    if (lines[i] != golden[i] && ++differences <= 20) {
      ADD_FAILURE() << name << " line " << i + 1 << "\n  now:    " << lines[i]
                    << "\n  golden: " << golden[i];
    }
  }
  EXPECT_EQ(differences, 0) << "controls that differ from " << name;
}

TEST(LayoutSnapshot, EveryPropertyOfEveryControlAsBuilt) {
  test::FakeStack stack;
  test::FakePlatform platform;
  Form1 form{stack.bridge, platform};
  CompareWithGolden(SnapshotOf(form), "controls_built.jsonl");
}

TEST(LayoutSnapshot, EveryPropertyOfEveryControlAfterStartUp) {
  test::FakeStack stack;
  stack.boards["80"] = {};
  test::FakePlatform platform;
  Form1 form{stack.bridge, platform};
  form.Form_Load();
  ASSERT_FALSE(form.Unloaded);
  CompareWithGolden(SnapshotOf(form), "controls_startup.jsonl");
}

}  // namespace
}  // namespace eb
